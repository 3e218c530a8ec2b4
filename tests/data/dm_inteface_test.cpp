// The data module: its statements, its fields, the staff lists it computes,
// the rules before a row is stored, and whole changes written through the
// update statements on SQLite and PostgreSQL.
#include "data/DMIntefaceUnit.h"

#include "data/dataset/db_errors.h"
#include "data/dataset/locale_settings.h"
#include "platform/ui/messagebox.h"
#include "tests/support/network_path.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using testenv::Backend;
namespace loc = dataset::locale;

std::string DayText(int offset)
{
    return loc::FromDayNumber(loc::DayNumber(loc::Today()) + offset).ToIso().substr(0, 10);
}

// Records information boxes and error boxes instead of showing them.
class Boxes {
public:
    Boxes()
    {
        oldResponder_ = ui::SetMessageBoxResponder([this](const QString& text, const QString& caption, unsigned flags) {
            shown.push_back(text.toStdString());
            captions.push_back(caption.toStdString());
            this->flags.push_back(flags);
            return ui::IDOK;
        });
        oldHook_ = dataset::SetErrorBoxHook([this](const std::string& message) { errors.push_back(message); });
    }
    ~Boxes()
    {
        ui::SetMessageBoxResponder(oldResponder_);
        dataset::SetErrorBoxHook(oldHook_);
    }
    std::vector<std::string> shown;
    std::vector<std::string> captions;
    std::vector<unsigned> flags;
    std::vector<std::string> errors;

private:
    ui::MessageBoxResponder oldResponder_;
    dataset::ErrorBoxHook oldHook_;
};

[[maybe_unused]] std::vector<std::string> Lines(TStrings& strings)
{
    std::vector<std::string> lines;
    for (int i = 0; i < strings.Count(); ++i) {
        lines.push_back(strings[i]);
    }
    return lines;
}

#ifndef HIS_SERVER_TESTS
TEST(DMIntefaceStatements, ModifyNamesEveryColumnButTheEntryTimeAndKeysOnTheOldRoom)
{
    TDMInteface dm;
    const std::vector<std::string> lines = Lines(dm.UpdateQOperationPlan->ModifySQL());
    ASSERT_EQ(lines.size(), 35u);
    EXPECT_EQ(lines[0], "update TOperationPlan");
    EXPECT_EQ(lines[1], "set");
    EXPECT_EQ(lines[2], "  FSerialNo = :FSerialNo,");
    EXPECT_EQ(lines[3], "  FOperDate = :FOperDate,");
    EXPECT_EQ(lines[28], "  FRemark = :FRemark,");
    EXPECT_EQ(lines[29], "  FUser = :FUser,");
    EXPECT_EQ(lines[30], "  FStatus = :FStatus");
    EXPECT_EQ(lines[31], "where");
    EXPECT_EQ(lines[32], "  FSerialNo = :OLD_FSerialNo ");
    EXPECT_EQ(lines[33], "  and FOperRoom = :OLD_FOperRoom");
    EXPECT_EQ(lines[34], "");
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("FEnterDate"), std::string::npos) << line;
    }
}

TEST(DMIntefaceStatements, InsertAndDeleteWordForWord)
{
    TDMInteface dm;
    const std::vector<std::string> insert = Lines(dm.UpdateQOperationPlan->InsertSQL());
    const std::vector<std::string> expected = {
        "insert into TOperationPlan",
        "  (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FInNo, ",
        "FDeptCode, ",
        "   FBedNo, FBloodType, FAssay, FDiag, FDiagCode, FOper, FOperCode, FMaterial, ",
        "   FOperator, FAssistant1, FAssistant2, FAssistant3, FAnaesthesia, FAnaDoctor, ",
        "   FAnaAss1, FAppNurse, FCirNurse, FRemark, FUser, FStatus)",
        "values",
        "  (:FSerialNo, :FOperDate, :FTime, :FOperRoom, :FName, :FSex, :FAge, :FInNo, ",
        "   :FDeptCode, :FBedNo, :FBloodType, :FAssay, :FDiag, :FDiagCode, :FOper, ",
        "   :FOperCode, :FMaterial, :FOperator, :FAssistant1, :FAssistant2, :FAssistant3, ",
        "   :FAnaesthesia, :FAnaDoctor, :FAnaAss1, :FAppNurse, :FCirNurse, :FRemark, ",
        "   :FUser, :FStatus)",
    };
    EXPECT_EQ(insert, expected);
    const std::vector<std::string> del = Lines(dm.UpdateQOperationPlan->DeleteSQL());
    EXPECT_EQ(del, (std::vector<std::string>{"delete from TOperationPlan", "where", "  FSerialNo = :OLD_FSerialNo ",
                                             "  and FOperRoom = :OLD_FOperRoom ", ""}));
}

TEST(DMIntefaceComponents, FieldsAndSettingsAsTheWindowsExpectThem)
{
    TDMInteface dm;
    EXPECT_EQ(dm.DatabaseHIS->AliasName(), "HIS");
    EXPECT_EQ(dm.DatabaseHIS->DatabaseName(), "HISDb");
    EXPECT_FALSE(dm.DatabaseHIS->LoginPrompt());
    EXPECT_FALSE(dm.DatabaseHIS->Params().Values("user name").empty());
    EXPECT_TRUE(dm.QOperationPlan->CachedUpdates());
    EXPECT_EQ(dm.QOperationPlan->UpdateMode(), upWhereKeyOnly);
    EXPECT_EQ(dm.QOperationPlan->UpdateObject(), dm.UpdateQOperationPlan);
    EXPECT_EQ(dm.QOperationPlan->Fields().Count(), 32);
    EXPECT_EQ(dm.QOperationPlan->FieldByName("fserialno"), dm.QOperationPlanFSerialNo);
    EXPECT_EQ(dm.QOperationPlanFTime->EditMask(), "!90:00;1;_");
    EXPECT_EQ(dm.QOperationPlanFTime->Size(), 6);
    EXPECT_EQ(dm.QOperationPlanFAssistant3->Size(), 50);
    EXPECT_EQ(dm.QOperationPlanFAssistant1->Size(), 20);
    EXPECT_EQ(dm.QOperationPlanFAge->DisplayFormat(), "0.0");
    EXPECT_EQ(dm.QOperationPlanFAssay->DisplayLabel(), "化验情况(肝炎、梅毒等)");
    EXPECT_EQ(dm.QOperationPlanFStatus->DisplayLabel(), "FStatus");
    EXPECT_EQ(dm.QOperationPlanJOperator->FieldKind(), fkCalculated);
    EXPECT_EQ(dm.QOperationPlanJOperator->Size(), 60);
    EXPECT_FALSE(dm.QOperationPlanJOperator->Visible());  // computed for every row, shown by no window
    EXPECT_FALSE(dm.QOperationPlanJAnaDoctor->Visible());
    EXPECT_TRUE(dm.QOperationPlanFStatus->Visible());
    EXPECT_EQ(dm.QEmployee->Fields().Count(), 7);
    EXPECT_EQ(dm.QDiag->Fields().Count(), 3);
    EXPECT_EQ(dm.DSQOperationPlan->DataSet(), dm.QOperationPlan);
    EXPECT_TRUE(dm.ApplicantUser.empty() && dm.DepartmentCode.empty() && dm.DepartmentName.empty() &&
                dm.MessageText.empty());
}

#endif

// A data module connected to a fresh HIS database, QOperationPlan open on one
// day of department 0301.
class DMIntefaceData : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<testenv::HisDatabase>(GetParam());
        if (!db_->Available()) {
            GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
        }
        dm_ = std::make_unique<TDMInteface>();
        dm_->DatabaseHIS->Params().SetValues("USER NAME", "spemr");
        dm_->DatabaseHIS->Params().SetValues("PASSWORD", "kvrt3816#");
        dm_->DatabaseHIS->Open();
        dm_->DepartmentCode = "0301";
    }
    void TearDown() override
    {
        if (dm_) {
            dm_->QOperationPlan->Close();
            dm_->DatabaseHIS->Close();
        }
    }

    void OpenDay(int offset = 0)
    {
        TQuery& q = *dm_->QOperationPlan;
        q.Close();
        q.SQL().Clear();
        q.SQL().Add("select * from TOperationPlan ");
        q.SQL().Add("where FOperDate >= '" + DayText(offset) + "' ");
        q.SQL().Add("and FOperDate < '" + DayText(offset + 1) + "' ");
        q.SQL().Add("and FDeptCode = '0301' ");
        q.SQL().Add("order by FOperDate,FOperRoom,FTime ");
        q.Open();
    }

    // Fills every field a valid application needs.
    void FillValid(int serialNo, int dayOffset = 0)
    {
        TDMInteface& d = *dm_;
        d.QOperationPlanFSerialNo->SetAsInteger(serialNo);
        hisdb::DateTime day;
        ASSERT_TRUE(hisdb::DateTime::FromIso(DayText(dayOffset), day));
        d.QOperationPlanFOperDate->SetAsDateTime(day);
        d.QOperationPlanFTime->SetAsString(" 9:30");
        d.QOperationPlanFName->SetAsString("王秀英");
        d.QOperationPlanFSex->SetAsString("女");
        d.QOperationPlanFAge->SetAsFloat(35.645);
        d.QOperationPlanFInNo->SetAsString("Z0012345");
        d.QOperationPlanFDeptCode->SetAsString("0301");
        d.QOperationPlanFBedNo->SetAsString("12");
        d.QOperationPlanFBloodType->SetAsString("A型");
        d.QOperationPlanFDiag->SetAsString("急性阑尾炎");
        d.QOperationPlanFDiagCode->SetAsString("K35.902");
        d.QOperationPlanFOper->SetAsString("腹腔镜下阑尾切除术");
        d.QOperationPlanFOperCode->SetAsString("47.0101");
        d.QOperationPlanFOperator->SetAsString("张伟");
        d.QOperationPlanFAnaesthesia->SetAsString("全麻");
        d.QOperationPlanFUser->SetAsString("李医生");
        d.QOperationPlanFStatus->SetAsInteger(0);
    }

    void InsertRow(int serialNo, const std::string& room = "NULL", int status = 0)
    {
        db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FDeptCode, FBedNo, "
                  "FBloodType, FDiag, FDiagCode, FOper, FOperCode, FOperator, FAnaesthesia, FUser, FStatus) values (" +
                  std::to_string(serialNo) + ", '" + DayText(0) + " 00:00:00', '10:00', " + room +
                  ", '赵敏', '0301', '7', 'O型', '胆囊结石', 'K80.201', '胆囊切除术', '51.2201', '刘洋', '腰麻', "
                  "'李医生', " + std::to_string(status) + ")");
    }

    // Each step of the module (the list read, a number, the bed lookup, a
    // picker search, an apply) while `silence()` keeps the server silent.
    void StepsFailInTimeAndLoseNothing(const std::function<std::unique_ptr<class Silence>()>& silence);

    std::unique_ptr<testenv::HisDatabase> db_;
    std::unique_ptr<TDMInteface> dm_;
    Boxes boxes_;
};

TEST_P(DMIntefaceData, NewApplicationIsInsertedWithServerEntryTime)
{
    OpenDay();
    dm_->QOperationPlan->Append();
    FillValid(41);
    dm_->QOperationPlanFRemark->SetAsString("O'Brien 指导");  // a quote must not break the statement
    dm_->QOperationPlan->ApplyUpdates();
    dm_->QOperationPlan->CommitUpdates();
    EXPECT_FALSE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_TRUE(dm_->QOperationPlanFEnterDate->IsNull()) << "the module never writes the entry time";

    EXPECT_EQ(db_->Scalar("select FName from TOperationPlan where FSerialNo = 41"), "王秀英");
    EXPECT_EQ(db_->Scalar("select FTime from TOperationPlan where FSerialNo = 41"), " 9:30");
    EXPECT_EQ(db_->Scalar("select FRemark from TOperationPlan where FSerialNo = 41"), "O'Brien 指导");
    EXPECT_EQ(db_->Scalar("select FAge from TOperationPlan where FSerialNo = 41"), "35.64");
    EXPECT_EQ(db_->Scalar("select FStatus from TOperationPlan where FSerialNo = 41"), "0");
    EXPECT_FALSE(db_->Scalar("select FEnterDate from TOperationPlan where FSerialNo = 41").empty());
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan where FSerialNo = 41 and FOperRoom is null"), "1");
}

TEST_P(DMIntefaceData, ModificationKeepsStatusAndUnassignedColumns)
{
    InsertRow(7, "NULL", 5);
    OpenDay();
    ASSERT_FALSE(dm_->QOperationPlan->IsEmpty());
    dm_->QOperationPlan->Edit();
    dm_->QOperationPlanFRemark->SetAsString("改为下午");
    dm_->QOperationPlanFAssistant3->SetAsString("王五'六");
    dm_->QOperationPlan->ApplyUpdates();
    dm_->QOperationPlan->CommitUpdates();
    EXPECT_TRUE(boxes_.errors.empty());
    EXPECT_EQ(db_->Scalar("select FRemark from TOperationPlan where FSerialNo = 7"), "改为下午");
    EXPECT_EQ(db_->Scalar("select FAssistant3 from TOperationPlan where FSerialNo = 7"), "王五'六");
    EXPECT_EQ(db_->Scalar("select FStatus from TOperationPlan where FSerialNo = 7"), "5");
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan where FOperRoom is null"), "1");
}

TEST_P(DMIntefaceData, QuotesInComparedValuesLeaveTheStatementsIntact)
{
    InsertRow(11, "'O''R 1'");
    InsertRow(12, "'1'' or ''1'");
    OpenDay();
    const std::string edited = dm_->QOperationPlanFSerialNo->AsString();
    dm_->QOperationPlan->Edit();
    dm_->QOperationPlanFName->SetAsString("O'Neil");
    dm_->QOperationPlan->Next();
    const std::string deleted = dm_->QOperationPlanFSerialNo->AsString();
    ASSERT_NE(edited, deleted);
    dm_->QOperationPlan->Delete();
    dm_->QOperationPlan->ApplyUpdates();
    dm_->QOperationPlan->CommitUpdates();
    EXPECT_TRUE(boxes_.errors.empty());
    EXPECT_EQ(db_->Scalar("select FName from TOperationPlan where FSerialNo = " + edited), "O'Neil");
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan where FSerialNo = " + deleted), "0");
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "1") << "exactly the one row was deleted";
}

TEST_P(DMIntefaceData, DeletionOfAWaitingApplication)
{
    InsertRow(8);
    InsertRow(9);
    OpenDay();
    dm_->QOperationPlan->Delete();
    dm_->QOperationPlan->ApplyUpdates();
    dm_->QOperationPlan->CommitUpdates();
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "1");
}

TEST_P(DMIntefaceData, ArrangedMeanwhileRefusesModifyAndDeleteAndLosesNothing)
{
    InsertRow(10);
    OpenDay();
    dm_->QOperationPlan->Edit();
    dm_->QOperationPlanFRemark->SetAsString("病房改的");
    db_->Exec("update TOperationPlan set FOperRoom = '3' where FSerialNo = 10");

    EXPECT_THROW(dm_->QOperationPlan->ApplyUpdates(), EAbort);
    ASSERT_EQ(boxes_.errors.size(), 1u);
    EXPECT_EQ(boxes_.errors[0], "Update failed");
    EXPECT_TRUE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_EQ(dm_->QOperationPlanFRemark->AsString(), "病房改的");
    EXPECT_EQ(db_->Scalar("select FRemark from TOperationPlan where FSerialNo = 10"), "");
    EXPECT_EQ(db_->Scalar("select FOperRoom from TOperationPlan where FSerialNo = 10"), "3");

    dm_->QOperationPlan->CancelUpdates();
    dm_->QOperationPlan->Delete();
    EXPECT_THROW(dm_->QOperationPlan->ApplyUpdates(), EAbort);
    EXPECT_EQ(boxes_.errors.size(), 2u);
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "1");
}

TEST_P(DMIntefaceData, DateWindowFromTenDaysBackToSevenAhead)
{
    OpenDay();
    struct Case {
        int offset;
        const char* message;  // nullptr: accepted
    };
    const Case cases[] = {{-10, nullptr}, {-11, "手术日期已过10日！不能修改!"}, {7, nullptr},
                          {8, "只能申请7日内手术！请重新输入手术日期!"}, {0, nullptr}};
    int serial = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        boxes_.shown.clear();
        dm_->QOperationPlan->Append();
        FillValid(serial++, c.offset);
        hisdb::DateTime late;
        ASSERT_TRUE(hisdb::DateTime::FromIso(DayText(c.offset) + " 23:59:59", late));
        dm_->QOperationPlanFOperDate->SetAsDateTime(late);  // the time of day does not count
        if (c.message == nullptr) {
            EXPECT_NO_THROW(dm_->QOperationPlan->Post());
            EXPECT_TRUE(boxes_.shown.empty());
        } else {
            EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
            ASSERT_EQ(boxes_.shown.size(), 1u);
            EXPECT_EQ(boxes_.shown[0], c.message);
            EXPECT_EQ(boxes_.captions[0], "信息");
            EXPECT_EQ(boxes_.flags[0], 0x42040u);
            dm_->QOperationPlan->Cancel();
        }
    }
    dm_->QOperationPlan->CancelUpdates();
}

TEST_P(DMIntefaceData, RulesInOrderAndARefusedPostKeepsEveryValue)
{
    OpenDay();
    dm_->QOperationPlan->Append();
    FillValid(200);
    dm_->QOperationPlanFOperDate->Clear();
    EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
    EXPECT_EQ(boxes_.shown.back(), "手术日期已过10日！不能修改!") << "an empty date is far in the past";

    FillValid(200);
    dm_->QOperationPlanFBedNo->Clear();
    dm_->QOperationPlanFOperator->Clear();
    EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
    EXPECT_EQ(boxes_.shown.back(), "没有输入床号，必须输入床号！");
    EXPECT_EQ(dm_->QOperationPlan->State(), dsInsert);
    EXPECT_EQ(dm_->QOperationPlanFName->AsString(), "王秀英");
    EXPECT_EQ(dm_->QOperationPlanFTime->AsString(), " 9:30");
    EXPECT_EQ(dm_->QOperationPlanFSerialNo->AsInteger(), 200);

    FillValid(200);
    dm_->QOperationPlanFDiagCode->Clear();
    dm_->QOperationPlanFOper->Clear();
    EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
    EXPECT_EQ(boxes_.shown.back(), "必须输入手术名称！") << "names come before codes";

    FillValid(200);
    dm_->QOperationPlanFDiagCode->Clear();
    EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
    EXPECT_EQ(boxes_.shown.back(), "必须输入术前诊断ICD代码！");

    FillValid(200);
    dm_->QOperationPlanFAnaesthesia->Clear();
    EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
    EXPECT_EQ(boxes_.shown.back(), "必须输入麻醉方法！");
    EXPECT_FALSE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "0");
}

// Each "must enter" rule on its own: every other field valid, only this one
// empty, refused with its own message and nothing else.
TEST_P(DMIntefaceData, EachMustEnterRuleRefusesItsEmptyFieldAlone)
{
    OpenDay();
    TDMInteface& d = *dm_;
    struct Case {
        TStringField* field;
        const char* message;
    };
    const Case cases[] = {
        {d.QOperationPlanFBedNo, "没有输入床号，必须输入床号！"},
        {d.QOperationPlanFName, "病人姓名不能为空！"},
        {d.QOperationPlanFBloodType, "必须输入病人血型！"},
        {d.QOperationPlanFDiag, "必须输入术前诊断！"},
        {d.QOperationPlanFOper, "必须输入手术名称！"},
        {d.QOperationPlanFDiagCode, "必须输入术前诊断ICD代码！"},
        {d.QOperationPlanFOperCode, "必须输入手术CM3代码！"},
        {d.QOperationPlanFOperator, "必须输入手术医师！"},
        {d.QOperationPlanFAnaesthesia, "必须输入麻醉方法！"},
    };
    d.QOperationPlan->Append();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        boxes_.shown.clear();
        boxes_.captions.clear();
        boxes_.flags.clear();
        FillValid(300);
        c.field->Clear();
        EXPECT_THROW(d.QOperationPlan->Post(), EAbort);
        ASSERT_EQ(boxes_.shown.size(), 1u);
        EXPECT_EQ(boxes_.shown[0], c.message);
        EXPECT_EQ(boxes_.captions[0], "信息");
        EXPECT_EQ(boxes_.flags[0], 0x42040u);
        EXPECT_EQ(d.QOperationPlan->State(), dsInsert);
    }
    // The same row with every field given is stored: each refusal above was its field's alone.
    boxes_.shown.clear();
    FillValid(300);
    d.QOperationPlan->ApplyUpdates();
    d.QOperationPlan->CommitUpdates();
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_TRUE(boxes_.errors.empty());
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan where FSerialNo = 300"), "1");
}

TEST_P(DMIntefaceData, AnOldApplicationCannotBeStoredEvenForARemark)
{
    db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FDeptCode, FBedNo, FName) values (3, '" +
              DayText(-12) + " 00:00:00', '0301', '1', '孙丽')");
    OpenDay(-12);
    dm_->QOperationPlan->Edit();
    dm_->QOperationPlanFRemark->SetAsString("补记");
    EXPECT_THROW(dm_->QOperationPlan->Post(), EAbort);
    EXPECT_EQ(boxes_.shown.back(), "手术日期已过10日！不能修改!");
    EXPECT_EQ(dm_->QOperationPlan->State(), dsEdit);
}

TEST_P(DMIntefaceData, StaffListsJoinedByCarriageReturnsAndCutAt60Bytes)
{
    OpenDay();
    TDMInteface& d = *dm_;
    d.QOperationPlan->Append();
    EXPECT_EQ(d.QOperationPlanJOperator->AsString(), "");
    EXPECT_EQ(d.QOperationPlanJAnaDoctor->AsString(), "");

    d.QOperationPlanFOperator->SetAsString("张伟");
    d.QOperationPlanFAssistant2->SetAsString("李娜");
    EXPECT_EQ(d.QOperationPlanJOperator->AsString(), "张伟\r李娜");

    d.QOperationPlanFOperator->Clear();
    EXPECT_EQ(d.QOperationPlanJOperator->AsString(), "\r李娜");

    d.QOperationPlanFAnaDoctor->SetAsString("周杰");
    EXPECT_EQ(d.QOperationPlanJAnaDoctor->AsString(), "周杰");
    d.QOperationPlanFAnaAss1->SetAsString("吴芳");
    EXPECT_EQ(d.QOperationPlanJAnaDoctor->AsString(), "周杰\r吴芳");

    // 20 + 1 + 20 + 1 + 20 = 62 bytes: the last step is cut to 60, never inside a character.
    d.QOperationPlanFOperator->SetAsString("一二三四五六七八九十");
    d.QOperationPlanFAssistant1->SetAsString("甲乙丙丁戊己庚辛壬癸");
    d.QOperationPlanFAssistant2->SetAsString("子丑寅卯辰巳午未申酉");
    const std::string joined = d.QOperationPlanJOperator->AsString();
    EXPECT_EQ(joined, "一二三四五六七八九十\r甲乙丙丁戊己庚辛壬癸\r子丑寅卯辰巳午未申");
    d.QOperationPlanFAssistant3->SetAsString("戌");
    EXPECT_EQ(d.QOperationPlanJOperator->AsString(), joined) << "nothing fits after 60 bytes";
    d.QOperationPlan->Cancel();
}

const std::string kCounterRowsMessage = "TNextOperationPlanNo表必须只能有一条记录!!!  ";

TEST_P(DMIntefaceData, NextNumberIsTheCounterAsReadAndTheCounterGrowsByOne)
{
    db_->Exec("update TNextOperationPlanNo set FNext = 57");
    EXPECT_EQ(dm_->NextOperationPlanNo(), 57);
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "58");
    EXPECT_EQ(dm_->NextOperationPlanNo(), 58);
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "59");
    EXPECT_FALSE(dm_->QNext->Active());
    EXPECT_FALSE(dm_->DatabaseHIS->InTransaction());
    EXPECT_EQ(dm_->QNext->SQL()[0], "select FNext from TNextOperationPlanNo ");
    EXPECT_EQ(dm_->QUpdateSQL->SQL()[0], "update TNextOperationPlanNo Set FNext=FNext+1 ");
}

TEST_P(DMIntefaceData, ACounterTableWithoutExactlyOneRowStopsAndChangesNothing)
{
    auto expectRefused = [&] {
        try {
            (void)dm_->NextOperationPlanNo();
            ADD_FAILURE() << "no error";
        } catch (const EDBEngineError& e) {
            ADD_FAILURE() << "engine error: " << e.what();
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(std::string(e.what()), kCounterRowsMessage);
        }
        EXPECT_FALSE(dm_->DatabaseHIS->InTransaction());
        EXPECT_FALSE(dm_->QNext->Active());
    };
    db_->Exec("delete from TNextOperationPlanNo");
    expectRefused();
    EXPECT_EQ(db_->Scalar("select count(*) from TNextOperationPlanNo"), "0");

    db_->Exec("insert into TNextOperationPlanNo (FNext) values (5)");
    db_->Exec("insert into TNextOperationPlanNo (FNext) values (9)");
    expectRefused();
    EXPECT_EQ(db_->Scalar("select count(*) from TNextOperationPlanNo"), "2");
    EXPECT_EQ(db_->Scalar("select sum(FNext) from TNextOperationPlanNo"), "14");

    // The connection goes on working: one row again gives a number.
    db_->Exec("delete from TNextOperationPlanNo where FNext = 9");
    EXPECT_EQ(dm_->NextOperationPlanNo(), 5);
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "6");
}

// The list window keeps the day's applications open, read in part, while the
// editor takes a number; another workstation stores meanwhile.
TEST_P(DMIntefaceData, AListHeldHalfReadSeesOtherWorkstationsThroughTheCounterAndARereading)
{
    // More rows than psqlODBC fetches at once, so the server's cursor stays open.
    db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FDeptCode, FName) "
              "with recursive n(i) as (select 1 union all select i + 1 from n where i < 300) "
              "select i, '" +
              DayText(0) + " 00:00:00', '0301', '病人' from n");
    OpenDay();
    for (int i = 0; i < 3; ++i) {
        dm_->QOperationPlan->Next();
    }
    ASSERT_LT(dm_->QOperationPlan->EngineFetchCount(), 300);

    db_->Exec("update TNextOperationPlanNo set FNext = 500");
    EXPECT_EQ(dm_->NextOperationPlanNo(), 500);
    db_->Exec("update TNextOperationPlanNo set FNext = 800");
    EXPECT_EQ(dm_->NextOperationPlanNo(), 800);
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "801");

    InsertRow(1000);
    dm_->QOperationPlan->Last();
    EXPECT_EQ(dm_->QOperationPlan->RecordCount(), 300) << "an open list goes on as it began";
    OpenDay();
    dm_->QOperationPlan->Last();
    EXPECT_EQ(dm_->QOperationPlan->RecordCount(), 301) << "reading it again shows the new row";
}

// The server stops answering in the middle of the day (its processes
// halted; the machine still takes what is sent to it). Each step of the
// module fails within the alias's answer_timeout with the engine's error,
// shown as any other; nothing is half stored, the change waits in the cache,
// and once the server runs again the next try logs in anew and succeeds once.
// The server silent while a Silence lives.
class Silence {
public:
    explicit Silence(std::function<void()> end) : end_(std::move(end)) {}
    ~Silence() { end_(); }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

private:
    std::function<void()> end_;
};

void DMIntefaceData::StepsFailInTimeAndLoseNothing(const std::function<std::unique_ptr<Silence>()>& silence)
{
    InsertRow(5);
    db_->Exec("insert into TPat (FInNo, FName, FSex, FDeptCode, FBedNo, FStatus) values ('Z1', '钱七', '男', '0301', '12', 2)");
    db_->Exec("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values ('K35.902', '急性阑尾炎', 'JXLWY')");
    TQuery& dict = *dm_->QDict;
    TQuery& diag = *dm_->QDiag;
    const auto lookUpBed = [&] {
        dict.Close();
        dict.SQL().Clear();
        dict.SQL().Add("select * from TPat (NOLOCK) where FDeptCode='0301' and FBedNo='12' and FStatus=2 ");
        dict.Open();
        dict.Last();  // read to its end: closing it then asks nothing of the server
        return dict.FieldByName("FName")->AsString();
    };
    const auto search = [&] {
        diag.Close();
        diag.SQL().Clear();
        diag.SQL().Add("select FDiagCode as FCode,FName,FInputCode from TDictDiagICD where FInputCode like 'JX%'");
        diag.Open();
        diag.Last();
        return dm_->QDiagFName->AsString();
    };
    const auto inTime = [](const char* step, const std::function<void()>& call) {
        const auto start = std::chrono::steady_clock::now();
        try {
            call();
            ADD_FAILURE() << step << ": no error";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.Errors().at(0), "The database server did not answer in time") << step;
        } catch (const EAbort&) {  // an apply's failure, shown in its box
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_LT(waited, std::chrono::seconds(10)) << step;
    };
    const struct {
        const char* name;
        std::function<void()> call;
    } steps[] = {
        {"the list read", [&] { OpenDay(); dm_->QOperationPlan->Last(); }},
        {"the number", [&] { (void)dm_->NextOperationPlanNo(); }},
        {"the bed lookup", [&] { (void)lookUpBed(); }},
        {"the picker search", [&] { (void)search(); }},
    };
    for (const auto& step : steps) {
        step.call();  // the sessions it needs are logged in before the server stops
        auto silent = silence();
        inTime(step.name, step.call);
        EXPECT_FALSE(dm_->DatabaseHIS->InTransaction()) << step.name;
    }
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "2") << "no number taken while it was silent";

    // An apply: the new application stays in the cache and is stored once.
    EXPECT_EQ(dm_->NextOperationPlanNo(), 2);
    OpenDay();
    dm_->QOperationPlan->Append();
    FillValid(2);
    {
        auto silent = silence();
        inTime("an apply", [&] { dm_->QOperationPlan->ApplyUpdates(); });
    }
    ASSERT_EQ(boxes_.errors.size(), 1u);
    EXPECT_EQ(boxes_.errors[0].substr(0, 42), "The database server did not answer in time");
    EXPECT_TRUE(dm_->QOperationPlan->UpdatesPending());
    dm_->QOperationPlan->ApplyUpdates();
    dm_->QOperationPlan->CommitUpdates();
    EXPECT_FALSE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan where FSerialNo = 2"), "1");

    // The server runs again: every step works on new logins.
    EXPECT_EQ(dm_->NextOperationPlanNo(), 3);
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "4");
    EXPECT_EQ(lookUpBed(), "钱七");
    EXPECT_EQ(search(), "急性阑尾炎");
    OpenDay();
    dm_->QOperationPlan->Last();
    EXPECT_EQ(dm_->QOperationPlan->RecordCount(), 2);
}

TEST_P(DMIntefaceData, AServerThatStopsAnsweringFailsEachStepInTimeAndLosesNothing)
{
    if (GetParam() != Backend::Postgres) {
        GTEST_SKIP() << "server sessions only";
    }
    {
        testenv::HaltedProcesses probe(testenv::PgBackends(db_->Direct(), "usename = '" + testenv::PgUser() + "'"));
        if (!probe.Halted()) {
            GTEST_SKIP() << "the server's processes cannot be stopped from here";
        }
    }
    dm_->DatabaseHIS->Close();
    db_->AddAliasOptions("lock_timeout=1\nanswer_timeout=2\n");
    dm_->DatabaseHIS->Open();
    StepsFailInTimeAndLoseNothing([&] {
        auto halted = std::make_shared<testenv::HaltedProcesses>(
            testenv::PgBackends(db_->Direct(), "usename = '" + testenv::PgUser() + "'"));
        return std::make_unique<Silence>([halted] { halted->Resume(); });
    });
}

// The same with the server running and the path to it dropping every packet.
TEST_P(DMIntefaceData, APathThatDropsEveryPacketFailsEachStepInTimeAndLosesNothing)
{
    if (GetParam() != Backend::Postgres) {
        GTEST_SKIP() << "server sessions only";
    }
    testenv::NetworkPath path;
    if (!path.Available()) {
        GTEST_SKIP() << path.Why();
    }
    dm_->DatabaseHIS->Close();
    db_->AddAliasOptions("lock_timeout=1\nanswer_timeout=2\nconnect=" + path.Connect() + "\n");
    path.Enter();  // the module's sessions go through the path; the test's own do not
    dm_->DatabaseHIS->Open();
    StepsFailInTimeAndLoseNothing([&] {
        path.Drop(true);
        return std::make_unique<Silence>([&path] { path.Drop(false); });
    });
    dm_->QOperationPlan->Close();
    dm_->DatabaseHIS->Close();
    path.Leave();
}

// The disk holding the embedded database fills up in the middle of the day
// (a tmpfs of the test's own, filled to the last byte). Taking a number and
// storing fail with the engine's "database or disk is full", nothing is
// half stored, the new application waits in the cache, and once there is
// room again the next apply stores it once and the counter goes on from
// where it was.
TEST_P(DMIntefaceData, AFullDiskFailsTheNumberAndTheApplyAndTheChangeWaitsForRoom)
{
    if (GetParam() != Backend::Sqlite) {
        GTEST_SKIP() << "the embedded database file";
    }
    dm_->DatabaseHIS->Close();  // the last connection: the log is folded into the file
    const std::string disk = db_->Dir() + "/disk";
    std::filesystem::create_directories(disk);
    auto mount = testenv::ScopedMount::Tmpfs(disk, 4 << 20);
    if (!mount.Mounted()) {
        GTEST_SKIP() << mount.Why();
    }
    std::filesystem::copy_file(db_->Dir() + "/his.db", disk + "/his.db");
    db_->AddAliasOptions("database=" + disk + "/his.db\n");
    const auto scalar = [](const std::string& sql) {  // on a connection of its own, so that the disk can be unmounted
        auto connection = hisdb::Connect("HIS", testenv::PgUser(), testenv::PgPassword());
        auto statement = connection->Prepare(sql);
        statement->Execute();
        return statement->Fetch() ? std::get<std::int64_t>(statement->Get(0)) : -1;
    };
    dm_->DatabaseHIS->Open();
    const int number = dm_->NextOperationPlanNo();
    OpenDay();
    dm_->QOperationPlan->Append();
    FillValid(number);
    dm_->QOperationPlan->Post();

    (void)testenv::FillFileSystem(disk, "filler");
    const auto isDiskFull = [](const std::string& text) { return text.find("disk is full") != std::string::npos; };
    try {
        (void)dm_->NextOperationPlanNo();
        ADD_FAILURE() << "a number was given with the disk full";
    } catch (const EDBEngineError& e) {
        EXPECT_TRUE(isDiskFull(e.what())) << e.what();
    }
    EXPECT_FALSE(dm_->DatabaseHIS->InTransaction());
    EXPECT_THROW(dm_->QOperationPlan->ApplyUpdates(), EAbort);
    ASSERT_EQ(boxes_.errors.size(), 1u);
    EXPECT_TRUE(isDiskFull(boxes_.errors[0])) << boxes_.errors[0];
    EXPECT_TRUE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_EQ(dm_->QOperationPlanFName->AsString(), "王秀英");
    // A second try while the disk is still full fails the same way and stores nothing either.
    EXPECT_THROW(dm_->QOperationPlan->ApplyUpdates(), EAbort);
    EXPECT_TRUE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_EQ(scalar("select count(*) from TOperationPlan"), 0);
    EXPECT_EQ(scalar("select FNext from TNextOperationPlanNo"), number + 1);

    std::filesystem::remove(disk + "/filler");
    dm_->QOperationPlan->ApplyUpdates();
    dm_->QOperationPlan->CommitUpdates();
    EXPECT_FALSE(dm_->QOperationPlan->UpdatesPending());
    EXPECT_EQ(dm_->NextOperationPlanNo(), number + 1);
    dm_->QOperationPlan->Close();
    dm_->DatabaseHIS->Close();
    EXPECT_EQ(scalar("select count(*) from TOperationPlan where FSerialNo = " + std::to_string(number)), 1);
    EXPECT_EQ(scalar("select count(*) from TOperationPlan"), 1);
    EXPECT_EQ(scalar("select FNext from TNextOperationPlanNo"), number + 2);
    auto check = hisdb::Connect("HIS", testenv::PgUser(), testenv::PgPassword());
    auto integrity = check->Prepare("pragma integrity_check");
    integrity->Execute();
    ASSERT_TRUE(integrity->Fetch());
    EXPECT_EQ(std::get<std::string>(integrity->Get(0)), "ok");
}

INSTANTIATE_TEST_SUITE_P(Backends, DMIntefaceData, ::testing::Values(Backend::HIS_TEST_BACKEND),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace
