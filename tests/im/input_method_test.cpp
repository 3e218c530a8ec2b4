// Chinese typed through a real input method (fcitx5 with pinyin, on the
// private X server that run_with_input_method.sh starts) into the pickers'
// input boxes and the editor's bound edits: text still being composed
// searches nothing and begins no edit, committed text searches, is stored and
// is kept within the fields' GBK widths. The keys come from xdotool, as from
// a keyboard, while the windows' event loops run.
#include "windows/OperationNew.h"

#include "controls/buttonedit.h"
#include "controls/dbedit.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/locale_settings.h"
#include "pickers/ChoiceDiag.h"
#include "pickers/ChoiceEmployee.h"
#include "platform/text/gbk.h"
#include "platform/ui/application.h"
#include "platform/ui/widgets.h"
#include "tests/support/data_module.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"
#include "windows/OperationApply.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <functional>
#include <memory>
#include <string>

namespace {

using testenv::Backend;

constexpr int kWaitMs = 5000;

// Runs a program to its end while the event loop goes on; its output.
QString Run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool ended = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWaitMs);
    if (!ended) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (ok != nullptr) {
        *ok = ended && process.error() == QProcess::UnknownError && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void Xdotool(const QStringList& arguments)
{
    bool ok = false;
    Run(QStringLiteral("xdotool"), arguments, &ok);
    EXPECT_TRUE(ok) << "xdotool " << arguments.join(' ').toStdString();
}

// Switches the input method of the focused window to pinyin. fcitx5-remote
// prints 0 while no input context has the focus, 1 inactive, 2 active.
bool PinyinOn()
{
    QString state;
    const auto stateIs = [&state](std::initializer_list<const char*> wanted) {
        state = Run(QStringLiteral("fcitx5-remote"), {});
        for (const char* w : wanted) {
            if (state == QLatin1String(w)) {
                return true;
            }
        }
        return false;
    };
    if (!QTest::qWaitFor([&] { return stateIs({"1", "2"}); }, kWaitMs)) {
        ADD_FAILURE() << "fcitx5 sees no focused input context (state " << state.toStdString()
                      << "): is Qt's fcitx5 front end loaded?";
        return false;
    }
    if (state == QLatin1String("1")) {
        Run(QStringLiteral("fcitx5-remote"), {QStringLiteral("-o")});
    }
    const bool on = QTest::qWaitFor([&] { return stateIs({"2"}); }, kWaitMs);
    EXPECT_TRUE(on) << "pinyin not switched on";
    return on;
}

// What the input method sends one edit: the text being composed, the text committed.
class Composition : public QObject {
public:
    explicit Composition(QWidget* edit) : edit_(edit) { edit_->installEventFilter(this); }
    ~Composition() override { edit_->removeEventFilter(this); }

    // Types the letters of `pinyin` and waits until all of them are being composed.
    [[nodiscard]] bool Compose(const QString& pinyin)
    {
        committed_.clear();
        Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), pinyin});
        const bool composing =
            QTest::qWaitFor([&] { return QString(preedit_).remove(' ') == pinyin && committed_.isEmpty(); }, kWaitMs);
        EXPECT_TRUE(composing) << "composing " << pinyin.toStdString() << ": " << preedit_.toStdString()
                               << ", committed " << committed_.toStdString();
        return composing;
    }
    // Commits the first candidate (space); the text committed.
    QString Commit()
    {
        Xdotool({QStringLiteral("key"), QStringLiteral("space")});
        EXPECT_TRUE(QTest::qWaitFor([&] { return !committed_.isEmpty() && preedit_.isEmpty(); }, kWaitMs))
            << "nothing committed";
        return committed_;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == edit_ && event->type() == QEvent::InputMethod) {
            const auto* im = static_cast<QInputMethodEvent*>(event);
            preedit_ = im->preeditString();
            committed_ += im->commitString();
        }
        return false;
    }

private:
    QWidget* edit_;
    QString preedit_;
    QString committed_;
};

std::string StatementOf(TQuery& query)
{
    return query.SQL().Count() == 0 ? std::string() : query.SQL()[0];
}

class InputMethod : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qgetenv("QT_IM_MODULE") != "fcitx") {
            GTEST_SKIP() << "run through tests/im/run_with_input_method.sh";
        }
        ui::Application::Instance();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        db_ = std::make_unique<testenv::HisDatabase>(Backend::Sqlite);
        db_->Exec("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values "
                  "('S27.001', '张力性气胸', 'ZLXQX'), ('K35.900', '急性阑尾炎', 'JXLWY')");
        db_->Exec("insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values "
                  "('000001', '张三', 'ZS', '0301', '医生'), ('000002', '张山', 'ZS', '0301', '医生')");
        testenv::OpenDataModule();
    }
    void TearDown() override
    {
        delete DMInteface;
        DMInteface = nullptr;
    }

    // Composes `pinyin` in the focused picker box: the box, the query and
    // 选定 are as before while composing; the committed text searches.
    template<class Picker>
    void ComposeAndCommit(Picker& picker, TQuery& list, const QString& pinyin, const QString& committed)
    {
        ASSERT_EQ(uitest::Focused(), picker.EditInputCode);
        Composition ime(picker.EditInputCode);
        const std::string before = StatementOf(list);
        if (PinyinOn() && ime.Compose(pinyin)) {
            EXPECT_EQ(picker.EditInputCode->text(), QString());
            EXPECT_EQ(StatementOf(list), before) << "composing searched";
            EXPECT_FALSE(list.Active()) << "composing searched";
            EXPECT_FALSE(picker.OKBtn->isEnabled());
            EXPECT_EQ(ime.Commit(), committed);
        }
        EXPECT_EQ(picker.EditInputCode->text(), committed);
        EXPECT_TRUE(picker.OKBtn->isEnabled()) << "the committed name found a row";
        statement_ = StatementOf(list);
    }

    std::unique_ptr<testenv::HisDatabase> db_;
    uitest::Driver driver_{std::chrono::seconds(60)};
    std::string statement_;
};

TEST_F(InputMethod, ComposingSearchesNothingInThePickersAndTheCommittedNameIsSearched)
{
    auto* codes = new TChoiceDiagForm();
    driver_.OnModal<TChoiceDiagForm>([this](TChoiceDiagForm& picker) {
        ComposeAndCommit(picker, *DMInteface->QDiag, QStringLiteral("zhang"), QString::fromUtf8("张"));
        uitest::Enter();
    });
    EXPECT_EQ(codes->ChooseCode(1), 1);
    EXPECT_EQ(statement_, "select FDiagCode as FCode,FName,FInputCode from TDictDiagICD where FName like '张%' ");
    EXPECT_EQ(codes->SelectedName, "张力性气胸");
    codes->Free();

    auto* staff = new TChoiceEmployeeForm();
    driver_.OnModal<TChoiceEmployeeForm>([this](TChoiceEmployeeForm& picker) {
        ComposeAndCommit(picker, *DMInteface->QEmployee, QStringLiteral("zhangsan"), QString::fromUtf8("张三"));
        uitest::Enter();
    });
    EXPECT_EQ(staff->ChooseEmployee("医生"), 1);
    EXPECT_EQ(statement_, "select * from TEmployee where FName like '张三%'  and FDeptCode='0301'  and FJob='医生' ");
    EXPECT_EQ(staff->SelectedName, "张三");
    staff->Free();
}

TEST_F(InputMethod, CommittedChineseReachesTheEditorsFieldsWithinTheirWidths)
{
    db_->Exec("insert into TDictBloodTypeA (FNo, FName) values (1, 'A型')");
    db_->Exec("insert into TDictAnaesthesia (FNo, FName) values (1, '全麻')");
    db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FDeptCode, FBedNo, FBloodType, FDiag, "
              "FDiagCode, FOper, FOperCode, FOperator, FAnaesthesia, FStatus) values (5, '" +
              dataset::locale::Today().ToIso().substr(0, 10) +
              " 00:00:00', '09:30', '王五', '0301', '5', 'A型', '阑尾炎', 'K35.8', '阑尾切除术', '47.09', '赵医生', '全麻', 0)");
    db_->Exec("insert into TPat (FInNo, FName, FSex, FDeptCode, FBedNo, FStatus) "
              "values ('Z1000231', '王五', '男', '0301', '5', 2)");
    OperationApplyForm = new TOperationApplyForm();
    OperationApplyForm->RefreshList();

    QString bedCommit;
    QString bedNo;
    QString operCommit;
    QString operText;
    driver_.OnModal<TOperationNewForm>([&](TOperationNewForm& editor) {
        TQuery& plan = *DMInteface->QOperationPlan;
        const auto commitInto = [](QLineEdit* edit, const QString& pinyin, const std::function<void()>& composing = {},
                                   bool atStart = false, bool overAll = false) {
            edit->setFocus();
            atStart ? edit->home(false) : edit->end(false);
            if (overAll) {
                edit->selectAll();
            }
            Composition ime(edit);
            QString committed;
            if (PinyinOn() && ime.Compose(pinyin)) {
                if (composing) {
                    composing();
                }
                committed = ime.Commit();
            }
            return committed;
        };
        commitInto(editor.EditDiag, QStringLiteral("chuankong"), [&] {
            EXPECT_EQ(plan.State(), dsBrowse) << "composing began the edit";
            EXPECT_EQ(editor.EditDiag->text(), QString::fromUtf8("阑尾炎"));
        });
        EXPECT_EQ(plan.State(), dsEdit) << "the commit begins the edit";
        EXPECT_EQ(editor.EditDiag->text(), QString::fromUtf8("阑尾炎穿孔"));
        // Composing over a selection replaces it, in a box whose row is browsed again.
        plan.Post();
        ASSERT_EQ(plan.State(), dsBrowse);
        operCommit = commitInto(editor.EditOper, QStringLiteral("qiechu"), [&] {
            EXPECT_EQ(plan.State(), dsEdit) << "composing over the selection began the edit";
        }, false, true);
        operText = editor.EditOper->text();
        plan.Post();
        ASSERT_EQ(plan.State(), dsBrowse);
        commitInto(editor.DBComboDoctor, QStringLiteral("zhangsan"), {}, false, true);  // over 赵医生
        commitInto(editor.DBEdit10, QStringLiteral("lizhuren"));
        // The bed number takes 3 bytes: before the 5 the first of the two characters fits.
        bedCommit = commitInto(editor.EditBedNo, QStringLiteral("jiachuang"), {}, true);
        bedNo = editor.EditBedNo->text();
        uitest::Escape(); // the stored bed again, whose patient the lookup finds
        editor.DBEdit10->setFocus(); // leaving the bed number looks the patient up
        uitest::Click(editor.BtnOk);
    });
    OperationApplyForm->BtnModifyClick(OperationApplyForm->BtnModify);
    EXPECT_EQ(driver_.PendingSteps(), 0u);
    EXPECT_EQ(driver_.BoxTexts(), QStringList());
    OperationApplyForm->Free();

    EXPECT_EQ(DMInteface->QOperationPlanFBedNo->Size(), 3);
    ASSERT_EQ(bedCommit.size(), 2) << bedCommit.toStdString();
    EXPECT_EQ(bedNo, bedCommit.left(1) + "5");
    EXPECT_EQ(gbk::Width(bedNo.toStdString()), 3u);
    const auto stored = [this](const std::string& column) {
        return db_->Scalar("select " + column + " from TOperationPlan where FSerialNo = 5");
    };
    EXPECT_EQ(stored("FDiag"), "阑尾炎穿孔");
    EXPECT_FALSE(operCommit.isEmpty());
    EXPECT_EQ(operText, operCommit) << "the selected 阑尾切除术 replaced";
    EXPECT_EQ(stored("FOper"), operCommit.toStdString());
    EXPECT_EQ(stored("FOperator"), "张三");
    EXPECT_EQ(stored("FRemark"), "李主任");
    EXPECT_EQ(stored("FBedNo"), "5");
    EXPECT_EQ(stored("FSex"), "男") << "the patient looked up again";
}

} // namespace
