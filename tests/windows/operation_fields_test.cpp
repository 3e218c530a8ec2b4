// The editor's field behaviours over a real HIS database: quick-pick keys,
// F2 and the picker buttons, the third assistant appended, choices made in
// modify mode before anything was typed, and Enter at the end of the form.
#include "windows/OperationNew.h"

#include "controls/buttonedit.h"
#include "controls/dbcombobox.h"
#include "controls/dbedit.h"
#include "data/DMIntefaceUnit.h"
#include "data/dataset/locale_settings.h"
#include "pickers/ChoiceDiag.h"
#include "pickers/ChoiceEmployee.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/data_module.h"
#include "tests/support/test_env.h"
#include "tests/support/ui_driver.h"
#include "windows/OperationApply.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>

#include <functional>
#include <memory>
#include <string>

namespace {

namespace loc = dataset::locale;
using testenv::Backend;

class Fields : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::Application::Instance();
        db_ = std::make_unique<testenv::HisDatabase>(Backend::Sqlite);
        const char* blood[] = {"A型", "B型", "O型", "AB型", "Rh阴性A型", "Rh阴性B型", "Rh阴性O型", "Rh阴性AB型",
                               "未查", "不详", "待查", "其他"};
        for (int i = 0; i < 12; ++i) {
            db_->Exec("insert into TDictBloodTypeA (FNo, FName) values (" + std::to_string(i + 1) + ", '" + blood[i] +
                      "')");
        }
        db_->Exec("insert into TDictAssay (FNo, FName) values (1, '阴性'), (2, '乙肝'), (3, '梅毒')");
        db_->Exec("insert into TDictAnaesthesia (FNo, FName) values (1, '全麻'), (2, '腰麻'), (3, '局麻')");
        db_->Exec("insert into TDictDiagICD (FDiagCode, FName, FInputCode) values ('K35.900', '急性阑尾炎', 'JXLWY')");
        db_->Exec("insert into TEmployee (FEmployeeID, FName, FInputCode, FDeptCode, FJob) values "
                  "('000001', '张建国', 'ZJG', '0301', '医生'), ('000002', '刘洋', 'LY', '0301', '医生')");
        db_->Exec("insert into TOperationPlan (FSerialNo, FOperDate, FTime, FName, FDeptCode, FBedNo, FBloodType, "
                  "FDiag, FDiagCode, FOper, FOperCode, FOperator, FAssistant3, FAnaesthesia, FStatus) values (5, '" +
                  loc::Today().ToIso().substr(0, 10) +
                  " 00:00:00', '09:30', '王五', '0301', '12', 'A型', '阑尾炎', 'K35.8', '阑尾切除术', '47.09', "
                  "'赵医生', '陈静', '全麻', 0)");
        testenv::OpenDataModule();
        OperationApplyForm = new TOperationApplyForm();
        OperationApplyForm->RefreshList();
    }
    void TearDown() override
    {
        OperationApplyForm->Free();
        delete DMInteface;
        DMInteface = nullptr;
    }

    // Runs the editor in modify mode with `step`; `pickers` then queues the
    // steps of the pickers that the editor's step opens, in their order.
    void Modify(std::function<void(TOperationNewForm&)> step, std::function<void()> pickers = {})
    {
        driver_.OnModal<TOperationNewForm>(std::move(step));
        if (pickers) {
            pickers();
        }
        OperationApplyForm->BtnModifyClick(OperationApplyForm->BtnModify);
        EXPECT_EQ(driver_.PendingSteps(), 0u);
    }

    std::string Stored(const std::string& column)
    {
        return db_->Scalar("select " + column + " from TOperationPlan where FSerialNo = 5");
    }

    std::unique_ptr<testenv::HisDatabase> db_;
    uitest::Driver driver_;
};

TEST_F(Fields, QuickPickKeysSelectAndStoreTheirEntry)
{
    Modify([this](TOperationNewForm& editor) {
        TQuery& plan = *DMInteface->QOperationPlan;
        // A click would drop the list down; the keys come by Tab.
        editor.ComboBloodType->setFocus();
        uitest::Type(QStringLiteral("b"));
        EXPECT_EQ(plan.State(), dsEdit) << "the pick begins the edit in modify mode";
        EXPECT_EQ(editor.ComboBloodType->currentText(), QString::fromUtf8("其他"));
        EXPECT_EQ(DMInteface->QOperationPlanFBloodType->AsString(), "其他");
        uitest::Type(QStringLiteral("c"));  // position 13 of 12
        EXPECT_EQ(editor.ComboBloodType->currentText(), QString::fromUtf8("其他"));
        uitest::Type(QStringLiteral("0"));
        EXPECT_EQ(editor.ComboBloodType->currentText(), QString::fromUtf8("不详"));
        uitest::Type(QStringLiteral("B"));  // capitals pick nothing
        EXPECT_EQ(editor.ComboBloodType->currentText(), QString::fromUtf8("不详"));

        editor.ComboAnaesthesia->setFocus();
        uitest::Type(QStringLiteral("5"));  // beyond a list of 3
        EXPECT_EQ(editor.ComboAnaesthesia->currentText(), QString::fromUtf8("全麻"));
        uitest::Type(QStringLiteral("2"));
        EXPECT_EQ(editor.ComboAnaesthesia->currentText(), QString::fromUtf8("腰麻"));

        editor.ComboAssay->setFocus();  // free text: the pick is not typed into it as well
        uitest::Type(QStringLiteral("3"));
        EXPECT_EQ(editor.ComboAssay->currentText(), QString::fromUtf8("梅毒"));
        uitest::Enter();
        EXPECT_EQ(uitest::Focused(), editor.EditDiagCode);
        uitest::Click(editor.BtnOk);
    });
    EXPECT_EQ(Stored("FBloodType"), "不详");
    EXPECT_EQ(Stored("FAnaesthesia"), "腰麻");
    EXPECT_EQ(Stored("FAssay"), "梅毒");
}

TEST_F(Fields, QuickPickKeysAndEnterWorkWithTheListDroppedDown)
{
    QStringList after;
    Modify([&after](TOperationNewForm& editor) {
        const auto dropped = [](TDBComboBox* list) {
            uitest::Click(list);
            uitest::Settle();
            EXPECT_TRUE(list->view()->isVisible()) << "a click drops the list down";
            return list->view();
        };
        uitest::Type(QStringLiteral("b"), dropped(editor.ComboBloodType));
        EXPECT_FALSE(editor.ComboBloodType->view()->isVisible()) << "the pick closes the list";
        after << editor.ComboBloodType->currentText() << QString::fromStdString(DMInteface->QOperationPlanFBloodType->AsString());
        EXPECT_EQ(DMInteface->QOperationPlan->State(), dsEdit);
        uitest::Enter(dropped(editor.ComboBloodType));
        after << uitest::Focused()->objectName();
        uitest::Type(QStringLiteral("2"), dropped(editor.ComboAnaesthesia));
        after << QString::fromStdString(DMInteface->QOperationPlanFAnaesthesia->AsString());
        QWidget* list = dropped(editor.ComboAnaesthesia);
        uitest::Down(list);
        uitest::Enter(list);
        after << QString::fromStdString(DMInteface->QOperationPlanFAnaesthesia->AsString())
              << uitest::Focused()->objectName();
        uitest::Click(editor.BtnOk);
    });
    EXPECT_EQ(after, (QStringList{QString::fromUtf8("其他"), QString::fromUtf8("其他"), "ComboAssay",
                                  QString::fromUtf8("腰麻"), QString::fromUtf8("局麻"), "DBEdit10"}));
    EXPECT_EQ(Stored("FBloodType"), "其他");
    EXPECT_EQ(Stored("FAnaesthesia"), "局麻");
}

TEST_F(Fields, AQuickPickInModifyModeMakesClosingAsk)
{
    Modify([this](TOperationNewForm& editor) {
        editor.ComboBloodType->setFocus();
        uitest::Type(QStringLiteral("2"));
        driver_.Answer(ui::IDYES);
        editor.BtnCloseClick(editor.BtnClose);
    });
    EXPECT_EQ(driver_.BoxTexts(), QStringList{QString::fromUtf8("数据没有存盘，不保存退出吗?")});
    EXPECT_EQ(Stored("FBloodType"), "A型");
}

TEST_F(Fields, F2WithAnyShiftOpensThePickerWhollyOnTheScreenAtTheEditorsLeftEdge)
{
    // Where exactly they open below their boxes is a test of the screens' own.
    std::vector<int> tops;
    const auto close = [&tops](auto& picker) {
        const QRect on = picker.frameGeometry();
        EXPECT_EQ(on.left(), OperationNewForm->frameGeometry().left());
        EXPECT_TRUE(picker.ScreenArea().contains(on)) << "on a screen of " << picker.ScreenArea().height() << " px";
        tops.push_back(on.top());
        picker.BtnCloseClick(picker.BtnClose);
    };
    const auto pickers = [&] {
        for (int i = 0; i < 4; ++i) {
            driver_.OnModal<TChoiceDiagForm>(close);
        }
        for (int i = 0; i < 4; ++i) {
            driver_.OnModal<TChoiceEmployeeForm>(close);
        }
    };
    Modify([](TOperationNewForm& editor) {
        uitest::Click(editor.EditDiagCode);
        uitest::F2();
        uitest::F2(nullptr, Qt::ShiftModifier);
        uitest::F2(nullptr, Qt::ControlModifier);
        uitest::Key(Qt::Key_F3);  // nothing
        uitest::Click(editor.EditOperCode);
        uitest::F2();
        for (TDBComboEdit* box :
             {editor.DBComboDoctor, editor.DBComboAssistant1, editor.DBComboAssistant2, editor.DBComboAssistant3}) {
            uitest::Click(box);
            uitest::F2();
        }
        EXPECT_EQ(DMInteface->QOperationPlan->State(), dsBrowse) << "leaving a picker by 退出 changes nothing";
        editor.BtnCloseClick(editor.BtnClose);
    }, pickers);
    ASSERT_EQ(tops.size(), 8u);
    EXPECT_EQ(tops[0], tops[2]) << "Shift+F2 and Ctrl+F2 open it where F2 does";
    EXPECT_LT(tops[2], tops[3]) << "the operation's picker opens below the diagnosis's";
}

TEST_F(Fields, ChoicesMadeBeforeAnythingWasTypedAreStored)
{
    const auto pickers = [this] {
        driver_.OnModal<TChoiceEmployeeForm>([](TChoiceEmployeeForm&) {
            uitest::Type(QStringLiteral("zjg"));
            uitest::Enter();
        });
        driver_.OnModal<TChoiceDiagForm>([](TChoiceDiagForm&) {
            uitest::Type(QStringLiteral("k35"));
            uitest::Enter();
        });
        driver_.OnModal<TChoiceEmployeeForm>([](TChoiceEmployeeForm&) {
            uitest::Type(QStringLiteral("ly"));
            uitest::Enter();
        });
    };
    QString assistants;
    Modify([&assistants](TOperationNewForm& editor) {
        // The surgeon first: nothing else has begun the edit.
        editor.DBComboDoctor->setFocus();
        uitest::F2();
        EXPECT_EQ(DMInteface->QOperationPlan->State(), dsEdit);
        EXPECT_EQ(DMInteface->QOperationPlanFOperator->AsString(), "张建国");
        uitest::Click(editor.EditDiagCode->Button());
        EXPECT_EQ(uitest::Focused(), editor.EditDiag) << "the name box follows a chosen code";
        uitest::Click(editor.DBComboAssistant3);
        uitest::F2();
        assistants = editor.DBComboAssistant3->text();
        EXPECT_EQ(editor.DBComboAssistant3->cursorPosition(), assistants.size());
        uitest::Click(editor.DBEdit10);
        uitest::Enter();
        EXPECT_EQ(uitest::Focused(), editor.BtnOk) << "Enter in the last field";
        uitest::Enter();
    }, pickers);
    EXPECT_EQ(assistants, QString::fromUtf8("陈静刘洋")) << "appended without a separator";
    EXPECT_EQ(Stored("FDiagCode"), "K35.900");
    EXPECT_EQ(Stored("FDiag"), "急性阑尾炎");
    EXPECT_EQ(Stored("FOperator"), "张建国") << "replaced";
    EXPECT_EQ(Stored("FAssistant3"), "陈静刘洋");
    EXPECT_TRUE(driver_.Boxes().empty());
}

TEST_F(Fields, PictureOfAFilledInApplication)
{
    db_->Exec("update TOperationPlan set FSex = '男', FAge = 45, FInNo = 'Z1000231', FAssay = '阴性', "
              "FDiag = '急性化脓性阑尾炎', FDiagCode = 'K35.901', FOper = '腹腔镜下阑尾切除术', FOperCode = '47.0101', "
              "FMaterial = '腹腔镜设备，备血400ml', FOperator = '张建国', FAssistant1 = '刘洋', "
              "FRemark = '王主任指导' where FSerialNo = 5");
    OperationApplyForm->RefreshList();
    driver_.OnModal<TOperationNewForm>([](TOperationNewForm& editor) {
        uitest::Settle();
        uitest::SaveImage(&editor, QStringLiteral("editor-filled.png"));
        EXPECT_EQ(editor.DBComboAssistant3->text(), QString::fromUtf8("陈静"));
        // The picture shows the filled-in boxes, the long material text among them.
        const QImage picture = uitest::Grab(&editor);
        for (QWidget* box : std::initializer_list<QWidget*>{editor.EditDiag, editor.EditOper, editor.DBEdit9,
                                                            editor.DBComboDoctor, editor.DBComboAssistant3}) {
            SCOPED_TRACE(box->objectName().toStdString());
            EXPECT_GT(uitest::InkIn(picture, uitest::RectIn(&editor, box).adjusted(2, 2, -2, -2)), 20);
        }
        editor.BtnCloseClick(editor.BtnClose);
    });
    OperationApplyForm->BtnModifyClick(OperationApplyForm->BtnModify);
}

}  // namespace
