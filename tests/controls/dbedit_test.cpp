#include "tests/controls/bound_form.h"

#include "controls/gbk_limit.h"
#include "platform/ui/application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QImage>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMimeData>

namespace {

using controlstest::BoundData;
using controlstest::BoundForm;

class DBEditTest : public ::testing::Test {
protected:
    void SetUp() override { uitest::ShowActive(&form); }

    void Focus(QWidget* control)
    {
        control->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(uitest::Focused(), control);
    }

    uitest::Driver driver;
    BoundData data;
    BoundForm form{data.source};
};

TEST_F(DBEditTest, FirstTypedCharacterPutsTheBrowsingDatasetIntoEditState)
{
    Focus(form.name);
    EXPECT_EQ(data.data.State(), dsBrowse);
    EXPECT_FALSE(form.name->isReadOnly());  // writable with the focus, for an input method
    uitest::Key(Qt::Key_End);
    EXPECT_EQ(data.data.State(), dsBrowse);

    uitest::Type(QString::fromUtf8("丰"));
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("张三丰"));
    // Written into the field only when the focus leaves.
    EXPECT_EQ(data.name->AsString(), "张三");
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "张三丰");
}

TEST_F(DBEditTest, InputMethodTextBeginsTheEditWhenItIsCommitted)
{
    Focus(form.name);
    form.name->setCursorPosition(2);
    QInputMethodEvent composing(QString::fromUtf8("shou"), {});
    QApplication::sendEvent(form.name, &composing);
    EXPECT_EQ(data.data.State(), dsBrowse);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("丰"));
    QApplication::sendEvent(form.name, &commit);
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("张三丰"));
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "张三丰");
}

TEST_F(DBEditTest, EditingKeysOtherThanCharactersAlsoBeginTheEdit)
{
    for (auto key : {std::pair{Qt::Key_Backspace, Qt::NoModifier}, std::pair{Qt::Key_Delete, Qt::NoModifier},
                     std::pair{Qt::Key_Insert, Qt::ShiftModifier}, std::pair{Qt::Key_V, Qt::ControlModifier},
                     std::pair{Qt::Key_X, Qt::ControlModifier}, std::pair{Qt::Key_Backspace, Qt::ControlModifier},
                     std::pair{Qt::Key_Delete, Qt::ControlModifier}}) {
        data.data.Cancel();
        Focus(form.name);
        ASSERT_EQ(data.data.State(), dsBrowse);
        form.name->setCursorPosition(1);
        uitest::Key(key.first, key.second);
        EXPECT_EQ(data.data.State(), dsEdit) << key.first << " " << key.second;
        form.other->setFocus();
    }
    EXPECT_TRUE(driver.Boxes().empty());  // every text written had its edit begun
}

// Drops `text` at the left end of `target`, as a drag from another program.
void Drop(QWidget* target, const QString& text)
{
    QMimeData mime;
    mime.setText(text);
    const QPoint at(2, target->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

TEST_F(DBEditTest, ContextMenuPasteBeginsTheEditAndAMaskedEditTakesItThroughTheMask)
{
    QApplication::clipboard()->setText(QString::fromUtf8("李"));
    Focus(form.name);
    form.name->setCursorPosition(0);
    controlstest::ChooseFromContextMenu(form.name, QStringLiteral("edit-paste"));
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("李张三"));

    QApplication::clipboard()->setText(QStringLiteral("0815"));
    Focus(form.time);
    form.time->selectAll();
    controlstest::ChooseFromContextMenu(form.time, QStringLiteral("edit-paste"));
    EXPECT_EQ(form.time->text(), QStringLiteral("08:15"));
    form.time->selectAll();
    controlstest::ChooseFromContextMenu(form.time, QStringLiteral("edit-cut"));
    EXPECT_EQ(form.time->text(), QStringLiteral("__:__"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("08:15"));
    form.time->setCursorPosition(0);
    controlstest::ChooseFromContextMenu(form.time, QStringLiteral("edit-paste"));
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "李张三");
    EXPECT_EQ(data.time->AsString(), "08:15");
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_F(DBEditTest, DroppedTextBeginsTheEditOrIsRefused)
{
    Focus(form.name);
    form.name->deselect();
    Drop(form.name, QStringLiteral("xy"));
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("xy张三"));
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "xy张三");
    EXPECT_TRUE(driver.Boxes().empty());

    // The time takes it through its mask.
    Focus(form.time);
    Drop(form.time, QStringLiteral("08"));
    EXPECT_EQ(form.time->text(), QStringLiteral("08:30"));
    uitest::Tab();
    EXPECT_EQ(data.time->AsString(), "08:30");

    // A field that cannot be modified takes nothing.
    data.data.Post();
    data.data.editable = false;
    Focus(form.name);
    Drop(form.name, QStringLiteral("z"));
    EXPECT_EQ(form.name->text(), QString::fromUtf8("xy张三"));
    EXPECT_EQ(data.data.State(), dsBrowse);
}

TEST_F(DBEditTest, FieldThatCannotBeModifiedKeepsTheEditUnchanged)
{
    data.data.editable = false;
    Focus(form.name);
    EXPECT_TRUE(form.name->isReadOnly());
    uitest::Type(QString::fromUtf8("李x"));
    uitest::Key(Qt::Key_Backspace);
    EXPECT_EQ(data.data.State(), dsBrowse);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("张三"));

    // The control's own read-only flag too.
    data.data.editable = true;
    form.name->SetReadOnly(true);
    uitest::Type(QStringLiteral("x"));
    EXPECT_EQ(data.data.State(), dsBrowse);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("张三"));
}

TEST_F(DBEditTest, TextIsLimitedToTheFieldSizeInGbkBytes)
{
    Focus(form.name);
    form.name->selectAll();
    uitest::Type(QString::fromUtf8("欧阳明日x"));
    EXPECT_EQ(form.name->text(), QString::fromUtf8("欧阳明日"));

    form.name->selectAll();
    uitest::Type(QString::fromUtf8("a欧阳明x日"));
    EXPECT_EQ(form.name->text(), QString::fromUtf8("a欧阳明x"));  // 1 + 6 + 1 bytes
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "a欧阳明x");
}

TEST_F(DBEditTest, PastedTextIsCutToWhatFits)
{
    // "张三" is stored (4 of 8 bytes): a paste keeps as much as fits, whole characters only.
    QApplication::clipboard()->setText(QString::fromUtf8("欧阳明日月"));
    Focus(form.name);
    form.name->setCursorPosition(1);
    uitest::Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("张欧阳三"));
    EXPECT_EQ(form.name->cursorPosition(), 3);
    form.name->selectAll();
    QApplication::clipboard()->setText(QString::fromUtf8("x欧阳明日月"));
    uitest::Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form.name->text(), QString::fromUtf8("x欧阳明"));  // 1 + 6 bytes: the next character would split
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "x欧阳明");
}

TEST(GbkWidthLimitTest, AWiderTextShownByTheProgramIsKeptAndMayOnlyShrink)
{
    ui::Application::Instance();
    QLineEdit edit;
    edit.setValidator(new GbkWidthLimit(8, &edit));
    {
        const GbkWidthLimit::ProgramText whole(&edit);
        edit.setText(QString::fromUtf8("欧阳明日月"));  // a stored value of a wider column
    }
    EXPECT_EQ(edit.text(), QString::fromUtf8("欧阳明日月"));
    uitest::ShowActive(&edit);
    edit.end(false);
    uitest::Type(QStringLiteral("x"), &edit);
    EXPECT_EQ(edit.text(), QString::fromUtf8("欧阳明日月"));
    uitest::Key(Qt::Key_Backspace, Qt::NoModifier, &edit);
    EXPECT_EQ(edit.text(), QString::fromUtf8("欧阳明日"));
    uitest::Type(QStringLiteral("x"), &edit);
    EXPECT_EQ(edit.text(), QString::fromUtf8("欧阳明日"));
}

TEST_F(DBEditTest, CharacterTheFieldRefusesBeepsAndChangesNothing)
{
    Focus(form.status);
    form.status->selectAll();
    const int beeps = ui::BeepCount();
    uitest::Type(QString::fromUtf8("a中"));
    EXPECT_EQ(ui::BeepCount(), beeps + 2);
    EXPECT_EQ(data.data.State(), dsBrowse);
    EXPECT_EQ(form.status->text(), QStringLiteral("0"));
    uitest::Type(QStringLiteral("-7"));
    EXPECT_EQ(form.status->text(), QStringLiteral("-7"));
}

TEST_F(DBEditTest, ACharacterTheMaskRefusesChangesNeitherTextNorSelectionNorState)
{
    Focus(form.time);
    form.time->selectAll();
    const QString shown = form.time->text();
    const int beeps = ui::BeepCount();
    uitest::Type(QStringLiteral(" "));
    uitest::Type(QStringLiteral("x"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("x"));
    QApplication::sendEvent(form.time, &commit);
    EXPECT_EQ(ui::BeepCount(), beeps + 3);
    EXPECT_EQ(form.time->text(), shown);
    EXPECT_EQ(form.time->selectedText(), shown);
    EXPECT_EQ(data.data.State(), dsBrowse);

    uitest::Type(QStringLiteral("1"));  // a digit still replaces the selection
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.time->text(), QStringLiteral("1_:__"));
}

TEST_F(DBEditTest, EscapePutsTheFieldTextBackSelected)
{
    Focus(form.name);
    form.name->selectAll();
    uitest::Type(QString::fromUtf8("王五"));
    uitest::Escape();
    EXPECT_EQ(form.name->text(), QString::fromUtf8("张三"));
    EXPECT_EQ(form.name->selectedText(), QString::fromUtf8("张三"));
    uitest::Tab();
    EXPECT_EQ(data.name->AsString(), "张三");
    EXPECT_EQ(data.nameChanges, 0);
}

TEST_F(DBEditTest, WritesBackOnlyChangedTextOnLeavingAndOnPost)
{
    Focus(form.name);
    uitest::Tab();
    EXPECT_EQ(data.nameChanges, 0);

    Focus(form.name);
    form.name->selectAll();
    uitest::Type(QString::fromUtf8("李四"));
    data.data.Post();  // asks the controls first
    EXPECT_EQ(data.name->AsString(), "李四");
    EXPECT_EQ(data.nameChanges, 1);
    uitest::Tab();
    EXPECT_EQ(data.nameChanges, 1);
}

TEST_F(DBEditTest, ShowsEditTextWithTheFocusAndDisplayTextWithout)
{
    EXPECT_EQ(form.time->text(), QStringLiteral(" 9:30"));
    EXPECT_EQ(form.status->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    Focus(form.time);
    EXPECT_EQ(form.time->text(), QStringLiteral("_9:30"));
    uitest::Tab();
    EXPECT_EQ(form.time->text(), QStringLiteral(" 9:30"));
    Focus(form.status);
    EXPECT_EQ(form.status->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    data.data.Edit();
    data.time->Clear();
    EXPECT_EQ(form.time->text(), QStringLiteral("  :  "));
    Focus(form.time);
    EXPECT_EQ(form.time->text(), QStringLiteral("__:__"));
}

class TimeMaskTest : public DBEditTest {
protected:
    void SetUp() override
    {
        DBEditTest::SetUp();
        data.data.Edit();
        data.time->Clear();
        Focus(form.time);
        form.time->setCursorPosition(0);
    }
};

TEST_F(TimeMaskTest, DigitsFillThePositionsAndTheCaretSkipsTheSeparator)
{
    uitest::Type(QStringLiteral("0930"));
    EXPECT_EQ(form.time->text(), QStringLiteral("09:30"));
    uitest::Tab();
    EXPECT_EQ(data.time->AsString(), "09:30");
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_F(TimeMaskTest, TheSeparatorTypedWhereTheMaskHasItIsTakenAsIt)
{
    const int beeps = ui::BeepCount();
    uitest::Type(QStringLiteral("08:15"));
    EXPECT_EQ(form.time->text(), QStringLiteral("08:15"));
    form.time->setCursorPosition(2);
    uitest::Type(QStringLiteral(":4"));
    EXPECT_EQ(form.time->text(), QStringLiteral("08:45"));
    EXPECT_EQ(ui::BeepCount(), beeps);
}

TEST_F(TimeMaskTest, FirstHourDigitLeftUnfilledIsStoredAsASpace)
{
    uitest::Key(Qt::Key_Right);
    uitest::Type(QStringLiteral("930"));
    EXPECT_EQ(form.time->text(), QStringLiteral("_9:30"));
    uitest::Tab();
    EXPECT_EQ(data.time->AsString(), " 9:30");
    EXPECT_EQ(form.time->text(), QStringLiteral(" 9:30"));
}

TEST_F(TimeMaskTest, OnlyDigitsAreTakenAndBackspaceBlanksAPosition)
{
    const int beeps = ui::BeepCount();
    uitest::Type(QStringLiteral("1a:2"));
    EXPECT_EQ(ui::BeepCount(), beeps + 2);
    EXPECT_EQ(form.time->text(), QStringLiteral("12:__"));
    uitest::Key(Qt::Key_Backspace);
    EXPECT_EQ(form.time->text(), QStringLiteral("1_:__"));
    EXPECT_EQ(form.time->cursorPosition(), 1);
}

TEST_F(TimeMaskTest, IncompleteTimeKeepsTheFocusWithTheError)
{
    uitest::Type(QStringLiteral("093"));
    uitest::Tab();
    ASSERT_EQ(driver.Boxes().size(), 1u);
    EXPECT_EQ(driver.Boxes()[0].text,
              QStringLiteral("Invalid input value.  Use escape key to abandon changes."));
    EXPECT_EQ(uitest::Focused(), form.time);
    EXPECT_EQ(form.time->selectedText(), QStringLiteral("09:3_"));
    EXPECT_TRUE(data.time->IsNull());

    // Posting refuses it too, with the caret on the missing minute digit.
    form.time->deselect();
    try {
        data.data.Post();
        ADD_FAILURE() << "the post should fail";
    } catch (const EDBEditError& e) {
        EXPECT_EQ(std::string(e.what()), "Invalid input value.  Use escape key to abandon changes");
    }
    EXPECT_EQ(form.time->cursorPosition(), 4);
    EXPECT_EQ(data.data.State(), dsEdit);

    // Escape abandons the change; leaving then raises nothing.
    uitest::Escape();
    uitest::Tab();
    EXPECT_EQ(driver.Boxes().size(), 1u);
    EXPECT_NE(uitest::Focused(), form.time);
}

TEST_F(TimeMaskTest, ClickOnAButtonWithAnIncompleteTimeOnlyShowsTheError)
{
    auto* ok = new ui::Button(&form, QString::fromUtf8("确定"));
    ui::Place(ok, 10, 110, 60, 25);
    ok->show();
    ok->OnClick = [this](QWidget*) { data.data.Post(); };
    uitest::Type(QStringLiteral("09"));
    uitest::Click(ok);
    EXPECT_EQ(uitest::Focused(), form.time);
    EXPECT_EQ(driver.BoxTexts(), QStringList{"Invalid input value.  Use escape key to abandon changes."});
    EXPECT_EQ(data.data.State(), dsEdit);
}

TEST_F(TimeMaskTest, EditClickedWhileTheTimeRefusesToBeLeftStillShowsItsDisplayText)
{
    uitest::Type(QStringLiteral("09"));
    uitest::Click(form.status);
    uitest::Settle();
    EXPECT_EQ(uitest::Focused(), form.time);
    EXPECT_EQ(form.status->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    form.time->selectAll();
    uitest::Type(QStringLiteral("0930"));
    uitest::Tab();
    EXPECT_EQ(uitest::Focused(), form.status);
    EXPECT_EQ(form.status->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

TEST_F(TimeMaskTest, UntouchedIncompleteTextIsNeitherValidatedNorWritten)
{
    uitest::Tab();
    EXPECT_TRUE(driver.Boxes().empty());
    EXPECT_TRUE(data.time->IsNull());
}

}  // namespace

namespace {

TEST(BoundWindowImageTest, ChineseLabelsAndBoundEditsRenderInTheSongFont)
{
    BoundData data;
    BoundForm form{data.source};
    uitest::ShowActive(&form);
    form.name->setFocus();

    const QFontInfo font(form.name->font());
    EXPECT_TRUE(font.family() == QStringLiteral("SimSun") || font.family() == QString::fromUtf8("宋体") ||
                font.family() == QStringLiteral("AR PL UMing CN"))
        << font.family().toStdString();
    EXPECT_EQ(font.pixelSize(), 12);

    const QImage image = uitest::Grab(&form);
    ASSERT_EQ(image.size(), form.size());
    // The label "姓名:" leaves dark pixels where it is drawn.
    int dark = 0;
    for (int y = 14; y < 28; ++y) {
        for (int x = 19; x < 45; ++x) {
            dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 20);
    EXPECT_FALSE(uitest::SaveImage(&form, QStringLiteral("bound_edits.png")).isEmpty());
}

}  // namespace
