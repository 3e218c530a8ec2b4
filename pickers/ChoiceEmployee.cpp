#include "pickers/ChoiceEmployee.h"

#include "controls/datagrid.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/sql_text.h"
#include "platform/ui/events.h"
#include "platform/ui/widgets.h"

TChoiceEmployeeForm* ChoiceEmployeeForm = nullptr;

TChoiceEmployeeForm::TChoiceEmployeeForm(QWidget* owner)
    : TPickerForm(owner, *DMInteface->QEmployee, *DMInteface->DSQEmployee)
{
    setObjectName(QStringLiteral("ChoiceEmployeeForm"));
    SetBounds(0, 0, 435, 253);
    ui::Place(Label1, 5, 13);
    ui::Place(EditInputCode, 50, 9, 60, 20);
    ui::Place(CheckFlag, 121, 12, 71, CheckFlag->sizeHint().height());
    CheckFlag->setText(QString::fromUtf8("仅本科室"));
    CheckFlag->setChecked(true);
    CheckJob = new ui::CheckBox(Panel1, QString::fromUtf8("仅"));
    CheckJob->setObjectName(QStringLiteral("CheckJob"));
    ui::Place(CheckJob, 201, 12, 59, CheckJob->sizeHint().height());
    CheckJob->setChecked(true);
    CheckJob->OnClick = [this](QWidget* sender) { CheckFlagClick(sender); };
    ui::Place(OKBtn, 268, 5, 77, 27);
    ui::Place(BtnClose, 345, 5, 77, 27);
    DBGrid2->AddColumn("FName", 85);
    DBGrid2->AddColumn("FInputCode", 82);
    DBGrid2->AddColumn("FJob", 97);
    ui::SetTabOrder(EditInputCode, 0);
    ui::SetTabOrder(CheckFlag, 1);
    ui::SetTabOrder(OKBtn, 2);
    ui::SetTabOrder(BtnClose, 3);
    ui::SetTabOrder(CheckJob, 4);
}

TChoiceEmployeeForm::~TChoiceEmployeeForm()
{
    if (ChoiceEmployeeForm == this) {
        ChoiceEmployeeForm = nullptr;
    }
}

int TChoiceEmployeeForm::ChooseEmployee(const std::string& job)
{
    Job = job;
    SetCaption(QString::fromUtf8("选择") + QString::fromStdString(Job));
    CheckJob->setText(QString::fromUtf8("仅") + QString::fromStdString(Job));
    if (Job.empty()) {
        CheckJob->setChecked(false);
        CheckJob->setVisible(false);
    }
    return ShowModal();
}

std::string TChoiceEmployeeForm::Statement(const std::string& text) const
{
    const char first = text.at(0);
    const bool byInputCode = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
    std::string sql = "select * from TEmployee ";
    sql += byInputCode ? "where FInputCode like '" : "where FName like '";
    sql += dataset::LikeText(text) + "%'" + dataset::LikeEscape(text) + " ";
    if (CheckFlag->isChecked()) {
        sql += " and FDeptCode='" + dataset::LiteralText(DMInteface->DepartmentCode) + "' ";
    }
    if (CheckJob->isChecked()) {
        sql += " and FJob='" + dataset::LiteralText(Job) + "' ";
    }
    return sql;
}

void TChoiceEmployeeForm::FormClose()
{
    SelectedName.clear();
    if (HasRow()) {
        SelectedName = List().FieldByName("FName")->AsString();
    }
}
