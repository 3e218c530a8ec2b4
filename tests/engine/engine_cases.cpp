#include "tests/engine/engine_cases.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <thread>

namespace hisdb {
// Readable failure output for the engine's value types.
void PrintTo(const DateTime& t, std::ostream* os)
{
    *os << t.ToIso();
}
void PrintTo(const Decimal& d, std::ostream* os)
{
    *os << d.unscaled << "e-" << d.scale;
}
}  // namespace hisdb

namespace enginetest {

using hisdb::ColumnType;
using hisdb::DateTime;
using hisdb::Decimal;
using hisdb::EngineError;
using hisdb::Null;
using hisdb::Value;

namespace {

const std::string kSqliteUser = "spemr";
const std::string kSqlitePassword = "kvrt3816#";

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The first column of the last row `sql` gives on a handle of the SQLite API itself.
std::string FirstValue(sqlite3* db, const char* sql)
{
    std::string value;
    sqlite3_exec(
        db, sql,
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
            return 0;
        },
        &value, nullptr);
    return value;
}

double AsDouble(const Value& v)
{
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return static_cast<double>(*i);
    }
    if (const auto* d = std::get_if<Decimal>(&v)) {
        return d->ToDouble();
    }
    return std::get<double>(v);
}

}  // namespace

void EngineTest::SetUp()
{
    if (IsPostgres()) {
        if (PgConnect().empty()) {
            GTEST_SKIP() << "OPEREDIT_PG_CONNECT is not set";
        }
        const std::string target = "driver=odbc\nconnect=" + PgConnect() + "\n";
        dir_.Write("aliases.ini", "[TESTDB]\n" + target + "[TESTDB_SHORT]\n" + target + "lock_timeout=1\n[TESTDB_ONE]\n"
                                      + target + "max_active=1\n[TESTDB_NAMED]\ndriver=odbc\nconnect=" + PgConnect()
                                      + ";pqopt={application_name=" + AppName()
                                      + "}\nlock_timeout=1\nanswer_timeout=2\n[TESTDB_CURSOR]\ndriver=odbc\nconnect="
                                      + PgConnect() + ";UseDeclareFetch=1;Fetch=50\n");
    } else {
        CreateSqliteFile(dir_.Path() + "/test.db");
        const std::string target = "driver=sqlite\ndatabase=" + dir_.Path() + "/test.db\nuser=" + kSqliteUser
                                   + "\npassword=" + kSqlitePassword + "\n";
        dir_.Write("aliases.ini", "; test database\n[TESTDB]\n" + target + "[TESTDB_SHORT]\n" + target
                                      + "lock_timeout=1\n[TESTDB_ONE]\n" + target + "[TESTDB_NAMED]\n" + target);
    }
    aliases_ = std::make_unique<ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
    db_ = IsPostgres() ? Login(PgUser(), PgPassword()) : Login(kSqliteUser, kSqlitePassword);
    if (IsPostgres()) {
        admin_ = testenv::PgAdminConnect();
    }
}

void EngineTest::TearDown()
{
    if (db_ && IsPostgres()) {
        for (const std::string& table : tables_) {
            try {
                testenv::ExecOn(*admin_, "drop table " + table);
            } catch (const EngineError& e) {
                ADD_FAILURE() << "cannot drop " << table << ": " << e.what();
            }
        }
    }
}

std::unique_ptr<hisdb::Connection> EngineTest::Login(const std::string& user, const std::string& password)
{
    return hisdb::Connect("TESTDB", user, password);
}

std::unique_ptr<hisdb::Connection> EngineTest::LoginTo(const std::string& alias)
{
    return IsPostgres() ? hisdb::Connect(alias, PgUser(), PgPassword())
                        : hisdb::Connect(alias, kSqliteUser, kSqlitePassword);
}

std::string EngineTest::AppName()
{
    return "operedit_engine_" + std::to_string(getpid());
}

std::string EngineTest::NewTable(const std::string& columns)
{
    static int serial = 0;
    std::string name = "TEngineTest" + std::to_string(getpid()) + "_" + std::to_string(++serial);
    if (admin_) {
        testenv::CreateTableForTest(*admin_, name, columns);
    } else {
        Exec("create table " + name + " (" + columns + ")");
    }
    tables_.push_back(name);
    return name;
}

std::int64_t EngineTest::Exec(const std::string& sql, std::initializer_list<Value> params)
{
    auto statement = db_->Prepare(sql);
    int i = 0;
    for (const Value& v : params) {
        statement->Bind(i++, v);
    }
    statement->Execute();
    return statement->RowsAffected();
}

std::vector<std::vector<Value>> EngineTest::Rows(const std::string& sql, std::initializer_list<Value> params)
{
    auto statement = db_->Prepare(sql);
    int i = 0;
    for (const Value& v : params) {
        statement->Bind(i++, v);
    }
    statement->Execute();
    EXPECT_TRUE(statement->HasResult());
    std::vector<std::vector<Value>> rows;
    while (statement->Fetch()) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < static_cast<int>(statement->Columns().size()); ++c) {
            row.push_back(statement->Get(c));
        }
    }
    return rows;
}

const char* const kPlanColumns =
    "FSerialNo integer not null, FOperDate timestamp, FTime char(6), FOperRoom char(8), FName char(8), "
    "FAge decimal(5,2), FDiag varchar(240), FStatus smallint, FCount bigint, FRatio float, FBirthDay date";

TEST_P(EngineTest, BindsAndReadsBackEveryKindOfValue)
{
    const std::string t = NewTable(kPlanColumns);
    const DateTime when{2026, 12, 8, 14, 30, 5, 123};
    EXPECT_EQ(Exec("insert into " + t
                       + " (FSerialNo, FOperDate, FTime, FOperRoom, FName, FAge, FDiag, FStatus, FCount, FRatio, "
                         "FBirthDay) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {std::int64_t{7}, when, std::string("8:30"), Null{}, std::string("张三丰"), Decimal{4250, 2},
                    std::string("急性阑尾炎（化脓性）"), std::int64_t{-3}, std::int64_t{5'000'000'000}, 0.25,
                    DateTime{1980, 2, 29}}),
              1);

    auto rows = Rows("select FSerialNo, FOperDate, FTime, FOperRoom, FName, FAge, FDiag, FStatus, FCount, FRatio, "
                     "FBirthDay from " + t + " where FName = ?",
                     {std::string("张三丰")});
    ASSERT_EQ(rows.size(), 1u);
    const std::vector<Value> expected{std::int64_t{7},   when,          std::string("8:30"),
                                      Null{},            std::string("张三丰"), Decimal{4250, 2},
                                      std::string("急性阑尾炎（化脓性）"), std::int64_t{-3}, std::int64_t{5'000'000'000},
                                      0.25,              DateTime{1980, 2, 29}};
    EXPECT_EQ(rows[0], expected);
}

TEST_P(EngineTest, FixedWidthTextComesBackWithoutTrailingBlanks)
{
    const std::string t = NewTable(kPlanColumns);
    Exec("insert into " + t + " (FSerialNo, FTime, FName, FDiag) values (1, ' 8:30 ', '李四  ', 'kept  ')");
    auto rows = Rows("select FTime, FName, FDiag from " + t);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value(std::string(" 8:30")));  // leading blank is data
    EXPECT_EQ(rows[0][1], Value(std::string("李四")));
    EXPECT_EQ(rows[0][2], Value(std::string("kept  ")));  // variable width keeps them
}

TEST_P(EngineTest, DescribesColumnsWithGbkWidths)
{
    const std::string t = NewTable(kPlanColumns);
    auto statement = db_->Prepare("select FSerialNo, FOperDate, FTime, FOperRoom, FAge, FDiag, FStatus, FCount, "
                                  "FRatio, FBirthDay, FName as FPatient from " + t);
    statement->Execute();
    ASSERT_TRUE(statement->HasResult());
    struct Expected {
        const char* name;
        ColumnType type;
        int width, scale;
    };
    const Expected expected[] = {
        {"fserialno", ColumnType::Integer, 0, 0},  {"foperdate", ColumnType::DateTime, 0, 0},
        {"ftime", ColumnType::FixedChar, 6, 0},    {"foperroom", ColumnType::FixedChar, 8, 0},
        {"fage", ColumnType::BCD, 5, 2},           {"fdiag", ColumnType::String, 240, 0},
        {"fstatus", ColumnType::SmallInt, 0, 0},   {"fcount", ColumnType::LargeInt, 0, 0},
        {"fratio", ColumnType::Float, 0, 0},       {"fbirthday", ColumnType::Date, 0, 0},
        {"fpatient", ColumnType::FixedChar, 8, 0},
    };
    const auto& columns = statement->Columns();
    ASSERT_EQ(columns.size(), std::size(expected));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(Lower(columns[i].name), expected[i].name);
        EXPECT_EQ(hisdb::ColumnTypeName(columns[i].type), hisdb::ColumnTypeName(expected[i].type));
        EXPECT_EQ(columns[i].width, expected[i].width);
        EXPECT_EQ(columns[i].scale, expected[i].scale);
    }
    EXPECT_FALSE(statement->Fetch());
}

TEST_P(EngineTest, TypesExpressionsAndTimesOfDay)
{
    const std::string t = NewTable("FNo integer, FAt time, FName char(8)");
    Exec("insert into " + t + " values (?, ?, ?)", {std::int64_t{1}, DateTime{1899, 12, 30, 8, 30, 15}, std::string("甲")});
    Exec("insert into " + t + " values (?, ?, ?)", {std::int64_t{2}, Null{}, std::string("乙")});

    auto statement = db_->Prepare("select count(*) as FCount, max(FName) as FLast, sum(FNo) * 0.5 as FHalf, FAt from "
                                  + t + " where FNo = 1 group by FAt");
    statement->Execute();
    ASSERT_TRUE(statement->Fetch());
    const auto& columns = statement->Columns();
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(statement->Get(0), Value(std::int64_t{1}));
    EXPECT_EQ(statement->Get(1), Value(std::string("甲")));
    EXPECT_EQ(hisdb::ColumnTypeName(columns[3].type), "Time");
    EXPECT_EQ(statement->Get(3), Value(DateTime{1899, 12, 30, 8, 30, 15}));
    if (!IsPostgres()) {
        // No declared type: the first value's storage class decides.
        EXPECT_EQ(hisdb::ColumnTypeName(columns[0].type), "Integer");
        EXPECT_EQ(hisdb::ColumnTypeName(columns[1].type), "String");
        EXPECT_EQ(hisdb::ColumnTypeName(columns[2].type), "Float");
        EXPECT_EQ(statement->Get(2), Value(0.5));
    } else {
        EXPECT_EQ(hisdb::ColumnTypeName(columns[0].type), "LargeInt");
        EXPECT_EQ(hisdb::ColumnTypeName(columns[2].type), "BCD");
    }
    EXPECT_FALSE(statement->Fetch());
}

TEST_P(EngineTest, DropsTheNolockHintOutsideLiterals)
{
    const std::string t = NewTable(kPlanColumns);
    Exec("insert into " + t + " (FSerialNo, FName, FDiag) values (1, '王五', '(NOLOCK)')");
    EXPECT_EQ(Rows("select FName from " + t + " (NOLOCK) where FSerialNo=?", {std::int64_t{1}}).size(), 1u);
    EXPECT_EQ(Rows("select FName from " + t + "(nolock)where FSerialNo=1").size(), 1u);
    EXPECT_EQ(Rows("select FName from " + t + " with (NoLock) where FSerialNo=1").size(), 1u);
    auto rows = Rows("select FDiag from " + t + " (NOLOCK) where FDiag = '(NOLOCK)'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value(std::string("(NOLOCK)")));
}

// The module's modify and delete statements find an unarranged application
// (FOperRoom null) by binding null to "FOperRoom = ?".
TEST_P(EngineTest, NullParameterInWhereMatchesNullColumn)
{
    const std::string t = NewTable(kPlanColumns);
    Exec("insert into " + t + " (FSerialNo, FOperRoom, FName, FStatus) values (1, null, '甲', 0)");
    Exec("insert into " + t + " (FSerialNo, FOperRoom, FName, FStatus) values (2, '3', '乙', 0)");

    auto update = db_->Prepare("update " + t + " set FSerialNo = ?, FOperRoom = ?, FName = ?, FStatus = ? "
                               "where FSerialNo = ? and FOperRoom = ?");
    auto bind = [&](std::int64_t no, Value room, std::string name, std::int64_t oldNo, Value oldRoom) {
        update->Bind(0, no);
        update->Bind(1, room);
        update->Bind(2, std::move(name));
        update->Bind(3, std::int64_t{0});
        update->Bind(4, oldNo);
        update->Bind(5, oldRoom);
        update->Execute();
        return update->RowsAffected();
    };
    EXPECT_EQ(bind(1, Null{}, "甲二", 1, Null{}), 1);
    EXPECT_EQ(bind(2, std::string("4"), "乙二", 2, std::string("3")), 1);  // same statement, no null
    EXPECT_EQ(bind(2, std::string("5"), "乙三", 2, std::string("3")), 0);  // old room no longer matches
    EXPECT_EQ(bind(2, Null{}, "乙四", 2, Null{}), 0);                      // null matches only null
    EXPECT_EQ(bind(2, Null{}, "乙五", 2, std::string("4")), 1);            // SET with null writes null

    auto rows = Rows("select FSerialNo, FName from " + t + " where FOperRoom is null order by FSerialNo");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], Value(std::string("甲二")));
    EXPECT_EQ(rows[1][1], Value(std::string("乙五")));

    // Also for a number column, and for a null in a plain select.
    Exec("insert into " + t + " (FSerialNo, FOperRoom, FName, FStatus) values (3, null, '丙', null)");
    EXPECT_EQ(Exec("update " + t + " set FName = ? where FStatus = ?", {std::string("丙二"), Null{}}), 1);
    EXPECT_EQ(Rows("select FSerialNo from " + t + " where FStatus = ? and FName = ?", {Null{}, std::string("丙二")}).size(), 1u);
    EXPECT_EQ(Exec("delete from " + t + " where FSerialNo = ?", {std::int64_t{3}}), 1);

    auto remove = db_->Prepare("delete from " + t + " where FSerialNo = ? and FOperRoom = ?");
    remove->Bind(0, std::int64_t{1});
    remove->Bind(1, Null{});
    remove->Execute();
    EXPECT_EQ(remove->RowsAffected(), 1);
    EXPECT_EQ(Rows("select FSerialNo from " + t).size(), 1u);
}

TEST_P(EngineTest, CountsAffectedRows)
{
    const std::string t = NewTable(kPlanColumns);
    for (std::int64_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(Exec("insert into " + t + " (FSerialNo, FStatus) values (?, 0)", {i}), 1);
    }
    EXPECT_EQ(Exec("update " + t + " set FStatus = 1 where FStatus = 0"), 3);
    EXPECT_EQ(Exec("update " + t + " set FStatus = 2 where FSerialNo = ?", {std::int64_t{99}}), 0);
    EXPECT_EQ(Exec("delete from " + t + " where FSerialNo > ?", {std::int64_t{1}}), 2);

    auto select = db_->Prepare("select * from " + t);
    select->Execute();
    EXPECT_EQ(select->RowsAffected(), -1);
}

TEST_P(EngineTest, ReportsTheServersErrorText)
{
    try {
        Exec("select * from TNoSuchTable where FSerialNo = 1");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_FALSE(e.Description().empty());
        EXPECT_NE(Lower(AllTexts(e)).find("tnosuchtable"), std::string::npos) << AllTexts(e);
        EXPECT_NE(std::string(e.what()).find(e.Description()), std::string::npos);
    }
    const std::string t = NewTable("FSerialNo integer primary key");
    Exec("insert into " + t + " values (1)");
    try {
        Exec("insert into " + t + " values (?)", {std::int64_t{1}});
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(Lower(AllTexts(e)).find("unique"), std::string::npos) << AllTexts(e);
        EXPECT_NE(e.Code(), 0);
    }
    // The connection goes on working after an error.
    EXPECT_EQ(Rows("select FSerialNo from " + t).size(), 1u);
}

TEST_P(EngineTest, FetchesForwardOneRowAtATime)
{
    const std::string t = NewTable(kPlanColumns);
    auto insert = db_->Prepare("insert into " + t + " (FSerialNo, FName) values (?, ?)");
    for (std::int64_t i = 1; i <= 5; ++i) {
        insert->Bind(0, i);
        insert->Bind(1, std::string("病人") + std::to_string(i));
        insert->Execute();
    }
    EXPECT_FALSE(insert->HasResult());
    EXPECT_FALSE(insert->Fetch());

    auto select = db_->Prepare("select FSerialNo, FName from " + t + " where FSerialNo >= ? order by FSerialNo");
    EXPECT_EQ(select->ParamCount(), 1);
    select->Bind(0, std::int64_t{2});
    for (int pass = 0; pass < 2; ++pass) {  // executing again starts over
        select->Execute();
        std::vector<std::int64_t> seen;
        while (select->Fetch()) {
            seen.push_back(std::get<std::int64_t>(select->Get(0)));
            if (seen.size() == 2 && pass == 0) {
                break;  // abandoning a result half read
            }
        }
        const std::vector<std::int64_t> expected =
            pass == 0 ? std::vector<std::int64_t>{2, 3} : std::vector<std::int64_t>{2, 3, 4, 5};
        EXPECT_EQ(seen, expected);
    }
    EXPECT_FALSE(select->Fetch());

    select->Bind(0, std::int64_t{100});
    select->Execute();
    EXPECT_TRUE(select->HasResult());
    EXPECT_EQ(select->Columns().size(), 2u);
    EXPECT_FALSE(select->Fetch());

    // Statements of one text read side by side, each its own rows, also when
    // one of the text was abandoned half read and is gone.
    const std::string text = "select FSerialNo, FName from " + t + " where FSerialNo >= ? order by FSerialNo";
    select->Bind(0, std::int64_t{1});
    select->Execute();
    ASSERT_TRUE(select->Fetch());
    select.reset();
    auto first = db_->Prepare(text);
    auto second = db_->Prepare(text);
    first->Bind(0, std::int64_t{1});
    second->Bind(0, std::int64_t{3});
    first->Execute();
    second->Execute();
    std::vector<std::int64_t> firstSeen;
    std::vector<std::int64_t> secondSeen;
    for (bool more = true; more;) {
        more = false;
        for (auto [statement, seen] : {std::pair{first.get(), &firstSeen}, std::pair{second.get(), &secondSeen}}) {
            if (statement->Fetch()) {
                seen->push_back(std::get<std::int64_t>(statement->Get(0)));
                more = true;
            }
        }
    }
    EXPECT_EQ(firstSeen, (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(secondSeen, (std::vector<std::int64_t>{3, 4, 5}));
    second->Execute();
    ASSERT_TRUE(second->Fetch());
    second.reset();  // half read
    if (IsPostgres()) {
        return;
    }
    // A finished statement holds no snapshot of the file: the log can be
    // folded into it at once, and when the connection goes, the file is
    // closed for good (SQLite removes the log with its last handle).
    const std::string file = dir_.Path() + "/test.db";
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(FirstValue(raw, "pragma wal_checkpoint(TRUNCATE)"), "0") << "a finished statement still holds its snapshot";
    sqlite3_close(raw);
    first.reset();
    insert.reset();
    db_.reset();
    EXPECT_FALSE(std::filesystem::exists(file + "-wal")) << "a statement kept the file open";
}

void OpenListTest::SetUp()
{
    EngineTest::SetUp();
    if (IsSkipped()) {
        return;
    }
    table_ = NewTable("FSerialNo integer not null, FStatus smallint");
    // More rows than psqlODBC fetches at once, so the server's cursor stays open.
    Exec("insert into " + table_ + " (FSerialNo, FStatus) "
         + (IsPostgres() ? "select n, 0 from generate_series(1, 1000) n"
                         : "with recursive n(i) as (select 1 union all select i + 1 from n where i < 1000) "
                           "select i, 0 from n"));
    other_ = IsPostgres() ? Login(PgUser(), PgPassword()) : Login(kSqliteUser, kSqlitePassword);
    list_ = db_->Prepare("select FSerialNo, FStatus from " + table_ + " order by FSerialNo");
    list_->Execute();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(list_->Fetch());
    }
}

void OpenListTest::TearDown()
{
    list_.reset();  // before the table is dropped
    other_.reset();
    EngineTest::TearDown();
}

std::int64_t OpenListTest::OtherExec(const std::string& sql)
{
    auto statement = other_->Prepare(sql);
    statement->Execute();
    return statement->RowsAffected();
}

Value OpenListTest::OtherCount(const std::string& where)
{
    auto statement = other_->Prepare("select count(*) from " + table_ + " where " + where);
    statement->Execute();
    EXPECT_TRUE(statement->Fetch());
    Value count = statement->Get(0);
    EXPECT_FALSE(statement->Fetch());
    return count;
}

int OpenListTest::RestOfList()
{
    int rest = 0;
    while (list_->Fetch()) {
        ++rest;
    }
    return rest;
}

TEST_P(OpenListTest, AnotherWorkstationsStoreDoesNotBlockThisOne)
{
    EXPECT_EQ(OtherExec("update " + table_ + " set FStatus = 9 where FSerialNo = 1000"), 1);
    EXPECT_EQ(Exec("update " + table_ + " set FStatus = 1 where FSerialNo between ? and ?",
                   {std::int64_t{2}, std::int64_t{4}}),
              3);
    EXPECT_EQ(Exec("delete from " + table_ + " where FSerialNo = ?", {std::int64_t{999}}), 1);
    EXPECT_EQ(RestOfList(), 990);
    EXPECT_EQ(OtherCount("FStatus = 1"), Value(std::int64_t{3}));
    EXPECT_EQ(OtherCount("FStatus = 9"), Value(std::int64_t{1}));
}

TEST_P(OpenListTest, AStoreBesideTheOpenListIsCommittedWhenItReturns)
{
    EXPECT_EQ(Exec("update " + table_ + " set FStatus = 1 where FSerialNo <= ?", {std::int64_t{3}}), 3);
    EXPECT_EQ(OtherCount("FStatus = 1"), Value(std::int64_t{3}));
    EXPECT_EQ(Exec("insert into " + table_ + " (FSerialNo, FStatus) values (?, ?)", {std::int64_t{1001}, Null{}}), 1);
    EXPECT_EQ(OtherCount("FSerialNo = 1001 and FStatus is null"), Value(std::int64_t{1}));
    // A read on this connection beside the open list sees what it stored:
    // a counter read, raised and read again must not give the same number.
    auto next = [&] { return Rows("select max(FSerialNo) + 1 from " + table_).at(0).at(0); };
    const Value first = next();
    Exec("insert into " + table_ + " (FSerialNo, FStatus) values (?, 0)", {first});
    EXPECT_NE(next(), first);
    EXPECT_GE(RestOfList(), 990);
}

// Workstation 1 has the list half read; workstation 2 commits meanwhile.
TEST_P(OpenListTest, AReadBesideTheOpenListSeesAnotherWorkstationsCommit)
{
    const std::string status = "select FStatus from " + table_ + " where FSerialNo = 500";
    EXPECT_EQ(Rows(status).at(0).at(0), Value(std::int64_t{0}));
    EXPECT_EQ(OtherExec("update " + table_ + " set FStatus = 101 where FSerialNo = 500"), 1);
    EXPECT_EQ(Rows(status).at(0).at(0), Value(std::int64_t{101}));

    // Also with a second result of this connection held open, and for a
    // statement that is executed again: the re-read shows the new row.
    auto count = db_->Prepare("select count(*) from " + table_);
    auto second = db_->Prepare("select FSerialNo from " + table_ + " order by FSerialNo desc");
    second->Execute();
    ASSERT_TRUE(second->Fetch());
    count->Execute();
    ASSERT_TRUE(count->Fetch());
    EXPECT_EQ(count->Get(0), Value(std::int64_t{1000}));
    EXPECT_EQ(OtherExec("insert into " + table_ + " (FSerialNo, FStatus) values (1001, 0)"), 1);
    second->Execute();
    ASSERT_TRUE(second->Fetch());
    EXPECT_EQ(second->Get(0), Value(std::int64_t{1001}));
    count->Execute();
    ASSERT_TRUE(count->Fetch());
    EXPECT_EQ(count->Get(0), Value(std::int64_t{1001}));
    EXPECT_EQ(RestOfList(), 990) << "the list goes on as it began";
}

// The counter step: read and raise in one transaction that locks the table.
TEST_P(OpenListTest, ATransactionReadsItsOwnWritesAndOthersSeeThemAfterCommit)
{
    const std::string counter = NewTable("FNext integer");
    Exec("insert into " + counter + " (FNext) values (57)");
    auto read = db_->Prepare("select FNext from " + counter); // prepared before the transaction
    auto raise = db_->Prepare("update " + counter + " set FNext = FNext + 1");
    auto otherRead = [&] {
        auto statement = other_->Prepare("select FNext from " + counter);
        statement->Execute();
        EXPECT_TRUE(statement->Fetch());
        return statement->Get(0);
    };
    {
        hisdb::Transaction transaction(*db_, counter);
        EXPECT_TRUE(db_->InTransaction());
        EXPECT_THROW(db_->StartTransaction(counter), EngineError);
        raise->Execute();
        read->Execute();
        ASSERT_TRUE(read->Fetch());
        EXPECT_EQ(read->Get(0), Value(std::int64_t{58}));
        EXPECT_FALSE(read->Fetch());
        EXPECT_EQ(otherRead(), Value(std::int64_t{57})) << "not committed yet, and plain reads do not wait";
        transaction.Commit();
    }
    EXPECT_FALSE(db_->InTransaction());
    EXPECT_EQ(otherRead(), Value(std::int64_t{58}));

    // Left without commit, also by an exception, it is rolled back.
    try {
        hisdb::Transaction transaction(*db_, counter);
        raise->Execute();
        throw std::runtime_error("one row check failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(db_->InTransaction());
    EXPECT_EQ(otherRead(), Value(std::int64_t{58}));
    EXPECT_THROW(db_->Commit(), EngineError);

    // After it, reads and writes run outside any transaction again.
    raise->Execute();
    EXPECT_EQ(otherRead(), Value(std::int64_t{59}));
    read->Execute();
    ASSERT_TRUE(read->Fetch());
    EXPECT_EQ(read->Get(0), Value(std::int64_t{59}));
    EXPECT_EQ(RestOfList(), 990);
}

TEST_P(EngineTest, RefusesTwoStatementsInOneText)
{
    const std::string t = NewTable("FNo integer, FStatus integer");
    Exec("insert into " + t + " values (1, 0)");
    EXPECT_THROW(Exec("update " + t + " set FStatus = 500 where FNo = 1; update " + t + " set FStatus = 600 where FNo = 1"),
                 EngineError);
    // The second part's null-safe comparison would ask for a parameter never bound.
    EXPECT_THROW((void)db_->Prepare("update " + t + " set FStatus = 1 where FNo = ?;\n delete from " + t
                                    + " where FStatus = ?"),
                 EngineError);
    EXPECT_THROW((void)db_->Prepare("select 1; /* ; */ select 2"), EngineError);
    EXPECT_EQ(Rows("select FStatus from " + t).at(0).at(0), Value(std::int64_t{0}));
    // A closing ';' followed by blanks and comments, and ';' in literals and comments, make one statement.
    EXPECT_EQ(Exec("update " + t + " set FStatus = ? where FNo = ? ; -- stored\n /* ; */ ", {std::int64_t{7}, std::int64_t{1}}),
              1);
    auto rows = Rows("select FStatus, ';x' from " + t + " /* a; b */ where FNo = ?;", {std::int64_t{1}});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value(std::int64_t{7}));
    EXPECT_EQ(rows[0][1], Value(std::string(";x")));
}

TEST_P(EngineTest, ExpressionColumnsKeepTheFractionsOfLaterRows)
{
    const std::string t = NewTable("FNo integer, FAge decimal(5,2)");
    Exec("insert into " + t + " values (?, ?)", {std::int64_t{1}, Decimal{4000, 2}});
    Exec("insert into " + t + " values (?, ?)", {std::int64_t{2}, Decimal{4250, 2}});
    auto rows = Rows("select coalesce(FAge, 0) as FAgeOr0, FNo * 1.5 as FHalfMore from " + t + " order by FNo");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(AsDouble(rows[0][0]), 40.0);
    EXPECT_EQ(AsDouble(rows[1][0]), 42.5);  // not 43 because the first row was whole
    EXPECT_EQ(AsDouble(rows[1][1]), 3.0);
    // A column read through a subquery keeps its declared type, also with no row.
    auto statement = db_->Prepare("select FAge from (select FAge from " + t + " where FNo > 99) s");
    statement->Execute();
    ASSERT_EQ(statement->Columns().size(), 1u);
    EXPECT_EQ(hisdb::ColumnTypeName(statement->Columns()[0].type), "BCD");
    EXPECT_EQ(statement->Columns()[0].scale, 2);
    EXPECT_FALSE(statement->Fetch());
}

// Another program stored the room as '3 '; the module reads it as '3' and
// finds the row by that value when it stores.
TEST_P(EngineTest, CharKeysMatchWhateverTrailingBlanksWereStored)
{
    testenv::HisDatabase his(GetParam());
    ASSERT_TRUE(his.Available());
    his.Exec("insert into TOperationPlan (FSerialNo, FOperRoom, FName, FDeptCode) values (1, '3 ', '甲', 'D01  ')");
    auto update = his.Direct().Prepare("update TOperationPlan set FName = ? where FSerialNo = ? and FOperRoom = ?");
    update->Bind(0, std::string("乙"));
    update->Bind(1, std::int64_t{1});
    update->Bind(2, std::string("3"));
    update->Execute();
    EXPECT_EQ(update->RowsAffected(), 1);
    EXPECT_EQ(his.Scalar("select FName from TOperationPlan where FDeptCode = 'D01' and FOperRoom = '3   '"), "乙");
}

TEST_P(EngineTest, LoginFailsClearlyWhileAnotherProgramKeepsTheOldJournalMode)
{
    if (IsPostgres()) {
        GTEST_SKIP() << "SQLite files only";
    }
    const std::string file = dir_.Path() + "/old.db";
    CreateSqliteFile(file);
    dir_.Write("old.ini", "[OLD]\ndriver=sqlite\ndatabase=" + file + "\nlock_timeout=1\n");
    ScopedEnv aliases("HISDB_ALIASES", (dir_.Path() + "/old.ini").c_str());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(other, &sqlite3_close);
    auto journalMode = [&] {
        return FirstValue(other, "pragma journal_mode");
    };
    ASSERT_EQ(journalMode(), "delete");
    // The other program reads in a transaction of the rollback journal.
    ASSERT_EQ(sqlite3_exec(other, "begin; select count(*) from TProbe", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        (void)hisdb::Connect("OLD", "", "");
        FAIL() << "login accepted with the file in the old journal mode";
    } catch (const EngineError& e) {
        EXPECT_NE(AllTexts(e).find("write-ahead"), std::string::npos) << AllTexts(e);
    }
    ASSERT_EQ(sqlite3_exec(other, "commit", nullptr, nullptr, nullptr), SQLITE_OK);
    auto db = hisdb::Connect("OLD", "", "");
    auto insert = db->Prepare("insert into TProbe values (1)");
    insert->Execute();
    EXPECT_EQ(insert->RowsAffected(), 1);
    closer.reset();
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    closer.reset(other);
    EXPECT_EQ(journalMode(), "wal");
}

// A SQLite file the login cannot write: on a read-only file system (root
// passes over file modes, so a mount of the test's own does it), in the old
// journal mode or already in WAL mode, alone or with the log and index a
// running workstation keeps beside it; or in a folder where the write-ahead
// log cannot be created while the file itself may be written. Each fails the
// login at once (not after the lock wait) with what is wrong, rather than
// reading and then failing every store, and leaves the file as it was.
TEST_P(EngineTest, AFileThatCannotBeWrittenFailsTheLoginAtOnceAndSaysWhy)
{
    if (IsPostgres()) {
        GTEST_SKIP() << "SQLite files only";
    }
    const std::string source = dir_.Path() + "/source";
    const std::string mounted = dir_.Path() + "/mounted";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(mounted);
    enum class Journal { Old, Wal, WalWithLog };
    enum class Fault { ReadOnlyFileSystem, LogNotCreatable };
    const struct {
        const char* name;
        Journal journal;
        Fault fault;
        const char* expected;  // a line of the error
    } cases[] = {
        {"read-only, old journal", Journal::Old, Fault::ReadOnlyFileSystem, "cannot be written"},
        {"read-only, WAL", Journal::Wal, Fault::ReadOnlyFileSystem, "cannot be written"},
        {"read-only, WAL with its log and index", Journal::WalWithLog, Fault::ReadOnlyFileSystem, "cannot be written"},
        {"log not creatable, old journal", Journal::Old, Fault::LogNotCreatable, "-wal' and index"},
        {"log not creatable, WAL", Journal::Wal, Fault::LogNotCreatable, "-wal' and index"},
    };
    int serial = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "case" + std::to_string(++serial) + ".db";
        const std::string file = source + "/" + name;
        CreateSqliteFile(file, "create table TProbe(FId integer); insert into TProbe values (1)");
        dir_.Write(name + ".ini", "[CASE]\ndriver=sqlite\ndatabase=" + file + "\n");
        std::unique_ptr<hisdb::Connection> running;
        {
            ScopedEnv aliases("HISDB_ALIASES", (dir_.Path() + "/" + name + ".ini").c_str());
            if (c.journal != Journal::Old) {
                running = hisdb::Connect("CASE", "", "");
                testenv::ExecOn(*running, "insert into TProbe values (2)");
            }
        }
        std::vector<std::string> copied{name};
        if (c.journal == Journal::Wal) {
            running.reset();  // the last connection folds its log into the file and removes it
        } else if (c.journal == Journal::WalWithLog) {
            copied.insert(copied.end(), {name + "-wal", name + "-shm"});
        }
        auto disk = testenv::ScopedMount::Tmpfs(mounted, 1 << 20);
        if (!disk.Mounted()) {
            GTEST_SKIP() << disk.Why();
        }
        const std::string target = mounted + "/" + name;
        std::optional<testenv::ScopedMount> bound;
        if (c.fault == Fault::ReadOnlyFileSystem) {
            for (const std::string& f : copied) {
                std::filesystem::copy_file(source + "/" + f, mounted + "/" + f);
            }
            ASSERT_TRUE(disk.MakeReadOnly()) << disk.Why();
        } else {
            // The folder is read-only; the file in it is the writable one of `source`.
            std::ofstream(target).put('\0');
            ASSERT_TRUE(disk.MakeReadOnly()) << disk.Why();
            bound.emplace(testenv::ScopedMount::Bind(file, target));
            ASSERT_TRUE(bound->Mounted()) << bound->Why();
        }
        running.reset();
        dir_.Write(name + ".ini", "[CASE]\ndriver=sqlite\ndatabase=" + target + "\n");
        ScopedEnv aliases("HISDB_ALIASES", (dir_.Path() + "/" + name + ".ini").c_str());
        const auto start = std::chrono::steady_clock::now();
        try {
            (void)hisdb::Connect("CASE", "", "");
            ADD_FAILURE() << "login accepted";
        } catch (const EngineError& e) {
            EXPECT_NE(AllTexts(e).find(c.expected), std::string::npos) << AllTexts(e);
            EXPECT_NE(AllTexts(e).find(target), std::string::npos) << AllTexts(e);
            EXPECT_EQ(AllTexts(e).find("another program"), std::string::npos) << AllTexts(e);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "waited out the lock wait";
        if (c.fault == Fault::LogNotCreatable) {
            bound.reset();
            sqlite3* check = nullptr;
            ASSERT_EQ(sqlite3_open_v2(file.c_str(), &check, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
            std::unique_ptr<sqlite3, decltype(&sqlite3_close)> closer(check, &sqlite3_close);
            EXPECT_EQ(FirstValue(check, "select count(*) from TProbe"), c.journal == Journal::Old ? "1" : "2") << "the file is as it was";
        }
    }
}

TEST_P(EngineTest, DecimalsBeyondTheRangeFailInsteadOfWrapping)
{
    if (IsPostgres()) {
        GTEST_SKIP() << "the server refuses such values when they are stored";
    }
    const std::string t = NewTable("FNo integer, FAmount decimal(18,4)");
    Exec("insert into " + t + " values (1, 922337203685477580), (2, 1e300), (3, 12.5), (4, -3)");
    const std::string select = "select FAmount from " + t + " where FNo = ?";
    EXPECT_THROW((void)Rows(select, {std::int64_t{1}}), EngineError);
    EXPECT_THROW((void)Rows(select, {std::int64_t{2}}), EngineError);
    EXPECT_EQ(Rows(select, {std::int64_t{3}}).at(0).at(0), Value(Decimal{125000, 4}));
    EXPECT_EQ(Rows(select, {std::int64_t{4}}).at(0).at(0), Value(Decimal{-30000, 4}));
    EXPECT_THROW(Exec("update " + t + " set FAmount = ? where FNo = 4", {Decimal{INT64_MAX / 10, -2}}), EngineError);
}

// Another workstation holds the table longer than the alias lets a statement
// wait; the statement ends with an error instead of waiting it out.
TEST_P(EngineTest, AStatementWaitingForALockLongerThanTheLimitFails)
{
    const std::string t = NewTable("FNo integer, FStatus integer");
    Exec("insert into " + t + " values (1, 0)");
    auto waiting = LoginTo("TESTDB_SHORT");
    auto update = waiting->Prepare("update " + t + " set FStatus = 2 where FNo = 1");
    hisdb::Transaction holder(*db_, t);
    Exec("update " + t + " set FStatus = 1 where FNo = 1");
    auto outcome = std::async(std::launch::async, [&]() -> std::string {
        try {
            update->Execute();
            return "stored after waiting";
        } catch (const EngineError& e) {
            return AllTexts(e);
        }
    });
    // Held for longer than the limit of 1 s, then given up.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    holder.Commit();
    const std::string text = outcome.get();
    EXPECT_EQ(text.find("stored after waiting"), std::string::npos);
    EXPECT_NE(Lower(text).find(IsPostgres() ? "lock timeout" : "locked"), std::string::npos) << text;
    EXPECT_EQ(Rows("select FStatus from " + t).at(0).at(0), Value(std::int64_t{1}));
}

// A server that allows one active result per session (SQL Server through
// FreeTDS), forced with max_active=1.
TEST_P(EngineTest, WithOneActiveResultPerSessionAPendingResultIsReadFirst)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "a limit of ODBC drivers";
    }
    const std::string t = NewTable("FNo integer, FStatus integer");
    Exec("insert into " + t + " select n, 0 from generate_series(1, 300) n");
    auto one = LoginTo("TESTDB_ONE");
    auto count = [&](hisdb::Statement& s) {
        int n = 0;
        while (s.Fetch()) {
            ++n;
        }
        return n;
    };
    auto list = one->Prepare("select FNo from " + t + " order by FNo");
    list->Execute();
    ASSERT_TRUE(list->Fetch());
    auto raise = one->Prepare("update " + t + " set FStatus = FStatus + 1 where FNo = ?");
    {
        hisdb::Transaction transaction(*one, t);
        auto read = one->Prepare("select FNo, FStatus from " + t + " where FNo <= 100 order by FNo");
        read->Execute();
        ASSERT_TRUE(read->Fetch());
        raise->Bind(0, std::int64_t{2});
        raise->Execute();  // on the session the read still holds
        EXPECT_EQ(raise->RowsAffected(), 1);
        ASSERT_TRUE(read->Fetch());
        EXPECT_EQ(read->Get(0), Value(std::int64_t{2}));
        EXPECT_EQ(count(*read), 98);
        transaction.Commit();
    }
    // A write that returns rows, left unread, and another write beside it.
    auto returning = one->Prepare("update " + t + " set FStatus = 5 where FNo <= 3 returning FNo");
    returning->Execute();
    ASSERT_TRUE(returning->Fetch());
    raise->Bind(0, std::int64_t{300});
    raise->Execute();
    EXPECT_EQ(raise->RowsAffected(), 1);
    EXPECT_EQ(count(*returning), 2);
    EXPECT_EQ(count(*list), 299);
    EXPECT_EQ(Rows("select count(*) from " + t + " where FStatus > 0").at(0).at(0), Value(std::int64_t{4}));
}

// The server ends this workstation's sessions (a restart, an administrator):
// the next statement fails, the one after it runs on a new login.
TEST_P(EngineTest, ALostSessionFailsOneStatementAndIsLoggedInAgain)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "server sessions only";
    }
    const std::string t = NewTable("FNo integer, FStatus integer");
    Exec("insert into " + t + " values (1, 0)");
    auto named = LoginTo("TESTDB_NAMED");
    auto read = named->Prepare("select FStatus from " + t + " where FNo = ?");
    auto raise = named->Prepare("update " + t + " set FStatus = FStatus + 1 where FNo = ?");
    read->Bind(0, std::int64_t{1});
    raise->Bind(0, std::int64_t{1});
    raise->Execute();
    auto status = [&] {
        read->Execute();
        EXPECT_TRUE(read->Fetch());
        Value v = read->Get(0);
        EXPECT_FALSE(read->Fetch());
        return v;
    };
    EXPECT_EQ(status(), Value(std::int64_t{1}));
    auto killed = Rows("select count(*) from pg_stat_activity where case when application_name = ? "
                       "then pg_terminate_backend(pid, 5000) else false end",
                       {AppName()});
    ASSERT_EQ(killed.at(0).at(0), Value(std::int64_t{2}));
    EXPECT_THROW(raise->Execute(), EngineError);
    EXPECT_THROW((void)status(), EngineError);
    EXPECT_EQ(Rows("select FStatus from " + t).at(0).at(0), Value(std::int64_t{1}));
    raise->Execute();
    EXPECT_EQ(raise->RowsAffected(), 1);
    EXPECT_EQ(status(), Value(std::int64_t{2}));
    // A transaction that loses its session is rolled back and not resumed.
    auto kill = db_->Prepare("select count(*) from pg_stat_activity where case when application_name = ? "
                             "then pg_terminate_backend(pid, 5000) else false end");
    kill->Bind(0, AppName());
    {
        hisdb::Transaction transaction(*named, t);
        raise->Execute();
        kill->Execute();
        ASSERT_TRUE(kill->Fetch());
        EXPECT_THROW(raise->Execute(), EngineError);
        EXPECT_THROW(transaction.Commit(), EngineError);
    }
    EXPECT_FALSE(named->InTransaction());
    EXPECT_THROW((void)status(), EngineError);  // the reading session, ended meanwhile
    EXPECT_EQ(status(), Value(std::int64_t{2}));
    raise->Execute();
    EXPECT_EQ(status(), Value(std::int64_t{3}));
}

// The server stops answering (its processes halted, as by an overload or a
// path that drops packets): every call ends within answer_timeout with the
// engine's error, nothing of it is stored, and once the server runs again the
// sessions are logged in anew and the same statements succeed.
TEST_P(EngineTest, AServerThatStopsAnsweringEndsEachCallWithinItsBound)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "server sessions only";
    }
    const std::string t = NewTable("FNo integer, FStatus integer");
    Exec("insert into " + t + " select n, 0 from generate_series(1, 120) n");
    auto named = LoginTo("TESTDB_NAMED");  // answer_timeout=2
    auto read = named->Prepare("select FStatus from " + t + " order by FNo");
    auto raise = named->Prepare("update " + t + " set FStatus = FStatus + 1 where FNo = ?");
    auto count = named->Prepare("select count(*) from " + t);
    raise->Bind(0, std::int64_t{1});
    raise->Execute();
    read->Execute();
    ASSERT_TRUE(read->Fetch());  // a reading session with a result open,
    count->Execute();            // one without, and the writing one
    ASSERT_TRUE(count->Fetch());
    ASSERT_FALSE(count->Fetch());
    const auto halt = [&] {
        return std::make_unique<testenv::HaltedProcesses>(
            testenv::PgBackends(*admin_, "application_name = '" + AppName() + "'"));
    };
    const auto bounded = [](const char* what, const std::function<void()>& call) {
        const auto start = std::chrono::steady_clock::now();
        try {
            call();
            ADD_FAILURE() << what << ": no error";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.Description(), "The database server did not answer in time") << what;
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(1900)) << what;
        EXPECT_LT(waited, std::chrono::seconds(10)) << what;
    };
    {
        auto halted = halt();
        if (!halted->Halted()) {
            GTEST_SKIP() << "the server's processes cannot be stopped from here";
        }
        bounded("a read", [&] { count->Execute(); });
        bounded("the rest of an open result", [&] { while (read->Fetch()) { } });
    }
    raise->Execute();
    read->Execute();
    int rows = 0;
    while (read->Fetch()) {
        ++rows;
    }
    EXPECT_EQ(rows, 120);
    // A transaction whose server stops: its statement fails within the
    // bound, its commit at once, and the server rolls it back. (A statement
    // outside a transaction that reached the server before it stopped is
    // carried out when it runs again: that outcome is in doubt.)
    {
        hisdb::Transaction transaction(*named, t);
        raise->Execute();
        auto halted = halt();
        bounded("update in a transaction", [&] { raise->Execute(); });
        EXPECT_THROW(transaction.Commit(), EngineError);
    }
    EXPECT_FALSE(named->InTransaction());
    // The halted backend, resumed, finds its client gone and gives its lock
    // up; the next transaction logs in anew and waits for it at most lock_timeout.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {
        hisdb::Transaction transaction(*named, t);
        raise->Execute();
        transaction.Commit();
    }
    EXPECT_EQ(Rows("select FStatus from " + t + " where FNo = 1").at(0).at(0), Value(std::int64_t{3}));
}

TEST_P(EngineTest, LongTextsOutsideTheBasicPlaneComeBackWhole)
{
    const std::string t = NewTable("FNo integer, FText text");
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        text += "𝄞";  // a surrogate pair in UTF-16, more of them than one piece of reading holds
    }
    text += "尾";
    Exec("insert into " + t + " values (1, ?)", {text});
    EXPECT_EQ(Rows("select FText from " + t).at(0).at(0), Value(text));
}

TEST_P(EngineTest, OdbcFailuresCarryTheServersLinesFromEveryStep)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "the ODBC driver";
    }
    const std::string t = NewTable("FNo integer primary key, FStatus integer");
    Exec("insert into " + t + " select n, 0 from generate_series(1, 200) n");
    try {
        Exec("insert into " + t + " (FNo) values (1)");
        FAIL() << "no error";
    } catch (const EngineError& e) {
        // The driver's record holds the server's lines and its own: one message each, none twice.
        std::vector<std::string> lines = e.Messages();
        EXPECT_GE(lines.size(), 2u);
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        }
        EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.find("DETAIL:") == 0 && l.find("(fno)=(1)") != l.npos; }),
                  lines.end())
            << AllTexts(e);
        std::vector<std::string> shown;
        std::string what = e.what();
        for (std::size_t from = 0; from <= what.size();) {
            std::size_t end = std::min(what.find('\n', from), what.size());
            shown.push_back(what.substr(from, end - from));
            from = end + 1;
        }
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end()), shown.end()) << what;
    }
    // An error met while fetching, after the first rows were read.
    auto divide = db_->Prepare("select 100 / (FNo - 120) from " + t + " order by FNo");
    divide->Execute();
    ASSERT_TRUE(divide->Fetch());
    try {
        while (divide->Fetch()) {
        }
        FAIL() << "no error";
    } catch (const EngineError& e) {
        EXPECT_NE(AllTexts(e).find("division by zero"), std::string::npos) << AllTexts(e);
    }
    // A value the column's type cannot hold, met while reading the row.
    EXPECT_THROW((void)Rows("select cast('NaN' as numeric(10,2)) as FAmount"), EngineError);
    EXPECT_EQ(Rows("select count(*) from " + t).at(0).at(0), Value(std::int64_t{200}));
}

// spemr_one (made by scripts/pg-cluster) has a password with the characters
// a connection string quotes, and room for one session only. Its string sets
// cursor fetching itself, so the login session is a reading one (otherwise
// it would be kept as the writing session, see the ODBC driver).
TEST_P(EngineTest, OdbcLogsInWithAQuotedPasswordAndReportsARefusedSecondSession)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "the ODBC driver";
    }
    if (Rows("select count(*) from pg_roles where rolname = 'spemr_one'").at(0).at(0) != Value(std::int64_t{1})) {
        GTEST_SKIP() << "role spemr_one is missing: run scripts/pg-cluster start";
    }
    EXPECT_THROW((void)hisdb::Connect("TESTDB_CURSOR", "spemr_one", "p;w}d="), EngineError);
    auto one = hisdb::Connect("TESTDB_CURSOR", "spemr_one", "p;w}d={x");
    auto list = one->Prepare("select n from generate_series(1, 500) n");
    list->Execute();
    ASSERT_TRUE(list->Fetch());
    try {
        auto second = one->Prepare("select 1");
        second->Execute();
        FAIL() << "a second session was accepted";
    } catch (const EngineError& e) {
        EXPECT_NE(AllTexts(e).find("too many connections"), std::string::npos) << AllTexts(e);
    }
    int rest = 0;
    while (list->Fetch()) {
        ++rest;
    }
    EXPECT_EQ(rest, 499);
    auto after = one->Prepare("select 1");  // the finished list's session serves it
    after->Execute();
    EXPECT_TRUE(after->Fetch());
}

// The test cluster's login has the module's rights and no more, as the
// hospital's should (docs/database-setup.md): reading the dictionaries,
// patients and staff, changing the applications and the counter, nothing
// of the schema.
TEST_P(EngineTest, TheModulesLoginHoldsOnlyTheModulesRights)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "server rights";
    }
    const std::vector<std::pair<std::string, std::string>> granted = {
        {"tpat", "SELECT"}, {"temployee", "SELECT"}, {"tdictdiagicd", "SELECT"}, {"tdictopercm", "SELECT"},
        {"tdictbloodtypea", "SELECT"}, {"tdictassay", "SELECT"}, {"tdictanaesthesia", "SELECT"},
        {"toperationplan", "SELECT,INSERT,UPDATE,DELETE"}, {"tnextoperationplanno", "SELECT,UPDATE"}};
    auto rights = db_->Prepare("select string_agg(p, ',' order by o) from (values ('SELECT', 1), ('INSERT', 2), "
                               "('UPDATE', 3), ('DELETE', 4), ('TRUNCATE', 5), ('REFERENCES', 6), ('TRIGGER', 7)) v(p, o) "
                               "where has_table_privilege(current_user, cast(? as regclass), p)");
    for (const auto& [table, expected] : granted) {
        rights->Bind(0, table);
        rights->Execute();
        ASSERT_TRUE(rights->Fetch());
        EXPECT_EQ(rights->Get(0), Value(expected)) << table;
        EXPECT_FALSE(rights->Fetch());
    }
    // Every table of the schema is one of those, and none is the login's own.
    EXPECT_EQ(Rows("select count(*) from pg_tables where schemaname = 'public' and (tableowner = current_user "
                   "or (tablename not like 'tengine%' and tablename not in ('tpat', 'temployee', 'tdictdiagicd', "
                   "'tdictopercm', 'tdictbloodtypea', 'tdictassay', 'tdictanaesthesia', 'toperationplan', "
                   "'tnextoperationplanno')))"),
              (std::vector<std::vector<Value>>{{Value(std::int64_t{0})}}));
    EXPECT_EQ(Rows("select cast(pg_get_userbyid(datdba) <> current_user as integer), "
                   "cast(has_database_privilege(current_database(), 'CREATE') as integer), "
                   "cast(has_database_privilege(current_database(), 'TEMP') as integer), "
                   "cast(has_schema_privilege('public', 'CREATE') as integer) "
                   "from pg_database where datname = current_database()"),
              (std::vector<std::vector<Value>>{{Value(std::int64_t{1}), Value(std::int64_t{0}), Value(std::int64_t{0}),
                                                Value(std::int64_t{0})}}));
    for (const char* sql : {"create table TMine (FNo integer)", "delete from TPat", "insert into TEmployee (FEmployeeID) values ('x')",
                            "delete from TNextOperationPlanNo", "alter table TOperationPlan rename to TAway",
                            "truncate TOperationPlan"}) {
        try {
            Exec(sql);
            ADD_FAILURE() << "allowed: " << sql;
        } catch (const EngineError& e) {
            const std::string texts = AllTexts(e);
            EXPECT_TRUE(texts.find("permission denied") != std::string::npos
                        || texts.find("must be owner") != std::string::npos)
                << sql << ": " << texts;
        }
    }
}

// scripts/pg-cluster serves TLS with a certificate for localhost and
// 127.0.0.1 signed by an authority of its own (OPEREDIT_PG_CA). With
// SSLmode=verify-full the session is encrypted; a certificate that does not
// name the host asked for, or an authority that cannot be read, refuses the
// login with the driver's error.
TEST_P(EngineTest, OdbcEncryptsWithVerifiedCertificatesAndRefusesAWrongHostName)
{
    if (!IsPostgres()) {
        GTEST_SKIP() << "the server's TLS";
    }
    const char* ca = std::getenv("OPEREDIT_PG_CA");
    if (ca == nullptr || *ca == '\0') {
        GTEST_SKIP() << "OPEREDIT_PG_CA is not set (scripts/pg-cluster ca-file)";
    }
    const std::string connect = PgConnect();
    const std::size_t server = Lower(connect).find("server=127.0.0.1");
    if (server == std::string::npos) {
        GTEST_SKIP() << "OPEREDIT_PG_CONNECT does not name Server=127.0.0.1";
    }
    // The same address under a name the certificate does not hold: libpq
    // connects to hostaddr and checks the certificate against host.
    std::string otherName = connect;
    otherName.replace(server, std::string("server=127.0.0.1").size(), "Server=his-db.example");
    const std::string verify = ";SSLmode=verify-full;pqopt={sslrootcert=" + std::string(ca);
    dir_.Write("tls.ini", "[TLS]\ndriver=odbc\nconnect=" + connect + verify + "}\n[TLS_OTHER_NAME]\ndriver=odbc\nconnect="
                              + otherName + verify + " hostaddr=127.0.0.1}\n[TLS_NO_AUTHORITY]\ndriver=odbc\nconnect="
                              + connect + ";SSLmode=verify-full;pqopt={sslrootcert=" + dir_.Path() + "/missing.crt}\n");
    const ScopedEnv aliases("HISDB_ALIASES", (dir_.Path() + "/tls.ini").c_str());

    auto db = hisdb::Connect("TLS", PgUser(), PgPassword());
    for (const char* sql : {"select cast(ssl as integer) from pg_stat_ssl where pid = pg_backend_pid()",
                            "update TNextOperationPlanNo set FNext = FNext where 1 = 0"}) {
        auto statement = db->Prepare(sql);  // a reading and the writing session
        statement->Execute();
        if (statement->HasResult()) {
            ASSERT_TRUE(statement->Fetch());
            EXPECT_EQ(statement->Get(0), Value(std::int64_t{1})) << "the session is encrypted";
        }
    }
    auto writing = db->Prepare("update TNextOperationPlanNo set FNext = FNext "
                               "where (select ssl from pg_stat_ssl where pid = pg_backend_pid())");
    writing->Execute();
    EXPECT_EQ(writing->RowsAffected(), 1) << "the writing session is encrypted too";

    for (const auto& [alias, error] : {std::pair{"TLS_OTHER_NAME", "does not match host name \"his-db.example\""},
                                       std::pair{"TLS_NO_AUTHORITY", "root certificate file"}}) {
        SCOPED_TRACE(alias);
        try {
            (void)hisdb::Connect(alias, PgUser(), PgPassword());
            ADD_FAILURE() << "the login was accepted";
        } catch (const EngineError& e) {
            EXPECT_NE(AllTexts(e).find(error), std::string::npos) << AllTexts(e);
        }
    }
}

TEST_P(EngineTest, RefusesAWrongLogin)
{
    const std::string user = IsPostgres() ? PgUser() : kSqliteUser;
    const std::string password = IsPostgres() ? PgPassword() : kSqlitePassword;
    try {
        (void)Login(user, password + "x");
        FAIL() << "login accepted";
    } catch (const EngineError& e) {
        EXPECT_FALSE(e.Description().empty());
        if (IsPostgres()) {
            EXPECT_NE(AllTexts(e).find("password authentication failed"), std::string::npos) << AllTexts(e);
        }
    }
    EXPECT_THROW((void)Login("nobody", password), EngineError);
    EXPECT_NE(Login(user, password), nullptr);
    EXPECT_THROW((void)hisdb::Connect("NOSUCHALIAS", user, password), EngineError);
    // What the login reached, as the driver names it.
    const hisdb::ServerInfo server = db_->Server();
    if (IsPostgres()) {
        EXPECT_EQ(server.dbmsName, "PostgreSQL");
        EXPECT_EQ(server.dbmsVersion.substr(0, 3), "15.") << server.dbmsVersion;
    } else {
        EXPECT_EQ(server.dbmsName, "SQLite");
        EXPECT_EQ(server.dbmsVersion, sqlite3_libversion());
    }
}

}  // namespace enginetest
