#include "platform/engine/dialect.h"

#include <gtest/gtest.h>

namespace {

using hisdb::detail::ParseStatement;
using hisdb::detail::ReturnsRows;
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

}  // namespace
