#include "controls/mask_edit.h"

#include "data/dataset/db_errors.h"
#include "platform/ui/events.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>

MaskEdit::MaskEdit(QLineEdit& edit, dataset::EditMask mask) : edit_(edit), mask_(std::move(mask)) {}

QString MaskEdit::EditText(const std::string& value) const
{
    return QString::fromLatin1(mask_.EditText(value));
}

QString MaskEdit::DisplayText(const std::string& value) const
{
    return QString::fromLatin1(mask_.DisplayText(value));
}

std::string MaskEdit::Text() const
{
    std::string text = edit_.text().toLatin1().toStdString();
    // Keep one character per position, whatever was shown before.
    text.resize(static_cast<std::size_t>(mask_.Length()), mask_.Blank());
    for (int i = 0; i < mask_.Length(); ++i) {
        if (mask_.IsLiteral(i)) {
            text[i] = mask_.At(i).literal;
        } else if (text[i] == ' ') {
            text[i] = mask_.Blank();
        }
    }
    return text;
}

void MaskEdit::SetText(const std::string& text, int caret)
{
    edit_.setText(QString::fromLatin1(text));
    edit_.setCursorPosition(caret);
}

int MaskEdit::NextInput(int from) const
{
    int i = from;
    while (i < mask_.Length() && mask_.IsLiteral(i)) {
        ++i;
    }
    return i;
}

int MaskEdit::PreviousInput(int before) const
{
    int i = before - 1;
    while (i >= 0 && mask_.IsLiteral(i)) {
        --i;
    }
    return i;
}

int MaskEdit::ClearSelection(std::string& text) const
{
    if (!edit_.hasSelectedText()) {
        return -1;
    }
    const int start = edit_.selectionStart();
    const int end = std::min(start + edit_.selectedText().size(), static_cast<qsizetype>(mask_.Length()));
    for (int i = start; i < end; ++i) {
        if (!mask_.IsLiteral(i)) {
            text[i] = mask_.Blank();
        }
    }
    return start;
}

bool MaskEdit::Type(const QString& typed, std::string& text, int& caret, bool& refused) const
{
    text = Text();
    caret = edit_.cursorPosition();
    if (const int start = ClearSelection(text); start >= 0) {
        caret = start;
    }
    refused = false;
    bool any = false;
    for (QChar c : typed) {
        // The separator typed (or pasted) where the mask has it is taken as
        // that literal: "08:15" pastes as it was copied.
        if (caret < mask_.Length() && mask_.IsLiteral(caret) && c == QLatin1Char(mask_.At(caret).literal)) {
            caret = NextInput(caret + 1);
            continue;
        }
        if (caret > 0 && mask_.IsLiteral(caret - 1) && c == QLatin1Char(mask_.At(caret - 1).literal)) {
            continue;
        }
        const int pos = NextInput(caret);
        char accepted = 0;
        if (pos >= mask_.Length() || c.unicode() >= 0x80 ||
            !mask_.Accepts(pos, static_cast<char>(c.unicode()), &accepted)) {
            refused = true;
            break;
        }
        text[pos] = accepted;
        caret = NextInput(pos + 1);
        any = true;
    }
    return any;
}

bool MaskEdit::Insert(const QString& typed)
{
    std::string text;
    int caret = 0;
    bool refused = false;
    const bool any = Type(typed, text, caret, refused);
    if (refused) {
        ui::Beep();
    }
    if (!any) {
        // Nothing taken: the selection and the text stay as they were.
        return false;
    }
    SetText(text, caret);
    return true;
}

bool MaskEdit::TypedText(const QKeyEvent& event, QString& typed)
{
    if (event.matches(QKeySequence::Paste)) {
        typed = QApplication::clipboard()->text();
        return true;
    }
    typed = event.text();
    return !typed.isEmpty() && typed.front().isPrint() &&
        !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

bool MaskEdit::Refuses(const QKeyEvent& event) const
{
    QString typed;
    return TypedText(event, typed) && Refuses(typed);
}

bool MaskEdit::Refuses(const QString& typed) const
{
    std::string text;
    int caret = 0;
    bool refused = false;
    return !Type(typed, text, caret, refused) && refused;
}

bool MaskEdit::HandleKey(const QKeyEvent& event, bool& changed)
{
    changed = false;
    if (event.matches(QKeySequence::Paste)) {
        changed = Insert(QApplication::clipboard()->text());
        return true;
    }
    if (event.matches(QKeySequence::Cut)) {
        if (edit_.hasSelectedText()) {
            QApplication::clipboard()->setText(edit_.selectedText());
            std::string text = Text();
            const int start = ClearSelection(text);
            SetText(text, start);
            changed = true;
        }
        return true;
    }
    if (event.matches(QKeySequence::Undo) || event.matches(QKeySequence::Redo)) {
        return true;  // the mask keeps no history
    }
    if (event.matches(QKeySequence::DeleteEndOfLine) || event.matches(QKeySequence::DeleteCompleteLine)) {
        return true;  // would close up the positions; Delete blanks them instead
    }
    switch (event.key()) {
    case Qt::Key_Backspace: {
        std::string text = Text();
        int caret = ClearSelection(text);
        if (caret < 0) {
            caret = PreviousInput(edit_.cursorPosition());
            if (caret < 0) {
                return true;
            }
            text[caret] = mask_.Blank();
        }
        SetText(text, caret);
        changed = true;
        return true;
    }
    case Qt::Key_Delete: {
        std::string text = Text();
        int caret = ClearSelection(text);
        if (caret < 0) {
            caret = edit_.cursorPosition();
            const int pos = NextInput(caret);
            if (pos >= mask_.Length()) {
                return true;
            }
            text[pos] = mask_.Blank();
        }
        SetText(text, caret);
        changed = true;
        return true;
    }
    default:
        break;
    }
    const QString typed = event.text();
    if (!typed.isEmpty() && typed.front().isPrint() && !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        changed = Insert(typed);
        return true;
    }
    return false;
}

void MaskEdit::Validate() const
{
    const std::string text = Text();
    if (!mask_.IsValid(text)) {
        ui::Beep();
        edit_.setFocus();
        const int pos = mask_.FirstUnfilledRequired(text);
        edit_.setCursorPosition(pos >= 0 ? pos : 0);
        throw EDBEditError(std::string(dataset::kMaskErrorText));
    }
}

std::string MaskEdit::Value() const
{
    return mask_.ExtractValue(Text());
}
