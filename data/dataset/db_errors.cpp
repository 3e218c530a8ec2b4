#include "data/dataset/db_errors.h"

#include <cstdarg>
#include <cstdio>

#include "data/dataset/component.h"
#include "platform/engine/engine.h"

namespace {

dataset::ErrorBoxHook& Hook()
{
    static dataset::ErrorBoxHook hook;
    return hook;
}

std::string EngineMessage(const hisdb::EngineError& error)
{
    std::vector<std::string> lines;
    auto addDistinct = [&lines](const std::string& text) {
        if (text.empty()) {
            return;
        }
        for (const auto& line : lines) {
            if (line == text) {
                return;
            }
        }
        lines.push_back(text);
    };
    addDistinct(error.Description());
    for (const auto& message : error.Messages()) {
        addDistinct(message);
    }
    if (lines.empty()) {
        return dataset::FormatText("Engine error $%.4x", static_cast<unsigned>(error.Code()) & 0xFFFFu);
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += lines[i];
    }
    return text;
}

std::vector<std::string> EngineErrors(const hisdb::EngineError& error)
{
    std::vector<std::string> errors{error.Description()};
    errors.insert(errors.end(), error.Messages().begin(), error.Messages().end());
    return errors;
}

}  // namespace

EDatabaseError::EDatabaseError(const std::string& message) : std::runtime_error(message) {}

EDBEngineError::EDBEngineError(const hisdb::EngineError& error)
    : EDatabaseError(EngineMessage(error)), code_(error.Code()), errors_(EngineErrors(error))
{
}

EAbort::EAbort() : std::runtime_error("Operation aborted") {}

EDBEditError::EDBEditError(const std::string& message) : std::runtime_error(message) {}

namespace dataset {

void DatabaseError(const std::string& message, const TComponent* component)
{
    if (component != nullptr && !component->Name().empty()) {
        throw EDatabaseError(component->Name() + ": " + message);
    }
    throw EDatabaseError(message);
}

void Abort()
{
    throw EAbort();
}

std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

void RaiseEngineError(const hisdb::EngineError& error)
{
    throw EDBEngineError(error);
}

ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook)
{
    ErrorBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

void ShowErrorBox(const std::string& message)
{
    if (Hook()) {
        Hook()(message);
    }
}

}  // namespace dataset
