// TPickerForm: what the code picker and the staff picker share.
//
// A top panel with the input box (typed letters become capitals), a check
// box, "选定" (disabled until a search finds a row) and "退出"; below it the
// list, a read-only grid over one of the data module's queries.
//
// Every change of the input box trims blanks and control characters from
// both ends (writing the trimmed text back) and, unless the box is then
// empty, runs the statement the picker builds from the text on the list and
// enables "选定" by whether it found a row. The box's key-down handler: Enter
// accepts (even with "选定" disabled), Up and Down move the list; every key is
// kept from the box's own handling, while the characters it types (and
// backspace) still arrive; an error (the list closed) is swallowed and leaves
// the key to the box. A double click on the list accepts. "选定" closes with
// the result 1, "退出" and the close box with 2; every close records the
// current row first (FormClose); destroying the picker closes the list.
#pragma once

#include "platform/ui/form.h"

#include <string>

class TDataGrid;
class TDataSource;
class TQuery;

namespace ui {
class Panel;
class Label;
class Button;
class CheckBox;
class Edit;
}  // namespace ui

class TPickerForm : public ui::Form {
public:
    ~TPickerForm() override;

    ui::Panel* Panel1;
    ui::Label* Label1;
    ui::Edit* EditInputCode;
    ui::CheckBox* CheckFlag;
    ui::Button* OKBtn;
    ui::Button* BtnClose;
    ui::Panel* Panel2;
    TDataGrid* DBGrid2;

    void EditInputCodeChange(QWidget* sender);
    void CheckFlagClick(QWidget* sender);
    void EditInputCodeKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);
    void OKBtnClick(QWidget* sender);
    void BtnCloseClick(QWidget* sender);
    void FormDestroy();
    // Records the result from the list's current row; runs on every close.
    virtual void FormClose() = 0;

protected:
    // `list` is the query searched, shown through `source`.
    TPickerForm(QWidget* owner, TQuery& list, TDataSource& source);

    // The whole statement for the trimmed, non-empty text of the box.
    [[nodiscard]] virtual std::string Statement(const std::string& text) const = 0;
    // The list is open and has a row.
    [[nodiscard]] bool HasRow() const;
    [[nodiscard]] TQuery& List() const { return list_; }

private:
    TQuery& list_;
};

namespace picker {

// Removes blanks and control characters from both ends.
[[nodiscard]] QString Trimmed(const QString& text);

}  // namespace picker
