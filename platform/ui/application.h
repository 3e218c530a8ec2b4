// The process's application object and the guard around every entry from Qt.
//
// Application::Instance() creates the QApplication on first use when the
// process has none (with static argc/argv) and keeps it for the life of the
// process, so a second call of the module reuses it. It owns the application
// title, which captions the error box.
//
// HandleException shows an error in the error box: stop icon, one OK button,
// caption = title, the message with a full stop appended when its last
// character sorts after "." (see ErrorBoxText). An error the layer above
// declares silent (SetSilentErrors: the query layer's abort) shows nothing.
// The platform knows nothing of the layers above it: the query layer's own
// error box is wired to ShowErrorBox from above (UseApplicationErrorBox of
// commoninteface).
//
// No exception may reach Qt's event loop: every event override, signal
// handler and timer of our code runs through Guarded(), which hands whatever
// escapes to HandleException. Connect() wires a signal to a guarded handler.
#pragma once

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

class QApplication;
class QWidget;

namespace ui {

class Application {
public:
    // The application object; creates the QApplication when none exists.
    static Application& Instance();
    // The Qt platform the QApplication is started on ("" for Qt's own
    // choice); takes effect only before the first Instance().
    static void SetPlatform(const std::string& platform);

    [[nodiscard]] QApplication* Qt() const;
    [[nodiscard]] const QString& Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

    // Shows `error` in the error box unless it is a silent one.
    void HandleException(std::exception_ptr error) noexcept;
    // Shows a message in the error box as HandleException does.
    void ShowErrorBox(const QString& message);
    // Which errors show no box; none unless set.
    using SilentErrors = std::function<bool(std::exception_ptr)>;
    static void SetSilentErrors(SilentErrors silent);

private:
    Application();
    QString title_;
};

[[nodiscard]] bool IsSilentAbort(std::exception_ptr error);

// Creates the application object if needed and returns `parent`: widget
// constructors pass their parent through it, so that the QApplication exists
// before any QWidget base is built.
QWidget* WithApplication(QWidget* parent);

// The text the error box shows for `message`.
[[nodiscard]] QString ErrorBoxText(const QString& message);

// The message of an error as the user sees it (UTF-8 what(), or a fixed text
// for errors that are not std::exception).
[[nodiscard]] QString ErrorMessage(std::exception_ptr error);

// Runs `fn`; whatever it throws goes to Application::HandleException.
// Returns false when it threw.
template <class Fn>
bool Guarded(Fn&& fn) noexcept
{
    try {
        std::forward<Fn>(fn)();
        return true;
    } catch (...) {
        Application::Instance().HandleException(std::current_exception());
        return false;
    }
}

// QObject::connect with the handler run through Guarded(). The handler takes
// the signal's arguments or none.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection Connect(Sender* sender, Signal signal, QObject* context, Handler handler)
{
    return QObject::connect(sender, signal, context, [handler = std::move(handler)](auto&&... args) mutable {
        Guarded([&] {
            if constexpr (std::is_invocable_v<Handler&, decltype(args)...>) {
                handler(std::forward<decltype(args)>(args)...);
            } else {
                handler();
            }
        });
    });
}

}  // namespace ui
