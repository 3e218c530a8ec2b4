#include "data/dataset/db_errors.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <stdexcept>

namespace {

// Through both ways an error reaches the box: an exception handed to the
// application, and the query layer's error box.
TEST(ErrorBoxTest, FullStopOnlyAfterCharactersSortingAfterIt)
{
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        {"Update failed", "Update failed."},
        {"记录不存在", "记录不存在."},
        {"完成。", "完成。."},  // the Chinese full stop sorts after '.'
        {"𠀀", "𠀀."},         // a character beyond 16 bits
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"a-", "a-"},  // '-' is just below '.'
        {"a/", "a/."},  // '/' just above
        {"必须只能有一条记录!!!  ", "必须只能有一条记录!!!  "},
        {"version 2", "version 2."},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        uitest::Driver driver;
        ui::Application::Instance().HandleException(std::make_exception_ptr(std::runtime_error(c.message)));
        dataset::ShowErrorBox(c.message);
        EXPECT_EQ(driver.BoxTexts(), (QStringList{QString::fromUtf8(c.shown), QString::fromUtf8(c.shown)}));
    }
}

TEST(ErrorBoxTest, ShowsTheErrorWithStopIconCaptionedWithTheTitle)
{
    uitest::Driver driver;
    auto& app = ui::Application::Instance();
    app.HandleException(std::make_exception_ptr(std::runtime_error("Update failed")));
    ASSERT_EQ(driver.Boxes().size(), 1u);
    EXPECT_EQ(driver.Boxes()[0].text, QStringLiteral("Update failed."));
    EXPECT_EQ(driver.Boxes()[0].caption, app.Title());
    EXPECT_EQ(driver.Boxes()[0].flags, ui::MB_OK | ui::MB_ICONSTOP);
}

TEST(ErrorBoxTest, SilentAbortShowsNothing)
{
    uitest::Driver driver;
    ui::Application::Instance().HandleException(std::make_exception_ptr(EAbort()));
    ui::Guarded([] { dataset::Abort(); });
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST(ErrorBoxTest, QueryLayerShowsItsErrorsInTheSameBox)
{
    uitest::Driver driver;
    dataset::ShowErrorBox("Update failed");
    ASSERT_EQ(driver.Boxes().size(), 1u);
    EXPECT_EQ(driver.Boxes()[0].text, QStringLiteral("Update failed."));
    EXPECT_EQ(driver.Boxes()[0].caption, ui::Application::Instance().Title());
    EXPECT_EQ(driver.Boxes()[0].flags, ui::MB_OK | ui::MB_ICONSTOP);
}

TEST(GuardTest, ErrorsOfSignalHandlersAndTimersReachTheErrorBox)
{
    uitest::Driver driver;
    ui::Button button(nullptr, QStringLiteral("Go"));
    button.OnClick = [](QWidget*) { throw std::runtime_error("Button failed"); };
    button.click();

    QObject context;
    bool ran = false;
    QTimer::singleShot(0, &context, [&] {
        ui::Guarded([&] {
            ran = true;
            throw std::runtime_error("Timer failed");
        });
    });
    uitest::Settle();
    EXPECT_TRUE(ran);
    EXPECT_EQ(driver.BoxTexts(), (QStringList{"Button failed.", "Timer failed."}));
}

TEST(MessageBoxTest, ResponderSeesEveryBoxAndAnswersIt)
{
    uitest::Driver driver;
    driver.Answer(ui::IDYES);
    EXPECT_EQ(ui::MessageBox(QStringLiteral("Q?"), QStringLiteral("C"), 0x42124), ui::IDYES);
    // Unanswered: the default button, as Enter would choose it.
    EXPECT_EQ(ui::MessageBox(QStringLiteral("Q?"), QStringLiteral("C"), 0x42124), ui::IDNO);
    EXPECT_EQ(ui::MessageBox(QStringLiteral("Q?"), QStringLiteral("C"), 0x42024), ui::IDYES);
    EXPECT_EQ(ui::MessageBox(QStringLiteral("I"), QStringLiteral("C"), 0x42040), ui::IDOK);
    ASSERT_EQ(driver.Boxes().size(), 4u);
    EXPECT_EQ(driver.Boxes()[3].flags, 0x42040u);
}

TEST(MessageBoxTest, RealBoxIsModalOnTopWithChineseButtonsAndItsDefault)
{
    uitest::Driver driver;
    driver.UseRealBoxes();
    QString title;
    QStringList buttons;
    bool onTop = false;
    Qt::WindowModality modality = Qt::NonModal;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    driver.OnModal<QMessageBox>([&](QMessageBox& box) {
        title = box.windowTitle();
        for (auto* button : box.buttons()) {
            buttons << button->text();
        }
        onTop = box.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        modality = box.windowModality();
        icon = box.icon();
        EXPECT_EQ(box.parent(), nullptr);
        // As on Windows, a Yes/No box cannot be escaped or closed.
        uitest::Escape();
        box.close();
        uitest::Settle();
        EXPECT_TRUE(box.isVisible());
        uitest::Enter();
    });
    const int answer = ui::MessageBox(QStringLiteral("Delete?"), QString::fromUtf8("确认"),
                                      ui::MB_YESNO | ui::MB_ICONQUESTION | ui::MB_DEFBUTTON2 | 0x42000);
    EXPECT_EQ(answer, ui::IDNO);
    EXPECT_EQ(title, QString::fromUtf8("确认"));
    EXPECT_TRUE(buttons.contains(QString::fromUtf8("是(&Y)")));
    EXPECT_TRUE(buttons.contains(QString::fromUtf8("否(&N)")));
    EXPECT_TRUE(onTop);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_EQ(icon, QMessageBox::Question);
}

}  // namespace
