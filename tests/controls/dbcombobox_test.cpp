#include "tests/controls/bound_form.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>

namespace {

using controlstest::BoundData;
using controlstest::BoundForm;

class DBComboBoxTest : public ::testing::Test {
protected:
    void SetUp() override { uitest::ShowActive(&form); }

    uitest::Driver driver;
    BoundData data;
    BoundForm form{data.source};
};

TEST_F(DBComboBoxTest, ChoiceOnlyListShowsTheEntryEqualToTheFieldIgnoringCase)
{
    EXPECT_EQ(form.blood->ItemIndex(), 1);  // "b型" chooses "B型"
    EXPECT_EQ(form.blood->IndexOf(QString::fromUtf8("ab型")), 3);
    EXPECT_EQ(form.blood->IndexOf(QString::fromUtf8("AB")), -1);

    data.data.Edit();
    data.blood->SetAsString("Rh");
    EXPECT_EQ(form.blood->ItemIndex(), -1);
    EXPECT_EQ(form.blood->Text(), QString());
}

TEST_F(DBComboBoxTest, ChoosingByKeyboardEditsAndWritesOnLeaving)
{
    form.blood->setFocus();
    uitest::Down();
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.blood->Text(), QString::fromUtf8("O型"));
    EXPECT_EQ(data.blood->AsString(), "b型");
    uitest::Tab();
    EXPECT_EQ(data.blood->AsString(), "O型");
}

TEST_F(DBComboBoxTest, SettingEntriesOrIndexFromCodeLeavesTheDatasetAlone)
{
    form.blood->SetItemIndex(2);
    form.blood->ClearItems();
    form.blood->AddItem(QString::fromUtf8("A型"));
    EXPECT_EQ(form.blood->ItemIndex(), -1);
    form.assay->ClearItems();
    EXPECT_EQ(form.assay->Text(), QString::fromUtf8("阴性"));
    form.assay->AddItem(QString::fromUtf8("乙肝"));
    EXPECT_EQ(form.assay->Text(), QString::fromUtf8("阴性"));
    EXPECT_EQ(data.data.State(), dsBrowse);
    form.blood->setFocus();
    uitest::Tab();
    EXPECT_EQ(data.blood->AsString(), "b型");
}

TEST_F(DBComboBoxTest, ListOfAFieldThatCannotBeModifiedDoesNotChange)
{
    data.data.editable = false;
    form.blood->setFocus();
    uitest::Down();
    form.blood->showPopup();
    EXPECT_EQ(form.blood->ItemIndex(), 1);
    EXPECT_FALSE(form.blood->view()->isVisible());
    EXPECT_EQ(data.data.State(), dsBrowse);
}

TEST_F(DBComboBoxTest, FreeTextTakesChineseWithinTheWidthAndEscapeRestores)
{
    QLineEdit* editor = form.assay->lineEdit();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(form.assay->findChild<QAbstractItemView*>(), nullptr) << "the list is made when it first drops down";
    form.assay->setFocus();
    ASSERT_EQ(uitest::Focused(), form.assay);
    editor->selectAll();
    uitest::Type(QString::fromUtf8("乙肝梅毒阳性"));
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.assay->Text(), QString::fromUtf8("乙肝梅毒阳"));  // 10 bytes
    uitest::Escape();
    EXPECT_EQ(form.assay->Text(), QString::fromUtf8("阴性"));

    editor->selectAll();
    uitest::Type(QString::fromUtf8("梅毒"));
    uitest::Tab();
    EXPECT_EQ(data.assay->AsString(), "梅毒");

    form.assay->showPopup();
    EXPECT_NE(form.assay->findChild<QAbstractItemView*>(), nullptr);
    form.assay->hidePopup();
}

TEST_F(DBComboBoxTest, FreeTextWidthFollowsTheFieldBoundNow)
{
    form.assay->SetDataField("FBloodType");  // 4 bytes instead of 10
    form.assay->setFocus();
    form.assay->lineEdit()->selectAll();
    uitest::Type(QString::fromUtf8("乙肝梅毒"));
    EXPECT_EQ(form.assay->Text(), QString::fromUtf8("乙肝"));
}

TEST_F(DBComboBoxTest, DeletingAWordOrDroppingTextIntoTheFreeTextBeginsTheEdit)
{
    QLineEdit* editor = form.assay->lineEdit();
    form.assay->setFocus();
    editor->end(false);
    uitest::Key(Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.assay->Text(), QString());
    uitest::Tab();
    EXPECT_EQ(data.assay->AsString(), "");

    data.data.Post();
    form.assay->setFocus();
    QMimeData mime;
    mime.setText(QString::fromUtf8("梅毒"));
    QDragEnterEvent enter(QPoint(2, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor, &enter);
    QDropEvent drop(QPoint(2, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(editor, &drop);
    EXPECT_EQ(data.data.State(), dsEdit);
    uitest::Tab();
    EXPECT_EQ(data.assay->AsString(), "梅毒");
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_F(DBComboBoxTest, PastingFromTheFreeTextMenuBeginsTheEdit)
{
    QApplication::clipboard()->setText(QString::fromUtf8("乙肝"));
    form.assay->setFocus();
    form.assay->lineEdit()->selectAll();
    controlstest::ChooseFromContextMenu(form.assay->lineEdit(), QStringLiteral("edit-paste"));
    EXPECT_EQ(data.data.State(), dsEdit);
    EXPECT_EQ(form.assay->Text(), QString::fromUtf8("乙肝"));
    uitest::Tab();
    EXPECT_EQ(data.assay->AsString(), "乙肝");
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_F(DBComboBoxTest, SwitchingToFreeTextShowsAValueThatIsNoEntry)
{
    data.data.Edit();
    data.blood->SetAsString("Rh");
    data.data.Post();
    form.blood->SetStyle(csDropDown);
    EXPECT_EQ(form.blood->Text(), QStringLiteral("Rh"));
    // Keys typed into the new editor still reach the window's handlers.
    int pressed = 0;
    ui::Events(form.blood).OnKeyPress = [&](QWidget*, QChar&) { ++pressed; };
    form.blood->setFocus();
    uitest::Type(QStringLiteral("1"));
    EXPECT_EQ(pressed, 1);
}

}  // namespace
