#include "data/dataset/db_errors.h"
#include "platform/ui/application.h"
#include "platform/ui/display.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

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

// Which window system Qt is started on, for the environments ward desktops
// have: X, Wayland with and without Qt's Wayland plugin, XWayland, none.
TEST(WindowSystem, QtStartsOnlyOnAPlatformThatWillAnswer)
{
    struct Case {
        const char* what;
        std::map<std::string, std::string> env;
        bool x;       // the X server answers
        bool plugin;  // Qt's Wayland plugin is installed
        bool socket;  // the compositor answers
        std::optional<std::string> platform;
    };
    const std::map<std::string, std::string> wayland = {{"WAYLAND_DISPLAY", "wayland-0"}};
    const std::map<std::string, std::string> session = {{"WAYLAND_DISPLAY", "wayland-0"},
                                                        {"XDG_SESSION_TYPE", "wayland"}};
    const std::map<std::string, std::string> xwayland = {
        {"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}};
    const Case cases[] = {
        {"X", {{"DISPLAY", ":0"}}, true, false, false, ""},
        {"X that does not answer", {{"DISPLAY", ":0"}}, false, false, false, std::nullopt},
        {"nothing at all", {}, false, false, false, std::nullopt},
        {"Wayland only, no plugin", wayland, false, false, true, std::nullopt},
        {"Wayland only, with the plugin: Qt is told", wayland, false, true, true, "wayland"},
        {"Wayland only, the compositor gone", wayland, false, true, false, std::nullopt},
        {"Wayland session, with the plugin", session, false, true, true, ""},
        {"Wayland session, no plugin and no X", session, false, false, true, std::nullopt},
        {"Wayland session, no plugin: XWayland", xwayland, true, false, true, ""},
        {"Wayland session on GNOME: X first", {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", "wayland"},
                                             {"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, false, true, true, "wayland"},
        {"wayland asked for, no plugin", {{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}}, true,
         false, true, std::nullopt},
        {"wayland-egl asked for, with the plugin", {{"QT_QPA_PLATFORM", "wayland-egl"}, {"WAYLAND_DISPLAY", "w"}},
         false, true, true, ""},
        {"a list falls back to xcb", {{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, true, false, false, ""},
        {"xcb asked for, X does not answer", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":0"}}, false, true, true,
         std::nullopt},
        {"offscreen with options", {{"QT_QPA_PLATFORM", "offscreen:size=800x600"}}, false, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui::DisplayProbe probe{[&c](const char* name) {
                                   const auto it = c.env.find(name);
                                   return it != c.env.end() ? it->second : std::string();
                               },
                               [&c] { return c.x; }, [&c] { return c.plugin; }, [&c] { return c.socket; }};
        EXPECT_EQ(ui::ChooseQtPlatform(probe), c.platform);
    }
}

// The probes of this process look where Qt looks.
TEST(WindowSystem, TheProbesFindThePluginAndTheCompositorsSocket)
{
    testenv::TempDir dir;
    const ui::DisplayProbe system = ui::SystemDisplay();
    {
        std::filesystem::create_directories(dir.Path() + "/platforms");
        dir.Write("platforms/libqwayland-generic.so", "");
        testenv::ScopedEnv plugins("QT_PLUGIN_PATH", dir.Path().c_str());
        EXPECT_TRUE(system.waylandPluginInstalled());
    }
    testenv::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
    testenv::ScopedEnv display("WAYLAND_DISPLAY", "wayland-test");
    EXPECT_FALSE(system.waylandCompositorAnswers()) << "no socket";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir.Path() + "/wayland-test";
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    EXPECT_TRUE(system.waylandCompositorAnswers());
    {
        testenv::ScopedEnv absolute("WAYLAND_DISPLAY", path.c_str());
        EXPECT_TRUE(system.waylandCompositorAnswers()) << "a path names the socket itself";
    }
    close(listener);
    EXPECT_FALSE(system.waylandCompositorAnswers()) << "nobody listens any more";
}

}  // namespace
