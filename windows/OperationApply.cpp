#include "windows/OperationApply.h"

#include "windows/OperationNew.h"

#include "controls/colors.h"
#include "controls/datagrid.h"
#include "controls/dateedit.h"
#include "controls/navigator.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/locale_settings.h"
#include "data/dataset/sql_text.h"
#include "entry/commoninteface.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"
#include "platform/ui/widgets.h"

#include <QGuiApplication>
#include <QScreen>

#include <optional>
#include <string>

TOperationApplyForm* OperationApplyForm = nullptr;

namespace {

namespace loc = dataset::locale;

// The day the date box's text names, by the workstation's short date format.
std::optional<int> ChosenDay(const TDateEdit& box)
{
    hisdb::DateTime date;
    if (!loc::ParseDate(box.text().toStdString(), date)) {
        return std::nullopt;
    }
    return loc::DayNumber(date);
}

struct GridColumn {
    const char* field;
    int width;  // pixels; 0 takes the field's display width
};

constexpr GridColumn kGridColumns[] = {
    {"FOperRoom", 44},  {"FOperDate", 0},   {"FTime", 0},       {"FBedNo", 0},      {"FName", 0},
    {"FSex", 0},        {"FAge", 32},       {"FInNo", 47},      {"FBloodType", 28}, {"FAssay", 51},
    {"FDiagCode", 60},  {"FDiag", 91},      {"FOperCode", 56},  {"FOper", 104},     {"FMaterial", 111},
    {"FOperator", 0},   {"FAssistant1", 0}, {"FAssistant2", 0}, {"FAssistant3", 0}, {"FAnaesthesia", 0},
    {"FAnaDoctor", 0},  {"FAnaAss1", 0},    {"FAppNurse", 0},   {"FCirNurse", 0},   {"FRemark", 0},
    {"FDeptCode", 0},   {"FEnterDate", 0},  {"FUser", 3},
};

}  // namespace

TOperationApplyForm::TOperationApplyForm(QWidget* owner) : ui::Form(owner)
{
    setObjectName("OperationApplyForm");
    SetCaption(QString::fromUtf8("手术申请"));
    CreateComponents();
    OnDestroy = [this] { FormDestroy(); };
    FormCreate();
}

TOperationApplyForm::~TOperationApplyForm()
{
    if (OperationApplyForm == this) {
        OperationApplyForm = nullptr;
    }
}

void TOperationApplyForm::CreateComponents()
{
    Panel1 = new ui::Panel(this, ui::Align::Top);
    Panel1->setObjectName("Panel1");
    Panel1->resize(Panel1->width(), 41);
    Label1 = new ui::Label(Panel1, QString::fromUtf8("手术日期:"), 15, 16);
    DateEdit1 = new TDateEdit(Panel1);
    DateEdit1->setObjectName("DateEdit1");
    DateEdit1->SetDefaultToday(true);
    ui::Place(DateEdit1, 73, 11, 91, DateEdit1->sizeHint().height());
    LabelDept = new ui::Label(Panel1, QString::fromUtf8("申请科室:"), 179, 16);
    LabelDept->setObjectName("LabelDept");
    CheckOnly = new ui::CheckBox(Panel1, QString::fromUtf8("仅已安排"));
    CheckOnly->setObjectName("CheckOnly");
    ui::Place(CheckOnly, 485, 14, 70, CheckOnly->sizeHint().height());
    BtnClose = new ui::Button(Panel1, QString::fromUtf8("退出"), ui::Glyph::Close);
    BtnClose->setObjectName("BtnClose");
    ui::Place(BtnClose, 684, 9, 75, 25);

    Panel3 = new ui::Panel(this, ui::Align::Bottom);
    Panel3->setObjectName("Panel3");
    Panel3->resize(Panel3->width(), 41);
    DBNavigator1 = new TDBNavigator(Panel3);
    DBNavigator1->setObjectName("DBNavigator1");
    DBNavigator1->SetDataSource(DMInteface->DSQOperationPlan);
    ui::Place(DBNavigator1, 16, 7, 112, 25);
    BtnNew = new ui::Button(Panel3, QString::fromUtf8(" 新增"), ui::Glyph::New);
    BtnNew->setObjectName("BtnNew");
    ui::Place(BtnNew, 226, 6, 69, 25);
    BtnModify = new ui::Button(Panel3, QString::fromUtf8(" 修改"), ui::Glyph::Modify);
    BtnModify->setObjectName("BtnModify");
    ui::Place(BtnModify, 295, 6, 69, 25);
    BtnDelete = new ui::Button(Panel3, QString::fromUtf8(" 删除"), ui::Glyph::Delete);
    BtnDelete->setObjectName("BtnDelete");
    ui::Place(BtnDelete, 363, 6, 69, 25);

    Panel2 = new ui::Panel(this, ui::Align::Client);
    Panel2->setObjectName("Panel2");
    DBGrid1 = new TDataGrid(Panel2);
    DBGrid1->setObjectName("DBGrid1");
    ui::SetAlign(DBGrid1, ui::Align::Client);
    DBGrid1->SetOptions(dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs | dgRowSelect |
                        dgConfirmDelete | dgCancelOnExit);
    DBGrid1->SetReadOnly(true);
    DBGrid1->SetFooterRowCount(1);
    DBGrid1->SetFooterColor(clWindow());
    DBGrid1->FooterTotals().Active = true;
    for (const GridColumn& column : kGridColumns) {
        DBGrid1->AddColumn(column.field,
                           column.width > 0 ? std::optional<int>(column.width) : std::optional<int>());
    }
    DBGrid1->SetDataSource(DMInteface->DSQOperationPlan);

    // Tab order: the date box, the close button, the check box; the grid; the navigator and the buttons.
    ui::SetTabOrder(Panel1, 0);
    ui::SetTabOrder(DateEdit1, 0);
    ui::SetTabOrder(BtnClose, 1);
    ui::SetTabOrder(CheckOnly, 2);
    ui::SetTabOrder(Panel2, 1);
    ui::SetTabOrder(Panel3, 2);
    ui::SetTabOrder(DBNavigator1, 0);
    ui::SetTabOrder(BtnNew, 1);
    ui::SetTabOrder(BtnModify, 2);
    ui::SetTabOrder(BtnDelete, 3);
    SetActiveControl(DateEdit1);

    ui::Events(DateEdit1).OnKeyPress = [this](QWidget* sender, QChar& key) { DateEdit1KeyPress(sender, key); };
    ui::Events(DateEdit1).OnExit = [this](QWidget* sender) { DateEdit1Exit(sender); };
    CheckOnly->OnClick = [this](QWidget* sender) { CheckOnlyClick(sender); };
    BtnClose->OnClick = [this](QWidget* sender) { BtnCloseClick(sender); };
    BtnNew->OnClick = [this](QWidget* sender) { BtnNewClick(sender); };
    BtnModify->OnClick = [this](QWidget* sender) { BtnModifyClick(sender); };
    BtnDelete->OnClick = [this](QWidget* sender) { BtnDeleteClick(sender); };
    DBGrid1->OnDblClick = [this](QWidget* sender) { DBGrid1DblClick(sender); };
    DBGrid1->OnDrawColumnCell = [this](TDataGrid* sender, const QRect& rect, int dataCol, TDataGridColumn* column,
                                       TGridDrawState state) {
        DBGrid1DrawColumnCell(sender, rect, dataCol, column, state);
    };
}

void TOperationApplyForm::FormCreate()
{
    const QRect screen = QGuiApplication::primaryScreen() != nullptr
                             ? QGuiApplication::primaryScreen()->geometry()
                             : QRect(0, 0, 1024, 768);
    SetBounds(0, 40, screen.width(), screen.height() - 86);
    DateEdit1->SetDate(loc::Today());
}

void TOperationApplyForm::FormDestroy()
{
    DMInteface->QOperationPlan->Close();
}

void TOperationApplyForm::RefreshList()
{
    const std::optional<int> day = ChosenDay(*DateEdit1);
    if (!day) {
        ShowInformation("日期格式错误,请重新输入!  ");
        DateEdit1->setFocus();
        return;
    }
    const int next = *day + 1;

    TQuery& query = *DMInteface->QOperationPlan;
    query.Close();
    TStrings& sql = query.SQL();
    sql.Clear();
    sql.Add("select * from TOperationPlan ");
    sql.Add("where FOperDate >= '" + dataset::DateLiteral(loc::FromDayNumber(*day)) + "' ");
    sql.Add("and FOperDate < '" + dataset::DateLiteral(loc::FromDayNumber(next)) + "' ");
    sql.Add("and FDeptCode = '" + dataset::LiteralText(DMInteface->DepartmentCode) + "' ");
    if (CheckOnly->isChecked()) {
        sql.Add("and FOperRoom <> '' ");
    }
    sql.Add("order by FOperDate,FOperRoom,FTime ");
    query.Open();
    query.First();

    const bool empty = query.Bof() && query.Eof();
    BtnModify->setEnabled(!empty);
    BtnDelete->setEnabled(!empty);
    BtnNew->setEnabled(true);
    if (loc::DayNumber(loc::Today()) - 4 > *day) {
        BtnNew->setEnabled(false);
        BtnModify->setEnabled(false);
        BtnDelete->setEnabled(false);
    }
}

void TOperationApplyForm::ShowList()
{
    LabelDept->SetCaption(QString::fromUtf8("申请科室: ") + QString::fromStdString(DMInteface->DepartmentName));
    ShowModal();
}

void TOperationApplyForm::DateEdit1KeyPress(QWidget*, QChar& key)
{
    if (key != QChar(13)) {
        return;
    }
    key = QChar(0);
    if (ChosenDay(*DateEdit1)) {
        RefreshList();
    }
}

void TOperationApplyForm::DateEdit1Exit(QWidget*)
{
    if (ChosenDay(*DateEdit1)) {
        RefreshList();
        return;
    }
    ShowInformation("日期格式错误，请重新输入");
    DateEdit1->setFocus();
}

void TOperationApplyForm::CheckOnlyClick(QWidget*)
{
    RefreshList();
}

void TOperationApplyForm::BtnNewClick(QWidget*)
{
    OpenEditor(1);
    RefreshList();
}

bool TOperationApplyForm::CheckChangeable(const char* refusal)
{
    TQuery& query = *DMInteface->QOperationPlan;
    if (query.IsEmpty()) {
        return false;
    }
    if (!DMInteface->QOperationPlanFOperRoom->AsString().empty()) {
        ShowInformation(refusal);
        return false;
    }
    return true;
}

void TOperationApplyForm::BtnModifyClick(QWidget*)
{
    if (CheckChangeable("已安排手术，不能修改!")) {
        OpenEditor(2);
        RefreshList();
    }
}

void TOperationApplyForm::BtnDeleteClick(QWidget*)
{
    if (CheckChangeable("已安排手术，不能删除!")) {
        OpenEditor(3);
        RefreshList();
    }
}

void TOperationApplyForm::DBGrid1DblClick(QWidget*)
{
    if (DMInteface->QOperationPlan->IsEmpty()) {
        return;
    }
    OpenEditor(4);
}

void TOperationApplyForm::DBGrid1DrawColumnCell(TDataGrid* sender, const QRect& rect, int dataCol,
                                                TDataGridColumn* column, unsigned state)
{
    // The grid has made the painted row the active record: the field reads that row.
    if (!DMInteface->QOperationPlanFOperRoom->AsString().empty()) {
        sender->Canvas()->Font.Color = clGreen();
        sender->Canvas()->Brush.Color = clInfoBk();
    }
    sender->DefaultDrawColumnCell(rect, dataCol, column, state);
}

void TOperationApplyForm::BtnCloseClick(QWidget*)
{
    Close();
}

void TOperationApplyForm::OpenEditor(int mode)
{
    OperationNewForm = new TOperationNewForm(this);
    OperationNewForm->ShowEditor(mode);
    OperationNewForm->Free();
}
