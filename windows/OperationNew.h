// TOperationNewForm: the editor of one operation application.
//
// The list window creates one for each use, with itself as owner, and calls
// ShowEditor with a mode: 1 new, 2 modify, 3 delete, 4 view. Every input
// control is bound to the current row of DMInteface->QOperationPlan through
// DSQOperationPlan; changes stay in the query's cache until BtnOk applies
// them.
//
// - New: a number is taken from the counter table before anything else (an
//   error there ends ShowEditor with nothing changed and no window), a row is
//   appended with the number, the list window's day, status 0, the applicant
//   and the department. The lower panel shows once the bed number is left.
// - Modify: the current row, browsed until the user types; the blood type and
//   anaesthesia lists select the stored values.
// - Delete and view: the stored texts shown in disabled panels; delete asks
//   and deletes, view has no OK button and shows the theatre's panel for an
//   arranged application.
//
// Closing with a change not yet posted, or posted but not applied, asks
// before discarding it.
#pragma once

#include "platform/ui/form.h"

#include <QChar>

class TDBComboBox;
class TField;
class TDBComboEdit;
class TDBDateEdit;
class TDBEdit;

namespace ui {
class Panel;
class Label;
class Button;
}  // namespace ui

class TOperationNewForm : public ui::Form {
public:
    explicit TOperationNewForm(QWidget* owner = nullptr);
    ~TOperationNewForm() override;

    // Components, panel by panel.
    ui::Panel* Panel1;
    ui::Label* Label1;
    TDBDateEdit* DBDateEdit1;
    ui::Label* Label3;
    TDBEdit* DBEdit1;
    ui::Label* Label2;
    TDBEdit* EditBedNo;
    ui::Label* Label4;
    TDBEdit* DBEdit3;
    ui::Label* Label5;
    TDBEdit* DBEdit4;
    ui::Label* Label6;
    TDBEdit* DBEdit5;
    ui::Label* Label7;
    TDBEdit* DBEdit6;
    ui::Panel* Panel4;
    ui::Label* Label21;
    TDBEdit* DBEdit2;
    ui::Label* Label22;
    TDBEdit* DBEdit7;
    ui::Label* Label23;
    TDBEdit* DBEdit8;
    ui::Label* Label24;
    TDBEdit* DBEdit11;
    ui::Label* Label25;
    TDBEdit* DBEdit12;

    ui::Panel* Panel3;
    ui::Label* Label8;
    TDBComboBox* ComboBloodType;
    ui::Label* Label9;
    TDBComboBox* ComboAssay;
    ui::Label* Label10;
    TDBComboEdit* EditDiagCode;
    ui::Label* Label11;
    TDBEdit* EditDiag;
    ui::Label* Label12;
    TDBComboEdit* EditOperCode;
    ui::Label* Label13;
    TDBEdit* EditOper;
    ui::Label* Label14;
    ui::Label* Label27;
    ui::Label* Label28;
    TDBEdit* DBEdit9;
    ui::Label* Label15;
    TDBComboEdit* DBComboDoctor;
    ui::Label* Label16;
    TDBComboEdit* DBComboAssistant1;
    ui::Label* Label17;
    TDBComboEdit* DBComboAssistant2;
    ui::Label* Label18;
    TDBComboEdit* DBComboAssistant3;
    ui::Label* Label19;
    TDBComboBox* ComboAnaesthesia;
    ui::Label* Label20;
    ui::Label* Label26;
    TDBEdit* DBEdit10;

    ui::Panel* Panel2;
    ui::Button* BtnOk;
    ui::Button* BtnClose;

    // The mode given to ShowEditor: 1 new, 2 modify, 3 delete, 4 view.
    int Mode = 0;
    // Set whenever the bed number's text changes; cleared by ShowEditor.
    bool BedNoChanged = false;

    // Sets the window up for `mode`, runs it modally and returns when it has
    // closed. Called once per editor.
    void ShowEditor(int mode);

    void BtnOkClick(QWidget* sender);
    void BtnCloseClick(QWidget* sender);
    void FormCloseQuery(bool& canClose);
    // Field behaviours. Enter in an edit or a list moves to the next field;
    // leaving a changed bed number looks the in-patient up; 1-9, 0, a-f pick
    // the entries 1 to 16 of a list; the ellipsis buttons and F2 open the
    // code picker (codes) and the staff picker (surgeon, assistants).
    void DBDateEdit1KeyPress(QWidget* sender, QChar& key);
    void EditBedNoChange(QWidget* sender);
    void EditBedNoExit(QWidget* sender);
    void ComboBloodTypeKeyPress(QWidget* sender, QChar& key);
    void EditDiagCodeButtonClick(QWidget* sender);
    void EditDiagCodeKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);
    void EditOperCodeButtonClick(QWidget* sender);
    void EditOperCodeKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);
    void DBComboDoctorButtonClick(QWidget* sender);
    void DBComboDoctorKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);
    void DBComboAssistant1ButtonClick(QWidget* sender);
    void DBComboAssistant1KeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);
    void DBComboAssistant2ButtonClick(QWidget* sender);
    void DBComboAssistant2KeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);
    void DBComboAssistant3ButtonClick(QWidget* sender);
    void DBComboAssistant3KeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers shift);

private:
    void CreateComponents();
    void CreatePanel1();
    void CreatePanel4();
    void CreatePanel3();
    void CreatePanel2();
    void BindControls();
    // Fills the three lists from their dictionaries.
    void FillLists();
    // Shows the stored texts of the two choice-only lists as free text.
    void ShowStoredListTexts();
    void DeleteRow();
    void StoreRow();
    void WireFieldBehaviours();
    // Fills the patient's four fields from the in-patient on the bed.
    void LookUpPatient();
    // The code picker of `kind` for `box`; its choice goes to `code` and `name`, the focus to `nameBox`.
    void PickCode(TDBComboEdit* box, int kind, TField* code, TField* name, QWidget* nameBox);
    // The staff picker for `box`; its choice replaces `field`, or is appended to the box's text.
    void PickEmployee(TDBComboEdit* box, TField* field, bool append);
};

// The editor of the running list window; null when none is open.
extern TOperationNewForm* OperationNewForm;
