#include "platform/engine/dialect.h"
#include "platform/engine/drivers.h"

#include <gtest/gtest.h>

namespace {

using hisdb::detail::KeptParams;
using hisdb::detail::ParseStatement;
using hisdb::detail::ReturnsRows;
using hisdb::detail::WithIsNull;
using hisdb::detail::WithNullMatches;

std::string AllNull(std::string_view sql)
{
    auto parsed = ParseStatement(sql, true);
    return WithNullMatches(parsed, ~std::uint64_t{0}, "IS");
}

TEST(Dialect, NullSafeOnlyForWhereComparisonsWithAColumn)
{
    EXPECT_EQ(AllNull("update T set A = ?, B=? where C = ? and D=?"), "update T set A = ?, B=? where C  IS  ? and D IS ?");
    EXPECT_EQ(AllNull("delete from T where A >= ? or B <> ? or C != ? or ? = D or E <= ?"),
              "delete from T where A >= ? or B <> ? or C != ? or ? = D or E <= ?");
    EXPECT_EQ(AllNull("select * from T where [A] = ? and \"B\"= ?"),
              "select * from T where [A]  IS  ? and \"B\" IS  ?");
    // A subquery's WHERE is its own; the outer SET list stays untouched.
    EXPECT_EQ(AllNull("update T set A = (select X from U where Y = ?), B = ? where C = ?"),
              "update T set A = (select X from U where Y  IS  ?), B = ? where C  IS  ?");
    EXPECT_EQ(AllNull("select * from T where A = ? order by B"), "select * from T where A  IS  ? order by B");
    EXPECT_EQ(AllNull("select * from T where (A = ? or B = 1) and C in (?, ?) and D = coalesce(?, E)"),
              "select * from T where (A  IS  ? or B = 1) and C in (?, ?) and D = coalesce(?, E)");
}

TEST(Dialect, LiteralsNamesAndCommentsAreNotScanned)
{
    auto parsed = ParseStatement("select '?', \"a?\", [b?] from T -- where c = ?\nwhere d = 'where e = ?' /* ? */ and f = ?",
                                 true);
    EXPECT_EQ(parsed.paramCount, 1);
    ASSERT_EQ(parsed.sites.size(), 1u);
    EXPECT_EQ(parsed.sites[0].param, 0);
    EXPECT_EQ(ParseStatement("select 'it''s ?' from T where A = ?", true).paramCount, 1);
}

TEST(Dialect, MaskChoosesWhichComparisonsChange)
{
    auto parsed = ParseStatement("delete from T where A = ? and B = ?", true);
    ASSERT_EQ(parsed.sites.size(), 2u);
    EXPECT_EQ(parsed.sites[1].param, 1);
    EXPECT_EQ(WithNullMatches(parsed, 0, "IS"), "delete from T where A = ? and B = ?");
    EXPECT_EQ(WithNullMatches(parsed, 2, "IS NOT DISTINCT FROM"),
              "delete from T where A = ? and B  IS NOT DISTINCT FROM  ?");
}

// SQL Server sessions keep ANSI_NULLS on: a null value's comparison becomes
// IS NULL and its marker goes, so the values bound are the remaining ones in order.
TEST(Dialect, SqlServerMatchesNullsWithIsNullAndBindsTheRemainingMarkers)
{
    const auto parsed = ParseStatement(
        "update TOperationPlan set FStatus = ?, FNote = ? where FSerialNo = ? and FOperRoom=? and (FDoctor = ?) "
        "and FDept in (select FCode from TDept where FParent = ?) and FDate >= ?",
        false);
    ASSERT_EQ(parsed.paramCount, 7);
    ASSERT_EQ(parsed.sites.size(), 4u);
    struct Case {
        std::uint64_t mask;
        const char* sent;
        std::vector<int> bound;
    };
    const Case cases[] = {
        {0,
         "update TOperationPlan set FStatus = ?, FNote = ? where FSerialNo = ? and FOperRoom=? and (FDoctor = ?) "
         "and FDept in (select FCode from TDept where FParent = ?) and FDate >= ?",
         {0, 1, 2, 3, 4, 5, 6}},
        {0b0010,
         "update TOperationPlan set FStatus = ?, FNote = ? where FSerialNo = ? and FOperRoom IS NULL and (FDoctor = ?) "
         "and FDept in (select FCode from TDept where FParent = ?) and FDate >= ?",
         {0, 1, 2, 4, 5, 6}},
        {0b1101,
         "update TOperationPlan set FStatus = ?, FNote = ? where FSerialNo  IS NULL and FOperRoom=? and (FDoctor  IS NULL) "
         "and FDept in (select FCode from TDept where FParent  IS NULL) and FDate >= ?",
         {0, 1, 3, 6}},
        {0b1111,
         "update TOperationPlan set FStatus = ?, FNote = ? where FSerialNo  IS NULL and FOperRoom IS NULL and (FDoctor  IS NULL) "
         "and FDept in (select FCode from TDept where FParent  IS NULL) and FDate >= ?",
         {0, 1, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const std::string sent = WithIsNull(parsed, c.mask);
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(KeptParams(parsed, c.mask), c.bound);
        EXPECT_EQ(ParseStatement(sent, false).paramCount, static_cast<int>(c.bound.size()));
    }
    // The hint stays for SQL Server; a marker before a null site keeps its place.
    const auto hinted = ParseStatement("select * from TPat (NOLOCK) where FBedNo = ? and FDept = ?", false);
    EXPECT_EQ(WithIsNull(hinted, 0b01), "select * from TPat (NOLOCK) where FBedNo  IS NULL and FDept = ?");
    EXPECT_EQ(KeptParams(hinted, 0b01), std::vector<int>{1});
}

TEST(Dialect, NolockHintIsDroppedInAnyCase)
{
    EXPECT_EQ(ParseStatement("select * from TPat (NOLOCK) where FBedNo='1'", true).text,
              "select * from TPat where FBedNo='1'");
    EXPECT_EQ(ParseStatement("select * from TPat(nolock)where A=1", true).text, "select * from TPat where A=1");
    EXPECT_EQ(ParseStatement("select * from TPat with ( NoLock ), U", true).text, "select * from TPat, U");
    EXPECT_EQ(ParseStatement("select * from TPat where A='(NOLOCK)'", true).text,
              "select * from TPat where A='(NOLOCK)'");
    EXPECT_EQ(ParseStatement("select * from TPat (NOLOCK)", false).text, "select * from TPat (NOLOCK)");
    EXPECT_EQ(ParseStatement("select * from Twith (NOLOCK)", true).text, "select * from Twith");
    // Dropping the hint never joins two signs into a comment that would hide a marker.
    const auto joined = ParseStatement("select 8/(NOLOCK)*?", true);
    EXPECT_EQ(joined.text, "select 8/ *?");
    EXPECT_EQ(ParseStatement(joined.text, false).paramCount, joined.paramCount);
    const auto afterComment = ParseStatement("select 1 --(NOLOCK) here\n(NOLOCK)?", true);
    EXPECT_EQ(ParseStatement(afterComment.text, false).paramCount, afterComment.paramCount);
    EXPECT_EQ(afterComment.paramCount, 1);
}

// Reads go to a connection's reading session, everything else to its writing one.
TEST(Dialect, TellsReadsFromWrites)
{
    for (const char* sql : {"select * from T", "  \n\tSELECT 1", "-- list\n/* of the day */ select a from T",
                            "((select a from T) union (select b from U))", "values (1), (2)",
                            "with D as (select * from T where A = 1) select * from D",
                            "WITH recursive n(i) as (select 1 union all select i + 1 from n) select i from n",
                            "with U as (select 'update' as x), V as (select \"delete\" from U) select * from V"}) {
        EXPECT_TRUE(ReturnsRows(sql)) << sql;
    }
    for (const char* sql : {"insert into T (A) select A from U", "update T set A = 1 where B = (select 1)",
                            " /* select */ delete from T", "-- select\nUPDATE T set A = 2",
                            "create table T (A int)", "drop table T", "set ANSI_NULLS OFF",
                            "with D as (select A from T) delete from U where A in (select A from D)",
                            "with D as (select 1) insert into T select * from D", "", "  -- select"}) {
        EXPECT_FALSE(ReturnsRows(sql)) << sql;
    }
}

// Decimal text as the drivers read it (SQLite's text values, ODBC's character data).
TEST(DecimalText, RoundsHalfAwayFromZeroOnTheFirstDroppedDigit)
{
    struct Case {
        const char* text;
        int scale;
        std::int64_t unscaled;
    };
    const Case cases[] = {
        {"12.345", 2, 1235},     {"-12.345", 2, -1235},   {"12.3449", 2, 1234},  {"12.34499", 2, 1234},
        {"12.3450", 2, 1235},    {"0.005", 2, 1},         {"-0.005", 2, -1},     {"0.0049", 2, 0},
        {"9.995", 2, 1000},      {"12.3", 2, 1230},       {"12", 2, 1200},       {"+7.", 2, 700},
        {".5", 0, 1},            {"2.5", 0, 3},           {"-2.5", 0, -3},       {" 35.64 ", 2, 3564},
        {"35.64", 4, 356400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        hisdb::Decimal d;
        ASSERT_TRUE(hisdb::detail::ParseDecimal(c.text, c.scale, d));
        EXPECT_EQ(d.unscaled, c.unscaled);
        EXPECT_EQ(d.scale, c.scale);
    }
}

TEST(DecimalText, EighteenDigitsFitAndWhatOverflowsIsRefused)
{
    hisdb::Decimal d;
    ASSERT_TRUE(hisdb::detail::ParseDecimal("999999999999999999", 0, d));
    EXPECT_EQ(d.unscaled, 999'999'999'999'999'999);
    ASSERT_TRUE(hisdb::detail::ParseDecimal("-9999999999999999.99", 2, d));
    EXPECT_EQ(d.unscaled, -999'999'999'999'999'999);
    ASSERT_TRUE(hisdb::detail::ParseDecimal("999999999999999999.5", 0, d));
    EXPECT_EQ(d.unscaled, 1'000'000'000'000'000'000) << "the rounding carries into a new digit";
    // Twenty digits, read or made by the scale's zeros, overflow; so does bad text.
    for (const auto& [text, scale] : {std::pair{"99999999999999999999", 0}, {"-99999999999999999999", 0},
                                      {"99999999999999999", 4}, {"999999999999999999.99", 2}, {"12.3.4", 2},
                                      {"1e3", 0}, {"", 2}, {"-", 2}, {".", 2}, {"12a", 2}}) {
        EXPECT_FALSE(hisdb::detail::ParseDecimal(text, scale, d)) << text << " at scale " << scale;
    }
}

}  // namespace
