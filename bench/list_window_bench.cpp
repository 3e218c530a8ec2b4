// A whole operedit call up to the list window on the screen: login, the data
// module, the window with its grid, the day's query with 200 applications,
// the first paint. The benchmark closes the window as soon as it is shown,
// so each iteration is one call as the EMR client makes it.
#include <benchmark/benchmark.h>

#include "platform/text/gbk.h"
#include "tests/support/test_env.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <dlfcn.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using OperEditFn = const char* (*)(const char*, const char*, const char*);

std::string Applications(int count)
{
    std::ostringstream sql;
    sql << "BEGIN;\n";
    for (int i = 1; i <= count; ++i) {
        sql << "INSERT INTO TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FInNo, "
               "FDeptCode, FBedNo, FBloodType, FAssay, FDiag, FDiagCode, FOper, FOperCode, FOperator, "
               "FAssistant1, FAnaesthesia, FUser, FStatus) VALUES ("
            << i << ", strftime('%Y-%m-%d 00:00:00.000','now','localtime'), '" << (8 + i % 10) << ":"
            << (i % 2 ? "00" : "30") << "', " << (i % 3 == 0 ? "'3'" : "NULL") << ", '病人" << i
            << "', '男', 45.5, 'Z" << i << "', '0301', '" << i % 100 << "', 'A型', '阴性', '急性阑尾炎', "
            << "'K35.902', '腹腔镜下阑尾切除术', '47.0101', '张伟', '李娜', '全麻', '李医生', 0);\n";
    }
    sql << "COMMIT;\n";
    return sql.str();
}

class ListWindowBench {
public:
    ListWindowBench()
    {
        const std::string file = dir_.Path() + "/his.db";
        testenv::CreateSqliteFile(file, testenv::SourceFile("db/sqlite/schema.sql") + Applications(200));
        dir_.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + file + "\n");
        aliases_ = std::make_unique<testenv::ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
        const char* binary = std::getenv("OPEREDIT_BINARY_DIR");
        const std::string library = std::string(binary != nullptr ? binary : OPEREDIT_BINARY_DIR) + "/lib/liboperedit.so";
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            throw std::runtime_error(dlerror());
        }
        operedit_ = reinterpret_cast<OperEditFn>(dlsym(handle, "operedit"));
    }

    // One call; the list window is closed as soon as it has been shown.
    const char* Call()
    {
        QTimer closer;
        closer.setInterval(0);
        QObject::connect(&closer, &QTimer::timeout, [] {
            QWidget* window = QApplication::activeModalWidget();
            if (window != nullptr && window->isVisible()) {
                // The timer may run before the window's first paint is due: paint it now, grid and all.
                window->repaint();
                window->close();
            }
        });
        closer.start();
        return operedit_(applicant_.c_str(), dept_.c_str(), name_.c_str());
    }

private:
    testenv::TempDir dir_;
    std::unique_ptr<testenv::ScopedEnv> aliases_;
    OperEditFn operedit_ = nullptr;
    std::string applicant_ = gbk::FromUtf8("李医生");
    std::string dept_ = "0301";
    std::string name_ = gbk::FromUtf8("普外科");
};

void BM_OperEditToListShown(benchmark::State& state)
{
    static ListWindowBench bench;
    for (auto _ : state) {
        const char* result = bench.Call();
        if (*result != '\0') {
            state.SkipWithError(gbk::ToUtf8(result).c_str());
            break;
        }
    }
}
BENCHMARK(BM_OperEditToListShown)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);
    static int qtArgc = 1;
    static char name[] = "bench_list_window";
    static char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
