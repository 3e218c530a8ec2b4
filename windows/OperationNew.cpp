#include "windows/OperationNew.h"

#include "controls/buttonedit.h"
#include "controls/dateedit.h"
#include "controls/dbcombobox.h"
#include "controls/dbedit.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/locale_settings.h"
#include "data/dataset/sql_text.h"
#include "data/patient_age.h"
#include "entry/commoninteface.h"
#include "pickers/ChoiceDiag.h"
#include "pickers/ChoiceEmployee.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"
#include "platform/ui/widgets.h"
#include "windows/OperationApply.h"

#include <QGuiApplication>
#include <QScreen>

#include <exception>
#include <initializer_list>
#include <optional>
#include <string>

TOperationNewForm* OperationNewForm = nullptr;

namespace {

namespace loc = dataset::locale;

constexpr int kEditHeight = 20;
constexpr int kButtonEditHeight = 21;
constexpr int kListHeight = 20;
constexpr int kListItemHeight = 12;

bool Editing(const TDataSet& dataSet)
{
    return dataSet.State() == dsEdit || dataSet.State() == dsInsert;
}

TDBEdit* BoundEdit(QWidget* parent, const char* name, int left, int top, int width, int tab)
{
    auto* edit = new TDBEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    ui::Place(edit, left, top, width, kEditHeight);
    ui::SetTabOrder(edit, tab);
    return edit;
}

TDBComboEdit* ButtonEdit(QWidget* parent, const char* name, int left, int top, int width, int tab)
{
    auto* edit = new TDBComboEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->SetGlyphKind(gkEllipsis);
    ui::Place(edit, left, top, width, kButtonEditHeight);
    ui::SetTabOrder(edit, tab);
    return edit;
}

TDBComboBox* List(QWidget* parent, const char* name, TComboBoxStyle style, int left, int top, int width, int tab)
{
    auto* list = new TDBComboBox(parent, style);
    list->setObjectName(QString::fromLatin1(name));
    list->SetItemHeight(kListItemHeight);
    ui::Place(list, left, top, width, kListHeight);
    ui::SetTabOrder(list, tab);
    return list;
}

ui::Label* NamedLabel(QWidget* parent, const char* name, const char* caption, int left, int top)
{
    auto* label = new ui::Label(parent, QString::fromUtf8(caption), left, top);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

}  // namespace

TOperationNewForm::TOperationNewForm(QWidget* owner) : ui::Form(owner)
{
    setObjectName(QStringLiteral("OperationNewForm"));
    SetCaption(QString::fromUtf8("新申请"));
    const QRect screen = QGuiApplication::primaryScreen() != nullptr ? QGuiApplication::primaryScreen()->geometry()
                                                                     : QRect(0, 0, 1024, 768);
    constexpr int kWidth = 790;
    constexpr int kHeight = 599;
    SetBounds(screen.left() + (screen.width() - kWidth) / 2, screen.top() + (screen.height() - kHeight) / 2, kWidth,
              kHeight);
    CreateComponents();
    OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
}

TOperationNewForm::~TOperationNewForm()
{
    if (OperationNewForm == this) {
        OperationNewForm = nullptr;
    }
}

void TOperationNewForm::CreateComponents()
{
    // Creation order stacks the aligned panels: the top one, the bottom one, then the client one.
    Panel1 = new ui::Panel(this, ui::Align::Top);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->resize(Panel1->width(), 105);
    Panel2 = new ui::Panel(this, ui::Align::Bottom);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->resize(Panel2->width(), 51);
    Panel3 = new ui::Panel(this, ui::Align::Client);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    ui::SetTabOrder(Panel1, 0);
    ui::SetTabOrder(Panel3, 1);
    ui::SetTabOrder(Panel2, 2);

    CreatePanel1();
    CreatePanel4();
    CreatePanel3();
    CreatePanel2();
    BindControls();
    WireFieldBehaviours();
    SetActiveControl(DBDateEdit1);
}

void TOperationNewForm::CreatePanel1()
{
    Label1 = NamedLabel(Panel1, "Label1", "手术日期:", 19, 18);
    DBDateEdit1 = new TDBDateEdit(Panel1);
    DBDateEdit1->setObjectName(QStringLiteral("DBDateEdit1"));
    ui::Place(DBDateEdit1, 83, 11, 89, kButtonEditHeight);
    ui::SetTabOrder(DBDateEdit1, 0);
    Label3 = NamedLabel(Panel1, "Label3", "手术时间:", 19, 46);
    DBEdit1 = BoundEdit(Panel1, "DBEdit1", 83, 41, 89, 1);
    Label2 = NamedLabel(Panel1, "Label2", "床号:", 19, 75);
    EditBedNo = BoundEdit(Panel1, "EditBedNo", 83, 71, 89, 2);
    Label4 = NamedLabel(Panel1, "Label4", "姓名:", 185, 75);
    DBEdit3 = BoundEdit(Panel1, "DBEdit3", 215, 71, 89, 3);
    Label5 = NamedLabel(Panel1, "Label5", "性别:", 312, 75);
    DBEdit4 = BoundEdit(Panel1, "DBEdit4", 342, 71, 42, 4);
    Label6 = NamedLabel(Panel1, "Label6", "年龄:", 390, 75);
    DBEdit5 = BoundEdit(Panel1, "DBEdit5", 425, 71, 42, 5);
    Label7 = NamedLabel(Panel1, "Label7", "住院号:", 474, 75);
    DBEdit6 = BoundEdit(Panel1, "DBEdit6", 520, 71, 89, 6);
    // The patient's particulars come from the in-patient register, never from typing.
    for (TDBEdit* patient : {DBEdit3, DBEdit4, DBEdit5, DBEdit6}) {
        patient->setEnabled(false);
    }

    Panel4 = new ui::Panel(Panel1);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->SetBevel(ui::Panel::Bevel::Lowered);
    ui::Place(Panel4, 201, 7, 574, 61);
    ui::SetTabOrder(Panel4, 7);
    Panel4->setEnabled(false);

}

void TOperationNewForm::CreatePanel4()
{
    Label21 = NamedLabel(Panel4, "Label21", "手术间:", 11, 13);
    DBEdit2 = BoundEdit(Panel4, "DBEdit2", 67, 9, 89, 0);
    Label22 = NamedLabel(Panel4, "Label22", "麻醉医师:", 189, 13);
    DBEdit7 = BoundEdit(Panel4, "DBEdit7", 246, 9, 89, 1);
    Label23 = NamedLabel(Panel4, "Label23", "麻醉助手:", 368, 13);
    DBEdit8 = BoundEdit(Panel4, "DBEdit8", 425, 9, 89, 2);
    Label24 = NamedLabel(Panel4, "Label24", "器械护士:", 11, 37);
    DBEdit11 = BoundEdit(Panel4, "DBEdit11", 67, 33, 89, 3);
    Label25 = NamedLabel(Panel4, "Label25", "巡回护士:", 189, 37);
    DBEdit12 = BoundEdit(Panel4, "DBEdit12", 246, 33, 89, 4);
}

void TOperationNewForm::CreatePanel3()
{
    Label8 = NamedLabel(Panel3, "Label8", "血型:", 19, 21);
    ComboBloodType = List(Panel3, "ComboBloodType", csDropDownList, 82, 16, 130, 0);
    Label9 = NamedLabel(Panel3, "Label9", "化验情况:", 19, 50);
    ComboAssay = List(Panel3, "ComboAssay", csDropDown, 83, 45, 314, 1);
    ComboAssay->SetDropDownCount(15);
    Label10 = NamedLabel(Panel3, "Label10", "诊断代码:", 19, 78);
    EditDiagCode = ButtonEdit(Panel3, "EditDiagCode", 83, 73, 133, 2);
    EditDiagCode->SetReadOnly(true);
    Label11 = NamedLabel(Panel3, "Label11", "诊断名称:", 19, 106);
    EditDiag = BoundEdit(Panel3, "EditDiag", 83, 102, 692, 3);
    Label12 = NamedLabel(Panel3, "Label12", "手术代码:", 19, 135);
    EditOperCode = ButtonEdit(Panel3, "EditOperCode", 83, 131, 133, 4);
    EditOperCode->SetReadOnly(true);
    Label13 = NamedLabel(Panel3, "Label13", "手术名称:", 19, 163);
    EditOper = BoundEdit(Panel3, "EditOper", 83, 159, 692, 5);
    Label14 = NamedLabel(Panel3, "Label14", "特殊要求:", 19, 189);
    Label27 = NamedLabel(Panel3, "Label27", "(含材料器", 16, 202);
    Label28 = NamedLabel(Panel3, "Label28", "械麻醉等)", 22, 215);
    DBEdit9 = BoundEdit(Panel3, "DBEdit9", 83, 196, 692, 6);
    DBEdit9->setFixedHeight(kEditHeight);
    Label15 = NamedLabel(Panel3, "Label15", "手术医师:", 19, 240);
    DBComboDoctor = ButtonEdit(Panel3, "DBComboDoctor", 83, 236, 133, 7);
    Label16 = NamedLabel(Panel3, "Label16", "手术助手1:", 19, 268);
    DBComboAssistant1 = ButtonEdit(Panel3, "DBComboAssistant1", 83, 264, 133, 8);
    Label17 = NamedLabel(Panel3, "Label17", "手术助手2:", 19, 297);
    DBComboAssistant2 = ButtonEdit(Panel3, "DBComboAssistant2", 83, 292, 133, 9);
    Label18 = NamedLabel(Panel3, "Label18", "手术助手3:", 19, 325);
    DBComboAssistant3 = ButtonEdit(Panel3, "DBComboAssistant3", 83, 320, 316, 10);
    Label19 = NamedLabel(Panel3, "Label19", "麻醉方法:", 19, 354);
    ComboAnaesthesia = List(Panel3, "ComboAnaesthesia", csDropDownList, 83, 351, 92, 11);
    Label20 = NamedLabel(Panel3, "Label20", "备注:", 19, 377);
    Label26 = NamedLabel(Panel3, "Label26", "(指导者等)", 17, 391);
    DBEdit10 = BoundEdit(Panel3, "DBEdit10", 83, 380, 692, 12);
    DBEdit10->setFixedHeight(kEditHeight);
}

void TOperationNewForm::CreatePanel2()
{
    BtnOk = new ui::Button(Panel2, QString::fromUtf8("确认"), ui::Glyph::Ok);
    BtnOk->setObjectName(QStringLiteral("BtnOk"));
    ui::Place(BtnOk, 488, 13, 70, 25);
    ui::SetTabOrder(BtnOk, 0);
    BtnClose = new ui::Button(Panel2, QString::fromUtf8("退出"), ui::Glyph::Close);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    ui::Place(BtnClose, 600, 13, 67, 25);
    ui::SetTabOrder(BtnClose, 1);
    BtnOk->OnClick = [this](QWidget* sender) { BtnOkClick(sender); };
    BtnClose->OnClick = [this](QWidget* sender) { BtnCloseClick(sender); };
}

void TOperationNewForm::BindControls()
{
    TDataSource* source = DMInteface->DSQOperationPlan;
    const auto bind = [source](auto* control, const char* field) {
        control->SetDataSource(source);
        control->SetDataField(field);
    };
    bind(DBDateEdit1, "FOperDate");
    bind(DBEdit1, "FTime");
    bind(EditBedNo, "FBedNo");
    bind(DBEdit3, "FName");
    bind(DBEdit4, "FSex");
    bind(DBEdit5, "FAge");
    bind(DBEdit6, "FInNo");
    bind(DBEdit2, "FOperRoom");
    bind(DBEdit7, "FAnaDoctor");
    bind(DBEdit8, "FAnaAss1");
    bind(DBEdit11, "FAppNurse");
    bind(DBEdit12, "FCirNurse");
    bind(ComboBloodType, "FBloodType");
    bind(ComboAssay, "FAssay");
    bind(EditDiagCode, "FDiagCode");
    bind(EditDiag, "FDiag");
    bind(EditOperCode, "FOperCode");
    bind(EditOper, "FOper");
    bind(DBEdit9, "FMaterial");
    bind(DBComboDoctor, "FOperator");
    bind(DBComboAssistant1, "FAssistant1");
    bind(DBComboAssistant2, "FAssistant2");
    bind(DBComboAssistant3, "FAssistant3");
    bind(ComboAnaesthesia, "FAnaesthesia");
    bind(DBEdit10, "FRemark");
}

void TOperationNewForm::ShowEditor(int mode)
{
    BedNoChanged = false;
    Mode = mode;
    if (Mode == 1 || Mode == 2) {
        FillLists();
    }

    TQuery& plan = *DMInteface->QOperationPlan;
    switch (Mode) {
    case 1: {
        SetCaption(QString::fromUtf8("新申请"));
        // The number comes first: when the counter cannot give one, nothing has changed.
        const int number = DMInteface->NextOperationPlanNo();
        plan.Append();
        DMInteface->QOperationPlanFSerialNo->SetAsInteger(number);
        // The list window's day (its box gives today for a text that is no date), without time of day.
        const hisdb::DateTime chosen =
            OperationApplyForm != nullptr ? OperationApplyForm->DateEdit1->Date() : loc::Today();
        const hisdb::DateTime day = loc::FromDayNumber(loc::DayNumber(chosen));
        DMInteface->QOperationPlanFOperDate->SetAsDateTime(day);
        DMInteface->QOperationPlanFStatus->SetAsInteger(0);
        DMInteface->QOperationPlanFUser->SetAsString(DMInteface->ApplicantUser);
        DMInteface->QOperationPlanFDeptCode->SetAsString(DMInteface->DepartmentCode);
        Panel3->setVisible(false);
        Panel4->setVisible(false);
        break;
    }
    case 2:
        SetCaption(QString::fromUtf8("申请修改"));
        ComboBloodType->SetItemIndex(
            ComboBloodType->IndexOf(QString::fromStdString(DMInteface->QOperationPlanFBloodType->AsString())));
        ComboAnaesthesia->SetItemIndex(
            ComboAnaesthesia->IndexOf(QString::fromStdString(DMInteface->QOperationPlanFAnaesthesia->AsString())));
        Panel3->setVisible(true);
        Panel4->setVisible(false);
        break;
    case 3:
        SetCaption(QString::fromUtf8("删除确认"));
        ShowStoredListTexts();
        Panel3->setVisible(true);
        Panel1->setEnabled(false);
        Panel3->setEnabled(false);
        BtnOk->setText(QString::fromUtf8("删除"));
        Panel4->setVisible(false);
        break;
    case 4:
        SetCaption(QString::fromUtf8("查看"));
        ShowStoredListTexts();
        Panel3->setVisible(true);
        Panel1->setEnabled(false);
        Panel3->setEnabled(false);
        Panel4->setVisible(!DMInteface->QOperationPlanFOperRoom->AsString().empty());
        BtnOk->setVisible(false);
        break;
    default:
        break;
    }
    ShowModal();
}

void TOperationNewForm::FillLists()
{
    TQuery& dict = *DMInteface->QDict;
    const auto fill = [&dict](TDBComboBox* list, const char* sql) {
        OpenQuerySQL(dict, sql);
        list->ClearItems();
        TField* name = dict.FieldByName("FName");
        for (dict.First(); !dict.Eof(); dict.Next()) {
            list->AddItem(QString::fromStdString(name->AsString()));
        }
    };
    fill(ComboBloodType, "select * from TDictBloodTypeA Order by FNo ");
    fill(ComboAssay, "select * from TDictAssay Order by FNo ");
    fill(ComboAnaesthesia, "select * from TDictAnaesthesia Order by FNo ");
    dict.Close();
}

void TOperationNewForm::ShowStoredListTexts()
{
    ComboBloodType->SetStyle(csDropDown);
    ComboBloodType->SetText(QString::fromStdString(DMInteface->QOperationPlanFBloodType->AsString()));
    ComboAnaesthesia->SetStyle(csDropDown);
    ComboAnaesthesia->SetText(QString::fromStdString(DMInteface->QOperationPlanFAnaesthesia->AsString()));
}

void TOperationNewForm::BtnOkClick(QWidget*)
{
    if (Mode == 3) {
        DeleteRow();
    } else {
        StoreRow();
    }
}

void TOperationNewForm::DeleteRow()
{
    if (!AskConfirmation("请确认删除当前手术申请?")) {
        return;
    }
    TQuery& plan = *DMInteface->QOperationPlan;
    try {
        // After a failed apply the row's deletion is still pending and the
        // current row is another application: retry, never delete that one.
        if (!plan.UpdatesPending()) {
            plan.Delete();
        }
        plan.ApplyUpdates();
    } catch (...) {
        ShowInformation(QString::fromUtf8("更新数据库错误  ") + ui::ErrorMessage(std::current_exception()));
        return;
    }
    plan.CommitUpdates();
    Close();
}

void TOperationNewForm::StoreRow()
{
    TQuery& plan = *DMInteface->QOperationPlan;
    try {
        if (Editing(plan)) {
            plan.Post();
        }
    } catch (...) {
        // A refusing rule has shown its own message.
        return;
    }
    if (plan.UpdatesPending()) {
        try {
            plan.ApplyUpdates();
        } catch (...) {
            ShowInformation(QString::fromUtf8("更新数据库错误 ") + ui::ErrorMessage(std::current_exception()));
            return;
        }
        plan.CommitUpdates();
    }
    Close();
}

void TOperationNewForm::BtnCloseClick(QWidget*)
{
    Close();
}

void TOperationNewForm::FormCloseQuery(bool& canClose)
{
    TQuery& plan = *DMInteface->QOperationPlan;
    constexpr const char* kQuestion = "数据没有存盘，不保存退出吗?";
    if (Editing(plan) && !AskConfirmation(kQuestion)) {
        canClose = false;
        return;
    }
    if (plan.UpdatesPending() && !AskConfirmation(kQuestion)) {
        canClose = false;
        return;
    }
    if (Editing(plan)) {
        plan.Cancel();
    }
    if (plan.UpdatesPending()) {
        plan.CancelUpdates();
    }
    canClose = true;
}

// --- field behaviours

void TOperationNewForm::WireFieldBehaviours()
{
    const auto enterMovesOn = [this](QWidget* sender, QChar& key) { DBDateEdit1KeyPress(sender, key); };
    for (QWidget* box : std::initializer_list<QWidget*>{
             DBDateEdit1, EditBedNo, DBEdit1, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6, DBEdit7, DBEdit8,
             DBEdit9, DBEdit10, DBEdit11, DBEdit12, EditDiagCode, EditDiag, EditOperCode, EditOper, DBComboDoctor,
             DBComboAssistant1, DBComboAssistant2, DBComboAssistant3}) {
        ui::Events(box).OnKeyPress = enterMovesOn;
    }
    for (TDBComboBox* list : {ComboBloodType, ComboAssay, ComboAnaesthesia}) {
        ui::Events(list).OnKeyPress = [this](QWidget* sender, QChar& key) { ComboBloodTypeKeyPress(sender, key); };
    }
    EditBedNo->OnChange = [this](QWidget* sender) { EditBedNoChange(sender); };
    ui::Events(EditBedNo).OnExit = [this](QWidget* sender) { EditBedNoExit(sender); };

    EditDiagCode->OnButtonClick = [this](QWidget* sender) { EditDiagCodeButtonClick(sender); };
    EditOperCode->OnButtonClick = [this](QWidget* sender) { EditOperCodeButtonClick(sender); };
    DBComboDoctor->OnButtonClick = [this](QWidget* sender) { DBComboDoctorButtonClick(sender); };
    DBComboAssistant1->OnButtonClick = [this](QWidget* sender) { DBComboAssistant1ButtonClick(sender); };
    DBComboAssistant2->OnButtonClick = [this](QWidget* sender) { DBComboAssistant2ButtonClick(sender); };
    DBComboAssistant3->OnButtonClick = [this](QWidget* sender) { DBComboAssistant3ButtonClick(sender); };
    ui::Events(EditDiagCode).OnKeyDown = [this](QWidget* s, int& k, ui::ShiftState m) { EditDiagCodeKeyDown(s, k, m); };
    ui::Events(EditOperCode).OnKeyDown = [this](QWidget* s, int& k, ui::ShiftState m) { EditOperCodeKeyDown(s, k, m); };
    ui::Events(DBComboDoctor).OnKeyDown = [this](QWidget* s, int& k, ui::ShiftState m) {
        DBComboDoctorKeyDown(s, k, m);
    };
    ui::Events(DBComboAssistant1).OnKeyDown = [this](QWidget* s, int& k, ui::ShiftState m) {
        DBComboAssistant1KeyDown(s, k, m);
    };
    ui::Events(DBComboAssistant2).OnKeyDown = [this](QWidget* s, int& k, ui::ShiftState m) {
        DBComboAssistant2KeyDown(s, k, m);
    };
    ui::Events(DBComboAssistant3).OnKeyDown = [this](QWidget* s, int& k, ui::ShiftState m) {
        DBComboAssistant3KeyDown(s, k, m);
    };
}

void TOperationNewForm::DBDateEdit1KeyPress(QWidget* sender, QChar& key)
{
    if (key == QChar(13)) {
        ui::SelectNext(sender);
        key = QChar(0);
    }
}

void TOperationNewForm::EditBedNoChange(QWidget*)
{
    BedNoChanged = true;
}

void TOperationNewForm::EditBedNoExit(QWidget*)
{
    if (BedNoChanged) {
        LookUpPatient();
    }
    Panel3->setVisible(true);
    ComboBloodType->setFocus(Qt::OtherFocusReason);
}

void TOperationNewForm::LookUpPatient()
{
    TQuery& dict = *DMInteface->QDict;
    OpenQuerySQL(dict, "select * from TPat (NOLOCK) where FDeptCode='" +
                           dataset::LiteralText(DMInteface->DepartmentCode) + "' and FBedNo='" +
                           dataset::LiteralText(EditBedNo->text().toStdString()) + "' and FStatus=2 ");
    dict.First();
    TQuery& plan = *DMInteface->QOperationPlan;
    if (plan.State() == dsBrowse) {
        plan.Edit();
    }
    if (dict.IsEmpty()) {
        DMInteface->QOperationPlanFName->Clear();
        DMInteface->QOperationPlanFSex->Clear();
        DMInteface->QOperationPlanFAge->Clear();
        DMInteface->QOperationPlanFInNo->Clear();
    } else {
        DMInteface->QOperationPlanFName->SetAsString(dict.FieldByName("FName")->AsString());
        DMInteface->QOperationPlanFSex->SetAsString(dict.FieldByName("FSex")->AsString());
        TField* birthDay = dict.FieldByName("FBirthDay");
        const std::optional<int> age =
            birthDay->IsNull() ? std::nullopt : patient::CompletedYears(birthDay->AsDateTime(), loc::Today());
        if (age) {
            DMInteface->QOperationPlanFAge->SetAsInteger(*age);
        } else {
            DMInteface->QOperationPlanFAge->Clear();
        }
        DMInteface->QOperationPlanFInNo->SetAsString(dict.FieldByName("FInNo")->AsString());
    }
    dict.Close();
}

void TOperationNewForm::ComboBloodTypeKeyPress(QWidget* sender, QChar& key)
{
    auto* list = static_cast<TDBComboBox*>(sender);
    const char16_t c = key.unicode();
    int position = 0;
    if (c >= u'1' && c <= u'9') {
        position = c - u'0';
    } else if (c == u'0') {
        position = 10;
    } else if (c >= u'a' && c <= u'f') {
        position = 11 + (c - u'a');
    }
    if (position > 0 && position <= list->ItemCount()) {
        list->SetItemIndex(position - 1);
        TQuery& plan = *DMInteface->QOperationPlan;
        // Also in new mode after a failed store, when the row is browsed:
        // the entry shown is the entry stored.
        if (plan.State() == dsBrowse) {
            plan.Edit();
        }
        list->Field()->SetAsString(list->Item(position - 1).toStdString());
        // The list's own handling of the character would move the choice on
        // (to an entry beginning with the letter) or type it into the text.
        key = QChar(0);
    }
    if (key == QChar(13)) {
        ui::SelectNext(sender);
        key = QChar(0);
    }
}

void TOperationNewForm::PickCode(TDBComboEdit* box, int kind, TField* code, TField* name, QWidget* nameBox)
{
    ChoiceDiagForm = new TChoiceDiagForm(this);
    ChoiceDiagForm->SetLeft(Left());
    ChoiceDiagForm->SetTop(Top() + Panel3->y() + box->y() + 2 * box->height() + 3);
    ChoiceDiagForm->KeepWithin(ScreenArea());
    try {
        if (ChoiceDiagForm->ChooseCode(kind) == ui::mrOk) {
            TQuery& plan = *DMInteface->QOperationPlan;
            // The code box is read-only, so in modify mode nothing may have begun the edit yet:
            // begin it, or the choice would be dropped.
            if (plan.State() == dsBrowse) {
                plan.Edit();
            }
            if (Editing(plan)) {
                code->SetAsString(ChoiceDiagForm->SelectedCode);
                name->SetAsString(ChoiceDiagForm->SelectedName);
            }
            nameBox->setFocus(Qt::OtherFocusReason);
        }
    } catch (...) {
        ChoiceDiagForm->Free();
        throw;
    }
    ChoiceDiagForm->Free();
}

void TOperationNewForm::PickEmployee(TDBComboEdit* box, TField* field, bool append)
{
    ChoiceEmployeeForm = new TChoiceEmployeeForm(this);
    ChoiceEmployeeForm->SetLeft(Left());
    ChoiceEmployeeForm->SetTop(Top() + Panel3->y() + box->y() + 2 * box->height());
    ChoiceEmployeeForm->KeepWithin(ScreenArea());
    try {
        if (ChoiceEmployeeForm->ChooseEmployee("医生") == ui::mrOk) {
            TQuery& plan = *DMInteface->QOperationPlan;
            // Browsed in modify mode before anything was typed, or in new
            // mode after a failed store: begin the edit, so that the name
            // shown is the name stored.
            if (plan.State() == dsBrowse) {
                plan.Edit();
            }
            if (Editing(plan)) {
                const QString name = QString::fromStdString(ChoiceEmployeeForm->SelectedName);
                if (append) {
                    box->SetText(box->text() + name);
                } else {
                    field->SetAsString(ChoiceEmployeeForm->SelectedName);
                }
            }
            if (append) {
                box->setCursorPosition(static_cast<int>(box->text().size()));
            }
        }
    } catch (...) {
        ChoiceEmployeeForm->Free();
        throw;
    }
    ChoiceEmployeeForm->Free();
}

void TOperationNewForm::EditDiagCodeButtonClick(QWidget*)
{
    PickCode(EditDiagCode, 1, DMInteface->QOperationPlanFDiagCode, DMInteface->QOperationPlanFDiag, EditDiag);
}

void TOperationNewForm::EditOperCodeButtonClick(QWidget*)
{
    PickCode(EditOperCode, 2, DMInteface->QOperationPlanFOperCode, DMInteface->QOperationPlanFOper, EditOper);
}

void TOperationNewForm::DBComboDoctorButtonClick(QWidget*)
{
    PickEmployee(DBComboDoctor, DMInteface->QOperationPlanFOperator, false);
}

void TOperationNewForm::DBComboAssistant1ButtonClick(QWidget*)
{
    PickEmployee(DBComboAssistant1, DMInteface->QOperationPlanFAssistant1, false);
}

void TOperationNewForm::DBComboAssistant2ButtonClick(QWidget*)
{
    PickEmployee(DBComboAssistant2, DMInteface->QOperationPlanFAssistant2, false);
}

void TOperationNewForm::DBComboAssistant3ButtonClick(QWidget*)
{
    PickEmployee(DBComboAssistant3, DMInteface->QOperationPlanFAssistant3, true);
}

// F2, whatever the shift state, does what the box's button does; the key goes on.
void TOperationNewForm::EditDiagCodeKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    if (key == ui::VK_F2) {
        EditDiagCodeButtonClick(sender);
    }
}

void TOperationNewForm::EditOperCodeKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    if (key == ui::VK_F2) {
        EditOperCodeButtonClick(sender);
    }
}

void TOperationNewForm::DBComboDoctorKeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    if (key == ui::VK_F2) {
        DBComboDoctorButtonClick(sender);
    }
}

void TOperationNewForm::DBComboAssistant1KeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    if (key == ui::VK_F2) {
        DBComboAssistant1ButtonClick(sender);
    }
}

void TOperationNewForm::DBComboAssistant2KeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    if (key == ui::VK_F2) {
        DBComboAssistant2ButtonClick(sender);
    }
}

void TOperationNewForm::DBComboAssistant3KeyDown(QWidget* sender, int& key, Qt::KeyboardModifiers)
{
    if (key == ui::VK_F2) {
        DBComboAssistant3ButtonClick(sender);
    }
}
