// Field rules on a dataset held in memory: conversions, limits, texts,
// calculated fields and the states in which fields may be assigned.
#include <gtest/gtest.h>

#include "data/dataset/db_errors.h"
#include "tests/dataset/memory_dataset.h"

namespace {

using datasettest::TMemoryDataSet;
using dataset::Variant;

#define EXPECT_DB_ERROR(statement, text)                                   \
    do {                                                                   \
        try {                                                              \
            statement;                                                     \
            ADD_FAILURE() << "no error from " #statement;                  \
        } catch (const EDatabaseError& error) {                            \
            EXPECT_STREQ(error.what(), text);                              \
        }                                                                  \
    } while (0)

class Fields : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.SetName("QPlan");
        name = new TStringField(&owner);
        name->SetFieldName("FName");
        name->SetSize(8);
        name->SetFixedChar(true);
        name->SetDisplayLabel("病人姓名");
        name->SetDataSet(&data);
        status = new TSmallintField(&owner);
        status->SetFieldName("FStatus");
        status->SetDataSet(&data);
        serial = new TAutoIncField(&owner);
        serial->SetFieldName("FSerialNo");
        serial->SetDataSet(&data);
        age = new TBCDField(&owner);
        age->SetFieldName("FAge");
        age->SetSize(2);
        age->SetPrecision(5);
        age->SetDisplayFormat("0.0");
        age->SetDataSet(&data);
        date = new TDateTimeField(&owner);
        date->SetFieldName("FOperDate");
        date->SetDataSet(&data);
        time = new TStringField(&owner);
        time->SetFieldName("FTime");
        time->SetSize(6);
        time->SetEditMask("!90:00;1;_");
        time->SetDataSet(&data);
        data.rows = {{std::string("张三"), std::int64_t{0}, std::int64_t{1}, hisdb::Decimal{3564, 2},
                      hisdb::DateTime{2026, 5, 1, 0, 0, 0, 0}, std::string(" 9:30")}};
        data.Open();
    }

    TComponent owner;
    TMemoryDataSet data{nullptr};
    TStringField* name = nullptr;
    TSmallintField* status = nullptr;
    TAutoIncField* serial = nullptr;
    TBCDField* age = nullptr;
    TDateTimeField* date = nullptr;
    TStringField* time = nullptr;
};

TEST_F(Fields, AssigningOutsideEditIsRefusedWithTheDatasetName)
{
    EXPECT_DB_ERROR(name->SetAsString("x"), "QPlan: Dataset not in edit or insert mode");
    EXPECT_EQ(name->AsString(), "张三");
    name->SetReadOnly(true);
    data.Edit();
    EXPECT_DB_ERROR(name->SetAsString("x"), "Field '病人姓名' cannot be modified");
    EXPECT_EQ(name->AsString(), "张三");
}

TEST_F(Fields, StringIsCutToSizeInGbkBytesNeverInsideACharacter)
{
    data.Edit();
    name->SetAsString("张三丰李四");  // 10 bytes
    EXPECT_EQ(name->AsString(), "张三丰李");
    name->SetAsString("张三丰a李");  // 9 bytes: the last character would be split
    EXPECT_EQ(name->AsString(), "张三丰a");
    name->SetAsString("");
    EXPECT_TRUE(name->IsNull());
    EXPECT_EQ(name->AsString(), "");
    name->SetAsString(std::string("王\0五", 5));  // a text ends at its first zero byte
    EXPECT_EQ(name->AsString(), "王");
}

TEST_F(Fields, IntegerRangeAndConversionErrorsKeepThePreviousValue)
{
    data.Edit();
    EXPECT_DB_ERROR(status->SetAsInteger(40000),
                    "40000 is not a valid value for field 'FStatus'. The allowed range is -32768 to 32767");
    EXPECT_DB_ERROR(status->SetAsString("12a"), "'12a' is not a valid integer value for field 'FStatus'");
    EXPECT_DB_ERROR(serial->SetAsFloat(3e9),
                    "3000000000 is not a valid value for field 'FSerialNo'. The allowed range is -2147483648 to 2147483647");
    EXPECT_EQ(status->AsInteger(), 0);
    status->SetAsFloat(2.5);  // to the nearest, ties to even
    EXPECT_EQ(status->AsInteger(), 2);
    status->SetAsString("");
    EXPECT_TRUE(status->IsNull());
    serial->SetAsInteger(123);  // an auto-increment field takes the program's value
    EXPECT_EQ(serial->AsString(), "123");
}

// The limits of each integer class are taken, one beyond is refused, by every
// way of assigning.
TEST(IntegerFields, EachClassTakesItsLimitsAndRefusesOneBeyond)
{
    TComponent owner;
    TMemoryDataSet data{nullptr};
    data.SetName("QPlan");
    auto* small = new TSmallintField(&owner);
    small->SetFieldName("FStatus");
    auto* word = new TWordField(&owner);
    word->SetFieldName("FCount");
    auto* integer = new TIntegerField(&owner);
    integer->SetFieldName("FSerialNo");
    for (TField* field : {static_cast<TField*>(small), static_cast<TField*>(word), static_cast<TField*>(integer)}) {
        field->SetDataSet(&data);
    }
    data.rows = {{std::int64_t{1}, std::int64_t{1}, std::int64_t{1}}};
    data.Open();
    data.Edit();

    struct Case {
        TIntegerField* field;
        std::int64_t min, max;
        const char* range;
    };
    const Case cases[] = {
        {small, -32768, 32767, "-32768 to 32767"},
        {word, 0, 65535, "0 to 65535"},
        {integer, -2147483648LL, 2147483647LL, "-2147483648 to 2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field->FieldName());
        for (const std::int64_t inside : {c.min, c.max}) {
            c.field->SetAsLargeInt(inside);
            EXPECT_EQ(c.field->AsLargeInt(), inside);
            c.field->SetAsString("1");
            c.field->SetAsString(std::to_string(inside));
            EXPECT_EQ(c.field->AsLargeInt(), inside);
            c.field->SetAsFloat(1);
            c.field->SetAsFloat(static_cast<double>(inside));
            EXPECT_EQ(c.field->AsLargeInt(), inside);
        }
        for (const std::int64_t outside : {c.min - 1, c.max + 1}) {
            SCOPED_TRACE(outside);
            c.field->SetAsInteger(7);
            const std::string message = std::to_string(outside) + " is not a valid value for field '" +
                                        c.field->FieldName() + "'. The allowed range is " + c.range;
            EXPECT_DB_ERROR(c.field->SetAsLargeInt(outside), message.c_str());
            EXPECT_DB_ERROR(c.field->SetAsString(std::to_string(outside)), message.c_str());
            EXPECT_DB_ERROR(c.field->SetAsFloat(static_cast<double>(outside)), message.c_str());
            EXPECT_EQ(c.field->AsLargeInt(), 7) << "a refused value leaves the field as it was";
        }
    }
    EXPECT_DB_ERROR(word->SetAsInteger(65536),
                    "65536 is not a valid value for field 'FCount'. The allowed range is 0 to 65535");
    data.Cancel();
}

TEST_F(Fields, DecimalRoundsToFourPlacesThenHalfEvenToSize)
{
    data.Edit();
    age->SetAsFloat(35.645);
    EXPECT_EQ(age->AsCurrency(), 356400);
    EXPECT_EQ(age->DisplayText(), "35.6");
    EXPECT_EQ(age->Text(), "35.6");
    age->SetAsFloat(35.655);
    EXPECT_EQ(age->AsCurrency(), 356600);
    age->SetAsString("7.125");
    EXPECT_EQ(age->AsString(), "7.12");
    EXPECT_DB_ERROR(age->SetAsString("abc"), "'abc' is not a valid floating point value for field 'FAge'");
    age->SetAsString("");
    EXPECT_TRUE(age->IsNull());
    EXPECT_EQ(age->DisplayText(), "");
}

TEST_F(Fields, DecimalBeyondCurrencyRangeFailsOnReadAndShowsOverflow)
{
    data.Close();
    data.rows[0][3] = hisdb::Decimal{std::int64_t{9'000'000'000'000'000'000}, 2};
    data.Open();
    EXPECT_EQ(age->DisplayText(), "(Overflow)");
    EXPECT_DB_ERROR((void)age->AsFloat(), "Value of field 'FAge' is out of range");
}

TEST_F(Fields, DateTimeTextFollowsTheLocale)
{
    EXPECT_EQ(date->DisplayText(), "2026-05-01");
    data.Edit();
    date->SetAsString("2026-05-02 08:30:00");
    EXPECT_EQ(date->DisplayText(), "2026-05-02 08:30:00");
    EXPECT_EQ(date->AsDateTime(), (hisdb::DateTime{2026, 5, 2, 8, 30, 0, 0}));
    date->SetDisplayFormat("yyyy'年'M'月'd'日'");
    EXPECT_EQ(date->DisplayText(), "2026年5月2日");
    EXPECT_EQ(date->Text(), "2026-05-02 08:30:00");
    EXPECT_THROW(date->SetAsString("2026-13-01"), EDatabaseError);
}

TEST_F(Fields, MaskedStringDisplaysThroughItsMask)
{
    EXPECT_EQ(time->DisplayText(), " 9:30");
    EXPECT_EQ(time->Text(), " 9:30");
    data.Edit();
    time->Clear();
    EXPECT_EQ(time->DisplayText(), "  :  ");
}

TEST_F(Fields, OldValueNeedsCachedUpdates)
{
    EXPECT_DB_ERROR((void)name->OldValue(), "QPlan: Not in cached update mode");
}

TEST_F(Fields, LookUpByNameIgnoresCase)
{
    EXPECT_EQ(data.FieldByName("fname"), name);
    EXPECT_EQ(data.Fields()[3], age);
    EXPECT_DB_ERROR((void)data.FieldByName("FNope"), "QPlan: Field 'FNope' not found");
}

TEST_F(Fields, DefaultDisplayWidthsByClass)
{
    EXPECT_EQ(name->DisplayWidth(), 8);
    EXPECT_EQ(status->DisplayWidth(), 10);
    EXPECT_EQ(age->DisplayWidth(), 6);
    EXPECT_EQ(date->DisplayWidth(), 18);
    name->SetDisplayWidth(3);
    EXPECT_EQ(name->DisplayWidth(), 3);
    EXPECT_EQ(age->Alignment(), taRightJustify);
    EXPECT_DB_ERROR(name->SetSize(8193), "Invalid field size");
    EXPECT_DB_ERROR(age->SetSize(33), "Invalid field size");
}

TEST_F(Fields, RequiredNullFieldFailsThePost)
{
    name->SetRequired(true);
    data.Edit();
    name->Clear();
    EXPECT_DB_ERROR(data.Post(), "Field '病人姓名' must have a value");
    EXPECT_EQ(data.State(), dsEdit);
}

class CalcFields : public ::testing::Test {
protected:
    void SetUp() override
    {
        surgeon = new TStringField(&owner);
        surgeon->SetFieldName("FOperator");
        surgeon->SetSize(100);
        surgeon->SetDataSet(&data);
        assistant = new TStringField(&owner);
        assistant->SetFieldName("FAssistant1");
        assistant->SetDataSet(&data);
        team = new TStringField(&owner);
        team->SetFieldName("JOperator");
        team->SetFieldKind(fkCalculated);
        team->SetSize(60);
        team->SetDataSet(&data);
        data.SetOnCalcFields([this](TDataSet& ds) {
            ++calls;
            seenState = ds.State();
            team->SetAsString(surgeon->AsString());
            if (!assistant->AsString().empty()) {
                team->SetAsString(team->AsString() + "\r" + assistant->AsString());
            }
        });
        data.rows = {{std::string("王医生"), std::string("李")}, {std::string("赵"), Variant{}}};
    }

    TComponent owner;
    TMemoryDataSet data{nullptr};
    TStringField* surgeon = nullptr;
    TStringField* assistant = nullptr;
    TStringField* team = nullptr;
    int calls = 0;
    TDataSetState seenState = dsInactive;
};

TEST_F(CalcFields, ComputedPerRecordAndReadBackInsideTheHandler)
{
    data.Open();
    EXPECT_EQ(seenState, dsCalcFields);
    EXPECT_EQ(data.State(), dsBrowse);
    EXPECT_EQ(team->AsString(), "王医生\r李");
    data.Next();
    EXPECT_EQ(team->AsString(), "赵");
    data.Prior();
    EXPECT_EQ(team->AsString(), "王医生\r李");  // each record keeps its own slots
}

TEST_F(CalcFields, RecomputedAfterEachDataFieldChangeAndCutToSize)
{
    data.Open();
    data.Edit();
    const int before = calls;
    assistant->SetAsString("孙");
    EXPECT_EQ(calls, before + 1);
    EXPECT_EQ(team->AsString(), "王医生\r孙");
    surgeon->SetAsString(std::string(70, 'x'));
    EXPECT_EQ(team->AsString(), std::string(60, 'x'));  // cut at 60 bytes, then nothing fits
    data.SetAutoCalcFields(false);
    const int count = calls;
    assistant->SetAsString("周");
    EXPECT_EQ(calls, count);
}

TEST_F(CalcFields, CalculatedFieldIsRefusedOutsideTheHandlerAndUnsuitableClassesFailTheOpen)
{
    data.Open();
    EXPECT_THROW(team->SetAsString("x"), EDatabaseError);
    EXPECT_FALSE(team->CanModify());
    data.Close();
    auto* fixed = new TStringField(&owner);
    fixed->SetFieldName("JFixed");
    fixed->SetFixedChar(true);
    fixed->SetFieldKind(fkCalculated);
    fixed->SetDataSet(&data);
    data.SetName("Q");
    EXPECT_DB_ERROR(data.Open(), "Q: Field 'JFixed' cannot be a calculated or lookup field");
    EXPECT_FALSE(data.Active());
}

}  // namespace
