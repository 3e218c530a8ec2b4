#include "controls/dateedit.h"
#include "data/dataset/locale_settings.h"
#include "platform/ui/events.h"
#include "tests/controls/context_menu.h"
#include "tests/controls/plan_data.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QTableView>
#include <QToolButton>

#include <vector>

namespace {

using controlstest::PlanData;
using controlstest::TestForm;

QDate Today()
{
    const hisdb::DateTime today = dataset::locale::Today();
    return {today.year, today.month, today.day};
}

QDate ToQDate(const hisdb::DateTime& value)
{
    return {value.year, value.month, value.day};
}

QString Iso(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

// A key of the numeric keypad (the driver's keys carry no keypad flag).
void Keypad(QWidget* to, int key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeypadModifier, text);
    QApplication::sendEvent(to, &press);
}

void Send(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(to, &press);
}

class DateEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        box = new TDateEdit(&form);
        ui::Place(box, 73, 11, 91, 20);
    }

    uitest::Driver driver;
    TestForm form;
    TDateEdit* box = nullptr;
};

TEST_F(DateEditTest, DefaultTodayFillsANewBoxAndStandsInForTextThatIsNoDate)
{
    box->SetDefaultToday(true);
    uitest::ShowActive(&form);
    EXPECT_EQ(box->text(), Iso(Today()));
    EXPECT_EQ(box->DateFormat(), QStringLiteral("YYYY-MM-DD"));

    box->clear();
    EXPECT_EQ(ToQDate(box->Date()), Today());
    box->setText(QStringLiteral("2026-02-30"));
    EXPECT_EQ(ToQDate(box->Date()), Today());

    box->SetDefaultToday(false);
    EXPECT_EQ(box->Date(), hisdb::DateTime{});  // the null date
    box->setText(QStringLiteral("    -  -  "));
    EXPECT_EQ(box->Date(), hisdb::DateTime{});
}

TEST_F(DateEditTest, SetDateWritesTheFormatAndTellsWhetherTheDateChanged)
{
    uitest::ShowActive(&form);
    box->SetDate(hisdb::DateTime{2026, 3, 7, 14, 30});
    EXPECT_EQ(box->text(), QStringLiteral("2026-03-07"));
    EXPECT_TRUE(box->Modified());
    box->SetDate(hisdb::DateTime{2026, 3, 7});
    EXPECT_FALSE(box->Modified());
    box->SetDate(hisdb::DateTime{});
    EXPECT_EQ(box->TextDate(), QDate());
    EXPECT_EQ(box->text().trimmed(), QStringLiteral("-  -"));
    box->SetDefaultToday(true);
    box->SetDate(hisdb::DateTime{});
    EXPECT_EQ(box->text(), Iso(Today()));
}

TEST_F(DateEditTest, FormatAndMaskFollowTheWorkstationSettings)
{
    TDateEdit* dayFirst = nullptr;
    {
        const testenv::ScopedEnv format("OPEREDIT_SHORTDATE", "d/M/yy");
        const testenv::ScopedEnv separator("OPEREDIT_DATESEP", ".");
        dataset::locale::Reload();
        dayFirst = new TDateEdit(&form);
    }
    dataset::locale::Reload();  // the box keeps the settings it was made with
    EXPECT_EQ(dayFirst->DateFormat(), QStringLiteral("DD.MM.YY"));
    EXPECT_EQ(dayFirst->EditMaskText(), QStringLiteral("!99/99/99;1; "));
    dayFirst->setText(QStringLiteral("01.03.49"));
    EXPECT_EQ(dayFirst->TextDate(), QDate(2049, 3, 1));
    dayFirst->setText(QStringLiteral("01.03.50"));
    EXPECT_EQ(dayFirst->TextDate(), QDate(1950, 3, 1));
    dayFirst->setText(QStringLiteral("31.04.50"));
    EXPECT_EQ(dayFirst->TextDate(), QDate());
    dayFirst->setText(QStringLiteral("01.03.50"));
    dayFirst->SetYearDigits(dyFour);
    EXPECT_EQ(dayFirst->DateFormat(), QStringLiteral("DD.MM.YYYY"));
    EXPECT_EQ(dayFirst->text(), QStringLiteral("01.03.1950"));
}

// The list window reads its box's raw text with the workstation's date
// routine; the box must read it the same way.
TEST_F(DateEditTest, TheBoxReadsTypedDatesAsTheListWindowDoes)
{
    struct Case {
        const char* text;
        QDate date;
    };
    const Case cases[] = {
        {"2024-01-05", QDate(2024, 1, 5)},
        {"2024-1 -05", QDate(2024, 1, 5)},  // a one-digit month in the two-digit field
        {"2024- 1- 5", QDate(2024, 1, 5)},
        {"24  -01-05", QDate(2024, 1, 5)},
        {"2024-0 1-05", QDate()},  // a blank inside a number is no digit
        {"2024-01-0 5", QDate()},
        {"20 24-01-05", QDate()},
        {"202 -01-05", QDate()},  // a slip, not the year 202
        {"2024-02-30", QDate()},
        {"    -  -  ", QDate()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        box->setText(QString::fromLatin1(c.text));
        EXPECT_EQ(box->TextDate(), c.date);
        hisdb::DateTime listDate;
        const bool listTakesIt = dataset::locale::ParseDate(c.text, listDate);
        EXPECT_EQ(listTakesIt, c.date.isValid());
        if (listTakesIt) {
            EXPECT_EQ(ToQDate(listDate), c.date);
        }
    }
}

TEST_F(DateEditTest, ACharacterTheMaskRefusesLeavesTheSelectedDateAlone)
{
    uitest::ShowActive(&form);
    box->setFocus();
    box->SetDate(hisdb::DateTime{2026, 3, 7});
    box->selectAll();
    const int beeps = ui::BeepCount();
    uitest::Type(QStringLiteral(" "), box);
    uitest::Type(QStringLiteral("x"), box);
    EXPECT_EQ(ui::BeepCount(), beeps + 2);
    EXPECT_EQ(box->text(), QStringLiteral("2026-03-07"));
    EXPECT_EQ(box->selectedText(), box->text());
    uitest::Type(QStringLiteral("1"), box);  // a digit still replaces the selection
    EXPECT_EQ(box->text(), QStringLiteral("1   -  -  "));
}

TEST_F(DateEditTest, KeysStepTheDateAndTheMainKeyboardSignsAreSwallowed)
{
    box->SetDefaultToday(true);
    uitest::ShowActive(&form);
    box->setFocus();
    box->clear();
    Keypad(box, Qt::Key_Plus, QStringLiteral("+"));
    EXPECT_EQ(box->TextDate(), Today().addDays(1));
    Keypad(box, Qt::Key_Minus, QStringLiteral("-"));
    Keypad(box, Qt::Key_Minus, QStringLiteral("-"));
    EXPECT_EQ(box->TextDate(), Today().addDays(-1));

    const QString before = box->text();
    Send(box, Qt::Key_Plus, Qt::NoModifier, QStringLiteral("+"));
    Send(box, Qt::Key_Minus, Qt::NoModifier, QStringLiteral("-"));
    EXPECT_EQ(box->text(), before);

    uitest::Type(QStringLiteral("t"), box);
    EXPECT_EQ(box->TextDate(), Today());

    // Digits overwrite positions of the mask; the separators stay.
    box->setCursorPosition(0);
    uitest::Type(QStringLiteral("20240229"), box);
    EXPECT_EQ(box->text(), QStringLiteral("2024-02-29"));
}

TEST_F(DateEditTest, CalendarOpensOnTodaysMonthForAnEmptyBoxAndTakesAChosenDay)
{
    uitest::ShowActive(&form);
    box->setFocus();
    ASSERT_EQ(box->TextDate(), QDate());
    uitest::Key(Qt::Key_Down, Qt::AltModifier, box);
    ASSERT_TRUE(box->PopupVisible());
    TPopupCalendar* popup = box->Popup();
    EXPECT_EQ(popup->Date(), Today());
    EXPECT_EQ(popup->Title(), QLocale().monthName(Today().month()) + QStringLiteral(", ") +
                                  QString::number(Today().year()));
    EXPECT_GE(popup->width(), 180);
    EXPECT_GE(popup->height(), 120);
    const char* hints[] = {"Previous Year", "Previous Month", "Next Month", "Next Year"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(popup->HeadButton(i)->toolTip(), QString::fromLatin1(hints[i]));
    }

    Send(popup, Qt::Key_Escape);
    EXPECT_FALSE(box->PopupVisible());
    EXPECT_EQ(box->TextDate(), QDate());

    // The click key works as the button does while the calendar is open too: it closes it.
    int clicks = 0;
    box->OnButtonClick = [&](QWidget*) { ++clicks; };
    uitest::Key(Qt::Key_Down, Qt::AltModifier, box);
    ASSERT_TRUE(box->PopupVisible());
    Send(popup, Qt::Key_Right);
    Send(popup, Qt::Key_Down, Qt::AltModifier);
    EXPECT_FALSE(box->PopupVisible());
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(box->TextDate(), QDate()) << "closing by the click key takes no date";

    box->DropDown();
    popup->SetDate(QDate(2026, 5, 20));
    uitest::Settle();
    Send(popup, Qt::Key_Return);
    EXPECT_FALSE(box->PopupVisible());
    EXPECT_EQ(box->text(), QStringLiteral("2026-05-20"));

    uitest::Click(box->Button());
    ASSERT_TRUE(box->PopupVisible());
    EXPECT_EQ(popup->Date(), QDate(2026, 5, 20));  // opens on the box's date
    popup->HeadButton(2)->click();
    EXPECT_EQ(popup->Date(), QDate(2026, 6, 20));

    // A click on the 15th takes it.
    auto* view = popup->Calendar()->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    QModelIndex fifteenth;
    for (int row = 0; row < view->model()->rowCount() && !fifteenth.isValid(); ++row) {
        for (int col = 0; col < view->model()->columnCount(); ++col) {
            const QModelIndex index = view->model()->index(row, col);
            if (index.data().toString() == QStringLiteral("15")) {
                fifteenth = index;
                break;
            }
        }
    }
    ASSERT_TRUE(fifteenth.isValid());
    uitest::Click(view->viewport(), view->visualRect(fifteenth).center());
    EXPECT_FALSE(box->PopupVisible());
    EXPECT_EQ(box->text(), QStringLiteral("2026-06-15"));
}

TEST_F(DateEditTest, CalendarKeysMoveByDayWeekMonthAndYear)
{
    uitest::ShowActive(&form);
    box->SetDate(hisdb::DateTime{2024, 3, 1});
    box->DropDown();
    TPopupCalendar* popup = box->Popup();
    struct Step {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        QDate expected;
    };
    const Step steps[] = {
        {Qt::Key_Up, Qt::NoModifier, {}, QDate(2024, 3, 1)},  // a week back leaves the month: nothing
        {Qt::Key_Left, Qt::NoModifier, {}, QDate(2024, 2, 29)},
        {Qt::Key_Down, Qt::NoModifier, {}, QDate(2024, 2, 29)},  // a week on leaves February: nothing
        {Qt::Key_Up, Qt::NoModifier, {}, QDate(2024, 2, 22)},
        {Qt::Key_Plus, Qt::KeypadModifier, QStringLiteral("+"), QDate(2024, 2, 23)},
        {Qt::Key_Minus, Qt::KeypadModifier, QStringLiteral("-"), QDate(2024, 2, 22)},
        {Qt::Key_Right, Qt::NoModifier, {}, QDate(2024, 2, 23)},
        {Qt::Key_PageUp, Qt::NoModifier, {}, QDate(2024, 1, 23)},
        {Qt::Key_PageDown, Qt::NoModifier, {}, QDate(2024, 2, 23)},
        {Qt::Key_PageDown, Qt::ControlModifier, {}, QDate(2025, 2, 23)},
        {Qt::Key_PageUp, Qt::ControlModifier, {}, QDate(2024, 2, 23)},
        {Qt::Key_T, Qt::NoModifier, QStringLiteral("t"), Today()},
    };
    for (const Step& step : steps) {
        Send(popup, step.key, step.modifiers, step.text);
        EXPECT_EQ(popup->Date(), step.expected) << "key " << step.key;
    }
    // The last day of a longer month, a month on: the shorter month's last day.
    popup->SetDate(QDate(2024, 1, 31));
    Send(popup, Qt::Key_PageDown);
    EXPECT_EQ(popup->Date(), QDate(2024, 2, 29));
    Send(popup, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(popup->Date(), QDate(2025, 2, 28));
    EXPECT_EQ(popup->Title(), QLocale().monthName(2) + QStringLiteral(", 2025"));
    Send(popup, Qt::Key_Escape);
}

// The editor's box over FOperDate of an application.
class DBDateEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.Insert(1, "张三", false, "2026-12-08 14:30:00.000");
        data.query->Open();
        box = new TDBDateEdit(&form);
        ui::Place(box, 10, 10, 100, 20);
        box->SetDataSource(data.source);
        box->SetDataField("FOperDate");
        uitest::ShowActive(&form);
        box->setFocus();
    }

    TField* OperDate() const { return data.query->FieldByName("FOperDate"); }

    uitest::Driver driver;
    PlanData data;
    TestForm form;
    TDBDateEdit* box = nullptr;
};

TEST_F(DBDateEditTest, ChangingTheDateKeepsTheTimeOfDay)
{
    EXPECT_EQ(box->text(), QStringLiteral("2026-12-08"));
    EXPECT_TRUE(box->isReadOnly());  // while browsing

    box->setCursorPosition(8);
    uitest::Type(QStringLiteral("11"), box);
    EXPECT_EQ(data.query->State(), dsEdit);
    EXPECT_EQ(box->text(), QStringLiteral("2026-12-11"));
    form.other->setFocus();
    EXPECT_EQ(OperDate()->AsDateTime(), (hisdb::DateTime{2026, 12, 11, 14, 30}));
}

TEST_F(DBDateEditTest, TextThatIsNoDateStoresNull)
{
    box->setCursorPosition(5);
    uitest::Type(QStringLiteral("13"), box);
    EXPECT_EQ(box->text(), QStringLiteral("2026-13-08"));
    form.other->setFocus();
    EXPECT_TRUE(OperDate()->IsNull());
    EXPECT_EQ(data.query->State(), dsEdit);
}

TEST_F(DBDateEditTest, OnlyDigitsAndTheSeparatorAreTakenAndEscapeRestoresTheField)
{
    const int beeps = ui::BeepCount();
    uitest::Type(QStringLiteral("x"), box);
    EXPECT_EQ(ui::BeepCount(), beeps + 1);
    EXPECT_EQ(data.query->State(), dsBrowse);

    box->setCursorPosition(0);
    uitest::Type(QStringLiteral("1999"), box);
    EXPECT_EQ(box->text(), QStringLiteral("1999-12-08"));
    uitest::Escape(box);
    EXPECT_EQ(box->text(), QStringLiteral("2026-12-08"));
    EXPECT_EQ(box->selectedText(), box->text());
    form.other->setFocus();
    EXPECT_EQ(OperDate()->AsDateTime(), (hisdb::DateTime{2026, 12, 8, 14, 30}));
}

TEST_F(DBDateEditTest, AKeyTheBoxRefusesLeavesTheRecordBrowsing)
{
    const int beeps = ui::BeepCount();
    box->setCursorPosition(static_cast<int>(box->text().size()));
    uitest::Type(QStringLiteral("5"), box);  // no position left for it
    box->selectAll();
    uitest::Type(QStringLiteral(" "), box);
    EXPECT_EQ(ui::BeepCount(), beeps + 2);
    EXPECT_EQ(data.query->State(), dsBrowse);
    EXPECT_EQ(box->text(), QStringLiteral("2026-12-08"));
    EXPECT_EQ(box->selectedText(), box->text());
}

TEST_F(DBDateEditTest, TheEditMenuPastesThroughTheMaskOnceTheEditHasBegun)
{
    QApplication::clipboard()->setText(QStringLiteral("2027-01-02 and more"));
    box->selectAll();
    controlstest::ChooseFromContextMenu(box, QStringLiteral("edit-paste"));
    EXPECT_EQ(data.query->State(), dsEdit);
    EXPECT_EQ(box->text(), QStringLiteral("2027-01-02"));
    form.other->setFocus();
    EXPECT_EQ(OperDate()->AsDateTime(), (hisdb::DateTime{2027, 1, 2, 14, 30}));
    EXPECT_TRUE(driver.Boxes().empty());
}

// The editor's box: 89 x 21 pixels, its key-press handler sees Enter.
TEST_F(DBDateEditTest, TheEditorsBoxShowsTheWholeDateAndPassesEnterToItsHandler)
{
    box->setFont(ui::SongFont(12));
    ui::Place(box, 83, 11, 89, 21);
    box->setCursorPosition(static_cast<int>(box->text().size()));
    const int end = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    box->setCursorPosition(0);
    const int start = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    EXPECT_EQ(end - start, QFontMetrics(box->font()).horizontalAdvance(box->text())) << "the date scrolled";
    EXPECT_LT(end, box->Button()->x());

    std::vector<int> pressed;
    ui::Events(box).OnKeyPress = [&](QWidget*, QChar& key) { pressed.push_back(key.unicode()); };
    uitest::Enter(box);
    EXPECT_EQ(pressed, (std::vector<int>{13}));
}

TEST_F(DBDateEditTest, ADateFromTheCalendarEditsTheRecordAndIsWrittenAtOnce)
{
    uitest::Key(Qt::Key_Down, Qt::AltModifier, box);
    ASSERT_TRUE(box->PopupVisible());
    Send(box->Popup(), Qt::Key_Right);
    Send(box->Popup(), Qt::Key_Return);
    EXPECT_EQ(data.query->State(), dsEdit);
    EXPECT_EQ(OperDate()->AsDateTime(), (hisdb::DateTime{2026, 12, 9, 14, 30}));
    EXPECT_EQ(box->text(), QStringLiteral("2026-12-09"));
}

}  // namespace
