// The code picker and the staff picker over a real HIS database, typed into
// as a user types: the statements each text builds, the limits, the keys,
// what is recorded on each way out, and pictures of both.
#include "pickers/ChoiceDiag.h"
#include "pickers/ChoiceEmployee.h"

#include "controls/datagrid.h"
#include "db/seed/generator.h"
#include "data/DMIntefaceUnit.h"
#include "platform/ui/application.h"
#include "platform/ui/widgets.h"
#include "tests/support/data_module.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testenv::Backend;

class Pickers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::Application::Instance();
        db_ = std::make_unique<testenv::HisDatabase>(Backend::Sqlite);
        for (const char* row : {"'A01.000', '伤寒', 'SH'", "'A15.000', '肺结核', 'FJH'",
                                "'K35.900', '急性阑尾炎', 'JXLWY'", "'K35.901', '急性化脓性阑尾炎', 'JXHNXLWY'",
                                "'K37.000', '阑尾炎', 'LWY'", "'K40.900', '腹股沟疝', 'FGGS'", "'Q''1', '引号''病', 'YH'"}) {
            db_->Exec(std::string("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values (") + row + ")");
        }
        db_->Exec("insert into TDictOperCM (FOperCode, FName, FInputCode) values ('47.0101', '阑尾切除术', 'LWQCS')");
        for (const char* row : {"'000001', '张三', 'ZS', '0301', '医生'", "'000002', '张山', 'ZS', '0302', '医生'",
                                "'000003', '赵四', 'ZS', '0301', '护士'", "'000004', '1号', 'YH', '0301', '医生'"}) {
            db_->Exec(std::string("insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values (") +
                      row + ")");
        }
        testenv::OpenDataModule();
    }
    void TearDown() override
    {
        delete DMInteface;
        DMInteface = nullptr;
    }

    struct Result {
        int modal = 0;
        std::string code;
        std::string name;
    };

    Result ChooseCode(int kind, std::function<void(TChoiceDiagForm&)> step)
    {
        auto* picker = new TChoiceDiagForm();
        picker->SetLeft(100);
        picker->SetTop(223);
        driver_.OnModal<TChoiceDiagForm>(std::move(step));
        Result result;
        result.modal = picker->ChooseCode(kind);
        result.code = picker->SelectedCode;
        result.name = picker->SelectedName;
        picker->Free();
        EXPECT_FALSE(DMInteface->QDiag->Active()) << "freeing the picker closes its list";
        return result;
    }

    Result ChooseEmployee(const std::string& job, std::function<void(TChoiceEmployeeForm&)> step)
    {
        auto* picker = new TChoiceEmployeeForm();
        driver_.OnModal<TChoiceEmployeeForm>(std::move(step));
        Result result;
        result.modal = picker->ChooseEmployee(job);
        result.name = picker->SelectedName;
        picker->Free();
        EXPECT_FALSE(DMInteface->QEmployee->Active());
        return result;
    }

    std::unique_ptr<testenv::HisDatabase> db_;
    uitest::Driver driver_;
};

std::string DiagStatement()
{
    return DMInteface->QDiag->SQL()[0];
}

std::string EmployeeStatement()
{
    return DMInteface->QEmployee->SQL()[0];
}

std::vector<std::string> Codes()
{
    std::vector<std::string> codes;
    TQuery& q = *DMInteface->QDiag;
    const int at = q.RecNo();
    for (q.First(); !q.Eof(); q.Next()) {
        codes.push_back(q.FieldByName("FCode")->AsString());
    }
    q.First();
    q.MoveBy(at - 1);
    return codes;
}

void Retype(QLineEdit* box, const QString& text)
{
    box->clear();
    uitest::Type(text, box);
}

const std::string kDiag = "select FDiagCode as FCode,FName,FInputCode from TDictDiagICD ";
const std::string kStaff = "select * from TEmployee ";

TEST_F(Pickers, TheCodePickerSearchesByTheFirstTwoCharacters)
{
    std::vector<std::string> statements;
    QString shown;
    const Result result = ChooseCode(1, [&](TChoiceDiagForm& picker) {
        EXPECT_EQ(picker.windowTitle(), QString::fromUtf8("选择诊断"));
        EXPECT_EQ(uitest::Focused(), picker.EditInputCode);
        EXPECT_FALSE(picker.OKBtn->isEnabled());
        uitest::Type(QStringLiteral("a1"));
        shown = picker.EditInputCode->text();
        statements.push_back(DiagStatement());
        EXPECT_EQ(Codes(), (std::vector<std::string>{"A15.000"}));
        EXPECT_TRUE(picker.OKBtn->isEnabled());
        for (const char* text : {"jx", "阑尾", "阑1", "K3", "-5", "%化脓"}) {
            Retype(picker.EditInputCode, QString::fromUtf8(text));
            statements.push_back(DiagStatement());
        }
        EXPECT_EQ(Codes(), (std::vector<std::string>{"K35.901"})) << "% is the database's wildcard";
        picker.CheckFlag->click();  // re-runs the search at once, anywhere in the column
        statements.push_back(DiagStatement());
        Retype(picker.EditInputCode, QStringLiteral("9Z"));
        statements.push_back(DiagStatement());
        EXPECT_FALSE(picker.OKBtn->isEnabled()) << "nothing found";
        uitest::Enter();
    });
    EXPECT_EQ(shown, QStringLiteral("A1"));
    const std::vector<std::string> expected = {
        kDiag + "where FDiagCode like 'A1%' ",  kDiag + "where FInputCode like 'JX%' ",
        kDiag + "where FName like '阑尾%' ",    kDiag + "where FName like '阑1%' ",
        kDiag + "where FDiagCode like 'K3%' ",  kDiag + "where FDiagCode like '-5%' ",
        kDiag + "where FName like '%化脓%' ",   kDiag + "where FName like '%%化脓%' ",
        kDiag + "where FDiagCode like '%9Z%' ",
    };
    EXPECT_EQ(statements, expected);
    EXPECT_EQ(result.modal, 1) << "Enter accepts with nothing found";
    EXPECT_EQ(result.code, "");
    EXPECT_EQ(result.name, "");
}

std::vector<QWidget*> Walk(int steps, int key, Qt::KeyboardModifiers modifiers)
{
    std::vector<QWidget*> visited;
    for (int i = 0; i < steps; ++i) {
        uitest::Key(key, modifiers);
        visited.push_back(uitest::Focused());
    }
    return visited;
}

QStringList Titles(const TDataGrid& grid)
{
    QStringList titles;
    for (int col = 0; col < grid.ColumnCount(); ++col) {
        titles << grid.Column(col)->Title() + "/" + QString::number(grid.Column(col)->Width());
    }
    return titles;
}

TEST_F(Pickers, TabAndShiftTabWalkTheTabOrdersFromTheBoxAndTheTitlesStandBeforeAnySearch)
{
    ChooseCode(1, [&](TChoiceDiagForm& picker) {
        TDataGrid* grid = picker.DBGrid2;
        const QStringList diagTitles = Titles(*grid);
        EXPECT_TRUE(diagTitles.join("|").startsWith(QString::fromUtf8("代码/"))) << diagTitles.join("|").toStdString();
        EXPECT_TRUE(diagTitles.join("|").contains(QString::fromUtf8("|名称/"))) << diagTitles.join("|").toStdString();
        EXPECT_TRUE(diagTitles.join("|").contains(QString::fromUtf8("|输入码/"))) << diagTitles.join("|").toStdString();
        EXPECT_NE(grid->Column(1)->Width(), TDataGrid::DefaultColWidth) << "the name field's width";
        // 选定 is disabled until a search finds a row; the grid keeps Tab, Ctrl+Tab leaves it.
        EXPECT_EQ(Walk(3, Qt::Key_Tab, Qt::NoModifier),
                  (std::vector<QWidget*>{picker.CheckFlag, picker.BtnClose, grid}));
        EXPECT_EQ(Walk(1, Qt::Key_Tab, Qt::ControlModifier), std::vector<QWidget*>{picker.EditInputCode});
        EXPECT_EQ(Walk(2, Qt::Key_Backtab, Qt::ShiftModifier), (std::vector<QWidget*>{grid, grid}));
        EXPECT_EQ(Walk(1, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier),
                  std::vector<QWidget*>{picker.BtnClose});
        EXPECT_EQ(Walk(1, Qt::Key_Backtab, Qt::ShiftModifier), std::vector<QWidget*>{picker.CheckFlag});
        uitest::Key(Qt::Key_Space);
        EXPECT_TRUE(picker.CheckFlag->isChecked()) << "the check box ticked by the keyboard";
        uitest::ShiftTab();
        ASSERT_EQ(uitest::Focused(), picker.EditInputCode);
        uitest::Type(QStringLiteral("35"));
        EXPECT_EQ(DiagStatement(), kDiag + "where FDiagCode like '%35%' ");
        EXPECT_EQ(Walk(4, Qt::Key_Tab, Qt::NoModifier),
                  (std::vector<QWidget*>{picker.CheckFlag, picker.OKBtn, picker.BtnClose, grid}));
        EXPECT_EQ(Titles(*grid), diagTitles) << "the same titles and widths as before the search";
        // A failed search closes the list: the titles stay the fields'.
        db_->Exec("alter table TDictDiagICD rename to TDictDiagICDGone");
        picker.EditInputCode->setFocus();
        uitest::Type(QStringLiteral("9"));
        EXPECT_FALSE(DMInteface->QDiag->Active());
        EXPECT_EQ(Titles(*grid), diagTitles);
        db_->Exec("alter table TDictDiagICDGone rename to TDictDiagICD");
        picker.EditInputCode->setFocus();
        uitest::Enter();
    });
    EXPECT_EQ(driver_.Boxes().size(), 1u) << "the failed search's error";

    ChooseEmployee("医生", [&](TChoiceEmployeeForm& picker) {
        EXPECT_EQ(Titles(*picker.DBGrid2), (QStringList{QString::fromUtf8("姓名/85"), QString::fromUtf8("输入码/82"),
                                                         QString::fromUtf8("工作/97")}));
        uitest::Type(QStringLiteral("zs"));
        EXPECT_EQ(Walk(5, Qt::Key_Tab, Qt::NoModifier),
                  (std::vector<QWidget*>{picker.CheckFlag, picker.OKBtn, picker.BtnClose, picker.CheckJob,
                                         picker.DBGrid2}));
        uitest::Key(Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(Walk(3, Qt::Key_Backtab, Qt::ShiftModifier),
                  (std::vector<QWidget*>{picker.DBGrid2, picker.DBGrid2, picker.DBGrid2}));
        uitest::Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(uitest::Focused(), picker.CheckJob);
        uitest::Key(Qt::Key_Space);
        EXPECT_EQ(EmployeeStatement(), kStaff + "where FInputCode like 'ZS%'  and FDeptCode='0301' ");
        picker.EditInputCode->setFocus();
        uitest::Enter();
    });
}

TEST_F(Pickers, OperationsAreSearchedInTheirOwnDictionary)
{
    std::string statement;
    const Result result = ChooseCode(2, [&](TChoiceDiagForm& picker) {
        EXPECT_EQ(picker.windowTitle(), QString::fromUtf8("选择手术"));
        uitest::Type(QStringLiteral("LW"));
        statement = DiagStatement();
        uitest::Enter();
    });
    EXPECT_EQ(statement, "select FOperCode as FCode,FName,FInputCode from TDictOperCM where FInputCode like 'LW%' ");
    EXPECT_EQ(result.modal, 1);
    EXPECT_EQ(result.code, "47.0101");
    EXPECT_EQ(result.name, "阑尾切除术");
}

TEST_F(Pickers, KeysMoveTheListAndDoNothingElseInTheBox)
{
    const Result result = ChooseCode(1, [&](TChoiceDiagForm& picker) {
        uitest::Up();  // nothing searched yet: ignored
        uitest::Type(QStringLiteral("k3"));
        ASSERT_EQ(Codes().size(), 3u);
        TQuery& list = *DMInteface->QDiag;
        uitest::Up();
        EXPECT_EQ(list.RecNo(), 1) << "Up at the first row";
        uitest::Down();
        uitest::Down();
        uitest::Down();
        EXPECT_EQ(list.RecNo(), 3) << "Down at the last row";
        uitest::Type(QStringLiteral("5"));
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("K35"));
        for (int key : {Qt::Key_Home, Qt::Key_Left, Qt::Key_Delete}) {
            uitest::Key(key);
        }
        uitest::Type(QStringLiteral(".9"));
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("K35.9")) << "the caret stayed at the end";
        uitest::Key(Qt::Key_Backspace);
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("K35."));
        // The editing keys work as they do in any edit, and pasted letters become capitals.
        picker.EditInputCode->selectAll();
        uitest::Key(Qt::Key_X, Qt::ControlModifier);
        EXPECT_EQ(picker.EditInputCode->text(), QString());
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("K35."));
        uitest::Key(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("K35."));
        QGuiApplication::clipboard()->setText(QStringLiteral("jxh"));
        picker.EditInputCode->clear();
        uitest::Key(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("JXH"));
        EXPECT_EQ(DiagStatement(), kDiag + "where FInputCode like 'JXH%' ");
        picker.EditInputCode->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("k35."));
        picker.EditInputCode->paste();  // what the context menu's 粘贴 does
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("K35."));
        picker.EditInputCode->selectAll();
        uitest::Key(Qt::Key_C, Qt::ControlModifier);
        QGuiApplication::clipboard()->clear();
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("K35."));
        uitest::Escape();
        EXPECT_TRUE(picker.isVisible()) << "no key cancels";
        uitest::Down();
        // Clearing the box keeps the list and the button as they were.
        picker.EditInputCode->clear();
        EXPECT_EQ(Codes().size(), 2u);
        EXPECT_TRUE(picker.OKBtn->isEnabled());
        picker.BtnCloseClick(picker.BtnClose);
    });
    EXPECT_EQ(result.modal, 2);
    EXPECT_EQ(result.code, "K35.901") << "leaving still records the current row";
}

TEST_F(Pickers, AQuoteIsSearchedLiterallyAndADoubleClickAccepts)
{
    std::string statement;
    const Result result = ChooseCode(1, [&](TChoiceDiagForm& picker) {
        uitest::Type(QString::fromUtf8("引号'"));
        statement = DiagStatement();
        uitest::DoubleClick(picker.DBGrid2->viewport(), picker.DBGrid2->CellRect(0, 0).center());
    });
    EXPECT_EQ(statement, kDiag + "where FName like '引号''%' ");
    EXPECT_EQ(result.modal, 1);
    EXPECT_EQ(result.code, "Q'1");
    EXPECT_EQ(result.name, "引号'病");
}

TEST_F(Pickers, BlanksAroundTheTextAreTrimmedAndABlankBoxSearchesNothing)
{
    ChooseCode(1, [&](TChoiceDiagForm& picker) {
        uitest::Type(QStringLiteral("  "));
        EXPECT_EQ(picker.EditInputCode->text(), QString());
        EXPECT_FALSE(DMInteface->QDiag->Active());
        uitest::Type(QStringLiteral("sh "));
        EXPECT_EQ(picker.EditInputCode->text(), QStringLiteral("SH"));
        EXPECT_EQ(DiagStatement(), kDiag + "where FInputCode like 'SH%' ");
        picker.EditInputCode->setText(QStringLiteral(" \t") + QString::fromUtf8("阑尾"));
        EXPECT_EQ(picker.EditInputCode->text(), QString::fromUtf8("阑尾"));
        EXPECT_EQ(DiagStatement(), kDiag + "where FName like '阑尾%' ");
        picker.BtnCloseClick(picker.BtnClose);
    });
}

TEST_F(Pickers, TheStaffPickerIsLimitedToTheDepartmentAndTheJob)
{
    std::vector<std::string> statements;
    std::vector<int> found;
    const Result result = ChooseEmployee("医生", [&](TChoiceEmployeeForm& picker) {
        EXPECT_EQ(picker.windowTitle(), QString::fromUtf8("选择医生"));
        EXPECT_EQ(picker.CheckJob->text(), QString::fromUtf8("仅医生"));
        EXPECT_TRUE(picker.CheckJob->isVisible());
        auto search = [&] {
            statements.push_back(EmployeeStatement());
            found.push_back(static_cast<int>(DMInteface->QEmployee->IsEmpty() ? 0 : 1));
        };
        uitest::Type(QStringLiteral("zs"));
        search();
        picker.CheckFlag->click();
        search();
        picker.CheckJob->click();
        search();
        Retype(picker.EditInputCode, QStringLiteral("1"));
        search();
        Retype(picker.EditInputCode, QString::fromUtf8("张"));
        search();
        picker.CheckFlag->click();
        picker.CheckJob->click();
        search();
        uitest::Enter();
    });
    const std::vector<std::string> expected = {
        kStaff + "where FInputCode like 'ZS%'  and FDeptCode='0301'  and FJob='医生' ",
        kStaff + "where FInputCode like 'ZS%'  and FJob='医生' ",
        kStaff + "where FInputCode like 'ZS%' ",
        kStaff + "where FName like '1%' ",
        kStaff + "where FName like '张%' ",
        kStaff + "where FName like '张%'  and FDeptCode='0301'  and FJob='医生' ",
    };
    EXPECT_EQ(statements, expected);
    EXPECT_EQ(result.modal, 1);
    EXPECT_EQ(result.name, "张三");
}

TEST_F(Pickers, AnEmptyJobHidesItsBoxAndQuotesInTheLimitsStayInsideTheirLiterals)
{
    DMInteface->DepartmentCode = "03'01";
    std::string statement;
    const Result result = ChooseEmployee("", [&](TChoiceEmployeeForm& picker) {
        EXPECT_EQ(picker.windowTitle(), QString::fromUtf8("选择"));
        EXPECT_FALSE(picker.CheckJob->isVisible());
        EXPECT_FALSE(picker.CheckJob->isChecked());
        uitest::Type(QStringLiteral("zs"));
        statement = EmployeeStatement();
        EXPECT_FALSE(picker.OKBtn->isEnabled());
        picker.close();  // the close box
    });
    EXPECT_EQ(statement, kStaff + "where FInputCode like 'ZS%'  and FDeptCode='03''01' ");
    EXPECT_EQ(result.modal, 2);
    EXPECT_EQ(result.name, "");

    std::string withJob;
    ChooseEmployee("护'士", [&](TChoiceEmployeeForm& picker) {
        picker.CheckFlag->setChecked(false);
        uitest::Type(QStringLiteral("z"));
        withJob = EmployeeStatement();
        picker.BtnCloseClick(picker.BtnClose);
    });
    EXPECT_EQ(withJob, kStaff + "where FInputCode like 'Z%'  and FJob='护''士' ");
}

// In a picture of a picker, the first row found is written in every column.
void ExpectFirstRowDrawn(QWidget& picker, TDataGrid& grid)
{
    const QImage picture = uitest::Grab(&picker);
    for (int col = 0; col < grid.ColumnCount(); ++col) {
        SCOPED_TRACE(col);
        EXPECT_GT(uitest::InkIn(picture, uitest::RectIn(&picker, grid.viewport(), grid.CellRect(col, 0))), 10);
    }
}

TEST_F(Pickers, PicturesOfBothPickersOverTheDemoData)
{
    // The demo database, as ./scripts/demo makes it.
    testenv::TempDir dir;
    std::ostringstream demo;
    seed::WriteDemo(demo, seed::Today());
    testenv::CreateSqliteFile(dir.Path() + "/his.db", testenv::SourceFile("db/sqlite/schema.sql") + demo.str());
    dir.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + dir.Path() + "/his.db\n");
    testenv::ScopedEnv aliases("HISDB_ALIASES", (dir.Path() + "/aliases.ini").c_str());
    DMInteface->DatabaseHIS->Close();
    DMInteface->DatabaseHIS->Open();

    int rows = 0;
    ChooseCode(1, [&](TChoiceDiagForm& picker) {
        uitest::Type(QStringLiteral("k8"));
        uitest::Down();
        uitest::Settle();
        rows = DMInteface->QDiag->IsEmpty() ? 0 : 1;
        uitest::SaveImage(&picker, QStringLiteral("code-picker.png"));
        EXPECT_EQ(picker.DBGrid2->Column(0)->Title(), QString::fromUtf8("代码"));
        ExpectFirstRowDrawn(picker, *picker.DBGrid2);
        picker.BtnCloseClick(picker.BtnClose);
    });
    EXPECT_EQ(rows, 1) << "the demo dictionary has K8x diagnoses";
    ChooseEmployee("医生", [&](TChoiceEmployeeForm& picker) {
        uitest::Type(QString::fromUtf8("s"));
        uitest::Settle();
        rows = DMInteface->QEmployee->IsEmpty() ? 0 : 1;
        uitest::SaveImage(&picker, QStringLiteral("staff-picker.png"));
        EXPECT_EQ(picker.DBGrid2->Column(0)->Width(), 85);
        ExpectFirstRowDrawn(picker, *picker.DBGrid2);
        picker.BtnCloseClick(picker.BtnClose);
    });
    EXPECT_EQ(rows, 1) << "the demo staff has surgeons of 0301 whose input code starts with S";
}

}  // namespace
