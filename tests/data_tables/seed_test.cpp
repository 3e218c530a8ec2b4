// The demo and bulk data of hisdb-seed, loaded into the SQLite schema.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "db/seed/generator.h"
#include "db/seed/seed_data.h"
#include "platform/text/gbk.h"
#include "tests/data_tables/sqlite_db.h"

namespace {

constexpr const char* kTables[] = {"TOperationPlan",  "TNextOperationPlanNo", "TPat",
                                   "TEmployee",       "TDictDiagICD",         "TDictOperCM",
                                   "TDictBloodTypeA", "TDictAssay",           "TDictAnaesthesia"};

std::string Demo(const std::string& day)
{
    std::ostringstream out;
    seed::WriteDemo(out, seed::ParseDay(day));
    return out.str();
}

// Every CHAR(n) value of every table is GBK-encodable and at most n bytes.
void ExpectEveryValueFits(testdb::Db& db)
{
    const std::regex charType(R"(CHAR\((\d+)\))");
    for (const char* table : kTables) {
        for (const auto& column : db.Rows(std::string("PRAGMA table_info(") + table + ")")) {
            std::smatch m;
            if (!std::regex_match(column[2], m, charType)) {
                continue;
            }
            const std::size_t width = std::stoul(m[1]);
            for (const auto& row : db.Rows("select distinct " + column[1] + " from " + table)) {
                const std::string& value = row[0];
                EXPECT_LE(gbk::Width(value), width) << table << "." << column[1] << " = " << value;
                EXPECT_EQ(gbk::ToUtf8(gbk::FromUtf8(value)), value)
                    << table << "." << column[1] << " not GBK: " << value;
            }
        }
    }
}

class DemoData : public ::testing::Test {
protected:
    static constexpr const char* kToday = "2026-03-15";
    void SetUp() override
    {
        db.Exec(testdb::ReadSourceFile("db/sqlite/schema.sql"));
        db.Exec(Demo(kToday));
    }
    int Count(const std::string& sql) { return std::stoi(db.Scalar(sql)); }
    testdb::Db db;
};

TEST_F(DemoData, EveryValueFitsItsColumn)
{
    ExpectEveryValueFits(db);
}

TEST_F(DemoData, HasTheVolumeTheWindowsAreTriedWith)
{
    EXPECT_GE(Count("select count(distinct FDeptCode) from TPat"), 4);
    EXPECT_GE(Count("select count(*) from TPat where FStatus = 2"), 40);
    EXPECT_GE(Count("select count(*) from TPat where FStatus <> 2"), 1);
    EXPECT_GE(Count("select count(*) from TEmployee"), 60);
    EXPECT_GE(Count("select count(*) from TDictDiagICD"), 300);
    EXPECT_GE(Count("select count(*) from TDictOperCM"), 200);
    EXPECT_EQ(Count("select count(*) from TOperationPlan where FOperDate < '2026-03-09' or FOperDate >= '2026-03-19'"),
              0);
    // Today, in the first ward, has both arranged and waiting applications.
    const std::string today = "FDeptCode = '0301' and FOperDate >= '2026-03-15' and FOperDate < '2026-03-16'";
    EXPECT_GE(Count("select count(*) from TOperationPlan where FOperRoom <> '' and " + today), 1);
    EXPECT_GE(Count("select count(*) from TOperationPlan where FOperRoom is null and " + today), 1);
}

TEST_F(DemoData, ApplicationsAgreeWithDictionariesPatientsAndCounter)
{
    EXPECT_EQ(Count("select count(*) from TOperationPlan o where not exists (select 1 from TDictDiagICD d "
                    "where d.FDiagCode = o.FDiagCode and d.FName = o.FDiag)"),
              0);
    EXPECT_EQ(Count("select count(*) from TOperationPlan o where not exists (select 1 from TDictOperCM d "
                    "where d.FOperCode = o.FOperCode and d.FName = o.FOper)"),
              0);
    EXPECT_EQ(Count("select count(*) from TOperationPlan where FBloodType not in (select FName from TDictBloodTypeA) "
                    "or FAssay not in (select FName from TDictAssay) "
                    "or FAnaesthesia not in (select FName from TDictAnaesthesia)"),
              0);
    EXPECT_EQ(
        Count("select count(*) from TOperationPlan o where not exists (select 1 from TPat p where p.FInNo = o.FInNo "
              "and p.FName = o.FName and p.FSex = o.FSex and p.FDeptCode = o.FDeptCode and p.FBedNo = o.FBedNo "
              "and p.FInDate < date(o.FOperDate, '+1 day'))"),
        0);
    // Arranged rows carry the theatre's staff, waiting ones none of it.
    EXPECT_EQ(Count("select count(*) from TOperationPlan where (FOperRoom is null) <> (FAnaDoctor is null) "
                    "or (FOperRoom is null) <> (FAppNurse is null)"),
              0);
    EXPECT_EQ(Count("select count(*) from TOperationPlan where FStatus <> 0 or FOperator is null or FUser is null "
                    "or date(FEnterDate) > date(FOperDate)"),
              0);
    EXPECT_GT(Count("select FNext from TNextOperationPlanNo"), Count("select max(FSerialNo) from TOperationPlan"));
    EXPECT_EQ(Count("select count(*) from TNextOperationPlanNo"), 1);
    for (const auto& row : db.Rows("select FTime from TOperationPlan")) {
        EXPECT_TRUE(std::regex_match(row[0], std::regex(R"([ 12]\d:[0-5]\d)"))) << row[0];
    }
}

TEST_F(DemoData, BedLookupFindsOnlyTheInWardPatient)
{
    EXPECT_EQ(Count("select count(*) from (select 1 from TPat where FStatus = 2 group by FDeptCode, FBedNo "
                    "having count(*) > 1)"),
              0);
    // A discharged patient shares a bed with a current one, so the status
    // filter of the lookup matters.
    EXPECT_GE(Count("select count(*) from TPat a join TPat b on a.FDeptCode = b.FDeptCode and a.FBedNo = b.FBedNo "
                    "where a.FStatus = 2 and b.FStatus <> 2"),
              1);
}

TEST_F(DemoData, InputCodesAreTheUpperCaseInitialsOfTheNames)
{
    EXPECT_EQ(db.Scalar("select FInputCode from TEmployee where FName = '张伟'"), "ZW");
    for (const char* table : {"TEmployee", "TDictDiagICD", "TDictOperCM"}) {
        for (const auto& row : db.Rows(std::string("select FName, FInputCode from ") + table)) {
            EXPECT_TRUE(std::regex_match(row[1], std::regex("[A-Z0-9]{1,10}")))
                << table << ": " << row[0] << " " << row[1];
            EXPECT_EQ(row[1], seed::PinyinInitials(row[0]).substr(0, 10)) << table << ": " << row[0];
        }
    }
}

TEST(PinyinInitials, TakeTheMedicalReadingOfPolyphonicCharacters)
{
    EXPECT_EQ(seed::PinyinInitials("张伟"), "ZW");
    EXPECT_EQ(seed::PinyinInitials("膀胱结石"), "PGJS");
    EXPECT_EQ(seed::PinyinInitials("粘连性肠梗阻"), "NLXCGZ");
    EXPECT_EQ(seed::PinyinInitials("前交叉韧带重建术"), "QJCRDCJS");
    EXPECT_EQ(seed::PinyinInitials("欧阳春"), "OYC");
    EXPECT_EQ(seed::PinyinInitials("2型糖尿病"), "2XTNB");
    EXPECT_EQ(seed::PinyinInitials("A型Rh阴性，(待查)"), "AXRHYXDC");
    EXPECT_THROW((void)seed::PinyinInitials("龘"), std::invalid_argument);
}

TEST(DemoOutput, DependsOnlyOnTheDay)
{
    EXPECT_EQ(Demo("2026-03-15"), Demo("2026-03-15"));
    EXPECT_NE(Demo("2026-03-15"), Demo("2026-03-16"));
}

TEST(BulkData, LoadsBesideTheDemoWithUniqueCodesThatFit)
{
    testdb::Db db;
    db.Exec(testdb::ReadSourceFile("db/sqlite/schema.sql"));
    db.Exec(Demo("2026-03-15"));
    const auto counts = [&db] {
        return db.Scalar(
            "select (select count(*) from TDictDiagICD) || ' ' || (select count(*) from TDictOperCM) || ' ' || "
            "(select count(*) from TEmployee)");
    };
    const std::string before = counts();
    std::ostringstream bulk;
    seed::WriteBulk(bulk, 3000, 7);
    ASSERT_NO_THROW(db.Exec(bulk.str()));
    std::istringstream b(before);
    int diag = 0, oper = 0, staff = 0;
    b >> diag >> oper >> staff;
    EXPECT_EQ(counts(),
              std::to_string(diag + 3000) + " " + std::to_string(oper + 3000) + " " + std::to_string(staff + 3000));
    ExpectEveryValueFits(db);
    EXPECT_EQ(std::stoi(db.Scalar("select count(*) from TEmployee where FInputCode is null or FName is null")), 0);
}

// scripts/demo-db keeps the demo current: a database made a week ago shows
// its applications a week on, on the same days relative to today.
TEST(DemoDatabase, MovesItsDaysOnToTodayAndStartsAfreshWhenAsked)
{
    if (std::system("command -v faketime >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "faketime is not installed (./scripts/install-deps)";
    }
    // faketime preloads its library before a sanitizer build's runtime: let that runtime start second.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
    char pattern[] = "/tmp/operedit-demo-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string path = dir + "/his.db";
    const std::string script = "env HISDB_SEED='" OPEREDIT_SEED_BINARY "' '" + std::string(OPEREDIT_DEFAULT_SOURCE_DIR) +
                               "/scripts/demo-db' ";
    const auto byDay = [&path](int shift) {
        testdb::Db db(path);
        std::map<std::string, std::string> days;
        for (const auto& row : db.Rows("select date(FOperDate, '" + std::to_string(shift) +
                                       " days'), count(*), sum(length(FEnterDate) > 0) from TOperationPlan group by 1")) {
            days[row[0]] = row[1] + "/" + row[2];
        }
        return days;
    };
    const auto today = [] {
        testdb::Db db;
        return db.Scalar("select date('now', 'localtime')");
    };

    ASSERT_EQ(std::system(("faketime -f -7d " + script + "'" + path + "' >/dev/null").c_str()), 0);
    const auto made = byDay(7);  // a week on
    std::string birthDay;
    {
        testdb::Db db(path);
        EXPECT_EQ(db.Scalar("select date(FDay, '+7 days') from TDemoDay"), today());
        birthDay = db.Scalar("select FBirthDay from TPat order by FInNo limit 1");
    }
    ASSERT_EQ(std::system((script + "'" + path + "' >/dev/null").c_str()), 0);
    EXPECT_EQ(byDay(0), made) << "every application a week on, none lost";
    {
        testdb::Db db(path);
        EXPECT_EQ(db.Scalar("select FDay from TDemoDay"), today());
        EXPECT_GT(std::stoi(db.Scalar("select count(*) from TOperationPlan where date(FOperDate) = '" + today() + "'")),
                  0) << "today's applications";
        EXPECT_EQ(db.Scalar("select date(FBirthDay, '-7 days') || substr(FBirthDay, 11) from TPat order by FInNo limit 1"),
                  birthDay) << "in-patients move with the applications, in the same form";
        db.Exec("insert into TOperationPlan (FSerialNo, FOperDate, FDeptCode, FStatus) values (99999, '2000-01-01', "
                "'0301', 0)");
    }
    ASSERT_EQ(std::system((script + "'" + path + "' >/dev/null").c_str()), 0);  // current: nothing moves
    EXPECT_EQ(testdb::Db(path).Scalar("select FOperDate from TOperationPlan where FSerialNo = 99999"), "2000-01-01");
    ASSERT_EQ(std::system((script + "--fresh '" + path + "' >/dev/null").c_str()), 0);
    EXPECT_EQ(testdb::Db(path).Scalar("select count(*) from TOperationPlan where FSerialNo = 99999"), "0");
    EXPECT_EQ(testdb::Db(path).Scalar("select FDay from TDemoDay"), today()) << "made afresh today";
    EXPECT_EQ(byDay(0).size(), made.size()) << "six days back to three ahead";
    std::filesystem::remove_all(dir);
}

} // namespace
