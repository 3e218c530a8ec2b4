// The parsers and formatters beneath the query layer: parameter markers, edit
// masks, workstation dates, number formats and error texts.
#include <gtest/gtest.h>

#include "data/dataset/db_errors.h"
#include "data/dataset/edit_mask.h"
#include "data/dataset/locale_settings.h"
#include "data/dataset/number_format.h"
#include "data/dataset/params.h"
#include "platform/engine/engine.h"
#include "tests/support/test_env.h"

namespace {

using dataset::ParseSqlParams;

std::vector<std::string> Names(std::string_view sql)
{
    return ParseSqlParams(sql).names;
}

TEST(ParamScanner, ReplacesMarkersInOrderAndRepeatsNames)
{
    const auto parsed = ParseSqlParams("update T set A = :A, B=:B where A = :OLD_A and (B = :B)\r\n");
    EXPECT_EQ(parsed.text, "update T set A = ?, B=? where A = ? and (B = ?)\r\n");
    EXPECT_EQ(parsed.names, (std::vector<std::string>{"A", "B", "OLD_A", "B"}));
}

TEST(ParamScanner, NameEndsAtEachTerminator)
{
    EXPECT_EQ(Names(":a b"), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(":a,b"), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(":a;b"), std::vector<std::string>{"a"});
    EXPECT_EQ(Names("(:a)"), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(":a\rb"), std::vector<std::string>{"a"});
    EXPECT_EQ(Names(":a\nb"), std::vector<std::string>{"a"});
    // '=' and '+' are no terminators: they belong to the name.
    EXPECT_EQ(Names(":a=b"), std::vector<std::string>{"a=b"});
}

TEST(ParamScanner, QuotedLiteralsHideColonsForAllThreeQuotes)
{
    for (const char* sql : {"select ':x' from T", "select \":x\" from T", "select `:x` from T"}) {
        const auto parsed = ParseSqlParams(sql);
        EXPECT_TRUE(parsed.names.empty()) << sql;
        EXPECT_EQ(parsed.text, sql);
    }
    EXPECT_EQ(Names("select 'a', :p, 'b:c'"), std::vector<std::string>{"p"});
}

TEST(ParamScanner, OnlyTheOpeningQuoteEndsALiteral)
{
    // Text typed by a user inside a literal: another quote character and a
    // colon in it are text, and the statement reaches the engine unchanged.
    const std::string sql = "select * from TEmployee where FName like '\"a:b%' and FJob = :Job";
    const auto parsed = ParseSqlParams(sql);
    EXPECT_EQ(parsed.names, std::vector<std::string>{"Job"});
    EXPECT_EQ(parsed.text, "select * from TEmployee where FName like '\"a:b%' and FJob = ?");
    EXPECT_EQ(Names("select \"it's :x\", `a\"b:y` from T where a = :p"), std::vector<std::string>{"p"});
    EXPECT_EQ(Names("where a = 'O''Brien:x' and b = :p"), std::vector<std::string>{"p"});
}

TEST(ParamScanner, DoubleColonIsOneColonOutsideLiterals)
{
    auto parsed = ParseSqlParams("select a::int, '::' from T where b = :p");
    EXPECT_EQ(parsed.text, "select a:int, '::' from T where b = ?");
    EXPECT_EQ(parsed.names, std::vector<std::string>{"p"});
}

TEST(ParamScanner, QuotedNameMayHoldTerminators)
{
    auto parsed = ParseSqlParams("select * from T where a = :\"my name, x\" and b = :'c;d'");
    EXPECT_EQ(parsed.text, "select * from T where a = ? and b = ?");
    EXPECT_EQ(parsed.names, (std::vector<std::string>{"my name, x", "c;d"}));
}

TEST(ParamScanner, ChineseTextIsNeverPartOfAMarker)
{
    // "手术：" ends with a full-width colon; its bytes must not start a marker,
    // and a name stops before Chinese text.
    auto parsed = ParseSqlParams("select '手术' as 名称, :p名 from T where x = '：'");
    EXPECT_EQ(parsed.names, std::vector<std::string>{"p"});
    EXPECT_EQ(parsed.text, "select '手术' as 名称, ?名 from T where x = '：'");
    EXPECT_TRUE(Names("select 名称：x from T").empty());
}

TEST(ParamScanner, ParamsKeepValuesByNameWhenReparsed)
{
    TParams old;
    old.Add("No").SetAsInteger(7);
    old.Add("Name").SetAsString("x");
    TParams fresh;
    fresh.Add("name");
    fresh.Add("Other");
    fresh.AssignValues(old);
    EXPECT_EQ(fresh[0].AsString(), "x");
    EXPECT_EQ(fresh[0].Name(), "name");
    EXPECT_FALSE(fresh[1].Bound());
    EXPECT_THROW((void)fresh.ParamByName("No"), EDatabaseError);
}

class TimeMask : public ::testing::Test {
protected:
    dataset::EditMask mask{"!90:00;1;_"};
};

TEST_F(TimeMask, LaysOutValuesForEditingAndDisplay)
{
    EXPECT_EQ(mask.Length(), 5);
    EXPECT_EQ(mask.EditText(""), "__:__");
    EXPECT_EQ(mask.DisplayText(""), "  :  ");
    EXPECT_EQ(mask.EditText("12:30"), "12:30");
    EXPECT_EQ(mask.EditText(" 9:30"), "_9:30");
    EXPECT_EQ(mask.DisplayText(" 9:30"), " 9:30");
}

TEST_F(TimeMask, ExtractsRightAlignedValueWithLiterals)
{
    EXPECT_EQ(mask.ExtractValue("12:30"), "12:30");
    EXPECT_EQ(mask.ExtractValue("_9:30"), " 9:30");
    EXPECT_EQ(mask.ExtractValue("__:__"), "");
}

TEST_F(TimeMask, RequiresSecondHourDigitAndMinutes)
{
    EXPECT_TRUE(mask.IsValid("12:30"));
    EXPECT_TRUE(mask.IsValid("_9:30"));
    EXPECT_FALSE(mask.IsValid("1_:30"));
    EXPECT_EQ(mask.FirstUnfilledRequired("1_:30"), 1);
    EXPECT_EQ(mask.FirstUnfilledRequired("12:3_"), 4);
    EXPECT_EQ(mask.FirstUnfilledRequired("__:__"), 1);
    EXPECT_EQ(mask.FirstUnfilledRequired("12:30"), -1);
}

TEST_F(TimeMask, AcceptsOnlyDigitsInDigitPositions)
{
    EXPECT_TRUE(mask.Accepts(0, '7'));
    EXPECT_FALSE(mask.Accepts(0, 'a'));
    EXPECT_FALSE(mask.Accepts(2, '1'));  // the separator
    EXPECT_TRUE(mask.IsLiteral(2));
}

TEST(EditMaskParts, LiteralFlagZeroStoresInputsOnly)
{
    dataset::EditMask mask("00-00;0;*");
    EXPECT_EQ(mask.Blank(), '*');
    EXPECT_EQ(mask.ExtractValue("12-34"), "1234");
    EXPECT_EQ(mask.EditText("1234"), "12-34");
}

TEST(EditMaskParts, TimeSeparatorFollowsTheLocale)
{
    testenv::ScopedEnv sep("OPEREDIT_TIMESEP", ".");
    dataset::locale::Reload();
    dataset::EditMask mask("!90:00;1;_");
    EXPECT_EQ(mask.ExtractValue("_8.05"), " 8.05");
    dataset::locale::Reload();
}

class Locale : public ::testing::Test {
protected:
    void TearDown() override { dataset::locale::Reload(); }
};

TEST_F(Locale, FormatsDateAndTimeWithDefaults)
{
    dataset::locale::Reload();
    hisdb::DateTime t{2026, 3, 5, 0, 0, 0, 0};
    EXPECT_EQ(dataset::locale::FormatDateTime(t), "2026-03-05");
    t.hour = 9;
    t.minute = 7;
    EXPECT_EQ(dataset::locale::FormatDateTime(t), "2026-03-05 09:07:00");
}

TEST_F(Locale, ReadsSettingsFromTheEnvironment)
{
    testenv::ScopedEnv date("OPEREDIT_SHORTDATE", "dd/MM/yyyy");
    testenv::ScopedEnv sep("OPEREDIT_DATESEP", ".");
    dataset::locale::Reload();
    hisdb::DateTime t{2026, 3, 5, 0, 0, 0, 0};
    EXPECT_EQ(dataset::locale::FormatDate(t), "05.03.2026");
    hisdb::DateTime parsed;
    ASSERT_TRUE(dataset::locale::ParseDate("07.12.2026", parsed));
    EXPECT_EQ(parsed, (hisdb::DateTime{2026, 12, 7, 0, 0, 0, 0}));
    EXPECT_FALSE(dataset::locale::ParseDate("2026-12-07", parsed));
}

TEST_F(Locale, ParsesDatesAsTheyAreTyped)
{
    dataset::locale::Reload();
    hisdb::DateTime parsed;
    EXPECT_TRUE(dataset::locale::ParseDate("2026-02-28", parsed));
    // One-digit days and months, blanks around numbers (a day typed over a mask), a short year.
    for (const char* text : {"2026-12-5 ", "2026-12- 5", "2026-1-8", " 2026-12-05", "2026-1 -8", "26-12-05"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(dataset::locale::ParseDate(text, parsed));
        EXPECT_EQ(parsed.year, 2026);
    }
    EXPECT_EQ(parsed, (hisdb::DateTime{2026, 12, 5, 0, 0, 0, 0}));
    EXPECT_FALSE(dataset::locale::ParseDate("2026-0 1-05", parsed)) << "a blank inside a number";
    EXPECT_FALSE(dataset::locale::ParseDate("2026-12-", parsed));
    EXPECT_FALSE(dataset::locale::ParseDate("  -  -  ", parsed)) << "an empty mask is no date";
    EXPECT_FALSE(dataset::locale::ParseDate("2026-13-01", parsed));
    EXPECT_FALSE(dataset::locale::ParseDate("2026-02-30", parsed));
    EXPECT_FALSE(dataset::locale::ParseDate("2026-02-28x", parsed));
    EXPECT_FALSE(dataset::locale::ParseDate("2026/02/28", parsed));
    EXPECT_FALSE(dataset::locale::ParseDate("", parsed));
    ASSERT_TRUE(dataset::locale::ParseDateTime("2026-02-28 8:05:09", parsed));
    EXPECT_EQ(parsed, (hisdb::DateTime{2026, 2, 28, 8, 5, 9, 0}));
}

TEST_F(Locale, DayNumbersCountFromTheEpoch)
{
    EXPECT_EQ(dataset::locale::DayNumber({1899, 12, 30, 0, 0, 0, 0}), 0);
    EXPECT_EQ(dataset::locale::DayNumber({2000, 1, 1, 0, 0, 0, 0}), 36526);
    EXPECT_EQ(dataset::locale::FromDayNumber(36526), (hisdb::DateTime{2000, 1, 1, 0, 0, 0, 0}));
    const hisdb::DateTime noon{2026, 1, 2, 12, 0, 0, 250};
    EXPECT_EQ(dataset::locale::FromDouble(dataset::locale::ToDouble(noon)), noon);
}

TEST(NumberFormat, RoundsHalfAwayFromZeroOnDecimalDigits)
{
    EXPECT_EQ(dataset::FormatCurrency("0.0", 356400), "35.6");
    EXPECT_EQ(dataset::FormatCurrency("0.0", 356500), "35.7");
    EXPECT_EQ(dataset::FormatFloat("0.0", 35.65), "35.7");  // 35.649999... as a double
    EXPECT_EQ(dataset::FormatCurrency("0.0", -356500), "-35.7");
    EXPECT_EQ(dataset::FormatCurrency("0.0", 0), "0.0");
    EXPECT_EQ(dataset::FormatCurrency("#,##0.00", 12345678900), "1,234,567.89");
    EXPECT_EQ(dataset::FormatFloat("0.0;(0.0);'zero'", -2.25), "(2.3)");
    EXPECT_EQ(dataset::FormatFloat("0.0;(0.0);'zero'", 0), "zero");
}

TEST(NumberFormat, PlainTexts)
{
    EXPECT_EQ(dataset::CurrencyToText(356400), "35.64");
    EXPECT_EQ(dataset::CurrencyToText(-50000), "-5");
    EXPECT_EQ(dataset::FloatToText(0.1), "0.1");
    EXPECT_EQ(dataset::FloatToText(2147483647.0), "2147483647");
}

TEST(Errors, EngineErrorListsDistinctMessagesOnePerLine)
{
    hisdb::EngineError error("General SQL error.", 0x2710, {"General SQL error.", "table x missing", "table x missing", "more"});
    EDBEngineError converted(error);
    EXPECT_STREQ(converted.what(), "General SQL error.\ntable x missing\nmore");
    EXPECT_EQ(converted.ErrorCode(), 0x2710);
    EDBEngineError bare(hisdb::EngineError("", 0x2a));
    EXPECT_STREQ(bare.what(), "Engine error $002a");
}

// The error box's full stop is the window platform's (tests/ui/application_test.cpp).
TEST(Errors, SilentAbortText)
{
    EXPECT_STREQ(EAbort().what(), "Operation aborted");
}

TEST(Errors, HookShowsAndIsReplaceable)
{
    std::vector<std::string> shown;
    auto previous = dataset::SetErrorBoxHook([&shown](const std::string& m) { shown.push_back(m); });
    dataset::ShowErrorBox("x");
    dataset::SetErrorBoxHook(std::move(previous));
    dataset::ShowErrorBox("not recorded");
    EXPECT_EQ(shown, std::vector<std::string>{"x"});
}

}  // namespace
