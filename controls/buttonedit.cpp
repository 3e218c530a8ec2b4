#include "controls/buttonedit.h"

#include "controls/gbk_limit.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"

#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace controls_detail {

bool IsChangeKey(const QKeyEvent& event)
{
    // The line edit's own editing shortcuts change the text as well.
    for (const auto key : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
                           QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord,
                           QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine}) {
        if (event.matches(key)) {
            return true;
        }
    }
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    switch (event.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    case Qt::Key_Insert:
        return mods == Qt::ShiftModifier;
    default:
        break;
    }
    const QString text = event.text();
    return !text.isEmpty() && text.front().isPrint() && !(mods & (Qt::ControlModifier | Qt::AltModifier));
}

// --- ComboButton

ComboButton::ComboButton(TCustomComboEdit& owner) : QAbstractButton(&owner), owner_(owner)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
}

void ComboButton::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
    QRect inner = rect().adjusted(2, 2, -2, -2);
    if (isDown()) {
        inner.translate(1, 1);
    }
    owner_.PaintGlyph(painter, inner);
}

// --- FieldBinding

FieldBinding::FieldBinding(QLineEdit& box, Hooks hooks)
    : box_(box),
      hooks_(std::move(hooks)),
      link_([this] { Show(); },
            [this] {
                if (hooks_.editingChanged) {
                    hooks_.editingChanged();
                }
            },
            [this] { hooks_.writeField(); })
{
}

bool FieldBinding::BeginChange()
{
    if (!link_.CanModify()) {
        return false;
    }
    return link_.Edit();
}

void FieldBinding::Show()
{
    const QString text = hooks_.fieldText();
    if (box_.text() != text) {
        // A stored value wider than the limit (its column is) shows whole.
        const GbkWidthLimit::ProgramText whole(&box_);
        box_.setText(text);
    }
}

void FieldBinding::Reset()
{
    link_.Reset();
    Show();
    box_.selectAll();
}

void FieldBinding::Exit()
{
    try {
        link_.UpdateRecord();
    } catch (...) {
        box_.selectAll();
        box_.setFocus(Qt::OtherFocusReason);
        throw;
    }
    if (!box_.hasFocus()) {
        Show();
    }
}

}  // namespace controls_detail

// --- TCustomComboEdit

TCustomComboEdit::TCustomComboEdit(QWidget* parent)
    : QLineEdit(parent), button_(new controls_detail::ComboButton(*this))
{
    // A press on the button first gives the box the focus; the release over
    // it is the click.
    QObject::connect(button_, &QAbstractButton::pressed, this, [this] {
        if (!hasFocus() && focusPolicy() != Qt::NoFocus && isEnabled()) {
            setFocus(Qt::MouseFocusReason);
        }
    });
    ui::Connect(button_, &QAbstractButton::clicked, this, [this] { DoClick(); });
    PlaceButton();
}

TCustomComboEdit::~TCustomComboEdit() = default;

void TCustomComboEdit::SetGlyphKind(TGlyphKind kind)
{
    glyphKind_ = kind;
    button_->update();
}

void TCustomComboEdit::SetGlyph(const QPixmap& glyph)
{
    glyph_ = glyph;
    glyphKind_ = gkCustom;
    button_->update();
}

void TCustomComboEdit::SetButtonWidth(int width)
{
    buttonWidth_ = std::max(0, width);
    PlaceButton();
}

void TCustomComboEdit::SetDirectInput(bool on)
{
    directInput_ = on;
    UpdateWritable();
}

void TCustomComboEdit::SetReadOnly(bool on)
{
    readOnly_ = on;
    UpdateWritable();
}

void TCustomComboEdit::DoClick()
{
    ButtonClick();
}

void TCustomComboEdit::ButtonClick()
{
    if (OnButtonClick) {
        OnButtonClick(this);
    }
}

void TCustomComboEdit::PaintDefaultGlyph(QPainter& /*painter*/, const QRect& /*rect*/) const {}

void TCustomComboEdit::PaintGlyph(QPainter& painter, const QRect& rect) const
{
    const QColor ink = isEnabled() ? palette().color(QPalette::ButtonText)
                                   : palette().color(QPalette::Disabled, QPalette::ButtonText);
    switch (glyphKind_) {
    case gkEllipsis: {
        // Three small square dots, centred.
        const int dot = 2;
        const int gap = 2;
        const int width = 3 * dot + 2 * gap;
        const int x = rect.left() + (rect.width() - width) / 2;
        const int y = rect.top() + (rect.height() - dot) / 2;
        for (int i = 0; i < 3; ++i) {
            painter.fillRect(x + i * (dot + gap), y, dot, dot, ink);
        }
        break;
    }
    case gkDropDown: {
        QStyleOption option;
        option.initFrom(button_);
        option.rect = rect;
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &painter, button_);
        break;
    }
    case gkCustom:
        if (!glyph_.isNull()) {
            // Several images side by side: the first is the normal one.
            const int width = glyph_.width() / std::max(1, numGlyphs_);
            const QRect source(0, 0, width, glyph_.height());
            const QRect target(rect.left() + (rect.width() - width) / 2,
                               rect.top() + (rect.height() - glyph_.height()) / 2, width, glyph_.height());
            painter.drawPixmap(target, glyph_, source);
        }
        break;
    case gkDefault:
        PaintDefaultGlyph(painter, rect);
        break;
    }
}

void TCustomComboEdit::PlaceButton()
{
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    button_->setGeometry(width() - frame - buttonWidth_, frame, buttonWidth_, std::max(0, height() - 2 * frame));
    button_->setVisible(buttonWidth_ > 0);
    setTextMargins(0, 0, buttonWidth_ > 0 ? buttonWidth_ + 2 : 0, 0);
}

void TCustomComboEdit::Reset()
{
    selectAll();
}

bool TCustomComboEdit::TextWritable() const
{
    return !readOnly_ && directInput_;
}

bool TCustomComboEdit::BeginChange(QKeyEvent& /*event*/)
{
    return TextWritable();
}

bool TCustomComboEdit::MayChangeText() const
{
    return TextWritable();
}

bool TCustomComboEdit::RunEditCommand(const QString& command)
{
    return boundcontrol::RunEditCommand(*this, command);
}

void TCustomComboEdit::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    ui::Guarded([&] {
        boundcontrol::ShowEditMenu(*this, event->globalPos(), MayChangeText(), [this](const QString& command) {
            // The command changes the text only once the change has begun, as its key would.
            QKeyEvent key = boundcontrol::CommandKey(command);
            if (BeginChange(key) && !isReadOnly()) {
                RunEditCommand(command);
            }
        });
    });
}

void TCustomComboEdit::UpdateWritable()
{
    setReadOnly(!TextWritable());
}

void TCustomComboEdit::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (buttonWidth_ > 0 && event->key() == clickKey_.key() && mods == clickKey_.keyboardModifiers()) {
        event->accept();
        ui::Guarded([&] { DoClick(); });
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The window's key handlers have had it; the box consumes it.
        event->accept();
        return;
    case Qt::Key_Escape:
        event->accept();
        ui::Guarded([&] { Reset(); });
        return;
    default:
        break;
    }
    if (controls_detail::IsChangeKey(*event)) {
        bool go = false;
        ui::Guarded([&] { go = BeginChange(*event); });
        if (!go) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TCustomComboEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    PlaceButton();
}

void TCustomComboEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange) {
        button_->update();
        PlaceButton();
    }
}

// --- TDBComboEdit

TDBComboEdit::TDBComboEdit(QWidget* parent) : TCustomComboEdit(parent)
{
    SetGlyphKind(gkEllipsis);
    // Text reaches the field only through the keys and menu commands that begin an edit.
    setAcceptDrops(false);
    binding_ = std::make_unique<controls_detail::FieldBinding>(
        *this, controls_detail::FieldBinding::Hooks{
                   [this] { return FieldText(); },
                   [this] { WriteField(); },
                   [this] { UpdateWritable(); },
               });
    binding_->Link().SetOnActiveChange([this] {
        UpdateLimit();
        UpdateWritable();
        binding_->Show();
    });
    QObject::connect(this, &QLineEdit::textEdited, this, [this] { binding_->MarkModified(); });
    ui::Events(this).ControlExit = [this](QWidget*) { binding_->Exit(); };
    UpdateWritable();
}

TDBComboEdit::~TDBComboEdit()
{
    binding_.reset();
}

void TDBComboEdit::SetDataSource(TDataSource* source)
{
    binding_->Link().SetDataSource(source);
    UpdateLimit();
    UpdateWritable();
    binding_->Show();
}

void TDBComboEdit::SetDataField(std::string name)
{
    binding_->Link().SetFieldName(std::move(name));
    UpdateLimit();
    UpdateWritable();
    binding_->Show();
}

void TDBComboEdit::SetReadOnly(bool on)
{
    binding_->Link().SetReadOnly(on);
    UpdateWritable();
}

QString TDBComboEdit::FieldText() const
{
    const TField* field = binding_->Link().Field();
    if (field == nullptr) {
        return {};
    }
    const bool editText = hasFocus() && binding_->CanModify();
    return QString::fromStdString(editText ? field->Text() : field->DisplayText());
}

void TDBComboEdit::WriteField()
{
    if (TField* field = binding_->Link().Field()) {
        field->SetText(text().toStdString());
    }
}

void TDBComboEdit::SetText(const QString& text)
{
    setText(text);
    binding_->MarkModified();
}

void TDBComboEdit::UpdateLimit()
{
    boundcontrol::LimitTextWidth(*this, boundcontrol::TextWidthLimit(binding_->Link().Field()));
}

void TDBComboEdit::Reset()
{
    binding_->Reset();
}

bool TDBComboEdit::TextWritable() const
{
    // With the focus a modifiable box is writable at once, so that an input
    // method can compose; the dataset enters edit state with the first character.
    return DirectInput() && binding_->CanModify() && (binding_->Editing() || hasFocus());
}

bool TDBComboEdit::MayChangeText() const
{
    return DirectInput() && binding_->CanModify();
}

bool TDBComboEdit::BeginChange(QKeyEvent& event)
{
    if (!binding_->CanModify()) {
        return false;
    }
    const QString typed = event.text();
    if (!typed.isEmpty() && typed.front().isPrint() && typed.front().unicode() < 0x80) {
        const TField* field = binding_->Link().Field();
        if (field != nullptr && !field->IsValidChar(static_cast<char>(typed.front().unicode()))) {
            ui::Beep();
            return false;
        }
    }
    const bool editing = binding_->BeginChange();
    UpdateWritable();
    return editing && !isReadOnly();
}

void TDBComboEdit::inputMethodEvent(QInputMethodEvent* event)
{
    // Text composed by an input method begins the edit when it is committed,
    // or as soon as composing removes a selection.
    if (!event->commitString().isEmpty() || (!event->preeditString().isEmpty() && hasSelectedText())) {
        bool go = false;
        ui::Guarded([&] { go = binding_->BeginChange(); });
        if (!go) {
            event->accept();
            return;
        }
    }
    TCustomComboEdit::inputMethodEvent(event);
}

void TDBComboEdit::focusInEvent(QFocusEvent* event)
{
    TCustomComboEdit::focusInEvent(event);
    ui::Guarded([&] {
        UpdateWritable();
        if (!binding_->Link().IsModified()) {
            binding_->Show();
        }
    });
}

void TDBComboEdit::focusOutEvent(QFocusEvent* event)
{
    TCustomComboEdit::focusOutEvent(event);
    ui::Guarded([&] {
        UpdateWritable();
        // A changed text stays until the exit writes it.
        if (!binding_->Link().IsModified()) {
            binding_->Show();
        }
    });
}
