// The list window over a real HIS database, on SQLite (label ui) and on
// PostgreSQL (label server, skipped without OPEREDIT_PG_CONNECT): the
// statement it runs and the rows it lists, the buttons' states, the refusals,
// the date box's two messages, the colours of arranged rows.
#include "windows/OperationApply.h"

#include "windows/OperationNew.h"

#include "controls/colors.h"
#include "controls/datagrid.h"
#include "controls/dateedit.h"
#include "controls/navigator.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/locale_settings.h"
#include "platform/ui/application.h"
#include "platform/ui/widgets.h"
#include "tests/support/data_module.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>

#include <memory>
#include <string>
#include <vector>

namespace {

namespace loc = dataset::locale;
using testenv::Backend;

int Today()
{
    return loc::DayNumber(loc::Today());
}

std::string Day(int offset)
{
    return loc::FormatDate(loc::FromDayNumber(Today() + offset));
}

std::string IsoDay(int offset)
{
    return loc::FromDayNumber(Today() + offset).ToIso().substr(0, 10);
}

class ListWindow : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        ui::Application::Instance();
        db_ = std::make_unique<testenv::HisDatabase>(GetParam());
        if (!db_->Available()) {
            GTEST_SKIP() << "PostgreSQL test cluster not configured (OPEREDIT_PG_CONNECT)";
        }
        testenv::OpenDataModule();
    }
    void TearDown() override
    {
        if (form_ != nullptr) {
            form_->Free();
        }
        delete DMInteface;
        DMInteface = nullptr;
    }

    void AddRow(int serialNo, const std::string& when, const std::string& room = "NULL",
                const std::string& dept = "0301")
    {
        db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FDeptCode, FBedNo) "
                  "values (" + std::to_string(serialNo) + ", '" + when + "', ' 9:30', " + room + ", '病人" +
                  std::to_string(serialNo) + "', '" + dept + "', '" + std::to_string(serialNo) + "')");
    }

    TOperationApplyForm& Form()
    {
        if (form_ == nullptr) {
            form_ = new TOperationApplyForm();
        }
        return *form_;
    }

    // Sets the date box to today + offset and re-reads the list.
    void ShowDay(int offset)
    {
        Form().DateEdit1->SetDate(loc::FromDayNumber(Today() + offset));
        Form().RefreshList();
    }

    std::vector<std::string> Rows()
    {
        std::vector<std::string> names;
        TQuery& q = *DMInteface->QOperationPlan;
        for (q.First(); !q.Eof(); q.Next()) {
            names.push_back(DMInteface->QOperationPlanFName->AsString());
        }
        q.First();
        return names;
    }

    std::unique_ptr<testenv::HisDatabase> db_;
    TOperationApplyForm* form_ = nullptr;
};

TEST_P(ListWindow, StatementLinesEachEndInOneBlank)
{
    ShowDay(0);
    TStrings& sql = DMInteface->QOperationPlan->SQL();
    const std::vector<std::string> expected = {
        "select * from TOperationPlan ",
        "where FOperDate >= '" + Day(0) + "' ",
        "and FOperDate < '" + Day(1) + "' ",
        "and FDeptCode = '0301' ",
        "order by FOperDate,FOperRoom,FTime ",
    };
    ASSERT_EQ(sql.Count(), 5);
    for (int i = 0; i < sql.Count(); ++i) {
        EXPECT_EQ(sql[i], expected[i]);
    }

    Form().CheckOnly->setChecked(true);  // its click re-reads the list
    ASSERT_EQ(sql.Count(), 6);
    EXPECT_EQ(sql[4], "and FOperRoom <> '' ");
    EXPECT_EQ(sql[5], "order by FOperDate,FOperRoom,FTime ");
}

TEST_P(ListWindow, DayBoundsAreHalfOpenAndOnlyTheDepartmentIsListed)
{
    AddRow(1, IsoDay(0) + " 00:00:00");
    AddRow(2, IsoDay(0) + " 23:59:59");
    AddRow(3, IsoDay(1) + " 00:00:00");
    AddRow(4, IsoDay(0) + " 12:00:00", "NULL", "0302");
    AddRow(5, IsoDay(-1) + " 23:59:59");
    ShowDay(0);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"病人1", "病人2"}));
}

TEST_P(ListWindow, ADepartmentCodeWithAQuoteIsMatchedAsItStands)
{
    DMInteface->DepartmentCode = "03'01";
    AddRow(1, IsoDay(0) + " 08:00:00", "NULL", "03''01");
    AddRow(2, IsoDay(0) + " 09:00:00", "NULL", "0301");
    AddRow(3, IsoDay(0) + " 10:00:00", "NULL", "03");
    ShowDay(0);
    EXPECT_EQ(DMInteface->QOperationPlan->SQL()[3], "and FDeptCode = '03''01' ");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"病人1"}));
}

TEST_P(ListWindow, OnlyArrangedListsRowsWithAnOperatingRoom)
{
    AddRow(1, IsoDay(0) + " 00:00:00", "'3'");
    AddRow(2, IsoDay(0) + " 00:00:00");
    AddRow(3, IsoDay(0) + " 00:00:00", "''");
    ShowDay(0);
    EXPECT_EQ(Rows().size(), 3u);
    Form().CheckOnly->setChecked(true);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"病人1"}));
}

TEST_P(ListWindow, ButtonsFollowTheEditingWindowOfDays)
{
    AddRow(1, IsoDay(-4) + " 00:00:00");
    AddRow(2, IsoDay(-5) + " 00:00:00");
    AddRow(3, IsoDay(3) + " 00:00:00");
    struct Case {
        int offset;
        bool isNew, modify;
    };
    for (const Case c : {Case{-4, true, true}, Case{-5, false, false}, Case{3, true, true}, Case{1, true, false},
                         Case{-6, false, false}}) {
        SCOPED_TRACE(c.offset);
        ShowDay(c.offset);
        EXPECT_EQ(Form().BtnNew->isEnabled(), c.isNew);
        EXPECT_EQ(Form().BtnModify->isEnabled(), c.modify);
        EXPECT_EQ(Form().BtnDelete->isEnabled(), c.modify);
    }
}

TEST_P(ListWindow, ArrangedRowsAreRefusedAndEmptyListsDoNothing)
{
    // No editor step is queued: an editor opened here would trip the driver's watchdog.
    uitest::Driver driver;
    ShowDay(2);  // nothing planned
    Form().BtnModifyClick(Form().BtnModify);
    Form().BtnDeleteClick(Form().BtnDelete);
    Form().DBGrid1DblClick(Form().DBGrid1);
    EXPECT_TRUE(driver.Boxes().empty());

    AddRow(1, IsoDay(0) + " 08:00:00", "'2'");
    ShowDay(0);
    Form().BtnModifyClick(Form().BtnModify);
    Form().BtnDeleteClick(Form().BtnDelete);
    ASSERT_EQ(driver.Boxes().size(), 2u);
    EXPECT_EQ(driver.Boxes()[0].text, QString::fromUtf8("已安排手术，不能修改!"));
    EXPECT_EQ(driver.Boxes()[0].caption, QString::fromUtf8("信息"));
    EXPECT_EQ(driver.Boxes()[0].flags, 0x42040u);
    EXPECT_EQ(driver.Boxes()[1].text, QString::fromUtf8("已安排手术，不能删除!"));

    QString caption;
    driver.OnModal<TOperationNewForm>([&caption](TOperationNewForm& editor) {
        caption = editor.windowTitle();
        editor.BtnCloseClick(editor.BtnClose);
    });
    Form().DBGrid1DblClick(Form().DBGrid1);
    EXPECT_EQ(caption, QString::fromUtf8("查看")) << "an arranged row can still be viewed";
    EXPECT_EQ(OperationNewForm, nullptr) << "the editor is freed when it closes";
}

TEST_P(ListWindow, BadDateIsSilentOnEnterAndReportedOnLeaving)
{
    AddRow(1, IsoDay(0) + " 08:00:00");
    AddRow(2, IsoDay(0) + " 09:00:00");
    ShowDay(0);
    uitest::Driver driver;
    uitest::ShowActive(&Form());
    Form().DateEdit1->setFocus();
    uitest::Settle();
    Form().DateEdit1->setText(QStringLiteral("2026-13-45"));
    uitest::Enter(Form().DateEdit1);
    EXPECT_TRUE(driver.Boxes().empty());

    uitest::Tab();
    uitest::Settle();
    ASSERT_EQ(driver.Boxes().size(), 1u);
    EXPECT_EQ(driver.Boxes()[0].text, QString::fromUtf8("日期格式错误，请重新输入"));
    EXPECT_EQ(uitest::Focused(), Form().DateEdit1);

    // A click into the list is refused the same way and does not move the list either.
    TDataGrid& grid = *Form().DBGrid1;
    uitest::Click(grid.viewport(), grid.CellRect(1, 1).center());
    ASSERT_EQ(driver.Boxes().size(), 2u);
    EXPECT_EQ(driver.Boxes()[1].text, QString::fromUtf8("日期格式错误，请重新输入"));
    EXPECT_EQ(uitest::Focused(), Form().DateEdit1);
    EXPECT_EQ(DMInteface->QOperationPlan->RecNo(), 1);

    // RefreshList's own message differs: an ASCII comma and two blanks.
    Form().RefreshList();
    ASSERT_EQ(driver.Boxes().size(), 3u);
    EXPECT_EQ(driver.Boxes()[2].text, QString::fromUtf8("日期格式错误,请重新输入!  "));
}

TEST_P(ListWindow, EnterWithAValidDateRereadsTheList)
{
    AddRow(1, IsoDay(1) + " 08:00:00");
    ShowDay(0);
    uitest::ShowActive(&Form());
    Form().DateEdit1->setText(QString::fromStdString(Day(1)));
    uitest::Enter(Form().DateEdit1);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"病人1"}));
}

TEST_P(ListWindow, AOneDigitMonthTypedIntoTheDateBoxIsTheDateItShows)
{
    AddRow(1, "2024-01-05 08:00:00");
    ShowDay(0);
    uitest::Driver driver;
    uitest::ShowActive(&Form());
    TDateEdit& box = *Form().DateEdit1;
    box.setFocus();
    box.selectAll();
    uitest::Type(QStringLiteral("20241"), &box);
    uitest::Key(Qt::Key_Right, Qt::NoModifier, &box);  // over the month's second position
    uitest::Key(Qt::Key_Right, Qt::NoModifier, &box);  // and the separator
    uitest::Type(QStringLiteral("05"), &box);
    ASSERT_EQ(box.text(), QStringLiteral("2024-1 -05"));
    EXPECT_EQ(box.TextDate(), QDate(2024, 1, 5));
    uitest::Enter(&box);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"病人1"}));
    uitest::Tab();
    uitest::Settle();
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_P(ListWindow, DepartmentLabelAndGridColumns)
{
    uitest::Driver driver;
    driver.OnModal<TOperationApplyForm>([](TOperationApplyForm& form) {
        EXPECT_EQ(form.LabelDept->text(), QString::fromUtf8("申请科室: 普外科"));
        form.BtnCloseClick(form.BtnClose);
    });
    ShowDay(0);
    Form().ShowList();

    TDataGrid& grid = *Form().DBGrid1;
    ASSERT_EQ(grid.ColumnCount(), 28);
    EXPECT_EQ(grid.Column(0)->Width(), 44);
    EXPECT_EQ(grid.Column(27)->Width(), 3);
    EXPECT_EQ(grid.Column(13)->Title(), QString::fromUtf8("手术名称"));
    // A column without a width: the width of "0" in the grid's font times the display width, plus 4.
    const int zero = QFontMetrics(grid.Column(1)->Font()).horizontalAdvance(QLatin1Char('0'));
    EXPECT_EQ(grid.Column(1)->Width(), zero * 10 + 4);  // FOperDate
    EXPECT_EQ(grid.Column(15)->Width(), zero * 10 + 4);  // FOperator
}

TEST_P(ListWindow, ArrangedRowsAreDrawnGreenOnTheToolTipColour)
{
    AddRow(1, IsoDay(0) + " 08:00:00", "'1'");
    AddRow(2, IsoDay(0) + " 09:00:00");
    ShowDay(0);
    uitest::ShowActive(&Form());
    TDataGrid& grid = *Form().DBGrid1;
    grid.setFocus();  // the current (arranged) row is selected and still coloured
    uitest::Settle();
    const QImage image = uitest::Grab(grid.viewport());
    const QRect arranged = grid.CellRect(1, 0);
    const QRect waiting = grid.CellRect(1, 1);
    EXPECT_EQ(QColor(image.pixel(arranged.right() - 2, arranged.top() + 1)), clInfoBk());
    EXPECT_NE(QColor(image.pixel(waiting.right() - 2, waiting.top() + 1)), clInfoBk());
    // The arranged row's text is green (smoothed glyph edges blend into the background).
    auto greenText = [&](const QRect& cell) {
        for (int x = cell.left(); x < cell.right(); ++x) {
            for (int y = cell.top(); y < cell.bottom(); ++y) {
                const QColor c(image.pixel(x, y));
                if (c.green() > c.red() + 60 && c.green() > c.blue() + 60) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(greenText(arranged));
    EXPECT_FALSE(greenText(waiting));
}

TEST_P(ListWindow, OpensInTheDateBoxAndTabsThroughTheWindowInItsOrder)
{
    AddRow(1, IsoDay(0) + " 08:00:00");  // modify and delete enabled
    ShowDay(0);
    uitest::Driver driver;
    std::vector<QString> forward;
    std::vector<QString> backward;
    driver.OnModal<TOperationApplyForm>([&](TOperationApplyForm& form) {
        uitest::Settle();
        auto focused = [] { return uitest::Focused() != nullptr ? uitest::Focused()->objectName() : QString(); };
        forward.push_back(focused());
        for (int i = 0; i < 3; ++i) {
            uitest::Tab();
            forward.push_back(focused());
        }
        // The grid keeps Tab for its columns; Ctrl+Tab leaves it.
        uitest::Tab();
        forward.push_back(focused());
        uitest::Key(Qt::Key_Tab, Qt::ControlModifier);
        forward.push_back(focused());
        for (int i = 0; i < 4; ++i) {
            uitest::Tab();
            forward.push_back(focused());
        }
        // Backwards from the navigator into the grid, and out of it again.
        form.DBNavigator1->setFocus();
        uitest::ShiftTab();
        backward.push_back(focused());
        uitest::Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        backward.push_back(focused());
        form.BtnCloseClick(form.BtnClose);
    });
    Form().ShowList();
    const std::vector<QString> expected = {"DateEdit1", "BtnClose",     "CheckOnly", "DBGrid1",   "DBGrid1",
                                           "DBNavigator1", "BtnNew",   "BtnModify", "BtnDelete", "DateEdit1"};
    EXPECT_EQ(forward, expected);
    EXPECT_EQ(backward, (std::vector<QString>{"DBGrid1", "CheckOnly"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, ListWindow, ::testing::Values(Backend::HIS_TEST_BACKEND),
                         [](const auto& info) { return testenv::BackendName(info.param); });

}  // namespace
