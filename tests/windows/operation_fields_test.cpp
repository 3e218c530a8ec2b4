// The editor's field behaviours over a real HIS database: quick-pick keys,
// F2 and the picker buttons, the third assistant appended, choices made in
// modify mode before anything was typed, and Enter at the end of the form.
#include "windows/OperationNew.h"

#include "controls/buttonedit.h"
#include "controls/datagrid.h"
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
#include <QCheckBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyle>

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

// Tab until `target` has the focus, as a user without a mouse does.
bool TabTo(QWidget* target)
{
    for (int i = 0; i < 40 && uitest::Focused() != target; ++i) {
        uitest::Tab();
    }
    return uitest::Focused() == target;
}

TEST_F(Fields, BothPickersWorkFromTheKeyboardAlone)
{
    std::string anywhere;
    std::string allDepartments;
    const auto pickers = [&] {
        driver_.OnModal<TChoiceDiagForm>([&](TChoiceDiagForm& picker) {
            uitest::Type(QStringLiteral("35"));
            uitest::Tab();
            EXPECT_EQ(uitest::Focused(), picker.CheckFlag);
            uitest::Key(Qt::Key_Space);  // 任意匹配
            anywhere = DMInteface->QDiag->SQL()[0];
            uitest::ShiftTab();
            uitest::Enter();
        });
        driver_.OnModal<TChoiceEmployeeForm>([&](TChoiceEmployeeForm& picker) {
            uitest::Type(QStringLiteral("l"));
            for (int i = 0; i < 4; ++i) {
                uitest::Tab();  // 仅本科室, 选定, 退出, 仅医生
            }
            EXPECT_EQ(uitest::Focused(), picker.CheckJob);
            uitest::Key(Qt::Key_Space);
            for (int i = 0; i < 3; ++i) {
                uitest::ShiftTab();
            }
            EXPECT_EQ(uitest::Focused(), picker.CheckFlag);
            uitest::Key(Qt::Key_Space);
            allDepartments = DMInteface->QEmployee->SQL()[0];
            uitest::ShiftTab();
            uitest::Enter();
        });
    };
    Modify([](TOperationNewForm& editor) {
        ASSERT_TRUE(TabTo(editor.EditDiagCode));
        uitest::F2();
        EXPECT_EQ(uitest::Focused(), editor.EditDiag);
        ASSERT_TRUE(TabTo(editor.DBComboDoctor));
        uitest::F2();
        ASSERT_TRUE(TabTo(editor.BtnOk));
        uitest::Enter();
    }, pickers);
    EXPECT_EQ(anywhere, "select FDiagCode as FCode,FName,FInputCode from TDictDiagICD where FDiagCode like '%35%' ");
    EXPECT_EQ(allDepartments, "select * from TEmployee where FInputCode like 'L%' ");
    EXPECT_EQ(Stored("FDiagCode"), "K35.900");
    EXPECT_EQ(Stored("FOperator"), "刘洋");
    EXPECT_TRUE(driver_.Boxes().empty());
}

TEST_F(Fields, QuickPickKeysAndEnterWorkWithTheListDroppedDown)
{
    QStringList after;
    Modify([&after](TOperationNewForm& editor) {
        const auto dropped = [](TDBComboBox* list) {
            uitest::Click(list);
            uitest::Settle();
            EXPECT_TRUE(list->view()->isVisible()) << "a click drops the list down";
            EXPECT_EQ(list->view()->sizeHintForRow(0), list->ItemHeight()) << "its rows keep the box's height";
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

// The screens wards have: these cases also run on a 1366 x 768 screen and on
// desktops scaled to 125, 150 and 200 % (tests/windows/CMakeLists.txt).
using Screens = Fields;

double Scale()
{
    return QGuiApplication::primaryScreen()->devicePixelRatio();
}

QString ScreenName()
{
    const QSize size = QGuiApplication::primaryScreen()->geometry().size();
    return QStringLiteral("%1x%2@%3").arg(size.width()).arg(size.height()).arg(qRound(Scale() * 100));
}

TEST_F(Screens, PickersOpenBelowTheirBoxesFromWhereTheEditorIsAndWhollyOnItsScreen)
{
    struct Opened {
        QRect editor;
        QRect picker;
        QRect area;
    };
    std::vector<Opened> opened;
    // The ward's screen as the user sees it with the third assistant's picker open.
    QImage screen(QGuiApplication::primaryScreen()->geometry().size(), QImage::Format_RGB32);
    screen.fill(QColor(0x3a, 0x6e, 0xa5));
    QRect closeButton;
    const auto record = [&](auto& picker) {
        opened.push_back({OperationNewForm->frameGeometry(), picker.frameGeometry(), picker.ScreenArea()});
        if (opened.size() == 6 && Scale() == 1.0) {
            QPainter painter(&screen);
            painter.drawImage(OperationApplyForm->geometry().topLeft(), uitest::Grab(OperationApplyForm));
            painter.drawImage(OperationNewForm->geometry().topLeft(), uitest::Grab(OperationNewForm));
            painter.drawImage(picker.geometry().topLeft(), uitest::Grab(&picker));
            closeButton = QRect(picker.BtnClose->mapToGlobal(QPoint()), picker.BtnClose->size());
        }
        picker.BtnCloseClick(picker.BtnClose);
    };
    const auto pickers = [&] {
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < 2; ++i) {
                driver_.OnModal<TChoiceDiagForm>(record);
            }
            for (int i = 0; i < 4; ++i) {
                driver_.OnModal<TChoiceEmployeeForm>(record);
            }
        }
    };
    Modify([](TOperationNewForm& editor) {
        // As the window system centred it, then where the user dragged it.
        for (const QPoint moved : {QPoint(), QPoint(40, 8)}) {
            if (!moved.isNull()) {
                editor.move(editor.ScreenArea().topLeft() + moved);
                uitest::Settle();
                ASSERT_EQ(editor.frameGeometry().topLeft(), editor.ScreenArea().topLeft() + moved);
            }
            for (QWidget* box : std::initializer_list<QWidget*>{editor.EditDiagCode, editor.EditOperCode,
                                                                editor.DBComboDoctor, editor.DBComboAssistant1,
                                                                editor.DBComboAssistant2, editor.DBComboAssistant3}) {
                box->setFocus();
                uitest::F2();
            }
        }
        editor.BtnCloseClick(editor.BtnClose);
    }, pickers);
    ASSERT_EQ(opened.size(), 12u);
    const int below[] = {223, 281, 383, 411, 439, 467};
    int keptUp = 0;
    for (std::size_t i = 0; i < opened.size(); ++i) {
        SCOPED_TRACE(ScreenName().toStdString() + " picker " + std::to_string(i));
        const Opened& o = opened[i];
        EXPECT_EQ(o.picker.left(), o.editor.left()) << "the editor's left edge, wherever it is";
        EXPECT_TRUE(o.area.contains(o.picker)) << "wholly on the screen";
        const int top = o.editor.top() + below[i % 6];
        if (top + o.picker.height() <= o.area.bottom() + 1) {
            EXPECT_EQ(o.picker.top(), top) << "below its box";
        } else {
            EXPECT_EQ(o.picker.bottom(), o.area.bottom()) << "moved up by no more than it takes";
            ++keptUp;
        }
    }
    if (ScreenName() == QStringLiteral("1366x768@100")) {
        EXPECT_EQ(keptUp, 2) << "the second and third assistants' pickers of the centred editor";
        uitest::SaveImage(screen, QStringLiteral("ward-screen-1366x768.png"));
        EXPECT_GT(uitest::InkIn(screen, closeButton.adjusted(4, 4, -4, -4)), 20) << "退出 of the picker on the screen";
    }
}

// A text that needs more room on this screen than its control gives it. A
// grid column narrower than its title is the layout's own choice: there only
// a title that has the room unscaled must have it here.
QStringList ClippedTexts(QWidget* window)
{
    QStringList clipped;
    QImage unscaled(1, 1, QImage::Format_ARGB32);
    const auto check = [&](QWidget* w, const QString& text, const QFont& font, int extra, int room, bool across,
                           bool asUnscaled = false) {
        if (!w->isVisibleTo(window) || text.isEmpty()) {
            return;
        }
        const auto need = [&](const QFontMetrics& fm) {
            return extra + (across ? fm.horizontalAdvance(text) : fm.height());
        };
        const int here = need(QFontMetrics(font, w));
        if (here > room && (!asUnscaled || need(QFontMetrics(font, &unscaled)) <= room)) {
            clipped << QStringLiteral("%1 \"%2\" needs %3, has %4").arg(w->objectName(), text).arg(here).arg(room);
        }
    };
    for (auto* label : window->findChildren<QLabel*>()) {
        for (const QString& line : label->text().split('\n')) {
            check(label, line, label->font(), 0, label->contentsRect().width(), true);
        }
        check(label, label->text(), label->font(), 0, label->contentsRect().height(), false);
    }
    for (auto* button : window->findChildren<QAbstractButton*>()) {
        int extra = 0;
        if (qobject_cast<QCheckBox*>(button) != nullptr) {
            extra = button->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                    button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        } else if (!button->icon().isNull()) {
            extra = button->iconSize().width() + 4;
        }
        check(button, button->text(), button->font(), extra, button->width(), true);
        check(button, button->text(), button->font(), 0, button->height(), false);
    }
    for (auto* edit : window->findChildren<QLineEdit*>()) {
        check(edit, QString::fromUtf8("Ag测"), edit->font(), 0, edit->contentsRect().height(), false);
    }
    for (auto* widget : window->findChildren<QWidget*>()) {
        auto* grid = dynamic_cast<TDataGrid*>(widget);  // no meta-object of its own
        if (grid == nullptr) {
            continue;
        }
        for (int col = 0; col < grid->ColumnCount(); ++col) {
            check(grid, grid->Column(col)->Title(), grid->TitleFont(), 2, grid->Column(col)->Width(), true, true);
        }
        check(grid, QString::fromUtf8("Ag测"), grid->TitleFont(), 0, grid->TitleHeight(), false);
        check(grid, QString::fromUtf8("Ag测"), grid->font(), 0, grid->RowHeight(), false);
    }
    return clipped;
}

// Every window keeps its layout and its Song-style font on every screen:
// no text wants more room than it has, and the pictures show them.
TEST_F(Screens, EveryWindowKeepsItsLayoutAndFontAtEveryScale)
{
    const QString suffix = qFuzzyCompare(Scale(), 1.5) ? QStringLiteral("-150") : QString();
    const auto look = [&](QWidget& window, const QString& picture) {
        SCOPED_TRACE(ScreenName().toStdString() + " " + window.objectName().toStdString());
        uitest::Settle();
        EXPECT_EQ(ClippedTexts(&window), QStringList());
        const QString family = QFontInfo(window.font()).family();
        EXPECT_TRUE(QStringList({"SimSun", QString::fromUtf8("宋体"), "AR PL UMing CN"}).contains(family))
            << family.toStdString();
        const QImage image = uitest::Grab(&window);
        EXPECT_EQ(image.size(), window.size() * Scale()) << "drawn at the screen's own resolution";
        if (!suffix.isEmpty()) {
            uitest::SaveImage(&window, picture + suffix + ".png");
        }
    };
    OperationApplyForm->show();
    look(*OperationApplyForm, QStringLiteral("list-window"));
    OperationApplyForm->hide();
    const auto pickers = [&] {
        driver_.OnModal<TChoiceDiagForm>([&](TChoiceDiagForm& picker) {
            uitest::Type(QStringLiteral("k"));
            look(picker, QStringLiteral("code-picker"));
            picker.BtnCloseClick(picker.BtnClose);
        });
        driver_.OnModal<TChoiceEmployeeForm>([&](TChoiceEmployeeForm& picker) {
            uitest::Type(QStringLiteral("z"));
            look(picker, QStringLiteral("staff-picker"));
            picker.BtnCloseClick(picker.BtnClose);
        });
    };
    Modify([&](TOperationNewForm& editor) {
        look(editor, QStringLiteral("editor-filled"));
        editor.EditDiagCode->setFocus();
        uitest::F2();
        editor.DBComboDoctor->setFocus();
        uitest::F2();
        editor.BtnCloseClick(editor.BtnClose);
    }, pickers);
}

}  // namespace
