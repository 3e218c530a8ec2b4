#include "controls/shaped_text.h"

#include <QCoreApplication>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QPointer>
#include <QPainter>
#include <QTextLayout>
#include <QTextLine>

#include <algorithm>

namespace controls {

namespace {

// Control characters (a tab, a line break) and right-to-left text are laid
// out by drawText in ways of its own: such text is drawn as it always was.
bool NeedsDrawText(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        if (c.unicode() < 0x20 || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph) {
            return true;
        }
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
        case QChar::DirLRE:
        case QChar::DirLRO:
        case QChar::DirLRI:
        case QChar::DirFSI:
        case QChar::DirPDF:
        case QChar::DirPDI:
            return true;
        default:
            return false;
        }
    });
}

}  // namespace

ShapedTexts& ShapedTexts::Shared()
{
    // Kept with the application object: the laid-out lines hold the
    // application's font engines and must go before the fonts do.
    class Holder : public QObject {
    public:
        using QObject::QObject;
        ShapedTexts texts;
    };
    static QPointer<Holder> holder;
    if (holder == nullptr) {
        holder = new Holder(QCoreApplication::instance());
    }
    return holder->texts;
}

void ShapedTexts::Clear()
{
    fonts_.clear();
    size_ = 0;
}

ShapedTexts::InFont& ShapedTexts::InFontOf(const QFont& font, int dpi, qreal ratio)
{
    for (InFont& in : fonts_) {
        if (in.dpi == dpi && in.ratio == ratio && in.font == font) {
            return in;
        }
    }
    if (fonts_.size() >= kMostFonts) {
        Clear();
    }
    fonts_.push_back(InFont{font, dpi, ratio, {}});
    return fonts_.back();
}

ShapedTexts::Device ShapedTexts::Of(const QPainter& painter)
{
    QPaintDevice* device = painter.device();
    if (device == nullptr) {
        return {};
    }
    return {device, device->logicalDpiY(), device->devicePixelRatioF()};
}

const ShapedTexts::Kept* ShapedTexts::Line(const QPainter& painter, const Device& device, const QString& text)
{
    if (text.isEmpty() || device.device == nullptr || painter.layoutDirection() == Qt::RightToLeft) {
        return nullptr;
    }
    InFont& in = InFontOf(painter.font(), device.dpi, device.ratio);
    if (auto found = in.lines.constFind(text); found != in.lines.constEnd()) {
        return found->byDrawText ? nullptr : &*found;
    }
    if (size_ >= kMostTexts) {
        // Cells that carry data can bring any number of texts: start again.
        for (InFont& each : fonts_) {
            each.lines.clear();
        }
        size_ = 0;
    }
    ++size_;
    if (NeedsDrawText(text)) {
        // Looked at once: the text is kept without a line, for drawText.
        in.lines.insert(text, Kept{{}, 0, {}, true});
        return nullptr;
    }
    QTextLayout layout(text, in.font, device.device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(Qt::AlignLeft);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
    Kept kept;
    kept.runs = layout.glyphRuns();
    kept.ascent = line.isValid() ? line.ascent() : 0;
    QRectF ink;
    for (const QGlyphRun& run : kept.runs) {
        ink |= run.boundingRect();
    }
    // Antialiased edges and hinting may reach a pixel beyond the outlines'
    // box. The baseline starts at whole pixels: the box moves with it whole.
    kept.ink = ink.translated(0, -kept.ascent).toAlignedRect().adjusted(-1, -1, 1, 1);
    return &*in.lines.insert(text, std::move(kept));
}

void ShapedTexts::Draw(QPainter& painter, const QPoint& baseline, const QString& text, const Kept* line)
{
    if (line == nullptr) {
        if (!text.isEmpty()) {
            painter.drawText(baseline, text);
        }
        return;
    }
    const QPointF origin(baseline.x(), baseline.y() - line->ascent);
    for (const QGlyphRun& run : line->runs) {
        painter.drawGlyphRun(origin, run);
    }
}

bool ShapedTexts::InkInside(const Kept& line, const QPoint& baseline, const QRect& rect)
{
    return rect.contains(line.ink.translated(baseline));
}

}  // namespace controls
