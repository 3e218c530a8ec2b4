#include "platform/text/gbk.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "手术" in GBK: CA D6 CA F5
const std::string kShoushuGbk = "\xCA\xD6\xCA\xF5";

TEST(GbkConversion, RoundTripsChineseAndAscii)
{
    EXPECT_EQ(gbk::FromUtf8("手术"), kShoushuGbk);
    EXPECT_EQ(gbk::ToUtf8(kShoushuGbk), "手术");
    const std::string mixed = "Emr用户不能连接到HIS服务器!";
    EXPECT_EQ(gbk::ToUtf8(gbk::FromUtf8(mixed)), mixed);
    EXPECT_EQ(gbk::FromUtf8(""), "");
    EXPECT_EQ(gbk::ToUtf8(""), "");
}

TEST(GbkConversion, UnencodableCharacterBecomesOneQuestionMark)
{
    // U+1F600 and a Thai letter have no GBK code; text around them survives.
    EXPECT_EQ(gbk::FromUtf8("a😀b"), "a?b");
    EXPECT_EQ(gbk::FromUtf8("手ก术"), "\xCA\xD6?\xCA\xF5");
    // A stray continuation byte is not UTF-8 at all.
    EXPECT_EQ(gbk::FromUtf8("x\x80y"), "x?y");
}

TEST(GbkConversion, DecodingDropsCutLeadByteAndMarksBadBytes)
{
    EXPECT_EQ(gbk::ToUtf8(kShoushuGbk + "\xCA"), "手术");
    EXPECT_EQ(gbk::ToUtf8("a\xFF" "b"), "a?b");
    EXPECT_EQ(gbk::ToUtf8(kShoushuGbk.substr(0, 2) + "\x81\x20" + "z"), "手? z");
}

TEST(GbkWidth, CountsDoubleByteCharacters)
{
    EXPECT_EQ(gbk::Width("abc"), 3u);
    EXPECT_EQ(gbk::Width("手术间"), 6u);
    EXPECT_EQ(gbk::Width("化验情况(肝炎、梅毒等)"), 22u);
    EXPECT_EQ(gbk::Width("a😀"), 2u);
}

TEST(GbkWidth, CutNeverSplitsACharacter)
{
    EXPECT_EQ(gbk::CutToWidth("张三丰", 5), "张三");
    EXPECT_EQ(gbk::CutToWidth("张三丰", 6), "张三丰");
    EXPECT_EQ(gbk::CutToWidth("a张b", 2), "a");
    EXPECT_EQ(gbk::CutToWidth("a张b", 3), "a张");
    EXPECT_EQ(gbk::CutToWidth("abcdef", 4), "abcd");
    EXPECT_EQ(gbk::CutToWidth("张", 1), "");
    EXPECT_EQ(gbk::CutToWidth("😀张", 3), "😀张");
}

}  // namespace
