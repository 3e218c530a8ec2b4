#include "platform/ui/application.h"

#include "platform/ui/messagebox.h"

#include <QApplication>

#include <string>

namespace ui {
namespace {

// QApplication keeps references to both for its whole life.
int g_argc = 1;
char g_arg0[] = "operedit";
char g_platformOption[] = "-platform";
std::string g_platform;
char* g_argv[] = {g_arg0, nullptr, nullptr, nullptr};

// The last guard: an error that escaped every handler of ours still never
// reaches Qt's event loop.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            Application::Instance().HandleException(std::current_exception());
            return false;
        }
    }
};

}  // namespace

Application::Application()
{
    if (QApplication::instance() == nullptr) {
        if (!g_platform.empty()) {
            g_argv[1] = g_platformOption;
            g_argv[2] = g_platform.data();
            g_argc = 3;
        }
        // Kept for the process: a second call of the module reuses it.
        new GuardedApplication(g_argc, g_argv);
    }
    // The library's name, as the old platform titled a library's application.
    title_ = QStringLiteral("operedit");
}

namespace {

Application::SilentErrors& Silent()
{
    static Application::SilentErrors silent;
    return silent;
}

}  // namespace

void Application::SetSilentErrors(SilentErrors silent)
{
    Silent() = std::move(silent);
}

void Application::SetPlatform(const std::string& platform)
{
    g_platform = platform;
}

Application& Application::Instance()
{
    static Application application;
    return application;
}

QApplication* Application::Qt() const
{
    return qobject_cast<QApplication*>(QApplication::instance());
}

QWidget* WithApplication(QWidget* parent)
{
    Application::Instance();
    return parent;
}

bool IsSilentAbort(std::exception_ptr error)
{
    return Silent() && Silent()(error);
}

void Application::ShowErrorBox(const QString& message)
{
    MessageBox(ErrorBoxText(message), title_, MB_OK | MB_ICONSTOP);
}

void Application::HandleException(std::exception_ptr error) noexcept
{
    try {
        if (!error || IsSilentAbort(error)) {
            return;
        }
        ShowErrorBox(ErrorMessage(error));
    } catch (...) {
        // The error box itself failed; nothing is left to report it with.
    }
}

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

QString ErrorMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

}  // namespace ui
