// Markers that only look like markers (in comments, bracketed names, after a
// broken character), the count of markers against the engine's, and rows the
// engine cannot read in the middle of a list.
#include "tests/dataset/db_cases.h"

#include <limits>

#include "data/dataset/number_format.h"

namespace datasettest {
namespace {

using dataset::ParseSqlParams;

std::vector<std::string> Names(std::string_view sql)
{
    return ParseSqlParams(sql).names;
}

TEST(ParamMarkersOutsideCode, CommentsAndBracketedNamesHoldNoMarkers)
{
    EXPECT_EQ(Names("select * from T -- from 8:30\nwhere A = :A"), std::vector<std::string>{"A"});
    EXPECT_EQ(Names("select * from T /* it's :x */ where A = :A and B = :B"),
              (std::vector<std::string>{"A", "B"}));
    // A quote in a comment opens no literal that would hide the markers after it.
    EXPECT_EQ(Names("select * from T -- the patient's bed\nwhere A = :A"), std::vector<std::string>{"A"});
    EXPECT_EQ(Names("select [From 8:30] from T where A = :A"), std::vector<std::string>{"A"});
    // Comment starters inside a literal are text, and a comment runs to its end only.
    EXPECT_EQ(Names("select '--', '/*' from T where A = :A -- :x\n and B = :B /* :y */"),
              (std::vector<std::string>{"A", "B"}));
    const auto parsed = ParseSqlParams("select 1 -- 8:30\r\n/* a:b */ where A = :A");
    EXPECT_EQ(parsed.text, "select 1 -- 8:30\r\n/* a:b */ where A = ?");
}

TEST(ParamMarkersOutsideCode, ABrokenCharacterNeverSwallowsTheQuoteAfterIt)
{
    // A lead byte cut off from its character is taken alone: the quote after
    // it still closes the literal.
    EXPECT_EQ(Names("select * from T where A = '\xE4' and B = :B"), std::vector<std::string>{"B"});
    EXPECT_EQ(Names("select * from T where A = 'x\xC3' and B = :B and C = '\xF0:'"), std::vector<std::string>{"B"});
}

// A float field can hold what no format can lay out (found by fuzzing: the
// digit scan ran off its text).
TEST(NumberFormats, NotANumberAndInfinityAreNamed)
{
    EXPECT_EQ(dataset::FormatFloat("0.0", std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(dataset::FormatFloat("#,##0.00", std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(dataset::FormatFloat("0", -std::numeric_limits<double>::infinity()), "-INF");
}

// ---------------------------------------------------------------- markers against the engine

TEST_P(DatasetDbTest, AMarkerInACommentTakesNoValueOfTheStatements)
{
    const std::string table = CreatePlanTable();
    InsertPlan(table, 1, "", "张三");
    InsertPlan(table, 2, "", "李四");
    auto* q = new TQuery(module_.get());
    q->SetDatabaseName("HISDb");
    q->SQL().Add("select FName from " + table + " -- the day's list from 8:30");
    q->SQL().Add("where FSerialNo = :No /* no :other here */ and FName <> :Name");
    ASSERT_EQ(q->ParamCount(), 2);
    q->ParamByName("No").SetAsInteger(2);
    q->ParamByName("Name").SetAsString("x");
    q->Open();
    ASSERT_FALSE(q->IsEmpty());
    EXPECT_EQ(q->FieldByName("FName")->AsString(), "李四");
}

TEST_P(DatasetDbTest, MarkersThatDoNotMatchTheStatementAreAnError)
{
    const std::string table = CreatePlanTable();
    InsertPlan(table, 1, "", "张三");
    auto* q = new TQuery(module_.get());
    q->SetName("QDict");
    q->SetDatabaseName("HISDb");
    // A '?' outside a literal is a marker of the engine's but no parameter here.
    q->SQL().Add("select FName from " + table + " where FSerialNo = :No or FSerialNo = ?");
    q->ParamByName("No").SetAsInteger(1);
    EXPECT_THROW(q->Open(), EDatabaseError);
    EXPECT_FALSE(q->Active());
    auto* plain = new TQuery(module_.get());
    plain->SetDatabaseName("HISDb");
    plain->SetParamCheck(false);
    plain->SQL().Add("update " + table + " set FStatus = 5 where FSerialNo = :No");
    EXPECT_THROW(plain->ExecSQL(), EDatabaseError);
    EXPECT_EQ(Scalar("select FStatus from " + table + " where FSerialNo = 1"), "0");
}

// ---------------------------------------------------------------- rows that cannot be read

// The message of the error `statement` raises, failing when it raises none
// or another kind.
template <typename F>
std::string EngineErrorOf(F&& statement)
{
    try {
        statement();
    } catch (const EDBEngineError& error) {
        return error.what();
    } catch (const std::exception& error) {
        ADD_FAILURE() << "not an engine error: " << error.what();
        return {};
    }
    ADD_FAILURE() << "no error";
    return {};
}

TEST_P(DatasetDbTest, AValueTheEngineCannotReadStopsTheListAtThatRow)
{
    if (IsPostgres()) {
        GTEST_SKIP() << "a timestamp column holds no bad date text";
    }
    const std::string table = CreatePlanTable();
    for (int serial = 1; serial <= 3; ++serial) {
        InsertPlan(table, serial, "", "p" + std::to_string(serial));
    }
    Exec("update " + table + " set FOperDate = 'garbage' where FSerialNo = 2");
    auto* q = new TQuery(module_.get());
    q->SetDatabaseName("HISDb");
    q->SQL().Add("select FSerialNo, FOperDate from " + table + " order by FSerialNo");
    q->Open();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(EngineErrorOf([&] { q->Next(); }).empty());
        EXPECT_EQ(q->RecNo(), 1);
        EXPECT_EQ(q->FieldByName("FSerialNo")->AsInteger(), 1);
        EXPECT_FALSE(q->Eof());
        EXPECT_EQ(q->RecordCount(), -1);
    }
    EXPECT_FALSE(EngineErrorOf([&] { q->Last(); }).empty());
    EXPECT_EQ(q->FieldByName("FSerialNo")->AsInteger(), 1);
    EXPECT_EQ(q->RecordCount(), -1);
}

TEST_P(DatasetDbTest, AFailedFetchFailsEveryLaterReadUntilReopened)
{
    const std::string table = CreatePlanTable();
    for (int serial = 1; serial <= 70; ++serial) {
        InsertPlan(table, serial, "", "p" + std::to_string(serial));
    }
    // Row 60 fails as it is fetched, after 59 good ones (beyond PostgreSQL's
    // first fetch of 50). No order by: the table is read as it was filled.
    const std::string failing = IsPostgres()
                                    ? "1 / (FSerialNo - 60)"
                                    : "abs(case when FSerialNo = 60 then -9223372036854775807 - 1 else 1 end)";
    auto* q = new TQuery(module_.get());
    q->SetDatabaseName("HISDb");
    q->SQL().Add("select FSerialNo, " + failing + " as FFails from " + table);
    q->Open();
    const std::string first = EngineErrorOf([&] { q->Last(); });
    EXPECT_FALSE(first.empty());
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(EngineErrorOf([&] { q->MoveBy(1000); }), first);
        EXPECT_EQ(q->RecNo(), 1);
        EXPECT_FALSE(q->Eof());
        EXPECT_EQ(q->RecordCount(), -1);
    }
    q->Close();
    q->Open();
    EXPECT_EQ(q->FieldByName("FSerialNo")->AsInteger(), 1);
}

}  // namespace
}  // namespace datasettest
