#include "platform/ui/display.h"

#include "platform/ui/application.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QString>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace ui {
namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string Lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

// Asked through the X client library that Qt's own X platform loads; without
// it, Qt could not use X either.
bool XServerAnswers()
{
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) {
        return false;
    }
    using ConnectFn = void* (*)(const char*, int*);
    using HasErrorFn = int (*)(void*);
    using DisconnectFn = void (*)(void*);
    const auto connect = reinterpret_cast<ConnectFn>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasErrorFn>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<DisconnectFn>(dlsym(xcb, "xcb_disconnect"));
    bool reachable = false;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(nullptr, nullptr);
        reachable = connection != nullptr && hasError(connection) == 0;
        disconnect(connection);  // also frees a connection that failed
    }
    dlclose(xcb);
    return reachable;
}

// The folders Qt looks for platform plugins in.
bool WaylandPluginInstalled()
{
    std::vector<QString> folders;
    if (const std::string own = Env("QT_QPA_PLATFORM_PLUGIN_PATH"); !own.empty()) {
        folders.push_back(QString::fromLocal8Bit(own));
    }
    for (const std::string& path : Split(Env("QT_PLUGIN_PATH"), ':')) {
        folders.push_back(QString::fromLocal8Bit(path) + "/platforms");
    }
    folders.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    for (const QString& folder : folders) {
        if (!QDir(folder).entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty()) {
            return true;
        }
    }
    return false;
}

bool WaylandCompositorAnswers()
{
    std::string socketPath = Env("WAYLAND_DISPLAY");
    if (socketPath.empty()) {
        return false;
    }
    if (socketPath.front() != '/') {
        const std::string runtime = Env("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            return false;
        }
        socketPath = runtime + "/" + socketPath;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool answers = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
}

bool IsWayland(const std::string& platform)
{
    return platform.rfind("wayland", 0) == 0;
}

}  // namespace

DisplayProbe SystemDisplay()
{
    return {[](const char* name) { return Env(name); }, &XServerAnswers, &WaylandPluginInstalled,
            &WaylandCompositorAnswers};
}

std::optional<std::string> ChooseQtPlatform(const DisplayProbe& probe)
{
    const auto usable = [&](const std::string& platform) {
        if (platform == "xcb") {
            return !probe.environment("DISPLAY").empty() && probe.xServerAnswers();
        }
        if (IsWayland(platform)) {
            return !probe.environment("WAYLAND_DISPLAY").empty() && probe.waylandPluginInstalled() &&
                   probe.waylandCompositorAnswers();
        }
        return true;  // a platform of its own choosing (offscreen, vnc, ...)
    };
    // QT_QPA_PLATFORM is a list tried in order; its options follow a colon.
    std::vector<std::string> candidates;
    for (const std::string& entry : Split(probe.environment("QT_QPA_PLATFORM"), ';')) {
        candidates.push_back(entry.substr(0, entry.find(':')));
    }
    const bool chosen = !candidates.empty();
    if (!chosen) {
        const std::string desktops =
            Lower(probe.environment("XDG_CURRENT_DESKTOP") + ":" + probe.environment("XDG_SESSION_DESKTOP"));
        if (probe.environment("XDG_SESSION_TYPE") == "wayland" && desktops.find("gnome") == std::string::npos) {
            candidates.push_back("wayland");
        }
        candidates.push_back("xcb");
    }
    for (const std::string& candidate : candidates) {
        if (usable(candidate)) {
            return std::string();
        }
    }
    if (!chosen && usable("wayland")) {
        return std::string("wayland");
    }
    return std::nullopt;
}

bool PrepareWindowSystem()
{
    if (QApplication::instance() != nullptr) {
        return true;
    }
    const std::optional<std::string> platform = ChooseQtPlatform(SystemDisplay());
    if (!platform) {
        return false;
    }
    Application::SetPlatform(*platform);
    return true;
}

}  // namespace ui
