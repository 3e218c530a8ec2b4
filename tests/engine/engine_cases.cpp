#include "tests/engine/engine_cases.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ostream>
#include <stdexcept>

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

std::string AllTexts(const EngineError& e)
{
    std::string text = e.Description();
    for (const std::string& m : e.Messages()) {
        text += "\n" + m;
    }
    return text;
}

}  // namespace

void EngineTest::SetUp()
{
    if (IsPostgres()) {
        if (PgConnect().empty()) {
            GTEST_SKIP() << "OPEREDIT_PG_CONNECT is not set";
        }
        dir_.Write("aliases.ini", "[TESTDB]\ndriver=odbc\nconnect=" + PgConnect() + "\n");
    } else {
        CreateSqliteFile(dir_.Path() + "/test.db");
        dir_.Write("aliases.ini", "; test database\n[TESTDB]\ndriver=sqlite\ndatabase=" + dir_.Path()
                                      + "/test.db\nuser=" + kSqliteUser + "\npassword=" + kSqlitePassword + "\n");
    }
    aliases_ = std::make_unique<ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
    db_ = IsPostgres() ? Login(PgUser(), PgPassword()) : Login(kSqliteUser, kSqlitePassword);
}

void EngineTest::TearDown()
{
    if (db_ && IsPostgres()) {
        for (const std::string& table : tables_) {
            try {
                Exec("drop table " + table);
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

std::string EngineTest::NewTable(const std::string& columns)
{
    static int serial = 0;
    std::string name = "TEngineTest" + std::to_string(getpid()) + "_" + std::to_string(++serial);
    Exec("create table " + name + " (" + columns + ")");
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
}

}  // namespace enginetest
