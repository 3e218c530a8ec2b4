// The table definitions against the schema scripts, and the schema scripts
// against each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "data/tables.h"
#include "tests/data_tables/sqlite_db.h"

namespace {

using tables::FieldClass;
using tables::FieldDef;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string SqliteType(const FieldDef& f)
{
    switch (f.fieldClass) {
    case FieldClass::String:
        return "CHAR(" + std::to_string(f.size) + ")";
    case FieldClass::AutoInc:
        return "INTEGER";
    case FieldClass::SmallInt:
        return "SMALLINT";
    case FieldClass::BCD:
        return "DECIMAL(" + std::to_string(f.precision) + "," + std::to_string(f.size) + ")";
    case FieldClass::DateTime:
        return "DATETIME";
    }
    return "?";
}

struct Column {
    std::string name;
    std::string type;
    bool primaryKey = false;
};

std::vector<Column> SqliteColumns(testdb::Db& db, const std::string& table)
{
    std::vector<Column> columns;
    for (const auto& row : db.Rows("PRAGMA table_info(" + table + ")")) {
        columns.push_back({row[1], row[2], row[5] != "0"});
    }
    return columns;
}

class SqliteSchema : public ::testing::Test {
protected:
    void SetUp() override { db.Exec(testdb::ReadSourceFile("db/sqlite/schema.sql")); }
    testdb::Db db;
};

TEST_F(SqliteSchema, OperationPlanFieldsAreTheTableColumnsThenTheCalculatedOnes)
{
    const auto fields = tables::OperationPlanFields();
    const auto columns = SqliteColumns(db, "TOperationPlan");
    ASSERT_EQ(columns.size(), static_cast<std::size_t>(tables::kOperationPlanColumns));
    ASSERT_EQ(fields.size(), columns.size() + 2);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        SCOPED_TRACE(columns[i].name);
        EXPECT_EQ(fields[i].name, columns[i].name);
        EXPECT_EQ(SqliteType(fields[i]), columns[i].type);
        EXPECT_FALSE(fields[i].calculated);
        EXPECT_EQ(fields[i].fixedChar, fields[i].fieldClass == FieldClass::String);
        EXPECT_EQ(columns[i].primaryKey, fields[i].name == "FSerialNo");
    }
    for (std::size_t i = columns.size(); i < fields.size(); ++i) {
        EXPECT_TRUE(fields[i].calculated) << fields[i].name;
        EXPECT_EQ(fields[i].fieldClass, FieldClass::String);
        EXPECT_EQ(fields[i].size, 60);
    }
}

TEST_F(SqliteSchema, StaffAndPickerFieldsMatchTheirTables)
{
    const auto employee = tables::EmployeeFields();
    const auto columns = SqliteColumns(db, "TEmployee");
    ASSERT_EQ(columns.size(), employee.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(employee[i].name, columns[i].name);
        EXPECT_EQ(SqliteType(employee[i]), columns[i].type) << columns[i].name;
    }
    const auto picker = tables::DictCodeFields();
    for (const auto& [table, code] :
         std::map<std::string, std::string>{{"TDictDiagICD", "FDiagCode"}, {"TDictOperCM", "FOperCode"}}) {
        const auto dict = SqliteColumns(db, table);
        ASSERT_EQ(dict.size(), picker.size()) << table;
        EXPECT_EQ(dict[0].name, code);
        for (std::size_t i = 0; i < dict.size(); ++i) {
            EXPECT_EQ(SqliteType(picker[i]), dict[i].type) << table << "." << dict[i].name;
        }
    }
}

TEST_F(SqliteSchema, ShortListNamesFitTheColumnsTheyAreStoredIn)
{
    for (const auto& [table, target] : std::map<std::string, std::string>{
             {"TDictBloodTypeA", "FBloodType"}, {"TDictAssay", "FAssay"}, {"TDictAnaesthesia", "FAnaesthesia"}}) {
        const auto columns = SqliteColumns(db, table);
        ASSERT_GE(columns.size(), 2u);
        EXPECT_EQ(columns[0].name, "FNo");
        EXPECT_EQ(columns[1].name, "FName");
        EXPECT_EQ(columns[1].type, SqliteType(*tables::FindField(tables::OperationPlanFields(), target))) << table;
    }
}

TEST_F(SqliteSchema, FixedStatementsRunAgainstTheSchema)
{
    const auto names = [](std::span<const FieldDef> fields) {
        std::vector<std::string> out;
        for (const auto& f : fields) {
            out.emplace_back(f.name);
        }
        return out;
    };
    EXPECT_EQ(db.ColumnNames(std::string(tables::kDiagSelect)), names(tables::DictCodeFields()));
    EXPECT_EQ(db.ColumnNames(std::string(tables::kOperSelect)), names(tables::DictCodeFields()));
    EXPECT_EQ(db.ColumnNames(std::string(tables::kEmployeeSelect)), names(tables::EmployeeFields()));
    for (const auto list : {tables::kBloodTypeSelect, tables::kAssaySelect, tables::kAnaesthesiaSelect}) {
        EXPECT_EQ(db.ColumnNames(std::string(list)), (std::vector<std::string>{"FNo", "FName"})) << list;
    }

    // The engine drops the (NOLOCK) hint on SQLite; the rest must fit TPat.
    std::string lookup(tables::kPatLookupFormat);
    lookup.replace(lookup.find(" (NOLOCK)"), 9, "");
    lookup.replace(lookup.find("%s"), 2, "0301");
    lookup.replace(lookup.find("%s"), 2, "12");
    EXPECT_NO_THROW(db.Rows(lookup));

    // A fresh schema holds the one counter row; the update advances it.
    EXPECT_EQ(db.Rows(std::string(tables::kNextNoSelect)), (std::vector<std::vector<std::string>>{{"1"}}));
    db.Exec(std::string(tables::kNextNoUpdate));
    EXPECT_EQ(db.Scalar(std::string(tables::kNextNoSelect)), "2");
}

TEST_F(SqliteSchema, LoadsAgainWithoutErrorOrSecondCounterRow)
{
    db.Exec("UPDATE TNextOperationPlanNo SET FNext = 40");
    EXPECT_NO_THROW(db.Exec(testdb::ReadSourceFile("db/sqlite/schema.sql")));
    EXPECT_EQ(db.Rows("select FNext from TNextOperationPlanNo"), (std::vector<std::vector<std::string>>{{"40"}}));
}

TEST_F(SqliteSchema, InsertKeepsTheGivenSerialNoAndStampsTheEntryTime)
{
    db.Exec("insert into TOperationPlan (FSerialNo, FDeptCode) values (987654, '0301')");
    const auto rows = db.Rows("select FSerialNo, FEnterDate, date('now','localtime') from TOperationPlan");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "987654");
    EXPECT_TRUE(std::regex_match(rows[0][1], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"))) << rows[0][1];
    EXPECT_EQ(rows[0][1].substr(0, 10), rows[0][2]);
}

// The searches of the list, the patient lookup and the pickers must find
// their rows through an index: without the NOCASE columns SQLite would scan
// every dictionary row on each key press.
TEST_F(SqliteSchema, SearchesUseAnIndex)
{
    const std::vector<std::string> searches = {
        std::string(tables::kDiagSelect) + "where FInputCode like 'JX%' ",
        std::string(tables::kDiagSelect) + "where FName like '急性%' ",
        std::string(tables::kDiagSelect) + "where FDiagCode like 'K3%' ",
        std::string(tables::kOperSelect) + "where FInputCode like 'LW%' ",
        std::string(tables::kOperSelect) + "where FName like '阑尾%' ",
        std::string(tables::kOperSelect) + "where FOperCode like '47%' ",
        std::string(tables::kEmployeeSelect) + "where FInputCode like 'ZW%'  and FDeptCode='0301'  and FJob='医生' ",
        std::string(tables::kEmployeeSelect) + "where FName like '张%' ",
        "select * from TPat where FDeptCode='0301' and FBedNo='12' and FStatus=2 ",
        "select * from TOperationPlan where FOperDate >= '2026-03-15' and FOperDate < '2026-03-16' "
        "and FDeptCode = '0301' and FOperRoom <> '' order by FOperDate,FOperRoom,FTime ",
    };
    for (const auto& sql : searches) {
        std::string plan;
        for (const auto& row : db.Rows("EXPLAIN QUERY PLAN " + sql)) {
            plan += row.back() + "\n";
        }
        // SEARCH, not SCAN: a scan of a covering index also says USING INDEX.
        EXPECT_NE(plan.find("SEARCH"), std::string::npos) << sql << "\n" << plan;
        EXPECT_NE(plan.find("USING INDEX"), std::string::npos) << sql << "\n" << plan;
        EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << plan;
    }
}

// Columns of each CREATE TABLE of a script: lower-case name -> normalised type.
std::map<std::string, std::vector<std::pair<std::string, std::string>>> ScriptTables(std::string script)
{
    script = std::regex_replace(script, std::regex("--[^\n]*"), "");
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> out;
    const std::regex head(R"(create\s+table\s+(?:if\s+not\s+exists\s+)?(?:dbo\.)?(\w+)\s*\()", std::regex::icase);
    for (std::sregex_iterator it(script.begin(), script.end(), head), end; it != end; ++it) {
        std::size_t pos = static_cast<std::size_t>(it->position(0) + it->length(0));
        int depth = 1;
        std::string item;
        std::vector<std::string> items;
        for (; pos < script.size() && depth > 0; ++pos) {
            const char c = script[pos];
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            if ((c == ',' && depth == 1) || depth == 0) {
                items.push_back(item);
                item.clear();
            } else {
                item += c;
            }
        }
        auto& columns = out[Lower((*it)[1])];
        for (const auto& raw : items) {
            std::smatch m;
            const std::string text = Lower(raw);
            if (!std::regex_search(text, m, std::regex(R"(^\s*(\w+)\s+(\w+(?:\s*\([\d,\s]+\))?))")) ||
                m[1] == "constraint" || m[1] == "primary") {
                continue;
            }
            std::string type = std::regex_replace(m[2].str(), std::regex(R"(\s)"), "");
            type = std::regex_replace(type, std::regex(R"(^(timestamp\(3\)|datetime)$)"), "datetime");
            type = std::regex_replace(type, std::regex(R"(^(numeric|decimal))"), "decimal");
            type = std::regex_replace(type, std::regex(R"(^(int|integer)$)"), "integer");
            columns.emplace_back(m[1], type);
        }
    }
    return out;
}

TEST(SchemaScripts, PostgresAndSqlServerDefineTheSameColumnsAsSqlite)
{
    const auto sqlite = ScriptTables(testdb::ReadSourceFile("db/sqlite/schema.sql"));
    ASSERT_EQ(sqlite.size(), 9u);
    for (const auto* file : {"db/postgres/schema.sql", "db/sqlserver/schema.sql"}) {
        SCOPED_TRACE(file);
        const auto other = ScriptTables(testdb::ReadSourceFile(file));
        EXPECT_EQ(other, sqlite);
    }
}

TEST(TableDefinitions, FindFieldIgnoresLetterCase)
{
    const auto fields = tables::OperationPlanFields();
    ASSERT_NE(tables::FindField(fields, "foperroom"), nullptr);
    EXPECT_EQ(tables::FindField(fields, "foperroom")->name, "FOperRoom");
    EXPECT_EQ(tables::FindField(fields, "JANADOCTOR")->name, "JAnaDoctor");
    EXPECT_EQ(tables::FindField(fields, "FOper")->name, "FOper");
    EXPECT_EQ(tables::FindField(fields, "FOperX"), nullptr);
    EXPECT_EQ(tables::FindField(tables::EmployeeFields(), "FSerialNo"), nullptr);
}

} // namespace
