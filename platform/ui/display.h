// Whether windows can be shown at all, asked before Qt starts: Qt ends the
// process when it finds no window system, and the host must live on.
//
// Qt's own choice, when QT_QPA_PLATFORM names none, is the X platform (xcb),
// tried after the Wayland platform in a Wayland session (XDG_SESSION_TYPE
// "wayland", except on GNOME). A platform is usable when its connection
// would succeed: xcb when the X server that DISPLAY names accepts a
// connection; Wayland when Qt's Wayland plugin is installed and the
// compositor's socket (WAYLAND_DISPLAY, under XDG_RUNTIME_DIR unless it is
// a path) accepts one. Platforms other than these two (offscreen, vnc, ...)
// named in QT_QPA_PLATFORM are taken as usable.
//
// ChooseQtPlatform gives the platform to start Qt with: "" for Qt's own
// choice (one of its candidates is usable), "wayland" when only Wayland is
// usable but Qt would not try it (WAYLAND_DISPLAY without a Wayland
// session), or nothing when no candidate is usable.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace ui {

struct DisplayProbe {
    std::function<std::string(const char* name)> environment;
    std::function<bool()> xServerAnswers;
    std::function<bool()> waylandPluginInstalled;
    std::function<bool()> waylandCompositorAnswers;
};

// The probe of this process: its environment, its X client library, Qt's
// plugin folders and the compositor's socket.
[[nodiscard]] DisplayProbe SystemDisplay();

[[nodiscard]] std::optional<std::string> ChooseQtPlatform(const DisplayProbe& probe);

// Decides with SystemDisplay() (true when a QApplication exists already) and
// has Application start Qt on the platform chosen. False: no window system.
[[nodiscard]] bool PrepareWindowSystem();

}  // namespace ui
