#include "controls/shaped_text.h"

#include <QCoreApplication>
#include <QPaintDevice>
#include <QPointer>
#include <QPainter>
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

ShapedTexts::InFont& ShapedTexts::Of(const QFont& font, int dpi, qreal ratio)
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

const QTextLayout* ShapedTexts::Line(InFont& in, const QString& text, QPaintDevice* device)
{
    if (auto found = in.lines.constFind(text); found != in.lines.constEnd()) {
        return found->get();
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
        return in.lines.insert(text, nullptr)->get();
    }
    auto layout = std::make_shared<QTextLayout>(text, in.font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(Qt::AlignLeft);
    option.setTextDirection(Qt::LeftToRight);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    if (line.isValid()) {
        line.setPosition(QPointF(0, 0));
    }
    layout->endLayout();
    return in.lines.insert(text, std::move(layout))->get();
}

void ShapedTexts::Draw(QPainter& painter, const QPoint& baseline, const QString& text)
{
    if (text.isEmpty()) {
        return;
    }
    QPaintDevice* device = painter.device();
    // The glyphs' advances follow the device's resolution and its pixel
    // ratio (hinting): a line is kept for each.
    const QTextLayout* layout = device == nullptr || painter.layoutDirection() == Qt::RightToLeft
                                    ? nullptr
                                    : Line(Of(painter.font(), device->logicalDpiY(), device->devicePixelRatioF()),
                                           text, device);
    if (layout == nullptr) {
        painter.drawText(baseline, text);
        return;
    }
    layout->draw(&painter, QPointF(baseline.x(), baseline.y() - layout->lineAt(0).ascent()));
}

}  // namespace controls
