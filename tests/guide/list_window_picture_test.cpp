// The list window as the ward sees it after logging in: a whole call over
// the demo database, pictured for the ward guide.
#include "db/seed/generator.h"
#include "tests/e2e/library.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>

#include <dlfcn.h>

#include <sstream>
#include <string>

namespace {

class ListWindowPicture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lib_.Loaded()) << dlerror();
        std::ostringstream demo;
        seed::WriteDemo(demo, seed::Today());
        testenv::CreateSqliteFile(dir_.Path() + "/his.db", testenv::SourceFile("db/sqlite/schema.sql") + demo.str());
        dir_.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + dir_.Path() + "/his.db\n");
    }

    // Calls operedit for the department, and grabs the list's grid (and the
    // whole window into `file` when one is named) before closing it.
    QImage CallAndGrabGrid(const std::string& deptCode, const char* file = nullptr)
    {
        QImage grid;
        driver_.OnModalNamed("OperationApplyForm", [&](QWidget* list) {
            uitest::Settle();
            if (file != nullptr) {
                EXPECT_FALSE(uitest::SaveImage(list, QString::fromLatin1(file)).isEmpty());
            }
            auto* dept = list->findChild<QLabel*>("LabelDept");
            EXPECT_TRUE(dept != nullptr && dept->text().contains(QString::fromUtf8("普外科")));
            QWidget* gridWidget = list->findChild<QWidget*>("DBGrid1");
            if (gridWidget != nullptr) {
                grid = uitest::Grab(gridWidget);
            }
            uitest::Click(list->findChild<QWidget*>("BtnClose"));
        });
        EXPECT_STREQ(lib_.CallUtf8("李医生", deptCode, "普外科"), "");
        EXPECT_EQ(driver_.PendingSteps(), 0u);
        return grid;
    }

    testenv::TempDir dir_;
    testenv::ScopedEnv aliases_{"HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str()};
    e2e::Library lib_;
    uitest::Driver driver_;
};

TEST_F(ListWindowPicture, ShowsTheDaysApplicationsOfTheDepartment)
{
    // A department without applications paints the bare grid; the demo's
    // 普外科 has applications every day, and the picture must show them.
    const QImage empty = CallAndGrabGrid("0399");
    const QImage today = CallAndGrabGrid("0301", "list-window.png");
    ASSERT_FALSE(empty.isNull());
    ASSERT_EQ(today.size(), empty.size());
    EXPECT_NE(today, empty) << "the grid of 0301 shows no application";
}

}  // namespace
