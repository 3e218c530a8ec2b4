// TDBEdit: an edit bound to one field of a data source.
//
// - It shows the field's edit text while it has the focus and the field can
//   be modified, the display text otherwise (numbers right-aligned then).
// - Typing a printable character (Chinese included), backspace, Ctrl+V,
//   Ctrl+X, Delete or Shift+Insert, any other editing shortcut of the line
//   edit, pasting or cutting with the mouse, or dropping text, puts a
//   browsing dataset into edit state first (the data source's AutoEdit).
//   A field that cannot be modified keeps the edit unwritable.
// - With the focus, an edit whose field can be modified is writable at once,
//   so that an input method can compose; the dataset enters edit state only
//   when the first character arrives.
// - A string field limits the text to its Size in GBK bytes. A character the
//   field's class does not take is refused with a beep.
// - Escape puts the field's text back and selects it all.
// - The text is written into the field when the dataset asks (post, browse
//   check) and when the focus leaves, only if the user changed it. An error
//   while leaving (the mask's) selects the whole text, keeps the focus here
//   and goes to the error box.
// - A field with an edit mask is edited through it (see MaskEdit).
#pragma once

#include "controls/mask_edit.h"
#include "data/dataset/dataset.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <functional>
#include <memory>
#include <string>

// What the bound edit and the bound list share.
namespace boundcontrol {

// The byte a field's class is asked about for a typed character: the
// character itself, or for a double-byte one a lead byte.
[[nodiscard]] char ProbeByte(QChar c);
// A character that is typed into the text (not a control character).
[[nodiscard]] bool Printable(QChar c);
// A key that changes a line edit's text without typing a character:
// backspace and Delete (with any modifier), Shift+Insert, and the editing
// shortcuts (paste, cut, undo, redo, delete word, delete to the end, ...).
[[nodiscard]] bool IsChangeKey(const QKeyEvent& event);

// The GBK width a field's text is limited to: a string field's Size, else 0.
[[nodiscard]] int TextWidthLimit(const TField* field);
// Gives the edit a GbkWidthLimit of `bytes` (none for 0), unless it has it.
// Texts the control shows from its field go in under GbkWidthLimit::ProgramText.
void LimitTextWidth(QLineEdit& edit, int bytes);

// Shows the edit's context menu (undo, cut, copy, paste, delete, select all)
// at `globalPos`; its commands that change the text call `run` with their
// name ("edit-undo", "edit-cut", "edit-paste", "edit-delete"), so that the
// control can begin the edit first. They are offered when `writable` (the
// control could begin an edit), by default when the edit is not read-only.
void ShowEditMenu(QLineEdit& edit, const QPoint& globalPos, std::function<void(const QString& command)> run);
void ShowEditMenu(QLineEdit& edit, const QPoint& globalPos, bool writable,
                  std::function<void(const QString& command)> run);
// Runs one of those commands on the edit; through `mask` when it has one (as
// the command's key would do it). True when the text changed.
bool RunEditCommand(QLineEdit& edit, const QString& command, MaskEdit* mask = nullptr);
// The key that does the command (for an edit that handles keys itself).
[[nodiscard]] QKeyEvent CommandKey(const QString& command);

// The field link of a bound control: passes the link's notices to the
// control's handlers; on destruction it stops them before it detaches, so
// that no notice reaches a control being destroyed.
class ControlLink : public TFieldDataLink {
public:
    ControlLink(std::function<void()> dataChanged, std::function<void()> editingChanged,
                std::function<void()> updateData);
    ~ControlLink() override;
};

}  // namespace boundcontrol

class TDBEdit : public QLineEdit {
public:
    explicit TDBEdit(QWidget* parent = nullptr);
    ~TDBEdit() override;

    [[nodiscard]] TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(std::string name);
    [[nodiscard]] TField* Field() const { return link_.Field(); }
    // The control's own read-only flag (the field's is respected as well).
    [[nodiscard]] bool ReadOnly() const { return link_.ReadOnly(); }
    void SetReadOnly(bool readOnly);

    // Replaces the text as if the user had typed it (it will be written back).
    void SetText(const QString& text);
    // Writes the text into the field now if it was changed.
    void UpdateRecord() { link_.UpdateRecord(); }

    // Runs on every change of the text, typed or shown.
    std::function<void(QWidget* sender)> OnChange;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void DataChanged();
    void EditingChanged();
    void UpdateData();
    void Leave();
    void Show(const QString& text);
    void UpdateWritable();
    void UpdateLimit();
    bool BeginChange();
    [[nodiscard]] bool Masked() const;

    boundcontrol::ControlLink link_;
    std::unique_ptr<MaskEdit> mask_;
    std::string maskText_;
    bool focused_ = false;
};
