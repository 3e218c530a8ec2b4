// The cold start: from a new process to its first window mapped, on a
// virtual X server (Xvfb) of this program's own, timed by the server's map
// notification, not by polling. Two programs, alternately:
//
// - the module: emrhost calling operedit over a fresh SQLite HIS database,
//   up to the list window mapped;
// - its floor: this program in --bare mode, a bare Qt Widgets program that
//   maps one 1280 x 938 window with one line of Chinese text in the same
//   CJK font.
//
//   bench_cold_start [--runs N]
//
// Prints the median of each and the module's ratio to its floor.
#include "tests/support/test_env.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int Bare(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1280, 938);
    QLabel line(QString::fromUtf8("手术申请  申请科室: 普外科"), &window);
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QString::fromUtf8("宋体"), QStringLiteral("AR PL UMing CN")});
    font.setPixelSize(12);
    line.setFont(font);
    line.move(8, 8);
    window.show();
    return app.exec();
}

struct Mapped {
    double ms = -1;  // negative: no window mapped within 30 s
    int width = 0;
    int height = 0;
};

// From spawning `args` to the first map of a window that is not
// override-redirect, and the size of that window.
Mapped TimeToMap(xcb_connection_t* x, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& a : copy) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    while (xcb_generic_event_t* stale = xcb_poll_for_event(x)) {
        std::free(stale);
    }
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    Mapped mapped;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return mapped;
    }
    double& ms = mapped.ms;
    xcb_window_t window = 0;
    const Clock::time_point end = start + std::chrono::seconds(30);
    pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
    while (ms < 0 && Clock::now() < end) {
        poll(&fd, 1, 100);
        while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && ms < 0) {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->override_redirect == 0) {
                    ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    window = map->window;
                }
            }
            std::free(event);
        }
    }
    if (window != 0) {
        if (xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr)) {
            mapped.width = g->width;
            mapped.height = g->height;
            std::free(g);
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return mapped;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--bare") == 0) {
        return Bare(argc, argv);
    }
    int runs = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_cold_start [--runs N]\n");
            return 2;
        }
    }
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);

    // A server of our own, so that nothing else maps windows meanwhile.
    const std::string display = ":" + std::to_string(90 + getpid() % 100);
    pid_t xvfb = 0;
    {
        std::vector<std::string> args = {"/usr/bin/Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
        std::vector<char*> argvX;
        for (std::string& a : args) {
            argvX.push_back(a.data());
        }
        argvX.push_back(nullptr);
        if (posix_spawn(&xvfb, argvX[0], nullptr, nullptr, argvX.data(), environ) != 0) {
            std::fprintf(stderr, "bench_cold_start: cannot start Xvfb\n");
            return 2;
        }
    }
    xcb_connection_t* x = nullptr;
    for (int i = 0; i < 100; ++i) {
        x = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(x) == 0) {
            break;
        }
        xcb_disconnect(x);
        x = nullptr;
        usleep(50'000);
    }
    if (x == nullptr) {
        std::fprintf(stderr, "bench_cold_start: Xvfb %s does not answer\n", display.c_str());
        kill(xvfb, SIGTERM);
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    testenv::HisDatabase db(testenv::Backend::Sqlite);
    const std::string host = std::string(OPEREDIT_BINARY_DIR) + "/bin/emrhost";
    std::vector<double> module;
    std::vector<double> floor;
    Mapped lastModule;
    Mapped lastFloor;
    for (int i = 0; i < runs; ++i) {
        lastFloor = TimeToMap(x, {"/proc/self/exe", "--bare"});
        lastModule = TimeToMap(x, {host, "李医生", "0301", "普外科"});
        floor.push_back(lastFloor.ms);
        module.push_back(lastModule.ms);
    }
    xcb_disconnect(x);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    if (std::find_if(module.begin(), module.end(), [](double ms) { return ms < 0; }) != module.end()
        || std::find_if(floor.begin(), floor.end(), [](double ms) { return ms < 0; }) != floor.end()) {
        std::fprintf(stderr, "bench_cold_start: a window was never mapped\n");
        return 1;
    }
    const double m = Median(module);
    const double f = Median(floor);
    std::printf("cold start to the first window mapped, median of %d (Xvfb, map notification)\n", runs);
    std::printf("  module: emrhost -> list window   %7.1f ms  (%d x %d mapped)\n", m, lastModule.width, lastModule.height);
    std::printf("  floor: bare Qt window            %7.1f ms  (%d x %d mapped)\n", f, lastFloor.width, lastFloor.height);
    std::printf("  ratio                            %7.2f\n", m / f);
    return 0;
}
