// Errors of the query layer and the application's error box.
//
// Three kinds reach callers: EDatabaseError (raised by this layer; its message
// carries "Name: " before the text when the dataset or connection raising it
// has a component name), EDBEngineError (a failure reported by the engine) and
// EAbort, the silent abort that no error box ever shows.
//
// The data layer never shows a window. The error box is a hook: the window
// platform installs one that shows a stop box captioned with the application
// title; tests install a recorder. With no hook installed nothing is shown.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hisdb {
class EngineError;
}

class TComponent;

class EDatabaseError : public std::runtime_error {
public:
    explicit EDatabaseError(const std::string& message);
};

// Message: the engine's description, then each further message of its error
// list that differs from those before it, one per line; "Engine error $%.4x"
// when the engine gave no text at all.
class EDBEngineError : public EDatabaseError {
public:
    explicit EDBEngineError(const hisdb::EngineError& error);
    [[nodiscard]] int ErrorCode() const { return code_; }
    // The description and the further messages, as the engine gave them.
    [[nodiscard]] const std::vector<std::string>& Errors() const { return errors_; }

private:
    int code_;
    std::vector<std::string> errors_;
};

// The silent abort; message "Operation aborted".
class EAbort : public std::runtime_error {
public:
    EAbort();
};

// An edit text that its mask refuses ("Invalid input value.  Use escape key to
// abandon changes"); raised by bound edits.
class EDBEditError : public std::runtime_error {
public:
    explicit EDBEditError(const std::string& message);
};

namespace dataset {

// Throws EDatabaseError; prefixes "Name: " when `component` has a name.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);
// Throws EAbort.
[[noreturn]] void Abort();
// printf-style formatting of a message text.
[[nodiscard]] std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Converts an engine failure into EDBEngineError and throws it.
[[noreturn]] void RaiseEngineError(const hisdb::EngineError& error);

inline constexpr std::string_view kMaskErrorText = "Invalid input value.  Use escape key to abandon changes";

using ErrorBoxHook = std::function<void(const std::string& message)>;
// Installs the function that shows the error box; returns the previous one.
ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook);
// Shows `message` (as the error's own text; the hook's box adds the full
// stop rule of the window platform's ErrorBoxText).
void ShowErrorBox(const std::string& message);

}  // namespace dataset
