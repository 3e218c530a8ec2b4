// The editor window over a real HIS database, opened by the list window as
// the ward opens it: its layout and tab order, the lists it fills, a complete
// new application typed and stored, a refusing rule, and pictures of the
// three looks it has.
#include "windows/OperationNew.h"

#include "controls/buttonedit.h"
#include "controls/dateedit.h"
#include "controls/dbcombobox.h"
#include "controls/datagrid.h"
#include "controls/dbedit.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/locale_settings.h"
#include "pickers/ChoiceEmployee.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/data_module.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"
#include "windows/OperationApply.h"

#include <gtest/gtest.h>

#include <QImage>

#include <memory>
#include <string>
#include <vector>

namespace {

namespace loc = dataset::locale;
using testenv::Backend;

std::string IsoDay(int offset)
{
    return loc::FromDayNumber(loc::DayNumber(loc::Today()) + offset).ToIso().substr(0, 10);
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::Application::Instance();
        db_ = std::make_unique<testenv::HisDatabase>(Backend::Sqlite);
        db_->Exec("update TNextOperationPlanNo set FNext = 57");
        int no = 1;
        for (const char* blood : {"A型", "B型", "O型", "AB型"}) {
            db_->Exec("insert into TDictBloodTypeA (FNo, FName) values (" + std::to_string(no++) + ", '" + blood +
                      "')");
        }
        no = 1;
        for (const char* assay : {"阴性", "乙肝", "梅毒"}) {
            db_->Exec("insert into TDictAssay (FNo, FName) values (" + std::to_string(no++) + ", '" + assay + "')");
        }
        no = 1;
        for (const char* method : {"全麻", "腰麻", "局麻"}) {
            db_->Exec("insert into TDictAnaesthesia (FNo, FName) values (" + std::to_string(no++) + ", '" + method +
                      "')");
        }
        testenv::OpenDataModule();
        OperationApplyForm = new TOperationApplyForm();
    }
    void TearDown() override
    {
        OperationApplyForm->Free();
        delete DMInteface;
        DMInteface = nullptr;
    }

    void AddApplication(int serialNo, const std::string& room)
    {
        db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FInNo, "
                  "FDeptCode, FBedNo, FBloodType, FAssay, FDiag, FDiagCode, FOper, FOperCode, FMaterial, FOperator, "
                  "FAssistant1, FAnaesthesia, FAnaDoctor, FAnaAss1, FAppNurse, FCirNurse, FRemark, FUser, FStatus) "
                  "values (" +
                  std::to_string(serialNo) + ", '" + IsoDay(0) + " 00:00:00', '09:30', " + room +
                  ", '王五', '男', 45, 'Z1000231', '0301', '12', 'A型', '阴性', '急性化脓性阑尾炎', 'K35.901', "
                  "'腹腔镜下阑尾切除术', '47.0101', '备腹腔镜', '张建国', '刘洋', '全麻', '赵麻醉', '孙助手', "
                  "'周器械', '吴巡回', '王主任指导', '李医生', 0)");
    }

    // Runs the list window's button (or double click) with `step` inside the editor.
    void RunEditor(int mode, std::function<void(TOperationNewForm&)> step, int row = 1)
    {
        OperationApplyForm->RefreshList();
        DMInteface->QOperationPlan->MoveBy(row - 1);
        driver_.OnModal<TOperationNewForm>(std::move(step));
        switch (mode) {
        case 1:
            OperationApplyForm->BtnNewClick(OperationApplyForm->BtnNew);
            break;
        case 2:
            OperationApplyForm->BtnModifyClick(OperationApplyForm->BtnModify);
            break;
        case 3:
            OperationApplyForm->BtnDeleteClick(OperationApplyForm->BtnDelete);
            break;
        default:
            OperationApplyForm->DBGrid1DblClick(OperationApplyForm->DBGrid1);
            break;
        }
        EXPECT_EQ(driver_.PendingSteps(), 0u);
    }

    std::unique_ptr<testenv::HisDatabase> db_;
    uitest::Driver driver_;
};

void TypeInto(QWidget* box, const QString& text)
{
    uitest::Click(box);
    ASSERT_EQ(uitest::Focused(), box);
    uitest::Type(text);
}

QString FocusedName()
{
    return uitest::Focused() != nullptr ? uitest::Focused()->objectName() : QString();
}

TEST_F(Editor, LayoutAndTabOrder)
{
    AddApplication(5, "NULL");
    std::vector<QString> order;
    RunEditor(2, [&order](TOperationNewForm& editor) {
        EXPECT_EQ(editor.frameGeometry().size(), QSize(790, 599));
        EXPECT_EQ(editor.Panel1->height(), 105);
        EXPECT_EQ(editor.Panel2->height(), 51);
        EXPECT_EQ(editor.Panel3->geometry().top(), editor.Panel1->geometry().bottom() + 1);
        EXPECT_EQ(editor.Panel4->geometry(), QRect(201, 7, 574, 61));
        EXPECT_EQ(editor.DBComboAssistant3->geometry(), QRect(83, 320, 316, 21));
        EXPECT_EQ(editor.DBEdit9->geometry(), QRect(83, 196, 692, 20));
        EXPECT_EQ(editor.BtnOk->geometry(), QRect(488, 13, 70, 25));
        EXPECT_EQ(editor.Label18->text(), QString::fromUtf8("手术助手3:"));
        EXPECT_EQ(editor.Label27->text(), QString::fromUtf8("(含材料器"));
        EXPECT_EQ(editor.ComboAssay->maxVisibleItems(), 15);
        EXPECT_TRUE(editor.EditDiagCode->ReadOnly());
        EXPECT_TRUE(editor.EditOperCode->ReadOnly());
        EXPECT_FALSE(editor.DBComboDoctor->ReadOnly());
        EXPECT_FALSE(editor.DBEdit5->isEnabled());
        EXPECT_EQ(editor.DBEdit5->text(), QStringLiteral("45.0")) << "the age in its display format";
        EXPECT_EQ(editor.DBEdit1->text(), QStringLiteral("09:30"));

        order.push_back(FocusedName());
        for (int i = 0; i < 18; ++i) {
            uitest::Tab();
            order.push_back(FocusedName());
        }
        editor.BtnCloseClick(editor.BtnClose);
    });
    const std::vector<QString> expected = {
        "DBDateEdit1",      "DBEdit1",           "EditBedNo",         "ComboBloodType", "ComboAssay",
        "EditDiagCode",     "EditDiag",          "EditOperCode",      "EditOper",       "DBEdit9",
        "DBComboDoctor",    "DBComboAssistant1", "DBComboAssistant2", "DBComboAssistant3",
        "ComboAnaesthesia", "DBEdit10",          "BtnOk",             "BtnClose",       "DBDateEdit1",
    };
    EXPECT_EQ(order, expected) << "the patient's boxes are disabled and the theatre's panel hidden";
    EXPECT_TRUE(driver_.Boxes().empty());
}

TEST_F(Editor, TheListsAreFilledOnlyForNewAndModify)
{
    AddApplication(5, "NULL");
    int lists = -1;
    RunEditor(3, [&lists](TOperationNewForm& editor) {
        lists = editor.ComboAssay->ItemCount() + editor.ComboBloodType->ItemCount();
        EXPECT_EQ(editor.ComboBloodType->Style(), csDropDown);
        EXPECT_EQ(editor.ComboAnaesthesia->currentText(), QString::fromUtf8("全麻"));
        editor.BtnCloseClick(editor.BtnClose);
    });
    EXPECT_EQ(lists, 0);
    EXPECT_EQ(DMInteface->QDict->SQL().Count(), 0) << "the dictionaries were not read";

    RunEditor(2, [](TOperationNewForm& editor) {
        EXPECT_EQ(editor.ComboAssay->ItemCount(), 3);
        EXPECT_EQ(editor.ComboAnaesthesia->Item(2), QString::fromUtf8("局麻"));
        editor.BtnCloseClick(editor.BtnClose);
    });
    EXPECT_FALSE(DMInteface->QDict->Active());
    ASSERT_EQ(DMInteface->QDict->SQL().Count(), 1);
    EXPECT_EQ(DMInteface->QDict->SQL()[0], "select * from TDictAnaesthesia Order by FNo ");
}

TEST_F(Editor, ACompleteNewApplicationIsStoredWithTheListsDayAndTheCallValues)
{
    DMInteface->DepartmentCode = "0301030105";
    OperationApplyForm->DateEdit1->SetDate(loc::FromDayNumber(loc::DayNumber(loc::Today()) + 2));
    RunEditor(1, [](TOperationNewForm& editor) {
        ASSERT_EQ(uitest::Focused(), editor.DBDateEdit1);
        uitest::Tab();
        uitest::Type(QStringLiteral("0930"));
        uitest::Tab();
        uitest::Type(QStringLiteral("12"));
        uitest::Tab();
        ASSERT_TRUE(editor.Panel3->isVisible()) << "shown once the bed number is left";
        // Until the bed and code lookups come, the test fills what they will.
        DMInteface->QOperationPlanFName->SetAsString("王五");
        DMInteface->QOperationPlanFDiagCode->SetAsString("K35.901");
        DMInteface->QOperationPlanFOperCode->SetAsString("47.0101");
        uitest::Click(editor.ComboBloodType);
        uitest::Settle();
        uitest::Down(editor.ComboBloodType);
        uitest::Down(editor.ComboBloodType);
        TypeInto(editor.ComboAssay, QString::fromUtf8("乙肝"));
        TypeInto(editor.EditDiag, QString::fromUtf8("急性阑尾炎"));
        TypeInto(editor.EditOper, QString::fromUtf8("阑尾切除术"));
        TypeInto(editor.DBComboDoctor, QString::fromUtf8("张建国"));
        TypeInto(editor.DBComboAssistant3, QString::fromUtf8("刘洋 陈静"));
        uitest::Click(editor.ComboAnaesthesia);
        uitest::Down(editor.ComboAnaesthesia);
        TypeInto(editor.DBEdit10, QString::fromUtf8("王主任指导"));
        uitest::Click(editor.BtnOk);
    });
    EXPECT_TRUE(driver_.Boxes().empty());
    EXPECT_EQ(db_->Scalar("select FNext from TNextOperationPlanNo"), "58");
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "1");
    auto column = [&](const std::string& name) {
        return db_->Scalar("select " + name + " from TOperationPlan where FSerialNo = 57");
    };
    EXPECT_EQ(column("FOperDate").substr(0, 19), IsoDay(2) + " 00:00:00");
    EXPECT_EQ(column("FTime"), "09:30");
    EXPECT_EQ(column("FBedNo"), "12");
    EXPECT_EQ(column("FName"), "王五");
    EXPECT_EQ(column("FBloodType"), "B型");
    EXPECT_EQ(column("FAssay"), "乙肝");
    EXPECT_EQ(column("FDiag"), "急性阑尾炎");
    EXPECT_EQ(column("FDiagCode"), "K35.901");
    EXPECT_EQ(column("FOper"), "阑尾切除术");
    EXPECT_EQ(column("FOperator"), "张建国");
    EXPECT_EQ(column("FAssistant3"), "刘洋 陈静");
    EXPECT_EQ(column("FAnaesthesia"), "全麻");
    EXPECT_EQ(column("FRemark"), "王主任指导");
    EXPECT_EQ(column("FStatus"), "0");
    EXPECT_EQ(column("FUser"), "李医生");
    EXPECT_EQ(column("FDeptCode"), "03010301") << "cut to the column's 8 bytes";
    EXPECT_EQ(column("FOperRoom"), "");
    EXPECT_FALSE(column("FEnterDate").empty()) << "filled by the server";
    EXPECT_EQ(OperationNewForm, nullptr);
}

TEST_F(Editor, AfterAFailedStoreWhatTheQuickPicksAndTheStaffPickerShowIsWhatIsStored)
{
    db_->Exec("insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values "
              "('000002', '刘洋', 'LY', '0301', '医生')");
    TDataSetState afterFailure = dsInactive;
    RunEditor(1, [&](TOperationNewForm& editor) {
        TypeInto(editor.EditBedNo, QStringLiteral("12"));
        uitest::Tab();
        DMInteface->QOperationPlanFName->SetAsString("王五");
        DMInteface->QOperationPlanFDiagCode->SetAsString("K35.901");
        DMInteface->QOperationPlanFOperCode->SetAsString("47.0101");
        DMInteface->QOperationPlanFTime->SetAsString("09:30");
        DMInteface->QOperationPlanFDiag->SetAsString("急性阑尾炎");
        DMInteface->QOperationPlanFOper->SetAsString("阑尾切除术");
        editor.ComboBloodType->setFocus();
        uitest::Type(QStringLiteral("1"));
        editor.ComboAnaesthesia->setFocus();
        uitest::Type(QStringLiteral("1"));
        TypeInto(editor.DBComboDoctor, QString::fromUtf8("张建国"));
        // Another row took the number meanwhile: the insert fails.
        db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FDeptCode, FStatus) values "
                  "(57, '2000-01-01 00:00:00', '9999', 0)");
        uitest::Click(editor.BtnOk);
        afterFailure = DMInteface->QOperationPlan->State();
        // Browsed now, in new mode: a staff pick begins the edit again, and so
        // does a quick pick after the next failure.
        for (TDBComboEdit* box : {editor.DBComboDoctor, editor.DBComboAssistant3}) {
            driver_.OnModal<TChoiceEmployeeForm>([](TChoiceEmployeeForm&) {
                uitest::Type(QStringLiteral("ly"));
                uitest::Enter();
            });
            box->setFocus();
            uitest::F2();
        }
        uitest::Click(editor.BtnOk);
        db_->Exec("delete from TOperationPlan where FSerialNo = 57");
        editor.ComboBloodType->setFocus();
        uitest::Type(QStringLiteral("2"));
        uitest::Click(editor.BtnOk);
    });
    ASSERT_EQ(afterFailure, dsBrowse) << "the failed store left the row browsed";
    EXPECT_EQ(driver_.Boxes().size(), 4u) << "only the two failed stores' boxes";
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "1");
    auto column = [&](const std::string& name) {
        return db_->Scalar("select " + name + " from TOperationPlan where FSerialNo = 57");
    };
    EXPECT_EQ(column("FBloodType"), "B型");
    EXPECT_EQ(column("FOperator"), "刘洋");
    EXPECT_EQ(column("FAssistant3"), "刘洋");
}

TEST_F(Editor, AMissingBloodTypeIsRefusedWithItsMessageOnlyAndTheRowStaysInInsertState)
{
    TDataSetState state = dsInactive;
    bool open = false;
    RunEditor(1, [&](TOperationNewForm& editor) {
        TypeInto(editor.EditBedNo, QStringLiteral("12"));
        uitest::Tab();
        DMInteface->QOperationPlanFName->SetAsString("王五");
        uitest::Click(editor.BtnOk);
        state = DMInteface->QOperationPlan->State();
        open = editor.isVisible();
        driver_.Answer(ui::IDYES);
        editor.BtnCloseClick(editor.BtnClose);
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(state, dsInsert);
    EXPECT_EQ(driver_.BoxTexts(),
              (QStringList{QString::fromUtf8("必须输入病人血型！"), QString::fromUtf8("数据没有存盘，不保存退出吗?")}));
    EXPECT_EQ(db_->Scalar("select count(*) from TOperationPlan"), "0");
}

TEST_F(Editor, PicturesOfNewModifyAndView)
{
    AddApplication(5, "'3'");
    AddApplication(6, "NULL");
    QImage picture;
    int diagnosisInk = -1;  // what the picture shows in the diagnosis box
    auto grab = [&](const char* file) {
        return [&, file](TOperationNewForm& editor) {
            uitest::Settle();
            uitest::SaveImage(&editor, QString::fromLatin1(file));
            picture = uitest::Grab(&editor);
            diagnosisInk = uitest::InkIn(picture, uitest::RectIn(&editor, editor.EditDiag).adjusted(2, 2, -2, -2));
            editor.BtnCloseClick(editor.BtnClose);
        };
    };
    driver_.Answer(ui::IDYES);
    RunEditor(1, grab("editor-new.png"));
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(diagnosisInk, 0) << "a new application's diagnosis box is empty";
    const QImage fresh = picture;
    RunEditor(4, grab("editor-view.png"), 2);  // the arranged application sorts after the waiting one
    EXPECT_NE(picture, fresh) << "view shows the lower panel and the theatre's";
    EXPECT_GT(diagnosisInk, 20) << "the stored diagnosis is shown";
    RunEditor(2, grab("editor-modify.png"));
    EXPECT_GT(diagnosisInk, 20) << "the stored diagnosis is shown";
}

}  // namespace
