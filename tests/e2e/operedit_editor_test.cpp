// The application editor through whole calls of liboperedit.so: the list
// window's buttons open it, the user types, clicks and answers the boxes, and
// the database shows what was stored.
#include "tests/e2e/editor_call.h"

namespace {

using namespace e2e;

TEST_F(EditorCall, NewTakesTheNumberAtOnceAndLeavingWithYesStoresNothing)
{
    OnList([](QWidget* list) {
        ClickChild(list, "BtnNew");
        ClickChild(list, "BtnClose");
    });
    OnEditor([this](QWidget* editor) {
        EXPECT_EQ(editor->windowTitle(), QString::fromUtf8("新申请"));
        EXPECT_EQ(Scalar("select FNext from TNextOperationPlanNo"), "58") << "the counter moved before any typing";
        EXPECT_EQ(uitest::Focused(), Child(editor, "DBDateEdit1"));
        EXPECT_FALSE(Child(editor, "Panel3")->isVisible()) << "the lower panel waits for the bed number";
        EXPECT_FALSE(Child(editor, "Panel4")->isVisible());
        ClickChild(editor, "BtnClose");
    });
    Box(kYes);
    Call();
    EXPECT_EQ(boxes_, QStringList{kUnsaved}) << "the appended row counts as unsaved from the start";
    EXPECT_EQ(Scalar("select FNext from TNextOperationPlanNo"), "58");
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan"), "0");
}

TEST_F(EditorCall, ACounterTableWithoutExactlyOneRowShowsTheErrorAndNoEditor)
{
    const QString error = QString::fromUtf8("TNextOperationPlanNo表必须只能有一条记录!!!  ");
    db_.Exec("delete from TNextOperationPlanNo");
    OnList([this](QWidget* list) {
        ClickChild(list, "BtnNew");
        db_.Exec("insert into TNextOperationPlanNo (FNext) values (7)");
        db_.Exec("insert into TNextOperationPlanNo (FNext) values (9)");
        ClickChild(list, "BtnNew");
        // Still usable: the list answers its buttons.
        ClickChild(list, "CheckOnly");
        EXPECT_TRUE(Child<QAbstractButton>(list, "BtnNew")->isEnabled());
        ClickChild(list, "BtnClose");
    });
    Box(kOk);
    Box(kOk);
    Call();
    EXPECT_EQ(boxes_, (QStringList{error, error}));
    EXPECT_EQ(Scalar("select count(*) from TNextOperationPlanNo"), "2");
    EXPECT_EQ(Scalar("select sum(FNext) from TNextOperationPlanNo"), "16") << "the counter is untouched";
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan"), "0");
}

TEST_F(EditorCall, ARefusedRuleShowsOnlyItsMessageAndKeepsTheNewRow)
{
    OnList([](QWidget* list) {
        ClickChild(list, "BtnNew");
        ClickChild(list, "BtnClose");
    });
    OnEditor([](QWidget* editor) {
        TypeInto(editor, "EditBedNo", QStringLiteral("12"));
        ClickChild(editor, "BtnOk");  // no patient was found for the bed: the name is missing
        EXPECT_TRUE(editor->isVisible());
        ClickChild(editor, "BtnClose");  // still unsaved: asks
    });
    Box(kOk);
    Box(kYes);
    Call();
    EXPECT_EQ(boxes_, (QStringList{QString::fromUtf8("病人姓名不能为空！"), kUnsaved}));
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan"), "0");
}

TEST_F(EditorCall, AModifiedRowThatTheTheatreArrangedMeanwhileIsRefusedAndKeptUntilDiscarded)
{
    AddApplication(5);
    const QString failed = QString::fromUtf8("更新数据库错误 Operation aborted");
    OnList([](QWidget* list) {
        ClickChild(list, "BtnModify");
        ClickChild(list, "BtnClose");
    });
    OnEditor([this](QWidget* editor) {
        EXPECT_EQ(editor->windowTitle(), QString::fromUtf8("申请修改"));
        TypeInto(editor, "EditDiag", QString::fromUtf8("穿孔"));
        db_.Exec("update TOperationPlan set FOperRoom = '3' where FSerialNo = 5");
        ClickChild(editor, "BtnOk");
        ClickChild(editor, "BtnOk");  // a second press retries the apply
        EXPECT_TRUE(editor->isVisible());
        ClickChild(editor, "BtnClose");  // posted, not applied: one question
    });
    Box(kOk);  // the data layer's own error box
    Box(kOk);
    Box(kOk);
    Box(kOk);
    Box(kYes);
    Call();
    EXPECT_EQ(boxes_, (QStringList{"Update failed.", failed, "Update failed.", failed, kUnsaved}));
    EXPECT_EQ(Scalar("select FDiag from TOperationPlan where FSerialNo = 5"), "急性阑尾炎");
}

TEST_F(EditorCall, ChangedAgainAfterAFailedApplyClosingAsksTwiceAndNoKeepsTheWindow)
{
    AddApplication(5);
    OnList([](QWidget* list) {
        ClickChild(list, "BtnModify");
        ClickChild(list, "BtnClose");
    });
    OnEditor([this](QWidget* editor) {
        TypeInto(editor, "EditOper", QString::fromUtf8("改"));
        db_.Exec("update TOperationPlan set FOperRoom = '3' where FSerialNo = 5");
        ClickChild(editor, "BtnOk");
        TypeInto(editor, "EditDiag", QString::fromUtf8("又改"));
        ClickChild(editor, "BtnClose");  // No to the first question
        EXPECT_TRUE(editor->isVisible());
        ClickChild(editor, "BtnClose");  // Yes, then No to the second
        EXPECT_TRUE(editor->isVisible());
        ClickChild(editor, "BtnClose");  // Yes to both
    });
    Box(kOk);
    Box(kOk);
    Box(kNo);
    Box(kYes);
    Box(kNo);
    Box(kYes);
    Box(kYes);
    Call();
    ASSERT_EQ(boxes_.size(), 7);
    EXPECT_EQ(boxes_.mid(2), (QStringList{kUnsaved, kUnsaved, kUnsaved, kUnsaved, kUnsaved}));
    EXPECT_EQ(Scalar("select FOper from TOperationPlan where FSerialNo = 5"), "阑尾切除术");
}

TEST_F(EditorCall, ModifySelectsTheStoredValuesAndClosesWithoutAQuestionWhenNothingWasTyped)
{
    AddApplication(5, "NULL", "ab型");
    OnList([](QWidget* list) {
        ClickChild(list, "BtnModify");
        ClickChild(list, "BtnClose");
    });
    OnEditor([](QWidget* editor) {
        EXPECT_TRUE(Child(editor, "Panel3")->isVisible());
        EXPECT_FALSE(Child(editor, "Panel4")->isVisible());
        auto* blood = Child<QComboBox>(editor, "ComboBloodType");
        EXPECT_EQ(blood->count(), 4) << "the dictionary's entries";
        EXPECT_EQ(blood->currentText(), QString::fromUtf8("AB型")) << "letter case is ignored";
        EXPECT_EQ(Child<QComboBox>(editor, "ComboAnaesthesia")->currentText(), QString::fromUtf8("全麻"));
        EXPECT_EQ(Child<QComboBox>(editor, "ComboAssay")->count(), 3);
        ClickChild(editor, "BtnClose");
    });
    Call();
    EXPECT_TRUE(boxes_.isEmpty());

    // A blood type the dictionary does not know selects nothing.
    db_.Exec("update TOperationPlan set FBloodType = 'X型' where FSerialNo = 5");
    int index = 0;
    OnList([](QWidget* list) {
        ClickChild(list, "BtnModify");
        ClickChild(list, "BtnClose");
    });
    OnEditor([&index](QWidget* editor) {
        index = Child<QComboBox>(editor, "ComboBloodType")->currentIndex();
        ClickChild(editor, "BtnClose");
    });
    Call();
    EXPECT_EQ(index, -1);
    EXPECT_TRUE(boxes_.isEmpty());
    EXPECT_EQ(Scalar("select FBloodType from TOperationPlan where FSerialNo = 5"), "X型");
}

TEST_F(EditorCall, DeleteAsksWithNoAsTheDefaultAndDeletesOnYes)
{
    AddApplication(5);
    AddApplication(6);
    bool noIsDefault = false;
    OnList([](QWidget* list) {
        ClickChild(list, "BtnDelete");
        ClickChild(list, "BtnClose");
    });
    OnEditor([](QWidget* editor) {
        EXPECT_EQ(editor->windowTitle(), QString::fromUtf8("删除确认"));
        EXPECT_EQ(Child<QAbstractButton>(editor, "BtnOk")->text(), QString::fromUtf8("删除"));
        EXPECT_FALSE(Child(editor, "Panel1")->isEnabled());
        EXPECT_FALSE(Child(editor, "Panel3")->isEnabled());
        EXPECT_EQ(Child<QComboBox>(editor, "ComboBloodType")->currentText(), QString::fromUtf8("A型"));
        ClickChild(editor, "BtnOk");
        EXPECT_TRUE(editor->isVisible()) << "No keeps the window";
        ClickChild(editor, "BtnOk");
    });
    driver_.OnModalIf([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
                      [&noIsDefault](QWidget* w) {
                          auto* box = static_cast<QMessageBox*>(w);
                          noIsDefault = box->defaultButton() != nullptr && box->defaultButton()->text() == kNo;
                          uitest::Enter(box->defaultButton());
                      },
                      QStringLiteral("the first question"));
    Box(kYes);
    Call();
    EXPECT_TRUE(noIsDefault);
    EXPECT_EQ(boxes_, QStringList{QString::fromUtf8("请确认删除当前手术申请?")});
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan where FSerialNo = 5"), "0");
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan where FSerialNo = 6"), "1");
}

TEST_F(EditorCall, AFailedDeletionIsRetriedWithoutDeletingTheNextApplication)
{
    AddApplication(5);
    AddApplication(6);
    OnList([](QWidget* list) {
        ClickChild(list, "BtnDelete");
        ClickChild(list, "BtnClose");
    });
    bool closed = false;
    OnEditor([this, &closed](QWidget* editor) {
        // Arranged meanwhile by the theatre: refused, twice.
        db_.Exec("update TOperationPlan set FOperRoom = '3' where FSerialNo = 5");
        ClickChild(editor, "BtnOk");
        ClickChild(editor, "BtnOk");
        EXPECT_TRUE(editor->isVisible());
        EXPECT_EQ(Scalar("select count(*) from TOperationPlan"), "2") << "neither application was deleted";
        // The arrangement withdrawn: the retry deletes the one application, once.
        db_.Exec("update TOperationPlan set FOperRoom = null where FSerialNo = 5");
        ClickChild(editor, "BtnOk");
        closed = !editor->isVisible();
        if (!closed) {
            ClickChild(editor, "BtnClose");
        }
    });
    for (const QString& answer : {kYes, kOk, kOk, kYes, kOk, kOk, kYes}) {
        Box(answer);
    }
    Call();
    const QString failed = QString::fromUtf8("更新数据库错误  Operation aborted");
    const QString ask = QString::fromUtf8("请确认删除当前手术申请?");
    EXPECT_EQ(boxes_, (QStringList{ask, "Update failed.", failed, ask, "Update failed.", failed, ask}));
    EXPECT_TRUE(closed) << "a stored deletion closes the editor";
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan where FSerialNo = 5"), "0");
    EXPECT_EQ(Scalar("select count(*) from TOperationPlan where FSerialNo = 6"), "1") << "the next one stays";
}

TEST_F(EditorCall, ViewShowsTheTheatrePanelOnlyForAnArrangedApplicationAndHasNoOkButton)
{
    AddApplication(5, "'3'");
    db_.Exec("update TOperationPlan set FAnaDoctor = '赵麻醉' where FSerialNo = 5");
    AddApplication(6);
    struct Seen {
        QString caption;
        bool theatre = false;
        bool ok = true;
        QString room;
    };
    Seen arranged, waiting;
    auto look = [](Seen& seen) {
        return [&seen](QWidget* editor) {
            seen.caption = editor->windowTitle();
            seen.theatre = Child(editor, "Panel4")->isVisible();
            seen.ok = Child(editor, "BtnOk")->isVisible();
            seen.room = Child<QLineEdit>(editor, "DBEdit2")->text();
            EXPECT_FALSE(Child(editor, "Panel4")->isEnabled());
            ClickChild(editor, "BtnClose");
        };
    };
    OnList([](QWidget* list) {
        // The list is in operating-room order: the waiting application (no room) comes first.
        auto* grid = Child<QAbstractScrollArea>(list, "DBGrid1");
        const int h = QFontMetrics(grid->font()).height();
        auto row = [h](int index) { return QPoint(60, h + 4 + 1 + index * (h + 4) + (h + 3) / 2); };
        uitest::DoubleClick(grid->viewport(), row(0));
        // A double click begins with a press that makes the row current.
        Activate(list);
        uitest::Click(grid->viewport(), row(1));
        uitest::DoubleClick(grid->viewport(), row(1));
        ClickChild(list, "BtnClose");
    });
    OnEditor(look(waiting));
    OnEditor(look(arranged));
    Call();
    EXPECT_TRUE(boxes_.isEmpty());
    EXPECT_EQ(waiting.caption, QString::fromUtf8("查看"));
    EXPECT_FALSE(waiting.theatre);
    EXPECT_FALSE(waiting.ok);
    EXPECT_TRUE(arranged.theatre);
    EXPECT_FALSE(arranged.ok);
    EXPECT_EQ(arranged.room, QStringLiteral("3"));
}

}  // namespace
