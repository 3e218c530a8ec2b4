// The application editor over a SQLite file with 200 applications on the day:
//
// - BM_NewToEditorPainted: from the list window's 新增 pressed to the editor
//   painted (the number taken from the counter, the row appended, the three
//   lists read from their dictionaries, the window shown and drawn).
// - BM_StoreNewApplication: one complete new application stored by 确认
//   (post with its rules, the insert applied, the cache committed, the
//   window closed); opening the editor and filling it are not timed.
// - BM_FloorBareDialogPainted: the floor of the first, the same work with
//   bare Qt Widgets and the bare sqlite3 API: the counter's transaction, a
//   QDialog of 790 x 599 with the editor's panels, labels, edits, button
//   edits, two glyph buttons and three combo boxes filled by the same three
//   selects, shown and painted. The editor's figure is read as a ratio to it.
// - BM_ListGridRepainted: the list window's grid repainted whole at the
//   day's last rows, as it is behind the editor when 新增 appends its row.
#include <benchmark/benchmark.h>

#include "data/DMIntefaceUnit.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/test_env.h"
#include "windows/OperationApply.h"
#include "windows/OperationNew.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string Data(int applications)
{
    std::ostringstream sql;
    sql << "BEGIN;\n";
    for (int i = 1; i <= applications; ++i) {
        sql << "INSERT INTO TOperationPlan (FSerialNo, FOperDate, FTime, FOperRoom, FName, FSex, FAge, FInNo, "
               "FDeptCode, FBedNo, FBloodType, FAssay, FDiag, FDiagCode, FOper, FOperCode, FOperator, "
               "FAnaesthesia, FUser, FStatus) VALUES ("
            << i << ", strftime('%Y-%m-%d 00:00:00.000','now','localtime'), '09:30', NULL, '病人" << i
            << "', '男', 45, 'Z" << i << "', '0301', '" << i % 100 << "', 'A型', '阴性', '急性阑尾炎', "
            << "'K35.902', '阑尾切除术', '47.0101', '张伟', '全麻', '李医生', 0);\n";
    }
    const char* blood[] = {"A型", "B型", "O型", "AB型", "Rh阴性", "不详"};
    for (int i = 0; i < 6; ++i) {
        sql << "INSERT INTO TDictBloodTypeA (FNo, FName) VALUES (" << i + 1 << ", '" << blood[i] << "');\n";
    }
    for (int i = 0; i < 20; ++i) {
        sql << "INSERT INTO TDictAssay (FNo, FName) VALUES (" << i + 1 << ", '化验结果" << i + 1 << "');\n";
    }
    const char* methods[] = {"全麻", "腰麻", "硬膜外", "局麻", "神经阻滞"};
    for (int i = 0; i < 5; ++i) {
        sql << "INSERT INTO TDictAnaesthesia (FNo, FName) VALUES (" << i + 1 << ", '" << methods[i] << "');\n";
    }
    sql << "UPDATE TNextOperationPlanNo SET FNext = 1000;\nCOMMIT;\n";
    return sql.str();
}

class EditorBench {
public:
    EditorBench()
    {
        const std::string file = dir_.Path() + "/his.db";
        testenv::CreateSqliteFile(file, testenv::SourceFile("db/sqlite/schema.sql") + Data(200));
        dir_.Write("aliases.ini", "[HIS]\ndriver=sqlite\ndatabase=" + file + "\n");
        aliases_ = std::make_unique<testenv::ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
        ui::SetMessageBoxResponder([](const QString&, const QString&, unsigned) { return ui::IDYES; });
        DMInteface = new TDMInteface();
        DMInteface->DatabaseHIS->Open();
        DMInteface->ApplicantUser = "李医生";
        DMInteface->DepartmentCode = "0301";
        DMInteface->DepartmentName = "普外科";
        OperationApplyForm = new TOperationApplyForm();
        OperationApplyForm->RefreshList();
        OperationApplyForm->show();
    }

    [[nodiscard]] std::string File() const { return dir_.Path() + "/his.db"; }

    // Presses 新增 and runs `inside` once the editor is shown; returns when the editor is gone.
    void New(std::function<void(TOperationNewForm&)> inside)
    {
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (OperationNewForm != nullptr && OperationNewForm->isVisible()) {
                poll.stop();
                inside(*OperationNewForm);
            }
        });
        poll.start();
        OperationApplyForm->BtnNewClick(OperationApplyForm->BtnNew);
    }

private:
    testenv::TempDir dir_;
    std::unique_ptr<testenv::ScopedEnv> aliases_;
};

EditorBench& Bench()
{
    static EditorBench bench;
    return bench;
}

void BM_NewToEditorPainted(benchmark::State& state)
{
    EditorBench& bench = Bench();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        bench.New([&](TOperationNewForm& editor) {
            editor.repaint();
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
            editor.BtnCloseClick(editor.BtnClose);  // the question is answered Yes
        });
    }
}
BENCHMARK(BM_NewToEditorPainted)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_StoreNewApplication(benchmark::State& state)
{
    EditorBench& bench = Bench();
    for (auto _ : state) {
        bench.New([&](TOperationNewForm& editor) {
            DMInteface->QOperationPlanFTime->SetAsString("10:30");
            DMInteface->QOperationPlanFBedNo->SetAsString("23");
            DMInteface->QOperationPlanFName->SetAsString("王五");
            DMInteface->QOperationPlanFSex->SetAsString("男");
            DMInteface->QOperationPlanFAge->SetAsString("45");
            DMInteface->QOperationPlanFInNo->SetAsString("Z1000231");
            DMInteface->QOperationPlanFBloodType->SetAsString("A型");
            DMInteface->QOperationPlanFDiag->SetAsString("急性化脓性阑尾炎");
            DMInteface->QOperationPlanFDiagCode->SetAsString("K35.901");
            DMInteface->QOperationPlanFOper->SetAsString("腹腔镜下阑尾切除术");
            DMInteface->QOperationPlanFOperCode->SetAsString("47.0101");
            DMInteface->QOperationPlanFOperator->SetAsString("张建国");
            DMInteface->QOperationPlanFAnaesthesia->SetAsString("全麻");
            const Clock::time_point start = Clock::now();
            editor.BtnOkClick(editor.BtnOk);
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
            if (editor.isVisible()) {
                state.SkipWithError("the application was not stored");
                editor.BtnCloseClick(editor.BtnClose);
            }
        });
    }
}
BENCHMARK(BM_StoreNewApplication)->UseManualTime()->Unit(benchmark::kMillisecond);

// The list window behind the editor, its grid repainted whole as when 新增
// appends its row (the view at the day's last rows): what the editor's
// figure carries beyond its floor.
void BM_ListGridRepainted(benchmark::State& state)
{
    Bench();
    auto* viewport = OperationApplyForm->findChild<QWidget*>(QStringLiteral("qt_scrollarea_viewport"));
    DMInteface->QOperationPlan->Last();
    QApplication::processEvents();
    for (auto _ : state) {
        viewport->update();
        QApplication::processEvents();
    }
    DMInteface->QOperationPlan->First();
}
BENCHMARK(BM_ListGridRepainted)->Unit(benchmark::kMillisecond);

// Runs `sql` to its end through the bare API, handing each row's second column to `row`.
void Select(sqlite3* db, const char* sql, const std::function<void(const char*)>& row = {})
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        if (row) {
            row(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
        }
    }
    sqlite3_finalize(statement);
}

void BM_FloorBareDialogPainted(benchmark::State& state)
{
    EditorBench& bench = Bench();
    sqlite3* db = nullptr;
    sqlite3_open_v2(bench.File().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 30000);
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        Select(db, "BEGIN IMMEDIATE");
        Select(db, "select FNext from TNextOperationPlanNo ");
        Select(db, "update TNextOperationPlanNo Set FNext=FNext+1 ");
        Select(db, "COMMIT");
        QDialog dialog;
        dialog.resize(790, 599);
        auto* top = new QFrame(&dialog);
        top->setGeometry(0, 0, 790, 105);
        auto* inner = new QFrame(top);
        inner->setGeometry(0, 40, 790, 65);
        auto* client = new QFrame(&dialog);
        client->setGeometry(0, 105, 790, 443);
        auto* bottom = new QFrame(&dialog);
        bottom->setGeometry(0, 548, 790, 51);
        int n = 0;
        const auto place = [&n](QWidget* w, int width, int height) {
            w->setGeometry(90 + (n % 4) * 175, 8 + (n / 4) * 28 % 400, width, height);
            ++n;
        };
        for (QFrame* panel : {top, inner, client}) {
            n = 0;
            const int labels = panel == client ? 16 : panel == top ? 7 : 5;
            for (int i = 0; i < labels; ++i) {
                auto* label = new QLabel(QString::fromUtf8("手术申请"), panel);
                label->adjustSize();
                label->move(8 + (i % 4) * 175, 10 + (i / 4) * 28);
            }
            const int edits = panel == client ? 4 : panel == top ? 7 : 5;  // the date edit among the top's
            for (int i = 0; i < edits; ++i) {
                place(new QLineEdit(panel), 80, 20);
            }
        }
        n = 8;
        for (int i = 0; i < 6; ++i) {
            auto* edit = new QLineEdit(client);
            place(edit, 150, 21);
            auto* button = new QToolButton(edit);
            button->setText(QStringLiteral("…"));
            button->setGeometry(130, 0, 20, 21);
        }
        for (const char* sql : {"select * from TDictBloodTypeA Order by FNo ", "select * from TDictAssay Order by FNo ",
                                "select * from TDictAnaesthesia Order by FNo "}) {
            auto* list = new QComboBox(client);
            place(list, 130, 20);
            Select(db, sql, [list](const char* name) { list->addItem(QString::fromUtf8(name)); });
        }
        auto* ok = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton),
                                   QString::fromUtf8("确认"), bottom);
        ok->setGeometry(560, 12, 90, 28);
        auto* close = new QPushButton(QApplication::style()->standardIcon(QStyle::SP_DialogCloseButton),
                                      QString::fromUtf8("退出"), bottom);
        close->setGeometry(670, 12, 90, 28);
        dialog.show();
        dialog.repaint();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    sqlite3_close_v2(db);
}
BENCHMARK(BM_FloorBareDialogPainted)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("OPEREDIT_SOURCE_DIR", OPEREDIT_DEFAULT_SOURCE_DIR, 0);
    static int qtArgc = 1;
    static char name[] = "bench_editor";
    static char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    ui::Application::Instance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
