#include "platform/ui/form.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/widgets.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QStyle>

namespace {

// A small picker: an edit and OK / Exit buttons.
struct Picker : ui::Form {
    explicit Picker(QWidget* owner = nullptr) : ui::Form(owner)
    {
        setObjectName(QStringLiteral("Picker"));
        SetBounds(200, 200, 300, 120);
        edit = new ui::Edit(this);
        ui::Place(edit, 10, 10, 200, 20);
        ok = new ui::Button(this, QString::fromUtf8("确认"), ui::Glyph::Ok);
        ui::Place(ok, 10, 80, 70, 25);
        ok->OnClick = [this](QWidget*) { SetModalResult(ui::mrOk); };
        exit = new ui::Button(this, QString::fromUtf8("退出"), ui::Glyph::Close);
        ui::Place(exit, 100, 80, 70, 25);
        exit->OnClick = [this](QWidget*) { Close(); };
        SetActiveControl(edit);
    }
    ui::Edit* edit;
    ui::Button* ok;
    ui::Button* exit;
};

TEST(FormTest, ModalResultComesFromTheButtonThatClosed)
{
    uitest::Driver driver;
    Picker picker;
    driver.OnModal<Picker>([](Picker& p) {
        EXPECT_EQ(uitest::Focused(), p.edit);
        uitest::Type(QString::fromUtf8("阑尾"));
        uitest::Click(p.ok);
    });
    EXPECT_EQ(picker.ShowModal(), ui::mrOk);
    EXPECT_EQ(picker.edit->text(), QString::fromUtf8("阑尾"));

    driver.OnModal<Picker>([](Picker& p) { uitest::Click(p.exit); });
    EXPECT_EQ(picker.ShowModal(), ui::mrCancel);
}

TEST(FormTest, EscapeAndEnterInAnEditDoNotCloseTheForm)
{
    uitest::Driver driver;
    Picker picker;
    bool stillOpen = false;
    driver.OnModal<Picker>([](Picker&) {
        uitest::Escape();
        uitest::Enter();
    });
    driver.OnModal<Picker>([&](Picker& p) {
        stillOpen = p.isVisible();
        // A focused button takes Enter.
        p.ok->setFocus();
        uitest::Enter();
    });
    EXPECT_EQ(picker.ShowModal(), ui::mrOk);
    EXPECT_TRUE(stillOpen);
}

TEST(FormTest, CloseQueryCanRefuseAndOnCloseRunsWhenItCloses)
{
    uitest::Driver driver;
    Picker picker;
    int asked = 0;
    int closed = 0;
    picker.OnCloseQuery = [&](bool& canClose) {
        ++asked;
        canClose = ui::MessageBox(QStringLiteral("Leave?"), QString(), ui::MB_YESNO) == ui::IDYES;
    };
    picker.OnClose = [&] { ++closed; };
    driver.Answer(ui::IDNO).Answer(ui::IDYES);
    int resultAfterRefusal = -1;
    driver.OnModal<Picker>([&](Picker& p) {
        uitest::Click(p.ok);  // refused
        resultAfterRefusal = p.ModalResult();
    });
    driver.OnModal<Picker>([](Picker& p) { p.close(); });  // the close box
    EXPECT_EQ(picker.ShowModal(), ui::mrCancel);
    EXPECT_EQ(resultAfterRefusal, ui::mrNone);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(closed, 1);
}

TEST(FormTest, FormClosedWhileItIsBeingShownReturnsItsResult)
{
    uitest::Driver driver(std::chrono::seconds(3));
    ui::Form form;
    form.OnShow = [&] { form.SetModalResult(ui::mrCancel); };
    EXPECT_EQ(form.ShowModal(), ui::mrCancel);
    EXPECT_FALSE(form.isVisible());
}

TEST(FormTest, ActiveControlRemovedBeforeShowingIsForgotten)
{
    uitest::Driver driver;
    Picker picker;
    delete picker.edit;
    driver.OnModal<Picker>([](Picker& form) { form.SetModalResult(ui::mrOk); });
    EXPECT_EQ(picker.ShowModal(), ui::mrOk);
}

TEST(FormTest, DestroyHookRunsOnceWhenFreedOrWithItsOwner)
{
    int destroyed = 0;
    auto* picker = new Picker;
    picker->OnDestroy = [&] { ++destroyed; };
    picker->Free();
    EXPECT_EQ(destroyed, 1);

    auto* owner = new Picker;
    auto* owned = new Picker(owner);
    EXPECT_EQ(owned->Owner(), owner);
    owned->OnDestroy = [&] { ++destroyed; };
    QPointer<Picker> watch(owned);
    delete owner;
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(destroyed, 2);
}

TEST(FormTest, WatchdogFailsInsteadOfHanging)
{
    // The failure is expected: the watchdog reports it and closes the window.
    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        uitest::Driver driver(std::chrono::milliseconds(300));
        Picker picker;
        picker.OnCloseQuery = [](bool& canClose) { canClose = false; };
        EXPECT_EQ(picker.ShowModal(), ui::mrNone);
    }
    ASSERT_EQ(failures.size(), 1);
    EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find("watchdog"), std::string::npos);
}

}  // namespace

namespace {

TEST(DriverTest, DoubleClickArrivesAsAUsersDoubleClick)
{
    Picker picker;
    uitest::ShowActive(&picker);
    picker.edit->setText(QStringLiteral("abc def"));
    uitest::DoubleClick(picker.edit, QPoint(4, picker.edit->height() / 2));
    EXPECT_EQ(picker.edit->selectedText(), QStringLiteral("abc"));
}

}  // namespace

// A caption's size is measured once and looked up after: whatever a label's
// size depends on (its text, its font, its margins) must still give the size
// Qt measures for it.
TEST(FormTest, LabelsTakeTheSizeQtMeasuresForTheirCaption)
{
    ui::Form form(nullptr);
    const auto measured = [&form](const QString& caption, const QFont& font, int margin) {
        QLabel plain(&form);
        plain.setFont(font);
        plain.setMargin(margin);
        plain.setText(caption);
        plain.adjustSize();
        return plain.size();
    };
    const QFont song = ui::SongFont(12);
    QFont bold = ui::SongFont(16);
    bold.setBold(true);
    for (int round = 0; round < 2; ++round) {  // the second round finds each size kept
        for (const char* caption : {"手术日期", "申请科室: 普外科", "FSerialNo 123", "备注(指导者等)"}) {
            const QString text = QString::fromUtf8(caption);
            ui::Label label(&form, text, 4, 4);
            label.setFont(song);
            label.SetCaption(text);
            EXPECT_EQ(label.size(), measured(text, song, 0)) << caption;
            label.setFont(bold);
            label.SetCaption(text);
            EXPECT_EQ(label.size(), measured(text, bold, 0)) << caption << " in a larger bold font";
            label.setMargin(3);
            label.SetCaption(text);
            EXPECT_EQ(label.size(), measured(text, bold, 3)) << caption << " with a margin";
            EXPECT_EQ(label.pos(), QPoint(4, 4));
        }
    }
}

// The buttons' glyphs are the toolkit's own pictures, the ones its style
// falls back to where the desktop's icon theme has none (as here), at every
// size and in every mode a button draws them.
TEST(FormTest, ButtonGlyphsAreTheToolkitsOwnPictures)
{
    ui::Form form(nullptr);
    const std::pair<ui::Glyph, QStyle::StandardPixmap> glyphs[] = {
        {ui::Glyph::Ok, QStyle::SP_DialogApplyButton},    {ui::Glyph::Close, QStyle::SP_DialogCloseButton},
        {ui::Glyph::New, QStyle::SP_FileIcon},            {ui::Glyph::Modify, QStyle::SP_FileDialogDetailedView},
        {ui::Glyph::Delete, QStyle::SP_TrashIcon},        {ui::Glyph::Cancel, QStyle::SP_DialogCancelButton},
    };
    for (const auto& [glyph, standard] : glyphs) {
        const QIcon ours = ui::GlyphIcon(glyph);
        const QIcon styles = form.style()->standardIcon(standard);
        ASSERT_FALSE(ours.isNull());
        for (const int size : {16, 20, 32, 48}) {
            for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
                EXPECT_EQ(ours.pixmap(size, mode).toImage(), styles.pixmap(size, mode).toImage())
                    << "glyph " << static_cast<int>(glyph) << " at " << size;
            }
        }
    }
    EXPECT_TRUE(ui::GlyphIcon(ui::Glyph::None).isNull());
}
