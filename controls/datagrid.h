// TDataGrid: a read-only grid over the records of a data source, painted by
// itself.
//
// Rows: an optional title row, one row per record of the data link's buffer
// window (only the records that fit are ever read), and FooterRowCount footer
// rows at the bottom. Columns: an optional indicator column, then the
// Columns in order; with no Columns the grid shows every visible field.
//
// A column binds to its FieldName in the dataset (letter case ignored; while
// the dataset is closed, to its persistent fields, so that titles and widths
// stand before the first open and after a failed one). Its
// title is its own caption, else the field's DisplayLabel, else the column's
// FieldName. Its width is the stored Width, else (width of "0" in the
// column's font) x the field's DisplayWidth + 4 (Qt fonts have no overhang),
// else (no such field) DefaultColWidth. Numeric fields are right-aligned.
//
// Painting a data cell: the row's record becomes the link's active record
// (the dataset's current record stays), the canvas takes the column's font
// and colour, a highlighted cell gets clHighlight/clHighlightText and the
// state gdSelected, DefaultDrawColumnCell paints (with DefaultDrawing), then
// OnDrawColumnCell runs; it may change Canvas()->Font.Color and
// Canvas()->Brush.Color and call DefaultDrawColumnCell again. A cell is
// highlighted when it is the current cell, or lies in the current row with
// dgRowSelect, and only while dgAlwaysShowSelection is set or the grid has
// the focus (with dgxHighlightFocus).
//
// OnDblClick fires for every left double click anywhere in the grid, before
// the grid handles the click. Dragging a title's right border resizes its
// column (dgColumnResize) while the left button is held; a move without it
// ends the resize, also when the release went to a modal window that
// OnDblClick opened. With dgTabs, Tab and Shift+Tab move between
// columns; Ctrl+Tab and Ctrl+Shift+Tab always move the focus on. Arrow keys,
// Page Up/Down, Ctrl+Home/End, the mouse and the wheel (a record per notch)
// move the dataset's current record. A ReadOnly grid never edits: typing is
// ignored and Ctrl+Delete does nothing (otherwise it deletes, asking "Delete
// record?" with dgConfirmDelete). With
// dgCancelOnExit, leaving the grid cancels an insertion nothing was typed
// into; an error there returns the focus to the grid and propagates.
#pragma once

#include "controls/shaped_text.h"

#include "data/dataset/dataset.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class TDataGrid;

// Grid options (a set: combine with |).
enum TDataGridOption : unsigned {
    dgEditing = 1u << 0,
    dgTitles = 1u << 1,
    dgIndicator = 1u << 2,
    dgColumnResize = 1u << 3,
    dgColLines = 1u << 4,
    dgRowLines = 1u << 5,
    dgTabs = 1u << 6,
    dgRowSelect = 1u << 7,
    dgAlwaysShowSelection = 1u << 8,
    dgConfirmDelete = 1u << 9,
    dgCancelOnExit = 1u << 10,
};
using TDataGridOptions = unsigned;
inline constexpr TDataGridOptions dgDefaultOptions = dgEditing | dgTitles | dgIndicator | dgColumnResize |
                                                     dgColLines | dgRowLines | dgTabs | dgConfirmDelete |
                                                     dgCancelOnExit;

enum TDataGridOptionExtra : unsigned {
    dgxHighlightFocus = 1u << 0,
};
using TDataGridOptionsExtra = unsigned;

// Drawing state of a cell (a set).
enum TGridDrawStateFlag : unsigned {
    gdSelected = 1u << 0,
    gdFocused = 1u << 1,
    gdFixed = 1u << 2,
};
using TGridDrawState = unsigned;

// A font with the colour text is written in.
class TCanvasFont : public QFont {
public:
    TCanvasFont() = default;
    void Assign(const QFont& font) { QFont::operator=(font); }
    QColor Color;
};

struct TCanvasBrush {
    QColor Color;
};

// What a grid paints with: the font (with its colour) and the brush that the
// next fill and text use. Only valid while the grid paints.
class TCanvas {
public:
    TCanvasFont Font;
    TCanvasBrush Brush;

    [[nodiscard]] QPainter* Painter() const { return painter_; }
    // Fills `rect` with the brush colour.
    void FillRect(const QRect& rect);
    // Writes `text` in the font with its top-left at (x, y), clipped to `clip`.
    void TextRect(const QRect& clip, int x, int y, const QString& text);
    [[nodiscard]] int TextWidth(const QString& text) const;

private:
    friend class TDataGrid;

    // While one lives, the painter is clipped to `area` and TextRect clips
    // within it without saving the painter.
    class AreaClip {
    public:
        AreaClip(TCanvas& canvas, const QRect& area);
        ~AreaClip();
        AreaClip(const AreaClip&) = delete;
        AreaClip& operator=(const AreaClip&) = delete;

    private:
        TCanvas& canvas_;
    };

    void Begin(QPainter* painter);

    QPainter* painter_ = nullptr;
    controls::ShapedTexts::Device device_;  // the painter's, taken once per paint
    std::optional<QRect> area_;
    std::optional<QFont> painterFont_;  // the font the painter holds, when known
    std::optional<QFont> ascentFont_;   // the font ascent_ was measured in
    int ascent_ = 0;
    // The widths of texts in widthFont_, kept from paint to paint (a grid's
    // right-aligned numbers repeat); dropped when the screen or font changes.
    mutable std::optional<QFont> widthFont_;
    mutable QHash<QString, int> widths_;
    int widthDpi_ = 0;
    qreal widthRatio_ = 0;
};

class TDataGridColumn {
public:
    TDataGridColumn(TDataGrid* grid, int index) : grid_(grid), index_(index) {}

    [[nodiscard]] TDataGrid* Grid() const { return grid_; }
    [[nodiscard]] int Index() const { return index_; }

    [[nodiscard]] const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(std::string name);
    // The field of that name in the grid's open dataset, or nullptr.
    [[nodiscard]] TField* Field() const;

    // Stored width when set, else the default width.
    [[nodiscard]] int Width() const;
    void SetWidth(int width);
    [[nodiscard]] bool WidthStored() const { return width_.has_value(); }
    [[nodiscard]] int DefaultWidth() const;

    // The column's own title caption (empty: none).
    [[nodiscard]] const QString& TitleCaption() const { return titleCaption_; }
    void SetTitleCaption(const QString& caption);
    // What the title row shows.
    [[nodiscard]] QString Title() const;

    [[nodiscard]] TAlignment Alignment() const;
    [[nodiscard]] QFont Font() const;
    void SetFont(const QFont& font);
    [[nodiscard]] QColor Color() const;
    void SetColor(const QColor& color);
    // The column's footer value (none is defined: empty).
    [[nodiscard]] QString FooterText() const { return {}; }

private:
    friend class TDataGrid;
    [[nodiscard]] TField* Lookup() const;

    TDataGrid* grid_;
    int index_;
    std::string fieldName_;
    std::optional<int> width_;
    QString titleCaption_;
    std::optional<QFont> font_;
    std::optional<QColor> color_;
};

// Running totals of summed and counted footer values. No footer defines such
// a value, so while active it computes nothing and reads no record.
struct TFooterTotals {
    bool Active = false;
};

class TDataGrid : public QAbstractScrollArea {
public:
    using TDrawColumnCellEvent = std::function<void(TDataGrid* sender, const QRect& rect, int dataCol,
                                                    TDataGridColumn* column, TGridDrawState state)>;
    using TNotifyEvent = std::function<void(QWidget* sender)>;

    static constexpr int IndicatorWidth = 11;
    static constexpr int DefaultColWidth = 64;

    explicit TDataGrid(QWidget* parent = nullptr);
    ~TDataGrid() override;

    [[nodiscard]] TDataSource* DataSource() const;
    void SetDataSource(TDataSource* source);
    [[nodiscard]] TDataSet* DataSet() const;

    // --- columns
    TDataGridColumn* AddColumn(const std::string& fieldName, std::optional<int> width = std::nullopt);
    void ClearColumns();
    // The stated columns, or the default ones (every visible field) when none is stated.
    [[nodiscard]] int ColumnCount() const;
    [[nodiscard]] TDataGridColumn* Column(int index) const;
    // The current column.
    [[nodiscard]] int SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int index);

    // --- appearance and behaviour
    [[nodiscard]] TDataGridOptions Options() const { return options_; }
    void SetOptions(TDataGridOptions options);
    [[nodiscard]] TDataGridOptionsExtra OptionsExtra() const { return optionsExtra_; }
    void SetOptionsExtra(TDataGridOptionsExtra options);
    [[nodiscard]] bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    [[nodiscard]] const QColor& Color() const { return color_; }
    void SetColor(const QColor& color);
    [[nodiscard]] const QColor& FixedColor() const { return fixedColor_; }
    void SetFixedColor(const QColor& color);
    [[nodiscard]] QFont TitleFont() const { return titleFont_.value_or(font()); }
    void SetTitleFont(const QFont& font);
    [[nodiscard]] QFont FooterFont() const { return footerFont_.value_or(font()); }
    void SetFooterFont(const QFont& font);
    [[nodiscard]] const QColor& FooterColor() const { return footerColor_; }
    void SetFooterColor(const QColor& color);
    [[nodiscard]] int FooterRowCount() const { return footerRowCount_; }
    void SetFooterRowCount(int count);
    [[nodiscard]] TFooterTotals& FooterTotals() { return footerTotals_; }
    [[nodiscard]] bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool on) { defaultDrawing_ = on; }

    // --- painting
    [[nodiscard]] TCanvas* Canvas() { return &canvas_; }
    // Fills `rect` with the canvas brush and writes the column's cell text
    // (the field's display text of the active record) in the canvas font.
    void DefaultDrawColumnCell(const QRect& rect, int dataCol, TDataGridColumn* column, TGridDrawState state);

    TDrawColumnCellEvent OnDrawColumnCell;
    TNotifyEvent OnDblClick;

    // --- geometry, in viewport coordinates
    [[nodiscard]] int RowHeight() const;
    [[nodiscard]] int TitleHeight() const;
    // Data rows that fit (the link's buffer window).
    [[nodiscard]] int VisibleRowCount() const;
    // Data cell of window row `row` (from 0) and column `col`.
    [[nodiscard]] QRect CellRect(int col, int row) const;
    [[nodiscard]] QRect TitleRect(int col) const;
    [[nodiscard]] QRect FooterRect(int col, int footerRow = 0) const;
    [[nodiscard]] QRect IndicatorRect(int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void changeEvent(QEvent* event) override;

private:
    class Link;
    friend class Link;
    friend class TDataGridColumn;

    // Link notices.
    void LinkActiveChanged();
    void LinkLayoutChanged();
    void LinkDataChanged();

    void UpdateBufferCount();
    void UpdateScrollBars();
    void ResolveFields();
    void RebuildDefaultColumns();
    void ColumnWidthChanged();
    [[nodiscard]] bool Highlighted(bool currentRow, int col) const;
    [[nodiscard]] int ColumnLeft(int col) const;
    [[nodiscard]] int DataLeft() const;
    [[nodiscard]] int ContentWidth() const;
    [[nodiscard]] int LineWidth() const { return (options_ & dgColLines) ? 1 : 0; }
    [[nodiscard]] int RowLineWidth() const { return (options_ & dgRowLines) ? 1 : 0; }
    [[nodiscard]] int FooterTop() const;
    // Column whose right border lies within a few pixels of x in the title row, or -1.
    [[nodiscard]] int ResizeColumnAt(const QPoint& pos) const;
    // Window row at y, or -1 (titles, footer, empty area).
    [[nodiscard]] int RowAt(int y) const;
    [[nodiscard]] int ColumnAt(int x) const;
    void MoveTo(int windowRow);
    void MoveColumn(int delta, bool wrapRows);
    void MakeColumnVisible(int col);
    void Scroll(int distance);
    void First();
    void Last();
    void DeleteRecord();
    void ExitGrid();
    void PaintIndicator(QPainter& painter, const QRect& rect, TDataSetState state) const;
    void PaintFixedCell(const QRect& rect, const QString& text, const QFont& font);

    std::unique_ptr<Link> link_;
    std::vector<std::unique_ptr<TDataGridColumn>> columns_;
    std::vector<std::unique_ptr<TDataGridColumn>> defaultColumns_;
    std::vector<TField*> fields_;  // field per column, resolved when a paint begins
    bool painting_ = false;
    int selectedIndex_ = 0;
    TDataGridOptions options_ = dgDefaultOptions;
    TDataGridOptionsExtra optionsExtra_ = dgxHighlightFocus;
    bool readOnly_ = false;
    bool defaultDrawing_ = true;
    QColor color_;
    QColor fixedColor_;
    QColor footerColor_;
    std::optional<QFont> titleFont_;
    std::optional<QFont> footerFont_;
    int footerRowCount_ = 0;
    TFooterTotals footerTotals_;
    TCanvas canvas_;
    int resizing_ = -1;      // column being resized by the mouse
    int resizeOrigin_ = 0;   // its left edge
    int wheelDelta_ = 0;     // wheel movement short of a whole notch
};
