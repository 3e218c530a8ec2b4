#include "pickers/ChoiceDiag.h"

#include "controls/datagrid.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/sql_text.h"
#include "platform/text/gbk.h"
#include "platform/ui/events.h"
#include "platform/ui/widgets.h"

TChoiceDiagForm* ChoiceDiagForm = nullptr;

namespace {

bool Digit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

enum class SearchBy { Name, Code, InputCode };

// Decided by the first two characters as GBK bytes: a Chinese character fills
// both places, and neither of its bytes is a digit.
SearchBy Classify(const std::string& text)
{
    const std::string bytes = gbk::FromUtf8(text);
    SearchBy by = SearchBy::Name;
    const auto first = static_cast<unsigned char>(bytes.at(0));
    if (Digit(first)) {
        by = SearchBy::Code;
    }
    if ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) {
        by = SearchBy::InputCode;
    }
    if (bytes.size() >= 2 && Digit(static_cast<unsigned char>(bytes[1]))) {
        by = SearchBy::Code;
    }
    return by;
}

}  // namespace

TChoiceDiagForm::TChoiceDiagForm(QWidget* owner)
    : TPickerForm(owner, *DMInteface->QDiag, *DMInteface->DSQDiag)
{
    setObjectName(QStringLiteral("ChoiceDiagForm"));
    SetBounds(0, 0, 485, 328);
    ui::Place(Label1, 15, 13);
    ui::Place(EditInputCode, 60, 9, 98, 20);
    ui::Place(CheckFlag, 176, 12, 80, CheckFlag->sizeHint().height());
    CheckFlag->setText(QString::fromUtf8("任意匹配"));
    CheckFlag->setChecked(false);
    ui::Place(OKBtn, 278, 5, 77, 27);
    ui::Place(BtnClose, 382, 5, 77, 27);
    for (const char* field : {"FCode", "FName", "FInputCode"}) {
        DBGrid2->AddColumn(field);
    }
    ui::SetTabOrder(EditInputCode, 0);
    ui::SetTabOrder(CheckFlag, 1);
    ui::SetTabOrder(OKBtn, 2);
    ui::SetTabOrder(BtnClose, 3);
}

TChoiceDiagForm::~TChoiceDiagForm()
{
    if (ChoiceDiagForm == this) {
        ChoiceDiagForm = nullptr;
    }
}

int TChoiceDiagForm::ChooseCode(int kind)
{
    Kind = kind;
    if (Kind == 1) {
        SetCaption(QString::fromUtf8("选择诊断"));
    } else if (Kind == 2) {
        SetCaption(QString::fromUtf8("选择手术"));
    }
    return ShowModal();
}

std::string TChoiceDiagForm::Statement(const std::string& text) const
{
    std::string sql = Kind == 2 ? "select FOperCode as FCode,FName,FInputCode from TDictOperCM "
                                : "select FDiagCode as FCode,FName,FInputCode from TDictDiagICD ";
    std::string column;
    switch (Classify(text)) {
    case SearchBy::Name:
        column = "FName";
        break;
    case SearchBy::Code:
        column = Kind == 2 ? "FOperCode" : "FDiagCode";
        break;
    case SearchBy::InputCode:
        column = "FInputCode";
        break;
    }
    sql += "where " + column + " like '" + (CheckFlag->isChecked() ? "%" : "");
    sql += dataset::LikeText(text) + "%'" + dataset::LikeEscape(text) + " ";
    return sql;
}

void TChoiceDiagForm::FormClose()
{
    SelectedCode.clear();
    SelectedName.clear();
    if (HasRow()) {
        SelectedCode = List().FieldByName("FCode")->AsString();
        SelectedName = List().FieldByName("FName")->AsString();
    }
}
