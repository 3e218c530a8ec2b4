#include "platform/ui/widgets.h"

#include "platform/ui/application.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QKeyEvent>
#include <QPointer>
#include <QStyle>
#include <QValidator>

#include <array>

namespace ui {
namespace {

const char* const kAlign = "ui.align";

// Letters become capitals however they enter an edit: typed, composed by an
// input method, pasted, dropped or set. Character by character, so the text
// keeps its length and the caret its place.
class UpperCase : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override
    {
        for (QChar& c : input) {
            c = c.toUpper();
        }
        return Acceptable;
    }
};

}  // namespace

QFont SongFont(int pixels)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QString::fromUtf8("宋体"), QStringLiteral("AR PL UMing CN")});
    font.setPixelSize(pixels);
    return font;
}

void Place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
}

void Place(QWidget* widget, int left, int top)
{
    widget->move(left, top);
}

void SetAlign(QWidget* widget, Align align)
{
    widget->setProperty(kAlign, static_cast<int>(align));
    if (QWidget* parent = widget->parentWidget()) {
        Realign(parent);
    }
}

Align AlignOf(const QWidget* widget)
{
    const QVariant align = widget->property(kAlign);
    return align.isValid() ? static_cast<Align>(align.toInt()) : Align::None;
}

void Realign(QWidget* parent)
{
    QRect room = parent->contentsRect();
    QWidget* client = nullptr;
    std::vector<QWidget*> bottoms;
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget == nullptr || widget->isWindow() || widget->isHidden()) {
            continue;
        }
        switch (AlignOf(widget)) {
        case Align::Top:
            widget->setGeometry(room.left(), room.top(), room.width(), widget->height());
            room.setTop(room.top() + widget->height());
            break;
        case Align::Bottom:
            bottoms.push_back(widget);
            break;
        case Align::Client:
            client = widget;
            break;
        case Align::None:
            break;
        }
    }
    for (QWidget* widget : bottoms) {
        widget->setGeometry(room.left(), room.bottom() + 1 - widget->height(), room.width(), widget->height());
        room.setBottom(room.bottom() - widget->height());
    }
    if (client != nullptr) {
        client->setGeometry(room.left(), room.top(), room.width(), std::max(0, room.height()));
    }
}

Panel::Panel(QWidget* parent, Align align) : QFrame(WithApplication(parent))
{
    SetBevel(Bevel::Raised);
    if (align != Align::None) {
        SetAlign(this, align);
    }
}

void Panel::SetBevel(Bevel bevel)
{
    switch (bevel) {
    case Bevel::None:
        setFrameStyle(QFrame::NoFrame);
        break;
    case Bevel::Raised:
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        break;
    case Bevel::Lowered:
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    }
    setLineWidth(1);
}

void Panel::setVisible(bool visible)
{
    QFrame::setVisible(visible);
    if (AlignOf(this) != Align::None && parentWidget() != nullptr) {
        Realign(parentWidget());
    }
}

void Panel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    Realign(this);
}

Label::Label(QWidget* parent, const QString& caption, int left, int top) : QLabel(WithApplication(parent))
{
    move(left, top);
    SetCaption(caption);
}

namespace {

// The sizes captions take, by everything a one-line label's size depends on.
// Windows are made anew each time they open, with the same captions in the
// same fonts, and measuring a caption lays its text out: measured once, a
// caption's size is looked up after. Bounded, for captions that carry data.
class CaptionSizes {
public:
    static CaptionSizes& Get()
    {
        static CaptionSizes sizes;
        return sizes;
    }

    // adjustSize() for a label without word wrap or layout, from the cache.
    void Adjust(QLabel& label)
    {
        label.ensurePolished();
        const QMargins m = label.contentsMargins();
        QString key = label.text();
        key += QChar(0);
        key += label.font().key();
        key += QString::asprintf("|%d|%d|%d|%d|%d|%d|%d|%d|%d|%d|%p", label.margin(), label.indent(),
                                 static_cast<int>(label.alignment()), static_cast<int>(label.textFormat()), m.left(),
                                 m.top(), m.right(), m.bottom(), label.logicalDpiX(), label.logicalDpiY(),
                                 static_cast<const void*>(label.style()));
        auto found = sizes_.constFind(key);
        if (found == sizes_.constEnd()) {
            if (sizes_.size() >= kMostCaptions) {
                sizes_.clear();
            }
            found = sizes_.insert(key, label.sizeHint());
        }
        if (found->isValid()) {
            label.resize(*found);
        }
    }

private:
    static constexpr qsizetype kMostCaptions = 1024;
    QHash<QString, QSize> sizes_;
};

}  // namespace

void Label::SetCaption(const QString& caption)
{
    setText(caption);
    if (wordWrap() || layout() != nullptr) {
        adjustSize();  // the height follows the width: nothing to keep
        return;
    }
    CaptionSizes::Get().Adjust(*this);
}

namespace {

// The glyphs are the toolkit's own pictures on every desktop, the ones the
// ward guide shows: the style would first look each up in the desktop's icon
// theme, which walks the theme's folders (milliseconds of every start) and,
// where a theme has the name, shows another picture on that workstation.
QIcon BuiltInGlyph(const char* name)
{
    QIcon icon;
    const QString base = QStringLiteral(":/qt-project.org/styles/commonstyle/images/") + QLatin1String(name);
    for (const int size : {16, 32, 128}) {
        const QString file = base + QStringLiteral("-%1.png").arg(size);
        if (!QFile::exists(file)) {
            return {};
        }
        icon.addFile(file, QSize(size, size));
    }
    return icon;
}

QIcon MakeGlyphIcon(QStyle* style, Glyph glyph)
{
    const auto of = [style](const char* name, QStyle::StandardPixmap standard) {
        QIcon icon = BuiltInGlyph(name);
        return icon.isNull() ? style->standardIcon(standard) : icon;  // a toolkit without the pictures
    };
    switch (glyph) {
    case Glyph::None:
        return {};
    case Glyph::Ok:
        return of("standardbutton-apply", QStyle::SP_DialogApplyButton);
    case Glyph::Close:
        return of("standardbutton-close", QStyle::SP_DialogCloseButton);
    case Glyph::New:
        return of("file", QStyle::SP_FileIcon);
    case Glyph::Modify:
        return of("viewdetailed", QStyle::SP_FileDialogDetailedView);
    case Glyph::Delete:
        return of("trash", QStyle::SP_TrashIcon);
    case Glyph::Cancel:
        return of("standardbutton-cancel", QStyle::SP_DialogCancelButton);
    }
    return {};
}

// The glyphs' icons, made once per style and kept with the application.
// Every button of a glyph shares its icon: an icon made anew for each button
// would leave pictures of its own in Qt's pixmap cache each time a window
// opens, which grows the host's memory call after call up to the cache's
// limit.
class GlyphIcons : public QObject {
public:
    GlyphIcons() : QObject(QCoreApplication::instance()) {}

    QIcon Of(Glyph glyph)
    {
        QStyle* style = QApplication::style();
        if (style != style_) {
            style_ = style;
            made_.fill(false);
        }
        const auto i = static_cast<std::size_t>(glyph);
        if (!made_.at(i)) {
            icons_.at(i) = MakeGlyphIcon(style, glyph);
            made_.at(i) = true;
        }
        return icons_.at(i);
    }

private:
    static constexpr std::size_t kGlyphs = static_cast<std::size_t>(Glyph::Cancel) + 1;
    QStyle* style_ = nullptr;
    std::array<QIcon, kGlyphs> icons_;
    std::array<bool, kGlyphs> made_{};
};

}  // namespace

QIcon GlyphIcon(Glyph glyph)
{
    static QPointer<GlyphIcons> icons;
    if (icons == nullptr) {
        icons = new GlyphIcons();
    }
    return icons->Of(glyph);
}

Button::Button(QWidget* parent, const QString& caption, Glyph glyph)
    : QPushButton(caption, WithApplication(parent))
{
    setIcon(GlyphIcon(glyph));
    // A focused button takes Enter; the form never picks a default button.
    setAutoDefault(true);
    Connect(this, &QPushButton::clicked, this, [this] {
        if (OnClick) {
            OnClick(this);
        }
    });
}

CheckBox::CheckBox(QWidget* parent, const QString& caption) : QCheckBox(caption, WithApplication(parent))
{
    Connect(this, &QCheckBox::toggled, this, [this] {
        if (OnClick) {
            OnClick(this);
        }
    });
}

Edit::Edit(QWidget* parent) : QLineEdit(WithApplication(parent))
{
    Connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) {
            OnChange(this);
        }
    });
}

void Edit::SetCharCase(CharCase charCase)
{
    case_ = charCase;
    setValidator(case_ == CharCase::Upper ? new UpperCase(this) : nullptr);
    if (case_ == CharCase::Upper) {
        setText(text());
    }
}

}  // namespace ui
