#include "controls/dbedit.h"

#include "controls/gbk_limit.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace boundcontrol {

char ProbeByte(QChar c)
{
    return c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : static_cast<char>(0xB0);
}

bool Printable(QChar c)
{
    return c.unicode() >= 32 && c.unicode() != 127;
}

bool IsChangeKey(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    case Qt::Key_Insert:
        return (event.modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
    default:
        break;
    }
    // The line edit's own editing shortcuts change the text as well.
    for (const auto key : {QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
                           QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord,
                           QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine}) {
        if (event.matches(key)) {
            return true;
        }
    }
    return false;
}

int TextWidthLimit(const TField* field)
{
    const auto* string = dynamic_cast<const TStringField*>(field);
    return string != nullptr ? std::max(0, string->Size()) : 0;
}

void LimitTextWidth(QLineEdit& edit, int bytes)
{
    const auto* current = dynamic_cast<const GbkWidthLimit*>(edit.validator());
    if ((current != nullptr ? current->Bytes() : 0) == bytes) {
        return;
    }
    edit.setValidator(bytes > 0 ? new GbkWidthLimit(bytes, &edit) : nullptr);
    delete current;
}

void ShowEditMenu(QLineEdit& edit, const QPoint& globalPos, std::function<void(const QString& command)> run)
{
    ShowEditMenu(edit, globalPos, !edit.isReadOnly(), std::move(run));
}

void ShowEditMenu(QLineEdit& edit, const QPoint& globalPos, bool writable,
                  std::function<void(const QString& command)> run)
{
    // The edit menu of a Chinese workstation. Qt's own menu cannot be used:
    // its commands change the text directly, before the dataset could edit.
    QPointer<QMenu> menu = new QMenu(&edit);
    const bool selected = edit.hasSelectedText();
    const bool secret = edit.echoMode() != QLineEdit::Normal;
    const auto add = [&](const char* label, const char* command, bool enabled) {
        QAction* action = menu->addAction(QString::fromUtf8(label));
        action->setObjectName(QLatin1String(command));
        action->setEnabled(enabled);
        const QString name = QLatin1String(command);
        ui::Connect(action, &QAction::triggered, &edit, [&edit, run, name] {
            if (name == QLatin1String("edit-copy")) {
                edit.copy();
            } else if (name == QLatin1String("select-all")) {
                edit.selectAll();
            } else {
                run(name);
            }
        });
    };
    add("撤消(&U)", "edit-undo", writable && edit.isUndoAvailable());
    menu->addSeparator();
    add("剪切(&T)", "edit-cut", writable && selected && !secret);
    add("复制(&C)", "edit-copy", selected && !secret);
    add("粘贴(&P)", "edit-paste", writable && !QApplication::clipboard()->text().isEmpty());
    add("删除(&D)", "edit-delete", writable && selected);
    menu->addSeparator();
    add("全选(&A)", "select-all", !edit.text().isEmpty());
    menu->exec(globalPos);
    delete menu;
}

bool RunEditCommand(QLineEdit& edit, const QString& command, MaskEdit* mask)
{
    const QString before = edit.text();
    if (mask != nullptr) {
        QKeyEvent key = CommandKey(command);
        bool changed = false;
        return mask->HandleKey(key, changed) && changed;
    }
    if (command == QLatin1String("edit-paste")) {
        edit.paste();
    } else if (command == QLatin1String("edit-cut")) {
        edit.cut();
    } else if (command == QLatin1String("edit-delete")) {
        edit.del();
    } else if (command == QLatin1String("edit-undo")) {
        edit.undo();
    }
    return edit.text() != before;
}

QKeyEvent CommandKey(const QString& command)
{
    const auto key = [](QKeySequence::StandardKey standard, Qt::Key fallback, Qt::KeyboardModifiers mods) {
        const auto bindings = QKeySequence::keyBindings(standard);
        if (!bindings.isEmpty()) {
            const QKeyCombination combination = bindings.front()[0];
            return QKeyEvent(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        }
        return QKeyEvent(QEvent::KeyPress, fallback, mods);
    };
    if (command == QLatin1String("edit-paste")) {
        return key(QKeySequence::Paste, Qt::Key_V, Qt::ControlModifier);
    }
    if (command == QLatin1String("edit-cut")) {
        return key(QKeySequence::Cut, Qt::Key_X, Qt::ControlModifier);
    }
    if (command == QLatin1String("edit-undo")) {
        return key(QKeySequence::Undo, Qt::Key_Z, Qt::ControlModifier);
    }
    return QKeyEvent(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
}

ControlLink::ControlLink(std::function<void()> dataChanged, std::function<void()> editingChanged,
                         std::function<void()> updateData)
{
    SetOnDataChange(dataChanged);
    SetOnActiveChange(std::move(dataChanged));
    SetOnEditingChange(std::move(editingChanged));
    SetOnUpdateData(std::move(updateData));
}

ControlLink::~ControlLink()
{
    SetOnDataChange({});
    SetOnActiveChange({});
    SetOnEditingChange({});
    SetOnUpdateData({});
    SetDataSource(nullptr);
}

}  // namespace boundcontrol

using boundcontrol::Printable;
using boundcontrol::ProbeByte;

TDBEdit::TDBEdit(QWidget* parent)
    : QLineEdit(ui::WithApplication(parent)),
      link_([this] { DataChanged(); }, [this] { EditingChanged(); }, [this] { UpdateData(); })
{
    ui::Events(this).ControlExit = [this](QWidget*) { Leave(); };
    ui::Connect(this, &QLineEdit::textEdited, this, [this] { link_.MarkModified(); });
    ui::Connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange) {
            OnChange(this);
        }
    });
    setReadOnly(true);
}

TDBEdit::~TDBEdit() = default;

void TDBEdit::SetDataSource(TDataSource* source)
{
    link_.SetDataSource(source);
    DataChanged();
}

void TDBEdit::SetDataField(std::string name)
{
    link_.SetFieldName(std::move(name));
    DataChanged();
}

void TDBEdit::SetReadOnly(bool readOnly)
{
    link_.SetReadOnly(readOnly);
    UpdateWritable();
}

void TDBEdit::SetText(const QString& text)
{
    setText(text);
    link_.MarkModified();
}

bool TDBEdit::Masked() const
{
    return mask_ != nullptr;
}

void TDBEdit::UpdateLimit()
{
    TField* field = Field();
    const std::string maskText = field != nullptr ? field->EditMask() : std::string();
    if (maskText != maskText_) {
        maskText_ = maskText;
        mask_ = maskText.empty() ? nullptr : std::make_unique<MaskEdit>(*this, field->ParsedEditMask());
    }
    boundcontrol::LimitTextWidth(*this, mask_ ? 0 : boundcontrol::TextWidthLimit(field));
}

void TDBEdit::Show(const QString& text)
{
    // Unchanged text keeps the selection (the user's select-all before typing).
    if (text != this->text()) {
        const GbkWidthLimit::ProgramText whole(this);
        setText(text);
    }
}

void TDBEdit::DataChanged()
{
    TField* field = Field();
    UpdateLimit();
    if (field == nullptr) {
        Show(QString());
        setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        UpdateWritable();
        return;
    }
    const bool editing = focused_ && link_.CanModify();
    if (mask_) {
        const std::string value = field->AsString();
        Show(editing ? mask_->EditText(value) : mask_->DisplayText(value));
    } else {
        Show(QString::fromStdString(editing ? field->Text() : field->DisplayText()));
    }
    const bool right = !focused_ && field->Alignment() == taRightJustify;
    setAlignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    UpdateWritable();
}

void TDBEdit::EditingChanged()
{
    UpdateWritable();
}

void TDBEdit::UpdateWritable()
{
    // Writable while the dataset edits, and (for an input method) as soon as
    // the focus is here, but never over a field that cannot be modified.
    setReadOnly(!(link_.CanModify() && (link_.Editing() || focused_)));
}

bool TDBEdit::BeginChange()
{
    if (Field() == nullptr) {
        return !isReadOnly();
    }
    return link_.CanModify() && link_.Edit();
}

void TDBEdit::UpdateData()
{
    TField* field = Field();
    if (field == nullptr) {
        return;
    }
    if (mask_) {
        mask_->Validate();
        field->SetText(mask_->Value());
    } else {
        field->SetText(text().toStdString());
    }
}

void TDBEdit::Leave()
{
    try {
        link_.UpdateRecord();
    } catch (...) {
        selectAll();
        setFocus();
        throw;
    }
    focused_ = false;
    DataChanged();
}

bool TDBEdit::event(QEvent* event)
{
    bool result = false;
    if (!ui::Guarded([&] { result = QLineEdit::event(event); })) {
        return true;
    }
    return result;
}

void TDBEdit::keyPressEvent(QKeyEvent* event)
{
    if (ui::VirtualKey(*event) == ui::VK_ESCAPE) {
        link_.Reset();
        selectAll();
        return;
    }
    const QString typed = event->text();
    TField* field = Field();
    bool changing = boundcontrol::IsChangeKey(*event);
    for (QChar c : typed) {
        if (Printable(c)) {
            if (field != nullptr && !field->IsValidChar(ProbeByte(c))) {
                ui::Beep();
                return;
            }
            changing = true;
        } else if (c.unicode() == 8 || c.unicode() == 22 || c.unicode() == 24) {
            changing = true;
        }
    }
    if (mask_ && mask_->Refuses(*event)) {
        // Before the edit begins: a refused character leaves the dataset browsing.
        ui::Beep();
        return;
    }
    if (changing && !BeginChange()) {
        return;
    }
    if (mask_ && !isReadOnly()) {
        bool changed = false;
        if (mask_->HandleKey(*event, changed)) {
            if (changed) {
                link_.MarkModified();
            }
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TDBEdit::inputMethodEvent(QInputMethodEvent* event)
{
    // Composing over a selection removes it at once: that is a change.
    if (event->commitString().isEmpty() && !event->preeditString().isEmpty() && hasSelectedText() &&
        !BeginChange()) {
        return;
    }
    const QString commit = event->commitString();
    if (!commit.isEmpty()) {
        TField* field = Field();
        for (QChar c : commit) {
            if (field != nullptr && !field->IsValidChar(ProbeByte(c))) {
                ui::Beep();
                event->setCommitString(QString());
                QLineEdit::inputMethodEvent(event);
                return;
            }
        }
        if (mask_ && mask_->Refuses(commit)) {
            ui::Beep();
            event->setCommitString(QString());
            QLineEdit::inputMethodEvent(event);
            return;
        }
        if (!BeginChange()) {
            return;
        }
        if (mask_) {
            if (mask_->Insert(commit)) {
                link_.MarkModified();
            }
            event->setCommitString(QString());
        }
    }
    QLineEdit::inputMethodEvent(event);
}

void TDBEdit::dropEvent(QDropEvent* event)
{
    // Dropped text changes the field like pasted text: the dataset enters
    // edit state first, and a masked edit takes it through the mask.
    const QString text = event->mimeData()->text();
    if (text.isEmpty() || !BeginChange() || isReadOnly()) {
        event->ignore();
        return;
    }
    if (mask_) {
        deselect();
        setCursorPosition(cursorPositionAt(event->position().toPoint()));
        if (mask_->Insert(text)) {
            link_.MarkModified();
        }
        event->acceptProposedAction();
        return;
    }
    QLineEdit::dropEvent(event);
}

void TDBEdit::focusInEvent(QFocusEvent* event)
{
    if (!focused_) {
        focused_ = true;
        // Show the edit text before the base selects it for a Tab.
        DataChanged();
    }
    QLineEdit::focusInEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent* event)
{
    // The text is written and the display text shown when the focus moves to
    // another control of the window (Leave), not when the window is left.
    QLineEdit::focusOutEvent(event);
    // The focus may also have come here only on its way back to a control
    // that refused to let it go; then no exit of this edit follows, and it
    // shows its display text again once the move has settled.
    QWidget* now = QApplication::focusWidget();
    if (now != nullptr && now->window() == window()) {
        QTimer::singleShot(0, this, [this] {
            if (focused_ && !hasFocus() && !link_.IsModified()) {
                focused_ = false;
                DataChanged();
            }
        });
    }
}

void TDBEdit::contextMenuEvent(QContextMenuEvent* event)
{
    boundcontrol::ShowEditMenu(*this, event->globalPos(), [this](const QString& command) {
        if (!BeginChange() || isReadOnly()) {
            return;
        }
        if (boundcontrol::RunEditCommand(*this, command, mask_.get())) {
            link_.MarkModified();
        }
    });
}
