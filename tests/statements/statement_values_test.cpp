// Values from people and other systems (quotes, comment starters, statement
// separators, backslashes, wildcards, a GBK lead byte that a cut would leave,
// characters outside GBK, long texts) in every place where the windows put a
// value into a statement: each statement finds exactly what the value asks
// for, and no table changes. And the list statement's dates under a
// workstation date format other than the default.
#include "tests/statements/statement_values.h"

#include "windows/OperationApply.h"
#include "windows/OperationNew.h"

#include "controls/dateedit.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/locale_settings.h"
#include "pickers/ChoiceDiag.h"
#include "pickers/ChoiceEmployee.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/data_module.h"
#include "tests/support/ui_driver.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace statementstest {

namespace loc = dataset::locale;
using testenv::Backend;

const char* const kTables[] = {"TOperationPlan",  "TNextOperationPlanNo", "TPat",
                               "TEmployee",       "TDictDiagICD",         "TDictOperCM",
                               "TDictBloodTypeA", "TDictAssay",           "TDictAnaesthesia"};

void StatementValues::SetUp()
{
    ui::Application::Instance();
    db_ = std::make_unique<testenv::HisDatabase>(GetParam());
    if (!db_->Available()) {
        GTEST_SKIP() << "OPEREDIT_PG_CONNECT is not set";
    }
    testenv::OpenDataModule();
}

void StatementValues::TearDown()
{
    delete DMInteface;
    DMInteface = nullptr;
    loc::Reload();  // the workstation settings of the environment again
}

namespace {

int Today()
{
    return loc::DayNumber(loc::Today());
}

std::string IsoDay(int offset)
{
    return loc::FromDayNumber(Today() + offset).ToIso().substr(0, 10);
}

// Values as people type them and other systems send them; none has blanks
// around it (the pickers trim their box).
std::vector<std::string> Hostile()
{
    return {
        "O'Brien",
        "a''b",
        "x' or '1'='1",
        "a--b",
        "--",
        "/*x",
        "x*/",
        "1;delete from TPat;--",
        "a\\b",
        "\\'",
        "50%_x",
        "_",
        "a:b",
        ":No",
        "a?b",
        "1234567李",  // nine GBK bytes: cut to eight, a lone lead byte would be left
        "病😀",       // a character outside GBK
        std::string(1000, 'k'),
        [] {
            std::string text;
            for (int i = 0; i < 500; ++i) {
                text += "甲'";
            }
            return text;
        }(),
    };
}

class Seeder {
public:
    explicit Seeder(hisdb::Connection& connection) : connection_(connection) {}
    // Runs `sql` with `values` bound; false when the engine refuses the row
    // (a value longer than the column on PostgreSQL).
    bool Insert(const std::string& sql, const std::vector<hisdb::Value>& values)
    {
        try {
            auto statement = connection_.Prepare(sql);
            for (std::size_t i = 0; i < values.size(); ++i) {
                statement->Bind(static_cast<int>(i), values[i]);
            }
            statement->Execute();
            return statement->RowsAffected() == 1;
        } catch (const hisdb::EngineError&) {
            return false;
        }
    }

private:
    hisdb::Connection& connection_;
};

std::map<std::string, std::string> Counts(testenv::HisDatabase& db)
{
    std::map<std::string, std::string> counts;
    for (const char* table : kTables) {
        counts[table] = db.Scalar(std::string("select count(*) from ") + table);
    }
    return counts;
}

std::vector<std::string> Column(TQuery& query, const char* field)
{
    std::vector<std::string> values;
    if (!query.Active()) {
        return values;
    }
    for (query.First(); !query.Eof(); query.Next()) {
        values.push_back(query.FieldByName(field)->AsString());
    }
    return values;
}

bool Contains(const std::vector<std::string>& values, const std::string& value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

TEST_P(StatementValues, TheListFindsExactlyTheDepartmentItIsGiven)
{
    const auto values = Hostile();
    Seeder seed(db_->Direct());
    std::vector<bool> seeded;
    const std::string insert =
        "insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FDeptCode) values (?, ?, ' 9:30', ?, ?)";
    hisdb::DateTime today = loc::FromDayNumber(Today());
    for (std::size_t i = 0; i < values.size(); ++i) {
        seeded.push_back(seed.Insert(insert, {std::int64_t(1 + 2 * i), today, std::string("hit"), values[i]}));
        seed.Insert(insert, {std::int64_t(2 + 2 * i), today, std::string("decoy"), values[i] + "x"});  // may not fit
    }
    ASSERT_TRUE(seeded[0]);
    const auto before = Counts(*db_);
    auto* form = new TOperationApplyForm();
    form->DateEdit1->SetDate(today);
    for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(values[i].substr(0, 40));
        DMInteface->DepartmentCode = values[i];
        ASSERT_NO_THROW(form->RefreshList());
        const auto names = Column(*DMInteface->QOperationPlan, "FName");
        EXPECT_EQ(names, seeded[i] ? std::vector<std::string>{"hit"} : std::vector<std::string>{});
    }
    form->Free();
    EXPECT_EQ(Counts(*db_), before);
}

TEST_P(StatementValues, ThePatientLookupFindsExactlyTheBedAndDepartmentItIsGiven)
{
    const auto values = Hostile();
    Seeder seed(db_->Direct());
    std::vector<bool> byDept;
    std::vector<bool> byBed;
    const std::string insert = "insert into TPat (FInNo, FName, FDeptCode, FBedNo, FStatus) values (?, ?, ?, ?, 2)";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string n = std::to_string(i);
        byDept.push_back(seed.Insert(insert, {"D" + n, std::string("dept"), values[i], std::string("12")}));
        byBed.push_back(seed.Insert(insert, {"B" + n, std::string("bed"), std::string("0301"), values[i]}));
        seed.Insert(insert, {"X" + n, std::string("decoy"), values[i] + "x", std::string("12")});
        seed.Insert(insert, {"Y" + n, std::string("decoy"), std::string("0301"), values[i] + "x"});
    }
    const auto before = Counts(*db_);
    OperationApplyForm = new TOperationApplyForm();
    OperationApplyForm->DateEdit1->SetDate(loc::FromDayNumber(Today()));
    OperationApplyForm->RefreshList();
    uitest::Driver driver;
    std::vector<std::string> foundByDept;
    std::vector<std::string> foundByBed;
    std::vector<std::string> asked;
    driver.OnModal<TOperationNewForm>([&](TOperationNewForm& editor) {
        for (const auto& value : values) {
            DMInteface->DepartmentCode = value;
            editor.EditBedNo->setText(QStringLiteral("12"));
            editor.EditBedNoExit(editor.EditBedNo);
            foundByDept.push_back(DMInteface->QOperationPlanFName->AsString());
            DMInteface->DepartmentCode = "0301";
            editor.EditBedNo->setText(QString::fromStdString(value));
            asked.push_back(editor.EditBedNo->text().toStdString());
            editor.EditBedNoExit(editor.EditBedNo);
            foundByBed.push_back(DMInteface->QOperationPlanFName->AsString());
        }
        driver.Answer(ui::IDYES);
        editor.BtnCloseClick(editor.BtnClose);
    });
    OperationApplyForm->BtnNewClick(OperationApplyForm->BtnNew);
    ASSERT_EQ(foundByDept.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(values[i].substr(0, 40));
        EXPECT_EQ(foundByDept[i], byDept[i] ? "dept" : "");
        // The box may hold less than was put into it; the lookup asks for what it holds.
        EXPECT_EQ(foundByBed[i], byBed[i] && asked[i] == values[i] ? "bed" : "");
    }
    OperationApplyForm->Free();
    OperationApplyForm = nullptr;
    EXPECT_EQ(Counts(*db_), before);
}

TEST_P(StatementValues, ThePickersFindTheLiteralRowAndTheStaffPickerOnlyItsDepartmentAndJob)
{
    const auto values = Hostile();
    Seeder seed(db_->Direct());
    std::vector<bool> diag;
    std::vector<bool> staff;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string n = std::to_string(i);
        diag.push_back(seed.Insert("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values (?, ?, ?)",
                                   {values[i], values[i], values[i]}));
        const std::string employee =
            "insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values (?, ?, ?, ?, ?)";
        staff.push_back(seed.Insert(employee, {"E" + n, values[i], values[i], values[i], values[i]}));
        seed.Insert(employee, {"F" + n, values[i], values[i], values[i] + "x", values[i]});
        seed.Insert(employee, {"G" + n, values[i], values[i], values[i], values[i] + "x"});
    }
    const auto before = Counts(*db_);
    for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(values[i].substr(0, 40));
        auto* codes = new TChoiceDiagForm();
        codes->Kind = 1;
        ASSERT_NO_THROW(codes->EditInputCode->setText(QString::fromStdString(values[i])));
        const bool whole = codes->EditInputCode->text().toStdString() == values[i];
        if (diag[i] && whole) {
            EXPECT_TRUE(Contains(Column(*DMInteface->QDiag, "FCode"), values[i]));
        }
        codes->Free();

        DMInteface->DepartmentCode = values[i];
        auto* employees = new TChoiceEmployeeForm();
        employees->Job = values[i];
        ASSERT_TRUE(employees->CheckFlag->isChecked());
        ASSERT_TRUE(employees->CheckJob->isChecked());
        ASSERT_NO_THROW(employees->EditInputCode->setText(QString::fromStdString(values[i])));
        const auto ids = Column(*DMInteface->QEmployee, "FEmployeeID");
        const std::string n = std::to_string(i);
        if (staff[i] && employees->EditInputCode->text().toStdString() == values[i]) {
            EXPECT_TRUE(Contains(ids, "E" + n));
        }
        EXPECT_FALSE(Contains(ids, "F" + n)) << "another department";
        EXPECT_FALSE(Contains(ids, "G" + n)) << "another job";
        employees->Free();
    }
    DMInteface->DepartmentCode = "0301";
    EXPECT_EQ(Counts(*db_), before);
}

// ---------------------------------------------------------------- dates

TEST_P(StatementValues, TheListStatementWritesItsDatesInTheOneFormEveryEngineReads)
{
    testenv::ScopedEnv format("OPEREDIT_SHORTDATE", "d/M/yy");
    testenv::ScopedEnv separator("OPEREDIT_DATESEP", "/");
    loc::Reload();
    for (int offset : {-1, 0, 1}) {
        db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FDeptCode) values (" +
                  std::to_string(offset + 10) + ", '" + IsoDay(offset) + " 08:00:00', ' 9:30', 'day" +
                  std::to_string(offset + 1) + "', '0301')");
    }
    auto* form = new TOperationApplyForm();
    form->DateEdit1->SetDate(loc::FromDayNumber(Today()));
    EXPECT_TRUE(form->DateEdit1->text().contains(QLatin1Char('/'))) << "the user sees the workstation's format";
    form->RefreshList();
    const auto names = Column(*DMInteface->QOperationPlan, "FName");
    TStrings& sql = DMInteface->QOperationPlan->SQL();
    ASSERT_GE(sql.Count(), 3);
    const std::string where = sql[1];
    const std::string before = sql[2];
    form->Free();
    EXPECT_EQ(names, std::vector<std::string>{"day1"});
    EXPECT_EQ(where, "where FOperDate >= '" + IsoDay(0) + "' ");
    EXPECT_EQ(before, "and FOperDate < '" + IsoDay(1) + "' ");
}

}  // namespace statementstest
