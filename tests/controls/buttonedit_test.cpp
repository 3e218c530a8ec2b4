#include "controls/buttonedit.h"
#include "platform/ui/events.h"
#include "tests/controls/context_menu.h"
#include "tests/controls/plan_data.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>

#include <functional>
#include <vector>

namespace {

using controlstest::PlanData;
using controlstest::TestForm;

class ButtonEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.Insert(1, "张三");
        data.db.Exec("update TOperationPlan set FDiagCode = 'K35.9', FOperator = '李医生'");
        data.query->Open();
        code = new TDBComboEdit(&form);
        ui::Place(code, 10, 10, 120, 20);
        code->SetDataSource(data.source);
        code->SetDataField("FDiagCode");
        code->SetReadOnly(true);
        code->OnButtonClick = [this](QWidget*) {
            ++codeClicks;
            data.query->Edit();
            data.query->FieldByName("FDiagCode")->SetAsString("K80.2");
        };
        staff = new TDBComboEdit(&form);
        ui::Place(staff, 10, 40, 120, 20);
        staff->SetDataSource(data.source);
        staff->SetDataField("FOperator");
        staff->OnButtonClick = [this](QWidget*) { ++staffClicks; };
        uitest::ShowActive(&form);
    }

    uitest::Driver driver;
    PlanData data;
    TestForm form;
    TDBComboEdit* code = nullptr;
    TDBComboEdit* staff = nullptr;
    int codeClicks = 0;
    int staffClicks = 0;
};

TEST_F(ButtonEditTest, ClickKeyRunsTheHandlerOfAReadOnlyBoxAndTheStoredValueShowsAtOnce)
{
    code->setFocus();
    EXPECT_EQ(code->text(), QStringLiteral("K35.9"));
    uitest::Key(Qt::Key_F4, Qt::NoModifier, code);  // no other key clicks
    EXPECT_EQ(codeClicks, 0);
    uitest::Key(Qt::Key_Down, Qt::AltModifier, code);
    EXPECT_EQ(codeClicks, 1);
    EXPECT_EQ(code->text(), QStringLiteral("K80.2"));

    code->SetButtonWidth(0);
    uitest::Key(Qt::Key_Down, Qt::AltModifier, code);
    EXPECT_EQ(codeClicks, 1);
}

TEST_F(ButtonEditTest, PressingTheButtonFocusesTheBoxAndReleasingItClicks)
{
    form.other->setFocus();
    QAbstractButton* button = staff->Button();
    EXPECT_EQ(button->width(), 21);
    EXPECT_EQ(staff->textMargins().right(), 21 + 2);
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_EQ(uitest::Focused(), staff);
    EXPECT_EQ(staffClicks, 0);
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_EQ(staffClicks, 1);

    staff->setEnabled(false);
    EXPECT_FALSE(button->isEnabled());
}

TEST_F(ButtonEditTest, TypingInAReadOnlyBoxChangesNothing)
{
    code->setFocus();
    uitest::Type(QStringLiteral("x"));
    uitest::Key(Qt::Key_Backspace);
    EXPECT_EQ(code->text(), QStringLiteral("K35.9"));
    EXPECT_EQ(data.query->State(), dsBrowse);
}

// Every key the platform binds to one of the line edit's editing shortcuts,
// pressed where it changes the text, begins the edit, and the text it leaves
// is written when the box is left. (The tests' platform binds keys as
// Windows does: deleting to the end of the line has no key there.)
TEST_F(ButtonEditTest, LineEditShortcutsThatChangeTheTextAlsoBeginTheEdit)
{
    struct Case {
        const char* name;
        QKeySequence::StandardKey key;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"delete to the end of the word", QKeySequence::DeleteEndOfWord, [this] { staff->setCursorPosition(0); }},
        {"delete to the start of the word", QKeySequence::DeleteStartOfWord,
         [this] { staff->setCursorPosition(staff->text().size()); }},
        {"cut", QKeySequence::Cut, [this] { staff->selectAll(); }},
        {"paste", QKeySequence::Paste,
         [this] {
             QApplication::clipboard()->setText(QString::fromUtf8("王"));
             staff->setCursorPosition(0);
         }},
    };
    TField* field = data.query->FieldByName("FOperator");
    for (const Case& c : cases) {
        const QList<QKeySequence> bindings = QKeySequence::keyBindings(c.key);
        ASSERT_FALSE(bindings.isEmpty()) << "no key for " << c.name;
        for (const QKeySequence& binding : bindings) {
            SCOPED_TRACE(std::string(c.name) + ": " + binding.toString().toStdString());
            staff->setFocus();
            ASSERT_EQ(staff->text(), QString::fromUtf8("李医生"));
            ASSERT_EQ(data.query->State(), dsBrowse);
            c.arrange();
            uitest::Key(binding[0].key(), binding[0].keyboardModifiers(), staff);
            const QString left = staff->text();
            ASSERT_NE(left, QString::fromUtf8("李医生")) << "the key changed nothing";
            EXPECT_EQ(data.query->State(), dsEdit);
            form.other->setFocus();  // writing must not fail with "not in edit mode"
            EXPECT_EQ(QString::fromStdString(field->AsString()), left);
            EXPECT_TRUE(driver.Boxes().empty());
            data.query->Cancel();
        }
    }
}

TEST_F(ButtonEditTest, TypingInAStaffBoxStartsEditingAndEscapeRestoresTheField)
{
    staff->setFocus();
    uitest::Key(Qt::Key_End);
    uitest::Type(QString::fromUtf8("甲"));
    EXPECT_EQ(data.query->State(), dsEdit);
    EXPECT_EQ(staff->text(), QString::fromUtf8("李医生甲"));

    uitest::Escape();
    EXPECT_EQ(staff->text(), QString::fromUtf8("李医生"));
    EXPECT_EQ(staff->selectedText(), QString::fromUtf8("李医生"));

    uitest::Type(QString::fromUtf8("王"));
    form.other->setFocus();
    EXPECT_EQ(data.query->FieldByName("FOperator")->AsString(), "王");
}

TEST_F(ButtonEditTest, TextCommittedByAnInputMethodBeginsTheEdit)
{
    staff->setFocus();
    EXPECT_FALSE(staff->isReadOnly());  // open to composition while browsing
    QInputMethodEvent composing(QString::fromUtf8("wang"), {});
    QApplication::sendEvent(staff, &composing);
    EXPECT_EQ(data.query->State(), dsBrowse);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("王"));
    QApplication::sendEvent(staff, &commit);
    EXPECT_EQ(data.query->State(), dsEdit);
    form.other->setFocus();
    EXPECT_EQ(data.query->FieldByName("FOperator")->AsString(), "李医生王");
}

TEST_F(ButtonEditTest, TypedPastedOrComposedTextKeepsWhatFitsTheFieldSizeInBytes)
{
    // FOperator holds 20 bytes: ten Chinese characters; "李医生" takes 6.
    staff->setFocus();
    staff->selectAll();
    uitest::Type(QString::fromUtf8("一二三四五六七八九十百"));
    EXPECT_EQ(staff->text(), QString::fromUtf8("一二三四五六七八九十"));

    uitest::Escape();
    staff->setCursorPosition(static_cast<int>(staff->text().size()));
    QApplication::clipboard()->setText(QString::fromUtf8("一二三四五六七八"));
    uitest::Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(staff->text(), QString::fromUtf8("李医生一二三四五六七"));

    uitest::Escape();  // selects the field's text
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("王五赵六钱七孙八李九周十"));
    QApplication::sendEvent(staff, &commit);
    EXPECT_EQ(staff->text(), QString::fromUtf8("王五赵六钱七孙八李九"));
    form.other->setFocus();
    EXPECT_EQ(data.query->FieldByName("FOperator")->AsString(), "王五赵六钱七孙八李九");
}

TEST_F(ButtonEditTest, EditMenuCommandsBeginTheEditButChangeNoReadOnlyBox)
{
    QApplication::clipboard()->setText(QString::fromUtf8("王"));
    code->setFocus();
    code->setCursorPosition(0);
    controlstest::ChooseFromContextMenu(code, QStringLiteral("edit-paste"));
    EXPECT_EQ(code->text(), QStringLiteral("K35.9"));
    EXPECT_EQ(data.query->State(), dsBrowse);

    staff->setFocus();
    staff->setCursorPosition(0);
    controlstest::ChooseFromContextMenu(staff, QStringLiteral("edit-paste"));
    EXPECT_EQ(data.query->State(), dsEdit);
    EXPECT_EQ(staff->text(), QString::fromUtf8("王李医生"));
    form.other->setFocus();
    EXPECT_EQ(data.query->FieldByName("FOperator")->AsString(), "王李医生");
    EXPECT_TRUE(driver.Boxes().empty());
}

// What the editor window's handlers rely on: F2 reaches the key-down handler
// as virtual key 113, a handler can consume a key (the click key here), and
// Enter reaches the key-press handler as character 13.
TEST_F(ButtonEditTest, WindowKeyHandlersSeeF2AndEnterAndCanConsumeAKey)
{
    std::vector<int> down;
    std::vector<int> pressed;
    ui::Events(code).OnKeyDown = [&](QWidget*, int& key, ui::ShiftState) {
        down.push_back(key);
        if (key == ui::VK_DOWN) {
            key = 0;
        }
    };
    ui::Events(code).OnKeyPress = [&](QWidget*, QChar& key) { pressed.push_back(key.unicode()); };
    code->setFocus();
    uitest::F2(code, Qt::ShiftModifier);
    uitest::Key(Qt::Key_Down, Qt::AltModifier, code);
    uitest::Enter(code);
    EXPECT_EQ(down, (std::vector<int>{113, ui::VK_DOWN, 13}));
    EXPECT_EQ(codeClicks, 0) << "the consumed click key clicked";
    EXPECT_EQ(pressed, (std::vector<int>{13}));
}

}  // namespace
