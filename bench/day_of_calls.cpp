// A ward's day in one EMR process: operedit called again and again, as the
// EMR client calls it. Each call shows the list; every third call also opens
// the editor on an application and leaves it; then the list is closed.
//
//   bench_day_of_calls [--calls N] [--warmup W] [--postgres] [--hold-at-exit]
//
// Prints the resident memory, the heap the program holds, and the open files
// after the warm-up and after the calls, and (PostgreSQL) the server's
// sessions of this process. Memory is measured here, never asserted by a
// test. --hold-at-exit ends the program without freeing anything, so that a
// heap profiler (heaptrack) lists what the calls still hold as leaked: what
// grows with the number of calls is what a call leaves behind.
#include "platform/text/gbk.h"
#include "tests/support/test_env.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using OperEditFn = const char* (*)(const char*, const char*, const char*);

int editorsLeft = 0;  // editors opened and left, over all calls

// What the program's objects hold of the heap, without what the allocator
// keeps free: growth here is memory a call leaves behind, growth of the
// resident memory alone is the allocator's.
long HeapInUseKiB()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

// Drives each call's windows from the event loop: the editor (every third
// call) is opened on the list's current application and left; the list is
// closed.
class Ward : public QObject {
public:
    explicit Ward(bool openEditor) : openEditor_(openEditor)
    {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
        timer_.start();
    }

private:
    void Step()
    {
        QWidget* window = QApplication::activeModalWidget();
        if (window == nullptr || !window->isVisible()) {
            return;
        }
        if (window->objectName() == QStringLiteral("OperationNewForm")) {
            ++editorsLeft;
            if (auto* close = window->findChild<QAbstractButton*>(QStringLiteral("BtnClose"))) {
                close->click();
            }
            return;
        }
        if (openEditor_ && !editorOpened_) {
            editorOpened_ = true;
            if (auto* modify = window->findChild<QAbstractButton*>(QStringLiteral("BtnModify"))) {
                // Clicked after this step returns: the editor's modal loop must not
                // run inside the timer, which would not fire again there.
                QTimer::singleShot(0, modify, &QAbstractButton::click);
                return;
            }
        }
        window->close();
    }

    QTimer timer_;
    bool openEditor_;
    bool editorOpened_ = false;
};

std::string TodayIso()
{
    const std::time_t now = std::time(nullptr);
    char day[11];
    std::strftime(day, sizeof day, "%Y-%m-%d", std::localtime(&now));
    return day;
}

std::string Applications(int count)
{
    std::string sql;
    for (int i = 1; i <= count; ++i) {
        sql += "insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FDeptCode, FBedNo, FBloodType, "
               "FDiag, FDiagCode, FOper, FOperCode, FOperator, FAnaesthesia, FUser, FStatus) values (" +
               std::to_string(i) + ", '" + TodayIso() + " 00:00:00', '09:30', '病人" + std::to_string(i) +
               "', '0301', '" + std::to_string(i) + "', 'A型', '急性阑尾炎', 'K35.902', '阑尾切除术', '47.0101', "
               "'张伟', '全麻', '李医生', 0);\n";
    }
    return sql;
}

}  // namespace

int main(int argc, char** argv)
{
    int calls = 1000;
    int warmup = 20;
    bool postgres = false;
    bool holdAtExit = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc) {
            calls = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--warmup") == 0 && i + 1 < argc) {
            warmup = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--postgres") == 0) {
            postgres = true;
        } else if (std::strcmp(argv[i], "--hold-at-exit") == 0) {
            holdAtExit = true;
        } else {
            std::fprintf(stderr, "usage: bench_day_of_calls [--calls N] [--warmup W] [--postgres] [--hold-at-exit]\n");
            return 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);
    // The host's event loop drives the windows; the library reuses its application object.
    static int qtArgc = 1;
    static char name[] = "bench_day_of_calls";
    static char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    testenv::HisDatabase db(postgres ? testenv::Backend::Postgres : testenv::Backend::Sqlite);
    if (!db.Available()) {
        std::fprintf(stderr, "bench_day_of_calls: the PostgreSQL test cluster is not configured (OPEREDIT_PG_CONNECT)\n");
        return 2;
    }
    testenv::RunScript(db.Direct(), Applications(30));

    const std::string library = std::string(OPEREDIT_BINARY_DIR) + "/lib/liboperedit.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "bench_day_of_calls: %s\n", dlerror());
        return 2;
    }
    const auto operedit = reinterpret_cast<OperEditFn>(dlsym(handle, "operedit"));
    const std::string applicant = gbk::FromUtf8("李医生");
    const std::string department = gbk::FromUtf8("普外科");
    const auto sessions = [&] {
        return postgres ? db.Scalar("select count(*) from pg_stat_activity where usename = '" + testenv::PgUser() + "'")
                        : std::string("-");
    };
    const auto call = [&](int n) {
        Ward ward(n % 3 == 0);
        const char* result = operedit(applicant.c_str(), "0301", department.c_str());
        if (*result != '\0') {
            throw std::runtime_error("operedit: " + gbk::ToUtf8(result));
        }
    };
    for (int n = 0; n < warmup; ++n) {
        call(n);
    }
    const std::string warmSessions = sessions();  // first: the query's own session stays open
    const long warmRss = testenv::ResidentKiB();
    const long warmHeap = HeapInUseKiB();
    const int warmFiles = testenv::OpenFileCount();
    for (int n = 0; n < calls; ++n) {
        call(n);
    }
    const long rss = testenv::ResidentKiB();
    const long heap = HeapInUseKiB();
    std::printf("engine            %s\n", postgres ? "PostgreSQL" : "SQLite");
    std::printf("calls             %d after a warm-up of %d (every third opens the editor)\n", calls, warmup);
    std::printf("resident memory   %.1f MB -> %.1f MB (%+ld kB, %+.2f kB a call)\n", warmRss / 1024.0, rss / 1024.0,
                rss - warmRss, static_cast<double>(rss - warmRss) / calls);
    std::printf("heap in use       %.1f MB -> %.1f MB (%+ld kB, %+.2f kB a call)\n", warmHeap / 1024.0, heap / 1024.0,
                heap - warmHeap, static_cast<double>(heap - warmHeap) / calls);
    std::printf("editors left      %d\n", editorsLeft);
    std::printf("open files        %d -> %d\n", warmFiles, testenv::OpenFileCount());
    std::printf("server sessions   %s -> %s\n", warmSessions.c_str(), sessions().c_str());
    if (holdAtExit) {
        std::fflush(stdout);
        _exit(0);
    }
    return 0;
}
