#include "entry/commoninteface.h"

#include "controls/dbedit.h"
#include "data/dataset/database.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/query.h"
#include "platform/ui/messagebox.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>

namespace {

TEST(MessageBoxesTest, CaptionsAndFlagsAreFixedAndTaskModalOnTop)
{
    uitest::Driver driver;
    ShowInformation(std::string("日期格式错误,请重新输入!  "));
    driver.Answer(ui::IDYES).Answer(ui::IDNO);
    EXPECT_TRUE(AskConfirmation("请确认删除当前手术申请?"));
    EXPECT_FALSE(AskConfirmation(QString::fromUtf8("数据没有存盘，不保存退出吗?")));
    driver.Answer(ui::IDOK);
    EXPECT_EQ(ShowMessageBox(std::string("x"), std::string("y"), 0x10), ui::IDOK);

    ASSERT_EQ(driver.Boxes().size(), 4u);
    EXPECT_EQ(driver.Boxes()[0].text, QString::fromUtf8("日期格式错误,请重新输入!  "));
    EXPECT_EQ(driver.Boxes()[0].caption, QString::fromUtf8("信息"));
    EXPECT_EQ(driver.Boxes()[0].flags, 0x42040u);
    EXPECT_EQ(driver.Boxes()[1].caption, QString::fromUtf8("确认"));
    EXPECT_EQ(driver.Boxes()[1].flags, 0x42124u);
    EXPECT_EQ(driver.Boxes()[2].text, QString::fromUtf8("数据没有存盘，不保存退出吗?"));
    EXPECT_EQ(driver.Boxes()[3].flags, 0x42010u);
}

TEST(MessageBoxesTest, AskConfirmationIsOnlyTrueForYes)
{
    uitest::Driver driver;
    driver.Answer(ui::IDOK).Answer(ui::IDCANCEL).Answer(ui::IDNO);
    EXPECT_FALSE(AskConfirmation("?"));
    EXPECT_FALSE(AskConfirmation("?"));
    EXPECT_FALSE(AskConfirmation("?"));
}

TEST(MessageBoxesTest, EnterInTheRealQuestionBoxChoosesNo)
{
    uitest::Driver driver;
    driver.UseRealBoxes();
    QString text;
    QString defaultButton;
    driver.OnModal<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        defaultButton = box.defaultButton() != nullptr ? box.defaultButton()->text() : QString();
        uitest::Enter();
    });
    EXPECT_FALSE(AskConfirmation("请确认删除当前手术申请?"));
    EXPECT_EQ(text, QString::fromUtf8("请确认删除当前手术申请?"));
    EXPECT_EQ(defaultButton, QString::fromUtf8("否(&N)"));

    driver.OnModal<QMessageBox>([](QMessageBox& box) { uitest::Click(box.button(QMessageBox::Yes)); });
    EXPECT_TRUE(AskConfirmation("?"));
}

// A query over the module's database with an edit bound to its first column.
class OpenQuerySQLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.Exec("insert into TDictBloodTypeA (FNo, FName) values (1, 'A')");
        db.Exec("insert into TDictBloodTypeA (FNo, FName) values (2, 'B')");
        db.Exec("insert into TDictAnaesthesia (FNo, FName) values (1, '全麻')");
        database = new TDatabase(&owner);
        database->SetAliasName("HIS");
        database->SetDatabaseName("HISDb");
        database->SetLoginPrompt(false);
        database->Params().SetValues("USER NAME", "spemr");
        database->Params().SetValues("PASSWORD", "kvrt3816#");
        query = new TQuery(&owner);
        query->SetName("QDict");
        query->SetDatabaseName("HISDb");
        source.SetDataSet(query);
        edit.SetDataSource(&source);
        edit.SetDataField("FName");
    }

    testenv::HisDatabase db{testenv::Backend::Sqlite};
    TComponent owner;
    TDatabase* database = nullptr;
    TQuery* query = nullptr;
    TDataSource source;
    TDBEdit edit;
};

TEST_F(OpenQuerySQLTest, ReplacesTheRowsOfAnOpenQuery)
{
    OpenQuerySQL(*query, "select * from TDictBloodTypeA Order by FNo ");
    ASSERT_TRUE(query->Active());
    EXPECT_EQ(edit.text(), QStringLiteral("A"));

    OpenQuerySQL(*query, "select * from TDictAnaesthesia Order by FNo ");
    ASSERT_EQ(query->SQL().Count(), 1);
    EXPECT_EQ(query->SQL()[0], "select * from TDictAnaesthesia Order by FNo ");
    EXPECT_TRUE(query->Active());
    EXPECT_FALSE(query->ControlsDisabled());
    EXPECT_EQ(query->FieldByName("FName")->AsString(), "全麻");
    EXPECT_EQ(edit.text(), QString::fromUtf8("全麻"));
    query->Next();
    EXPECT_TRUE(query->Eof());
}

TEST_F(OpenQuerySQLTest, RefusedStatementLeavesTheQueryClosedWithControlsEnabled)
{
    OpenQuerySQL(*query, "select * from TDictBloodTypeA Order by FNo ");
    EXPECT_THROW(OpenQuerySQL(*query, "select * from TNoSuchTable "), EDatabaseError);
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(query->ControlsDisabled());
    EXPECT_EQ(edit.text(), QString());

    // The query works again with the next statement.
    OpenQuerySQL(*query, "select * from TDictBloodTypeA Order by FNo ");
    EXPECT_EQ(edit.text(), QStringLiteral("A"));
}

}  // namespace
