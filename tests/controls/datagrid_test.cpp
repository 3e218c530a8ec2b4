#include "controls/colors.h"
#include "controls/datagrid.h"
#include "controls/navigator.h"
#include "controls/shaped_text.h"
#include "tests/controls/plan_data.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <vector>

namespace {

using controlstest::PlanData;
using controlstest::TestForm;

constexpr TDataGridOptions kListOptions = dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines | dgTabs |
                                          dgRowSelect | dgConfirmDelete | dgCancelOnExit;

class DataGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        grid = new TDataGrid(&form);
        ui::Place(grid, 0, 0, 600, 260);
        grid->setFont(ui::SongFont(12));
        grid->SetOptions(kListOptions);
        grid->SetReadOnly(true);
    }

    void Open(int rows)
    {
        data.InsertMany(rows);
        data.query->Open();
        grid->SetDataSource(data.source);
    }

    void Show()
    {
        uitest::ShowActive(&form);
        uitest::Settle();
    }

    QColor PixelOf(const QRect& cell)
    {
        // Right end of the cell, where the short texts of these rows never reach.
        return uitest::Grab(grid->viewport()).pixelColor(cell.right() - 2, cell.center().y());
    }

    uitest::Driver driver;
    PlanData data;
    TestForm form;
    TDataGrid* grid = nullptr;
};

TEST_F(DataGridTest, ColumnsBindByNameWithTitlesDefaultWidthsAndAlignment)
{
    Open(3);
    data.query->FieldByName("FName")->SetDisplayLabel("病人姓名");
    data.query->FieldByName("FName")->SetDisplayWidth(10);
    TDataGridColumn* name = grid->AddColumn("fname");  // letter case ignored
    TDataGridColumn* room = grid->AddColumn("FOperRoom", 44);
    TDataGridColumn* age = grid->AddColumn("FAge");
    TDataGridColumn* missing = grid->AddColumn("FNoSuchField");

    const int zero = QFontMetrics(grid->font()).horizontalAdvance(QLatin1Char('0'));
    EXPECT_EQ(name->Width(), zero * 10 + 4);
    if (zero == 6) {
        EXPECT_EQ(name->Width(), 64);
    }
    EXPECT_EQ(room->Width(), 44);
    EXPECT_EQ(missing->Width(), TDataGrid::DefaultColWidth);

    EXPECT_EQ(name->Title(), QString::fromUtf8("病人姓名"));
    EXPECT_EQ(room->Title(), QStringLiteral("FOperRoom"));  // no label: the field's name
    EXPECT_EQ(missing->Title(), QStringLiteral("FNoSuchField"));
    room->SetTitleCaption(QString::fromUtf8("手术间"));
    EXPECT_EQ(room->Title(), QString::fromUtf8("手术间"));

    EXPECT_EQ(age->Alignment(), taRightJustify);
    EXPECT_EQ(name->Alignment(), taLeftJustify);
}

TEST_F(DataGridTest, DoubleClickAnywhereFiresOnDblClick)
{
    Open(5);
    grid->AddColumn("FName");
    Show();
    int clicks = 0;
    grid->OnDblClick = [&](QWidget* sender) {
        EXPECT_EQ(sender, grid);
        ++clicks;
    };
    uitest::DoubleClick(grid->viewport(), grid->TitleRect(0).center());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(data.query->RecNo(), 1);
    uitest::DoubleClick(grid->viewport(), grid->IndicatorRect(0).center());
    uitest::DoubleClick(grid->viewport(), grid->CellRect(0, 2).center());
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(data.query->RecNo(), 3);
}

TEST_F(DataGridTest, CurrentRowIsHighlightedOnlyWithTheFocusUnlessAlwaysShown)
{
    Open(4);
    grid->AddColumn("FName");
    grid->AddColumn("FSex");
    Show();
    data.query->Next();
    const QRect cell = grid->CellRect(1, 1);

    grid->setFocus();
    uitest::Settle();
    EXPECT_EQ(PixelOf(cell), clHighlight());
    EXPECT_EQ(PixelOf(grid->CellRect(1, 0)), clWindow());

    form.other->setFocus();
    uitest::Settle();
    EXPECT_EQ(PixelOf(cell), clWindow());

    grid->SetOptions(kListOptions | dgAlwaysShowSelection);
    uitest::Settle();
    EXPECT_EQ(PixelOf(cell), clHighlight());

    // Without row selection only the current cell is the selection.
    grid->SetOptions((kListOptions & ~dgRowSelect) | dgAlwaysShowSelection);
    grid->SetSelectedIndex(0);
    uitest::Settle();
    EXPECT_EQ(PixelOf(cell), clWindow());
    EXPECT_EQ(PixelOf(grid->CellRect(0, 1)), clHighlight());
}

TEST_F(DataGridTest, DrawHookSeesThePaintedRowAndRecoloursEvenTheHighlightedCell)
{
    data.Insert(1, "甲");
    data.Insert(2, "乙", true);
    data.Insert(3, "丙");
    data.query->Open();
    grid->SetDataSource(data.source);
    grid->AddColumn("FName");
    grid->AddColumn("FSex");
    std::vector<std::string> painted;
    int selectedCalls = 0;
    grid->OnDrawColumnCell = [&](TDataGrid* sender, const QRect& rect, int dataCol, TDataGridColumn* column,
                                 TGridDrawState state) {
        EXPECT_EQ(column, sender->Column(dataCol));
        if (dataCol == 0) {
            painted.push_back(data.query->FieldByName("FName")->AsString());
        }
        selectedCalls += (state & gdSelected) ? 1 : 0;
        if (!data.query->FieldByName("FOperRoom")->AsString().empty()) {
            sender->Canvas()->Font.Color = clGreen();
            sender->Canvas()->Brush.Color = clInfoBk();
            sender->DefaultDrawColumnCell(rect, dataCol, column, state);
        }
    };
    Show();
    data.query->Next();  // the arranged row is current
    grid->setFocus();
    painted.clear();
    const QImage image = uitest::Grab(grid->viewport());

    EXPECT_EQ(painted, (std::vector<std::string>{"甲", "乙", "丙"}));
    EXPECT_EQ(data.query->FieldByName("FName")->AsString(), "乙");  // the current record did not move
    EXPECT_GT(selectedCalls, 0);
    const QRect arranged = grid->CellRect(1, 1);
    EXPECT_EQ(image.pixelColor(arranged.right() - 2, arranged.center().y()), clInfoBk());
    int green = 0;
    for (int x = arranged.left(); x <= arranged.right(); ++x) {
        for (int y = arranged.top(); y <= arranged.bottom(); ++y) {
            const QColor c = image.pixelColor(x, y);
            green += (c.green() > c.red() + 60 && c.green() > c.blue() + 60) ? 1 : 0;
        }
    }
    EXPECT_GT(green, 0) << "the text is written in the hook's colour";
    EXPECT_EQ(image.pixelColor(grid->CellRect(1, 0).right() - 2, grid->CellRect(1, 0).center().y()), clWindow());
}

// The cells' edges and the clip of their texts, pixel by pixel: the lines one
// pixel wide right of and below each cell, the raised edge of the titles, and
// a text too long for the last column cut at the cell's edge, in two fonts.
TEST_F(DataGridTest, LinesEdgesAndClippedTextsFallOnTheirPixels)
{
    data.Insert(1, "甲乙丙丁戊己庚辛壬癸甲乙丙丁戊己庚辛壬癸");
    data.Insert(2, "乙");
    data.query->Open();
    grid->SetDataSource(data.source);
    grid->AddColumn("FSerialNo");
    grid->AddColumn("FName");
    grid->Column(1)->SetWidth(40);
    QFont bold = grid->font();
    bold.setBold(true);
    grid->Column(0)->SetFont(bold);
    Show();
    const QImage image = uitest::Grab(grid->viewport());

    auto darkIn = [&](int left, int right, int top, int bottom) {
        int dark = 0;
        for (int x = left; x <= right; ++x) {
            for (int y = top; y <= bottom; ++y) {
                dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
            }
        }
        return dark;
    };
    for (int row = 0; row < 2; ++row) {
        const QRect serial = grid->CellRect(0, row);
        const QRect name = grid->CellRect(1, row);
        ASSERT_EQ(name.left(), serial.right() + 2) << "one line between the cells";
        for (const int x : {serial.right() + 1, name.right() + 1}) {
            for (int y = serial.top(); y <= serial.bottom(); ++y) {
                ASSERT_EQ(image.pixel(x, y), clBtnShadow().rgb()) << "column line at " << x << ", row " << row;
            }
        }
        for (int x = serial.left(); x <= name.right() + 1; ++x) {
            ASSERT_EQ(image.pixel(x, serial.bottom() + 1), clBtnShadow().rgb()) << "row line, row " << row;
        }
        EXPECT_GT(darkIn(serial.left() + 2, serial.right(), serial.top(), serial.bottom()), 0) << "row " << row;
        // Right of the last column is the grid's own colour: the long name
        // stops at its cell's edge.
        for (int x = name.right() + 2; x < name.right() + 60; ++x) {
            for (int y = name.top(); y <= name.bottom(); ++y) {
                ASSERT_EQ(image.pixel(x, y), clWindow().rgb()) << "beyond the last column, row " << row;
            }
        }
    }
    const QRect longName = grid->CellRect(1, 0);
    EXPECT_GT(darkIn(longName.right() - 6, longName.right(), longName.top(), longName.bottom()), 0)
        << "the long name fills its cell to the edge";

    const QRect title(grid->CellRect(0, 0).left(), 0, grid->CellRect(0, 0).width(), grid->TitleHeight());
    EXPECT_EQ(image.pixel(title.left() + 5, title.top()), clWhite().rgb());
    EXPECT_EQ(image.pixel(title.left(), title.top() + 5), clWhite().rgb());
    EXPECT_EQ(image.pixel(title.left() + 5, title.bottom()), clBtnShadow().rgb());
    EXPECT_EQ(image.pixel(title.right(), title.top() + 5), clBtnShadow().rgb());

    // The number is right-aligned by its width in the column's font of the
    // moment: in a wider font it moves left, still ending three pixels short
    // of the cell's edge.
    QFont wide = bold;
    if (bold.pointSizeF() > 0) {
        wide.setPointSizeF(bold.pointSizeF() * 2);
    } else {
        wide.setPixelSize(bold.pixelSize() * 2);
    }
    grid->Column(0)->SetFont(wide);
    const QImage again = uitest::Grab(grid->viewport());
    const QRect serial = grid->CellRect(0, 1);
    int leftmost = serial.right() + 1;
    int rightmost = serial.left() - 1;
    for (int x = serial.left(); x <= serial.right(); ++x) {
        for (int y = serial.top(); y <= serial.bottom(); ++y) {
            if (qGray(again.pixel(x, y)) < 128) {
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
        }
    }
    const int width = QFontMetrics(wide).horizontalAdvance(QLatin1Char('2'));
    EXPECT_LE(rightmost, serial.right() - 2);
    EXPECT_LE(leftmost, serial.right() + 1 - 3 - width / 2) << "the number in the wider font starts further left";
}

TEST_F(DataGridTest, FooterRowStaysEmptyAndPaintingReadsOnlyTheVisibleRecords)
{
    Open(300);
    grid->SetFooterRowCount(1);
    grid->FooterTotals().Active = true;
    for (const char* field : {"FSerialNo", "FName", "FAge", "FOperDate"}) {
        grid->AddColumn(field);
    }
    Show();
    const QImage image = uitest::Grab(grid->viewport());

    const int visible = grid->VisibleRowCount();
    ASSERT_GT(visible, 3);
    EXPECT_LT(visible, 300);
    EXPECT_LE(data.query->EngineFetchCount(), visible + 1);
    EXPECT_EQ(data.query->RecordCount(), -1);

    for (int col = 0; col < grid->ColumnCount(); ++col) {
        const QRect footer = grid->FooterRect(col);
        ASSERT_GT(footer.height(), 0);
        ASSERT_LE(footer.bottom(), image.height() - 1);
        for (int x = footer.left() + 1; x < footer.right(); ++x) {
            for (int y = footer.top() + 1; y < footer.bottom(); ++y) {
                ASSERT_EQ(image.pixelColor(x, y), grid->FooterColor()) << "footer of column " << col;
            }
        }
    }
}

TEST_F(DataGridTest, KeysMouseAndWheelMoveTheCurrentRecordButNeverEdit)
{
    Open(100);
    grid->AddColumn("FName");
    grid->AddColumn("FSex");
    Show();
    grid->setFocus();
    const int page = grid->VisibleRowCount();
    ASSERT_GT(page, 2);

    uitest::Down(grid);
    EXPECT_EQ(data.query->RecNo(), 2);
    uitest::Up(grid);
    uitest::Up(grid);
    EXPECT_EQ(data.query->RecNo(), 1);
    uitest::Key(Qt::Key_PageDown, Qt::NoModifier, grid);
    EXPECT_EQ(data.query->RecNo(), 1 + page);
    uitest::Key(Qt::Key_End, Qt::ControlModifier, grid);
    EXPECT_EQ(data.query->RecNo(), 100);
    EXPECT_TRUE(data.query->Eof() || data.query->RecNo() == data.query->RecordCount());
    uitest::Key(Qt::Key_PageUp, Qt::NoModifier, grid);
    EXPECT_EQ(data.query->RecNo(), 100 - page);
    uitest::Key(Qt::Key_Home, Qt::ControlModifier, grid);
    EXPECT_EQ(data.query->RecNo(), 1);

    uitest::Click(grid->viewport(), grid->CellRect(0, 2).center());
    EXPECT_EQ(data.query->RecNo(), 3);
    auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(20, 40), grid->viewport()->mapToGlobal(QPointF(20, 40)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid->viewport(), &event);
    };
    wheel(-240);
    EXPECT_EQ(data.query->RecNo(), 5);
    // A touchpad's fractions of a notch add up to whole records.
    for (int i = 0; i < 3; ++i) {
        wheel(-40);
    }
    EXPECT_EQ(data.query->RecNo(), 6);
    wheel(-30);
    wheel(30);
    wheel(20);
    wheel(100);
    EXPECT_EQ(data.query->RecNo(), 5);

    // Read-only: typing and Ctrl+Delete change nothing.
    uitest::Type(QStringLiteral("x1"), grid);
    uitest::Key(Qt::Key_Delete, Qt::ControlModifier, grid);
    EXPECT_EQ(data.query->State(), dsBrowse);
    EXPECT_EQ(data.query->RecNo(), 5);
    EXPECT_FALSE(data.query->UpdatesPending());
    EXPECT_TRUE(driver.Boxes().empty());
}

TEST_F(DataGridTest, LeavingTheGridCancelsAnInsertionNothingWasTypedInto)
{
    Open(2);
    grid->AddColumn("FName");
    Show();
    grid->setFocus();
    data.query->Append();
    form.other->setFocus();
    uitest::Settle();
    EXPECT_EQ(data.query->State(), dsBrowse);
    EXPECT_FALSE(data.query->UpdatesPending());

    grid->setFocus();
    data.query->Append();
    data.query->FieldByName("FName")->SetAsString("丁");
    form.other->setFocus();
    uitest::Settle();
    EXPECT_EQ(data.query->State(), dsInsert);  // something was typed: kept
    data.query->Cancel();
}

TEST_F(DataGridTest, FollowsAQueryReopenedWhileItsControlsAreDisabled)
{
    Open(3);
    grid->AddColumn("FName");
    Show();
    data.query->FieldByName("FName")->SetDisplayLabel("病人姓名");
    EXPECT_EQ(grid->Column(0)->Title(), QString::fromUtf8("病人姓名"));

    // As the query routine does: the default fields are freed and made anew.
    data.query->DisableControls();
    data.query->Close();
    data.query->SQL().Clear();
    data.query->SQL().Add("select FSerialNo, FName from TOperationPlan where FSerialNo > 1 ");
    data.query->Open();
    data.query->EnableControls();
    (void)uitest::Grab(grid->viewport());  // paints the grid over the reopened query
    EXPECT_EQ(grid->Column(0)->Title(), QStringLiteral("FName"));
    EXPECT_EQ(grid->Column(0)->Field(), data.query->FieldByName("FName"));
    EXPECT_EQ(data.query->RecNo(), 1);
}

TEST_F(DataGridTest, DraggingATitleBorderResizesTheColumn)
{
    Open(2);
    TDataGridColumn* room = grid->AddColumn("FOperRoom", 44);
    TDataGridColumn* name = grid->AddColumn("FName");
    Show();
    const QRect title = grid->TitleRect(0);
    const QPoint border(title.right() + 1, title.center().y());
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, border);
    QTest::mouseMove(grid->viewport(), border + QPoint(20, 0));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, border + QPoint(20, 0));
    EXPECT_EQ(room->Width(), 64);
    EXPECT_EQ(grid->TitleRect(1).left(), grid->TitleRect(0).right() + 2);
    EXPECT_EQ(data.query->RecNo(), 1);

    grid->SetOptions(kListOptions & ~dgColumnResize);
    const QRect nameTitle = grid->TitleRect(1);
    const QPoint nameBorder(nameTitle.right() + 1, nameTitle.center().y());
    const int before = name->Width();
    QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, nameBorder);
    QTest::mouseMove(grid->viewport(), nameBorder + QPoint(20, 0));
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, Qt::NoModifier, nameBorder + QPoint(20, 0));
    EXPECT_EQ(name->Width(), before);
}

TEST_F(DataGridTest, ADoubleClickedBorderWhoseHandlerOpensAModalWindowIsNotDraggedAfterwards)
{
    Open(2);
    TDataGridColumn* room = grid->AddColumn("FOperRoom", 44);
    grid->AddColumn("FName");
    int opened = 0;
    grid->OnDblClick = [&](QWidget*) {
        ui::Form detail(&form);
        ++opened;
        detail.ShowModal();
    };
    // The button is let go over the modal window, which takes the release.
    driver.OnModal<ui::Form>([](ui::Form& detail) { detail.SetModalResult(ui::mrOk); });
    Show();
    const QRect title = grid->TitleRect(0);
    const QPoint border(title.right() + 1, title.center().y());
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, grid->viewport()->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &event);
    };
    mouse(QEvent::MouseButtonPress, border, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, border, Qt::LeftButton, Qt::NoButton);
    mouse(QEvent::MouseButtonPress, border, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonDblClick, border, Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(opened, 1);
    mouse(QEvent::MouseMove, border + QPoint(30, 0), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(room->Width(), 44);

    // The border can still be dragged.
    mouse(QEvent::MouseButtonPress, border, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, border + QPoint(20, 0), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, border + QPoint(20, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(room->Width(), 64);
}

TEST_F(DataGridTest, NavigatorMovesTheRecordAndTellsItsButtonsApart)
{
    Open(3);
    auto* navigator = new TDBNavigator(&form);
    ui::Place(navigator, 16, 265, 112, 25);
    navigator->SetDataSource(data.source);
    Show();
    EXPECT_EQ(navigator->Hint(nbFirst), QString::fromUtf8("到头"));
    EXPECT_EQ(navigator->Hint(nbPrior), QString::fromUtf8("上一个"));
    EXPECT_EQ(navigator->Hint(nbNext), QString::fromUtf8("下一个"));
    EXPECT_EQ(navigator->Hint(nbLast), QString::fromUtf8("到尾"));
    EXPECT_FALSE(navigator->Button(nbFirst)->isEnabled());

    uitest::Click(navigator->Button(nbLast));
    EXPECT_EQ(data.query->RecNo(), 3);
    EXPECT_FALSE(navigator->Button(nbNext)->isEnabled());
    EXPECT_TRUE(navigator->Button(nbPrior)->isEnabled());
    uitest::Click(navigator->Button(nbPrior));
    EXPECT_EQ(data.query->RecNo(), 2);
    uitest::Click(navigator->Button(nbFirst));
    EXPECT_EQ(data.query->RecNo(), 1);
    uitest::Click(navigator->Button(nbNext));
    EXPECT_EQ(data.query->RecNo(), 2);

    // As a tab stop it works from the keyboard: the arrows choose a button, Space clicks it.
    navigator->setFocus();
    uitest::Settle();
    ASSERT_EQ(uitest::Focused(), navigator);
    uitest::Key(Qt::Key_Right);
    uitest::Key(Qt::Key_Right);
    EXPECT_EQ(navigator->FocusedButton(), nbNext);
    uitest::Key(Qt::Key_Space);
    EXPECT_EQ(data.query->RecNo(), 3);
    for (int i = 0; i < 3; ++i) {
        uitest::Key(Qt::Key_Left);
    }
    EXPECT_EQ(navigator->FocusedButton(), nbFirst);
    uitest::Key(Qt::Key_Space);
    EXPECT_EQ(data.query->RecNo(), 1);
    uitest::Key(Qt::Key_Space);  // a disabled button does nothing
    EXPECT_EQ(data.query->RecNo(), 1);
}

// A picture of the list grid (images/datagrid.png of the build tree, or the
// docs with OPEREDIT_UPDATE_IMAGES), with arranged rows coloured by the hook.
TEST_F(DataGridTest, PictureOfTheListGrid)
{
    data.Insert(1, "张三", false, "2026-12-08 00:00:00.000");
    data.Insert(2, "李四", true, "2026-12-08 08:30:00.000");
    data.Insert(3, "王五", false, "2026-12-08 00:00:00.000");
    data.Insert(4, "赵六", true, "2026-12-08 00:00:00.000");
    data.query->Open();
    const std::pair<const char*, const char*> labels[] = {
        {"FOperRoom", "手术间"}, {"FOperDate", "手术日期"}, {"FTime", "时间"}, {"FBedNo", "床号"},
        {"FName", "病人姓名"},   {"FSex", "性别"},         {"FAge", "年龄"}};
    for (const auto& [field, label] : labels) {
        data.query->FieldByName(field)->SetDisplayLabel(label);
    }
    data.query->FieldByName("FOperDate")->SetDisplayWidth(10);
    data.query->FieldByName("FTime")->SetDisplayWidth(5);
    grid->SetDataSource(data.source);
    grid->SetFooterRowCount(1);
    grid->AddColumn("FOperRoom", 44);
    grid->AddColumn("FOperDate");
    grid->AddColumn("FTime");
    grid->AddColumn("FBedNo");
    grid->AddColumn("FName");
    grid->AddColumn("FSex");
    grid->AddColumn("FAge", 32);
    grid->OnDrawColumnCell = [&](TDataGrid* sender, const QRect& rect, int dataCol, TDataGridColumn* column,
                                 TGridDrawState state) {
        if (!data.query->FieldByName("FOperRoom")->AsString().empty()) {
            sender->Canvas()->Font.Color = clGreen();
            sender->Canvas()->Brush.Color = clInfoBk();
            sender->DefaultDrawColumnCell(rect, dataCol, column, state);
        }
    };
    ui::Place(grid, 0, 0, 420, 140);
    Show();
    grid->setFocus();
    data.query->Next();
    data.query->Next();
    uitest::Settle();
    EXPECT_FALSE(uitest::SaveImage(grid, QStringLiteral("datagrid.png")).isEmpty());

    // What the picture shows: every name written, the arranged rows (李四 and
    // 赵六) on the tooltip colour, the others on the window's.
    const QImage picture = uitest::Grab(grid);
    auto nameCell = [&](int row) { return uitest::RectIn(grid, grid->viewport(), grid->CellRect(4, row)); };
    auto background = [&](const QRect& cell) { return picture.pixelColor(cell.right() - 2, cell.top() + 1); };
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        EXPECT_GT(uitest::InkIn(picture, nameCell(row)), 20);
    }
    EXPECT_EQ(background(nameCell(0)), clWindow());
    EXPECT_EQ(background(nameCell(1)), clInfoBk());
    EXPECT_EQ(background(nameCell(3)), clInfoBk());
}

}  // namespace

// Cell texts are laid out once and drawn again from what was kept: the
// glyphs must land where drawText puts them, in every font a grid uses, and
// the kept texts stay bounded however many a grid shows.
TEST_F(DataGridTest, KeptCellTextsDrawTheSamePixelsAsDrawTextAndStayBounded)
{
    controls::ShapedTexts& texts = controls::ShapedTexts::Shared();
    texts.Clear();
    const QStringList samples{QString::fromUtf8("普外科"), QStringLiteral("2026-12-09 08:30"),
                              QString::fromUtf8("阑尾切除术(腹腔镜) K35.9 王医生"), QStringLiteral("AVX fi ffl 0123"),
                              QString::fromUtf8("李医生，张三；①Ⅱ"), QStringLiteral("tab\there"), QStringLiteral(" ")};
    // A scaled screen draws the same texts at another pixel ratio.
    for (const qreal ratio : {1.0, 1.5, 1.0}) {
        for (const QFont& font :
             {ui::SongFont(12), ui::SongFont(9), QFont(QStringLiteral("DejaVu Sans"), 11, QFont::Bold)}) {
            for (const QString& text : samples) {
                QImage plain(qRound(320 * ratio), qRound(40 * ratio), QImage::Format_ARGB32_Premultiplied);
                plain.setDevicePixelRatio(ratio);
                QImage kept(plain.size(), plain.format());
                kept.setDevicePixelRatio(ratio);
                for (int pass = 0; pass < 2; ++pass) {  // the second draws what the first kept
                    plain.fill(Qt::white);
                    kept.fill(Qt::white);
                    QPainter byQt(&plain);
                    byQt.setFont(font);
                    byQt.setPen(QColor(0x20, 0x40, 0x80));
                    byQt.drawText(QPoint(3, 27), text);
                    QPainter byCache(&kept);
                    byCache.setFont(font);
                    byCache.setPen(QColor(0x20, 0x40, 0x80));
                    texts.Draw(byCache, QPoint(3, 27), text);
                }
                EXPECT_EQ(plain, kept) << text.toStdString() << " in " << font.key().toStdString() << " at " << ratio;

                // Where the glyphs are said to lie inside a cell, a clip to
                // the cell changes no pixel; a roomy cell is such a cell.
                const QFontMetrics metrics(font, &plain);
                const int right = 3 + metrics.horizontalAdvance(text);
                const int top = 27 - metrics.ascent();
                const int bottom = 27 + metrics.descent();
                for (int dx = -3; dx <= 4; ++dx) {
                    for (const int dy : {-1, 0, 1, 3}) {
                        const QRect cell(QPoint(3 - std::max(dy, 0), top - dy), QPoint(right + dx, bottom + dy));
                        plain.fill(Qt::white);
                        kept.fill(Qt::white);
                        QPainter unclipped(&plain);
                        unclipped.setFont(font);
                        unclipped.setPen(Qt::black);
                        const auto* line = texts.Line(unclipped, controls::ShapedTexts::Of(unclipped), text);
                        if (line == nullptr || !controls::ShapedTexts::InkInside(*line, QPoint(3, 27), cell)) {
                            continue;
                        }
                        texts.Draw(unclipped, QPoint(3, 27), text);
                        QPainter clipped(&kept);
                        clipped.setFont(font);
                        clipped.setPen(Qt::black);
                        clipped.setClipRect(cell);
                        texts.Draw(clipped, QPoint(3, 27), text);
                        EXPECT_EQ(plain, kept) << text.toStdString() << " in " << font.key().toStdString() << " at "
                                               << ratio << ", cell to " << dx << ", " << dy;
                    }
                }
                if (!text.contains(QLatin1Char('\t'))) {
                    QPainter roomy(&plain);
                    roomy.setFont(font);
                    const auto* line = texts.Line(roomy, controls::ShapedTexts::Of(roomy), text);
                    ASSERT_NE(line, nullptr) << text.toStdString();
                    EXPECT_TRUE(controls::ShapedTexts::InkInside(*line, QPoint(3, 27), QRect(0, 0, right + 8, 39)))
                        << text.toStdString();
                }
            }
        }
    }
    EXPECT_GT(texts.Size(), 0);
    for (int i = 0; i < controls::ShapedTexts::kMostTexts + 10; ++i) {
        QImage image(60, 20, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        painter.setFont(ui::SongFont(12));
        texts.Draw(painter, QPoint(0, 15), QString::number(i));
    }
    EXPECT_LE(texts.Size(), controls::ShapedTexts::kMostTexts);
    texts.Clear();
}
