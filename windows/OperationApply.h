// TOperationApplyForm: the list of one day's operation applications of the
// calling department.
//
// Shown modally for the whole of one operedit call. The date box chooses the
// day, "仅已安排" narrows the list to arranged applications (those with an
// operating room), and the buttons add, modify and delete applications of a
// day no more than four days back. Arranged rows are drawn green on the
// tool-tip background and cannot be modified or deleted from the ward. The
// list itself is read-only; it works on DMInteface->QOperationPlan.
#pragma once

#include "platform/ui/form.h"

#include <QChar>

class TDataGrid;
class TDataGridColumn;
class TDateEdit;
class TDBNavigator;
class QRect;

namespace ui {
class Panel;
class Label;
class Button;
class CheckBox;
}  // namespace ui

class TOperationApplyForm : public ui::Form {
public:
    explicit TOperationApplyForm(QWidget* owner = nullptr);
    ~TOperationApplyForm() override;

    // Components.
    ui::Panel* Panel1;
    ui::Label* Label1;
    TDateEdit* DateEdit1;
    ui::Label* LabelDept;
    ui::CheckBox* CheckOnly;
    ui::Button* BtnClose;
    ui::Panel* Panel2;
    TDataGrid* DBGrid1;
    ui::Panel* Panel3;
    TDBNavigator* DBNavigator1;
    ui::Button* BtnNew;
    ui::Button* BtnModify;
    ui::Button* BtnDelete;

    // Reads the chosen day's applications of the department and sets the
    // buttons' states.
    void RefreshList();
    // Puts the department into its label and runs the window modally.
    void ShowList();

    void FormCreate();
    void FormDestroy();
    void DateEdit1KeyPress(QWidget* sender, QChar& key);
    void DateEdit1Exit(QWidget* sender);
    void CheckOnlyClick(QWidget* sender);
    void BtnNewClick(QWidget* sender);
    void BtnModifyClick(QWidget* sender);
    void BtnDeleteClick(QWidget* sender);
    void DBGrid1DblClick(QWidget* sender);
    void DBGrid1DrawColumnCell(TDataGrid* sender, const QRect& rect, int dataCol, TDataGridColumn* column,
                               unsigned state);
    void BtnCloseClick(QWidget* sender);

private:
    void CreateComponents();
    // Runs a fresh editor in `mode` (1 new, 2 modify, 3 delete, 4 view) and
    // frees it. An error from the editor leaves it to this window, its owner.
    void OpenEditor(int mode);
    // Modify and delete: refused for an arranged row with `refusal`.
    bool CheckChangeable(const char* refusal);
};

// The list window of the running call; null between calls.
extern TOperationApplyForm* OperationApplyForm;
