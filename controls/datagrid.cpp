#include "controls/datagrid.h"

#include "controls/colors.h"
#include "platform/ui/application.h"
#include "platform/ui/events.h"
#include "platform/ui/messagebox.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

QString ToQ(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kResizeMargin = 3;

// A one-pixel line across or down, from `a` to `b` inclusive, as a pen of
// width one draws it; filled as a rectangle, which the raster engine does
// many times faster than it strokes a line.
void StraightLine(QPainter& painter, QPoint a, QPoint b, const QColor& color)
{
    painter.fillRect(QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                           QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y()))),
                     color);
}

}  // namespace

// --- TCanvas

void TCanvas::FillRect(const QRect& rect)
{
    if (painter_ != nullptr) {
        painter_->fillRect(rect, Brush.Color);
    }
}

void TCanvas::TextRect(const QRect& clip, int x, int y, const QString& text)
{
    if (painter_ == nullptr) {
        return;
    }
    // Cells of a grid share a few fonts: measure each once, not per cell.
    if (ascentFont_ != static_cast<const QFont&>(Font)) {
        ascentFont_ = Font;
        ascent_ = QFontMetrics(Font).ascent();
    }
    // Inside an area the grid clips to, the clip is set outright and put
    // back and the painter keeps its font between cells: far cheaper per cell
    // than saving and restoring the whole painter, as text elsewhere must.
    const bool save = !area_;
    if (save) {
        painter_->save();
        painter_->setClipRect(clip, Qt::IntersectClip);
    } else {
        painter_->setClipRect(clip.intersected(*area_));
    }
    if (painterFont_ != static_cast<const QFont&>(Font)) {
        painter_->setFont(Font);
        painterFont_ = Font;
    }
    if (painter_->pen().color() != Font.Color) {
        painter_->setPen(Font.Color);
    }
    painter_->drawText(QPoint(x, y + ascent_), text);
    if (save) {
        painter_->restore();
        painterFont_.reset();
    } else {
        painter_->setClipRect(*area_);
    }
}

void TCanvas::Begin(QPainter* painter)
{
    painter_ = painter;
    area_.reset();
    painterFont_.reset();
}

TCanvas::AreaClip::AreaClip(TCanvas& canvas, const QRect& area) : canvas_(canvas)
{
    canvas_.painter_->save();
    canvas_.painter_->setClipRect(area);
    canvas_.area_ = area;
}

TCanvas::AreaClip::~AreaClip()
{
    canvas_.area_.reset();
    canvas_.painterFont_.reset();
    canvas_.painter_->restore();
}

int TCanvas::TextWidth(const QString& text) const
{
    return QFontMetrics(Font).horizontalAdvance(text);
}

// --- TDataGridColumn

void TDataGridColumn::SetFieldName(std::string name)
{
    fieldName_ = std::move(name);
    grid_->ResolveFields();
    grid_->ColumnWidthChanged();
}

TField* TDataGridColumn::Field() const
{
    // While painting, the fields resolved when the paint began; otherwise a
    // fresh look-up, since a dataset reopened while its controls were
    // disabled may have freed the fields it had.
    if (grid_->painting_ && index_ < static_cast<int>(grid_->fields_.size()) && grid_->Column(index_) == this) {
        return grid_->fields_[static_cast<std::size_t>(index_)];
    }
    return Lookup();
}

TField* TDataGridColumn::Lookup() const
{
    // A closed dataset keeps only its persistent fields: their titles and
    // widths hold before the first open and after a failed one.
    TDataSet* dataSet = grid_->DataSet();
    if (dataSet == nullptr || fieldName_.empty()) {
        return nullptr;
    }
    return dataSet->FindField(fieldName_);
}

int TDataGridColumn::Width() const
{
    return width_ ? *width_ : DefaultWidth();
}

void TDataGridColumn::SetWidth(int width)
{
    width_ = std::max(0, width);
    grid_->ColumnWidthChanged();
}

int TDataGridColumn::DefaultWidth() const
{
    const TField* field = Field();
    if (field == nullptr) {
        return TDataGrid::DefaultColWidth;
    }
    // Qt reports no overhang for its fonts: (zero - 0) * width + 0 + 4.
    const int zero = QFontMetrics(Font()).horizontalAdvance(QLatin1Char('0'));
    return zero * field->DisplayWidth() + 4;
}

void TDataGridColumn::SetTitleCaption(const QString& caption)
{
    titleCaption_ = caption;
    grid_->viewport()->update();
}

QString TDataGridColumn::Title() const
{
    if (!titleCaption_.isEmpty()) {
        return titleCaption_;
    }
    if (const TField* field = Field()) {
        return ToQ(field->DisplayLabel());
    }
    return ToQ(fieldName_);
}

TAlignment TDataGridColumn::Alignment() const
{
    const TField* field = Field();
    return field != nullptr ? field->Alignment() : taLeftJustify;
}

QFont TDataGridColumn::Font() const
{
    return font_.value_or(grid_->font());
}

void TDataGridColumn::SetFont(const QFont& font)
{
    font_ = font;
    grid_->ColumnWidthChanged();
}

QColor TDataGridColumn::Color() const
{
    return color_.value_or(grid_->Color());
}

void TDataGridColumn::SetColor(const QColor& color)
{
    color_ = color;
    grid_->viewport()->update();
}

// --- the data link

class TDataGrid::Link : public TDataLink {
public:
    explicit Link(TDataGrid& grid) : grid_(grid) {}

protected:
    void ActiveChanged() override { grid_.LinkActiveChanged(); }
    void DataSetChanged() override { grid_.LinkDataChanged(); }
    void DataSetScrolled(int /*distance*/) override { grid_.LinkDataChanged(); }
    void RecordChanged(TField* /*field*/) override { grid_.viewport()->update(); }
    void EditingChanged() override { grid_.viewport()->update(); }
    void LayoutChanged() override { grid_.LinkLayoutChanged(); }

private:
    TDataGrid& grid_;
};

// --- TDataGrid

TDataGrid::TDataGrid(QWidget* parent) : QAbstractScrollArea(parent), link_(std::make_unique<Link>(*this))
{
    color_ = clWindow();
    fixedColor_ = clBtnFace();
    footerColor_ = clWindow();
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    // The paint covers every pixel of the viewport, so nothing behind it is painted first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setSingleStep(16);

    QObject::connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(),
                     [this](int) { viewport()->update(); });
    ui::Connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            Scroll(1);
            break;
        case QAbstractSlider::SliderSingleStepSub:
            Scroll(-1);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            Scroll(std::max(1, VisibleRowCount()));
            break;
        case QAbstractSlider::SliderPageStepSub:
            Scroll(-std::max(1, VisibleRowCount()));
            break;
        case QAbstractSlider::SliderToMinimum:
            First();
            break;
        case QAbstractSlider::SliderToMaximum:
            Last();
            break;
        case QAbstractSlider::SliderMove: {
            TDataSet* dataSet = DataSet();
            const int position = verticalScrollBar()->sliderPosition();
            if (dataSet != nullptr && dataSet->Active() && dataSet->RecordCount() >= 0) {
                Scroll(position - (dataSet->RecNo() - 1));
            } else if (position <= verticalScrollBar()->minimum()) {
                First();
            } else if (position >= verticalScrollBar()->maximum()) {
                Last();
            }
            break;
        }
        default:
            break;
        }
        // The bar follows the dataset, not the slider.
        QMetaObject::invokeMethod(this, [this] { UpdateScrollBars(); }, Qt::QueuedConnection);
    });

    // dgCancelOnExit: runs when the focus moves to another control of the window.
    ui::Events(this).ControlExit = [this](QWidget*) { ExitGrid(); };
}

TDataGrid::~TDataGrid()
{
    link_->SetDataSource(nullptr);
}

TDataSource* TDataGrid::DataSource() const
{
    return link_->DataSource();
}

TDataSet* TDataGrid::DataSet() const
{
    return link_->DataSet();
}

void TDataGrid::SetDataSource(TDataSource* source)
{
    link_->SetDataSource(source);
    LinkActiveChanged();
}

TDataGridColumn* TDataGrid::AddColumn(const std::string& fieldName, std::optional<int> width)
{
    columns_.push_back(std::make_unique<TDataGridColumn>(this, static_cast<int>(columns_.size())));
    TDataGridColumn* column = columns_.back().get();
    column->fieldName_ = fieldName;
    column->width_ = width;
    ResolveFields();
    ColumnWidthChanged();
    return column;
}

void TDataGrid::ClearColumns()
{
    columns_.clear();
    RebuildDefaultColumns();
    ResolveFields();
    ColumnWidthChanged();
}

int TDataGrid::ColumnCount() const
{
    return static_cast<int>(columns_.empty() ? defaultColumns_.size() : columns_.size());
}

TDataGridColumn* TDataGrid::Column(int index) const
{
    const auto& list = columns_.empty() ? defaultColumns_ : columns_;
    return list.at(static_cast<std::size_t>(index)).get();
}

void TDataGrid::SetSelectedIndex(int index)
{
    if (ColumnCount() == 0) {
        selectedIndex_ = 0;
        return;
    }
    selectedIndex_ = std::clamp(index, 0, ColumnCount() - 1);
    MakeColumnVisible(selectedIndex_);
    viewport()->update();
}

void TDataGrid::SetOptions(TDataGridOptions options)
{
    options_ = options;
    UpdateBufferCount();
    UpdateScrollBars();
    viewport()->update();
}

void TDataGrid::SetOptionsExtra(TDataGridOptionsExtra options)
{
    optionsExtra_ = options;
    viewport()->update();
}

void TDataGrid::SetColor(const QColor& color)
{
    color_ = color;
    viewport()->update();
}

void TDataGrid::SetFixedColor(const QColor& color)
{
    fixedColor_ = color;
    viewport()->update();
}

void TDataGrid::SetTitleFont(const QFont& font)
{
    titleFont_ = font;
    UpdateBufferCount();
    viewport()->update();
}

void TDataGrid::SetFooterFont(const QFont& font)
{
    footerFont_ = font;
    UpdateBufferCount();
    viewport()->update();
}

void TDataGrid::SetFooterColor(const QColor& color)
{
    footerColor_ = color;
    viewport()->update();
}

void TDataGrid::SetFooterRowCount(int count)
{
    footerRowCount_ = std::max(0, count);
    UpdateBufferCount();
    viewport()->update();
}

// --- link notices

void TDataGrid::LinkActiveChanged()
{
    RebuildDefaultColumns();
    ResolveFields();
    UpdateBufferCount();
    ColumnWidthChanged();
}

void TDataGrid::LinkLayoutChanged()
{
    RebuildDefaultColumns();
    ResolveFields();
    ColumnWidthChanged();
}

void TDataGrid::LinkDataChanged()
{
    UpdateScrollBars();
    viewport()->update();
}

void TDataGrid::RebuildDefaultColumns()
{
    defaultColumns_.clear();
    TDataSet* dataSet = DataSet();
    if (!columns_.empty() || dataSet == nullptr || !dataSet->Active()) {
        return;
    }
    for (TField* field : dataSet->Fields()) {
        if (field->Visible()) {
            auto column = std::make_unique<TDataGridColumn>(this, static_cast<int>(defaultColumns_.size()));
            column->fieldName_ = field->FieldName();
            defaultColumns_.push_back(std::move(column));
        }
    }
}

void TDataGrid::ResolveFields()
{
    fields_.assign(static_cast<std::size_t>(ColumnCount()), nullptr);
    for (int i = 0; i < ColumnCount(); ++i) {
        fields_[static_cast<std::size_t>(i)] = Column(i)->Lookup();
    }
    selectedIndex_ = std::clamp(selectedIndex_, 0, std::max(0, ColumnCount() - 1));
}

void TDataGrid::ColumnWidthChanged()
{
    UpdateScrollBars();
    viewport()->update();
}

// --- geometry

int TDataGrid::RowHeight() const
{
    return QFontMetrics(font()).height() + 3;
}

int TDataGrid::TitleHeight() const
{
    return (options_ & dgTitles) ? QFontMetrics(TitleFont()).height() + 4 : 0;
}

int TDataGrid::FooterTop() const
{
    const int footerHeight = QFontMetrics(FooterFont()).height() + 3;
    return viewport()->height() - footerRowCount_ * (footerHeight + RowLineWidth());
}

int TDataGrid::VisibleRowCount() const
{
    const int top = (options_ & dgTitles) ? TitleHeight() + RowLineWidth() : 0;
    const int room = FooterTop() - top;
    return std::max(0, room / (RowHeight() + RowLineWidth()));
}

int TDataGrid::DataLeft() const
{
    return (options_ & dgIndicator) ? IndicatorWidth + LineWidth() : 0;
}

int TDataGrid::ColumnLeft(int col) const
{
    int x = DataLeft() - horizontalScrollBar()->value();
    for (int i = 0; i < col; ++i) {
        x += Column(i)->Width() + LineWidth();
    }
    return x;
}

int TDataGrid::ContentWidth() const
{
    int width = 0;
    for (int i = 0; i < ColumnCount(); ++i) {
        width += Column(i)->Width() + LineWidth();
    }
    return width;
}

QRect TDataGrid::CellRect(int col, int row) const
{
    const int top = ((options_ & dgTitles) ? TitleHeight() + RowLineWidth() : 0) + row * (RowHeight() + RowLineWidth());
    return {ColumnLeft(col), top, Column(col)->Width(), RowHeight()};
}

QRect TDataGrid::TitleRect(int col) const
{
    return {ColumnLeft(col), 0, Column(col)->Width(), TitleHeight()};
}

QRect TDataGrid::FooterRect(int col, int footerRow) const
{
    const int height = QFontMetrics(FooterFont()).height() + 3;
    const int top = FooterTop() + RowLineWidth() + footerRow * (height + RowLineWidth());
    return {ColumnLeft(col), top, Column(col)->Width(), height};
}

QRect TDataGrid::IndicatorRect(int row) const
{
    const int top = ((options_ & dgTitles) ? TitleHeight() + RowLineWidth() : 0) + row * (RowHeight() + RowLineWidth());
    return {0, top, IndicatorWidth, RowHeight()};
}

int TDataGrid::RowAt(int y) const
{
    const int top = (options_ & dgTitles) ? TitleHeight() + RowLineWidth() : 0;
    if (y < top || y >= FooterTop()) {
        return -1;
    }
    const int row = (y - top) / (RowHeight() + RowLineWidth());
    return row < link_->RecordCount() ? row : -1;
}

int TDataGrid::ColumnAt(int x) const
{
    for (int i = 0; i < ColumnCount(); ++i) {
        const int left = ColumnLeft(i);
        if (x >= left && x < left + Column(i)->Width() + LineWidth()) {
            return i;
        }
    }
    return -1;
}

int TDataGrid::ResizeColumnAt(const QPoint& pos) const
{
    if (!(options_ & dgColumnResize) || !(options_ & dgTitles) || pos.y() >= TitleHeight()) {
        return -1;
    }
    for (int i = 0; i < ColumnCount(); ++i) {
        const int right = ColumnLeft(i) + Column(i)->Width();
        if (std::abs(pos.x() - right) <= kResizeMargin) {
            return i;
        }
    }
    return -1;
}

void TDataGrid::UpdateBufferCount()
{
    link_->SetBufferCount(std::max(1, VisibleRowCount()));
    UpdateScrollBars();
}

void TDataGrid::UpdateScrollBars()
{
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, ContentWidth() + DataLeft() - viewport()->width()));
    h->setPageStep(std::max(1, viewport()->width()));

    QScrollBar* v = verticalScrollBar();
    const QSignalBlocker block(v);
    TDataSet* dataSet = DataSet();
    if (dataSet == nullptr || !dataSet->Active() || dataSet->IsEmpty()) {
        v->setRange(0, 0);
        return;
    }
    // An exact position once the dataset knows its size; before that only
    // "at the start", "somewhere" and "at the end", so nothing is read ahead.
    const int count = dataSet->RecordCount();
    if (count >= 0) {
        v->setRange(0, std::max(0, count - 1));
        v->setPageStep(std::max(1, VisibleRowCount()));
        v->setValue(std::max(0, dataSet->RecNo() - 1));
    } else {
        v->setRange(0, 2);
        v->setPageStep(1);
        v->setValue(dataSet->Bof() ? 0 : (dataSet->Eof() ? 2 : 1));
    }
}

// --- painting

bool TDataGrid::Highlighted(bool currentRow, int col) const
{
    if (!currentRow) {
        return false;
    }
    if (!(options_ & dgRowSelect) && col != selectedIndex_) {
        return false;
    }
    return (options_ & dgAlwaysShowSelection) || (hasFocus() && (optionsExtra_ & dgxHighlightFocus));
}

void TDataGrid::DefaultDrawColumnCell(const QRect& rect, int /*dataCol*/, TDataGridColumn* column,
                                      TGridDrawState /*state*/)
{
    canvas_.FillRect(rect);
    if (column == nullptr) {
        return;
    }
    const TField* field = column->Field();
    const QString text = field != nullptr ? ToQ(field->DisplayText()) : QString();
    if (text.isEmpty()) {
        return;
    }
    int x = rect.left() + 2;
    switch (column->Alignment()) {
    case taRightJustify:
        x = rect.right() + 1 - 3 - canvas_.TextWidth(text);
        break;
    case taCenter:
        x = rect.left() + (rect.width() - canvas_.TextWidth(text)) / 2;
        break;
    case taLeftJustify:
        break;
    }
    canvas_.TextRect(rect, x, rect.top() + 2, text);
}

void TDataGrid::PaintFixedCell(const QRect& rect, const QString& text, const QFont& font)
{
    canvas_.Brush.Color = fixedColor_;
    canvas_.FillRect(rect);
    QPainter* p = canvas_.Painter();
    // A raised edge, as fixed cells have.
    StraightLine(*p, rect.topLeft(), rect.topRight(), clWhite());
    StraightLine(*p, rect.topLeft(), rect.bottomLeft(), clWhite());
    StraightLine(*p, rect.bottomLeft(), rect.bottomRight(), clBtnShadow());
    StraightLine(*p, rect.topRight(), rect.bottomRight(), clBtnShadow());
    if (!text.isEmpty()) {
        canvas_.Font.Assign(font);
        canvas_.Font.Color = clWindowText();
        canvas_.TextRect(rect.adjusted(0, 0, -1, -1), rect.left() + 2, rect.top() + 2, text);
    }
}

void TDataGrid::PaintIndicator(QPainter& painter, const QRect& rect, TDataSetState state) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(clWindowText());
    painter.setBrush(clWindowText());
    const int cy = rect.center().y();
    const int right = rect.right() - 1;
    switch (state) {
    case dsEdit:  // an I-beam
        painter.drawLine(right - 3, cy - 4, right - 3, cy + 4);
        painter.drawLine(right - 5, cy - 4, right - 1, cy - 4);
        painter.drawLine(right - 5, cy + 4, right - 1, cy + 4);
        break;
    case dsInsert:  // an asterisk
        painter.drawLine(right - 3, cy - 3, right - 3, cy + 3);
        painter.drawLine(right - 6, cy, right, cy);
        painter.drawLine(right - 5, cy - 2, right - 1, cy + 2);
        painter.drawLine(right - 5, cy + 2, right - 1, cy - 2);
        break;
    default: {  // an arrow to the right
        QPolygon arrow;
        arrow << QPoint(right - 4, cy - 4) << QPoint(right, cy) << QPoint(right - 4, cy + 4);
        painter.drawPolygon(arrow);
        break;
    }
    }
    painter.restore();
}

void TDataGrid::paintEvent(QPaintEvent* /*event*/)
{
    ui::Guarded([&] {
        QPainter painter(viewport());
        ResolveFields();
        canvas_.Begin(&painter);
        painting_ = true;
        struct Release {
            TDataGrid& grid;
            ~Release()
            {
                grid.canvas_.Begin(nullptr);
                grid.painting_ = false;
            }
        } release{*this};

        const QRect area = viewport()->rect();
        painter.fillRect(area, color_);
        const QColor lineColor = clBtnShadow();
        const int columns = ColumnCount();
        const int dataLeft = DataLeft();
        const bool titles = (options_ & dgTitles) != 0;
        const bool indicator = (options_ & dgIndicator) != 0;
        auto visible = [&](const QRect& r) { return r.right() >= dataLeft && r.left() < area.width(); };
        // Column geometry once per paint, not per cell.
        std::vector<int> lefts(static_cast<std::size_t>(columns) + 1);
        std::vector<int> widths(static_cast<std::size_t>(columns));
        lefts[0] = dataLeft - horizontalScrollBar()->value();
        for (int col = 0; col < columns; ++col) {
            widths[col] = Column(col)->Width();
            lefts[col + 1] = lefts[col] + widths[col] + LineWidth();
        }
        const int rowHeight = RowHeight();
        const int firstTop = titles ? TitleHeight() + RowLineWidth() : 0;
        auto cellRect = [&](int col, int row) {
            return QRect(lefts[col], firstTop + row * (rowHeight + RowLineWidth()), widths[col], rowHeight);
        };

        // Data rows: only the records of the link's window.
        const TDataSet* dataSet = DataSet();
        const bool active = dataSet != nullptr && dataSet->Active();
        const int rows = active ? std::min(link_->RecordCount(), VisibleRowCount()) : 0;
        const int currentRow = active ? link_->ActiveRecord() : -1;
        const QRect dataArea(dataLeft, 0, area.width() - dataLeft, area.height());
        std::optional<TCanvas::AreaClip> clipped(std::in_place, canvas_, dataArea);
        for (int row = 0; row < rows; ++row) {
            const bool isCurrent = row == currentRow;
            for (int col = 0; col < columns; ++col) {
                const QRect rect = cellRect(col, row);
                if (!visible(rect)) {
                    continue;
                }
                TDataGridColumn* column = Column(col);
                const dataset::ActiveRecordGuard guard(*link_, row);
                canvas_.Font.Assign(column->Font());
                canvas_.Font.Color = clWindowText();
                canvas_.Brush.Color = column->Color();
                TGridDrawState state = 0;
                if (Highlighted(isCurrent, col)) {
                    canvas_.Brush.Color = clHighlight();
                    canvas_.Font.Color = clHighlightText();
                    state |= gdSelected;
                }
                if (isCurrent && col == selectedIndex_ && hasFocus()) {
                    state |= gdFocused;
                }
                if (defaultDrawing_) {
                    DefaultDrawColumnCell(rect, col, column, state);
                }
                if (OnDrawColumnCell) {
                    OnDrawColumnCell(this, rect, col, column, state);
                }
            }
        }

        // Titles and footer over the fixed colour, in the same clip.
        for (int col = 0; col < columns; ++col) {
            const QRect title(lefts[col], 0, widths[col], TitleHeight());
            if (titles && visible(title)) {
                PaintFixedCell(title, Column(col)->Title(), TitleFont());
            }
            for (int f = 0; f < footerRowCount_; ++f) {
                QRect rect = FooterRect(0, f);
                rect.moveLeft(lefts[col]);
                rect.setWidth(widths[col]);
                if (!visible(rect)) {
                    continue;
                }
                canvas_.Brush.Color = footerColor_;
                canvas_.FillRect(rect);
                const QString text = Column(col)->FooterText();
                if (!text.isEmpty()) {
                    canvas_.Font.Assign(FooterFont());
                    canvas_.Font.Color = clWindowText();
                    canvas_.TextRect(rect, rect.left() + 2, rect.top() + 2, text);
                }
            }
        }
        clipped.reset();

        // Grid lines.
        // Lines run through the title, the records and the footer, not the empty room between.
        const int bottom = std::max(firstTop + rows * (rowHeight + RowLineWidth()) - 1, TitleHeight());
        if (LineWidth() > 0 && columns > 0) {
            painter.save();
            painter.setClipRect(QRect(dataLeft, 0, area.width() - dataLeft, area.height()));
            for (int col = 0; col < columns; ++col) {
                const int x = lefts[col] + widths[col];
                StraightLine(painter, {x, 0}, {x, bottom}, lineColor);
                if (footerRowCount_ > 0) {
                    StraightLine(painter, {x, FooterTop()}, {x, area.height()}, lineColor);
                }
            }
            painter.restore();
        }
        if (RowLineWidth() > 0) {
            const int right = std::min(area.width(), lefts[columns]);
            for (int row = 0; row < rows; ++row) {
                const int y = IndicatorRect(row).bottom() + 1;
                StraightLine(painter, {0, y}, {right, y}, lineColor);
            }
            if (titles) {
                StraightLine(painter, {0, TitleHeight()}, {right, TitleHeight()}, lineColor);
            }
            for (int f = 0; f < footerRowCount_; ++f) {
                const int y = FooterTop() + f * (QFontMetrics(FooterFont()).height() + 3 + 1);
                StraightLine(painter, {0, y}, {area.width(), y}, lineColor);
            }
        }

        // The indicator column stays put while the columns scroll.
        if (indicator) {
            if (titles) {
                PaintFixedCell(QRect(0, 0, IndicatorWidth, TitleHeight()), {}, TitleFont());
            }
            for (int row = 0; row < rows; ++row) {
                const QRect rect = IndicatorRect(row);
                PaintFixedCell(rect, {}, font());
                if (row == currentRow) {
                    PaintIndicator(painter, rect, dataSet->State());
                }
            }
            for (int f = 0; f < footerRowCount_; ++f) {
                QRect rect = FooterRect(0, f);
                rect.setLeft(0);
                rect.setWidth(IndicatorWidth);
                PaintFixedCell(rect, {}, FooterFont());
            }
            if (LineWidth() > 0) {
                StraightLine(painter, {IndicatorWidth, 0}, {IndicatorWidth, bottom}, lineColor);
                if (footerRowCount_ > 0) {
                    StraightLine(painter, {IndicatorWidth, FooterTop()}, {IndicatorWidth, area.height()}, lineColor);
                }
            }
        }
    });
}

void TDataGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    ui::Guarded([&] { UpdateBufferCount(); });
}

void TDataGrid::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        ui::Guarded([&] {
            UpdateBufferCount();
            ColumnWidthChanged();
        });
    }
}

// --- moving

void TDataGrid::Scroll(int distance)
{
    TDataSet* dataSet = DataSet();
    if (distance == 0 || dataSet == nullptr || !dataSet->Active()) {
        return;
    }
    link_->MoveBy(distance);
}

void TDataGrid::MoveTo(int windowRow)
{
    Scroll(windowRow - link_->ActiveRecord());
}

void TDataGrid::First()
{
    if (TDataSet* dataSet = DataSet(); dataSet != nullptr && dataSet->Active()) {
        dataSet->First();
    }
}

void TDataGrid::Last()
{
    if (TDataSet* dataSet = DataSet(); dataSet != nullptr && dataSet->Active()) {
        dataSet->Last();
    }
}

void TDataGrid::MakeColumnVisible(int col)
{
    if (col < 0 || col >= ColumnCount()) {
        return;
    }
    QScrollBar* h = horizontalScrollBar();
    const int left = ColumnLeft(col) + h->value();  // in content coordinates
    const int right = left + Column(col)->Width();
    const int view = viewport()->width();
    if (left - h->value() < DataLeft()) {
        h->setValue(left - DataLeft());
    } else if (right - h->value() > view) {
        h->setValue(std::min(left - DataLeft(), right - view));
    }
}

void TDataGrid::MoveColumn(int delta, bool wrapRows)
{
    const int count = ColumnCount();
    if (count == 0) {
        return;
    }
    int next = selectedIndex_ + delta;
    if (wrapRows && (next < 0 || next >= count)) {
        TDataSet* dataSet = DataSet();
        if (dataSet == nullptr || !dataSet->Active()) {
            return;
        }
        if (next >= count && !dataSet->Eof()) {
            const int moved = link_->MoveBy(1);
            next = moved != 0 ? 0 : count - 1;
        } else if (next < 0) {
            const int moved = link_->MoveBy(-1);
            next = moved != 0 ? count - 1 : 0;
        }
    }
    SetSelectedIndex(next);
}

void TDataGrid::DeleteRecord()
{
    TDataSet* dataSet = DataSet();
    if (readOnly_ || dataSet == nullptr || !dataSet->Active() || !dataSet->CanModify() || dataSet->IsEmpty()) {
        return;
    }
    if ((options_ & dgConfirmDelete) &&
        ui::MessageBox(QStringLiteral("Delete record?"), QStringLiteral("Confirm"),
                       ui::MB_OKCANCEL | ui::MB_ICONQUESTION) != ui::IDOK) {
        return;
    }
    dataSet->Delete();
}

void TDataGrid::ExitGrid()
{
    TDataSet* dataSet = DataSet();
    if (dataSet == nullptr || !dataSet->Active()) {
        return;
    }
    try {
        if ((options_ & dgCancelOnExit) && dataSet->State() == dsInsert && !dataSet->Modified()) {
            dataSet->Cancel();
        } else {
            link_->UpdateRecord();
        }
    } catch (...) {
        setFocus(Qt::OtherFocusReason);
        throw;
    }
}

// --- keys and mouse

void TDataGrid::keyPressEvent(QKeyEvent* event)
{
    ui::Guarded([&] {
        const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
        const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
        switch (event->key()) {
        case Qt::Key_Up:
            Scroll(-1);
            break;
        case Qt::Key_Down:
            Scroll(1);
            break;
        case Qt::Key_PageUp:
            if (ctrl) {
                MoveTo(0);
            } else {
                Scroll(-std::max(1, VisibleRowCount()));
            }
            break;
        case Qt::Key_PageDown:
            if (ctrl) {
                MoveTo(std::max(0, link_->RecordCount() - 1));
            } else {
                Scroll(std::max(1, VisibleRowCount()));
            }
            break;
        case Qt::Key_Home:
            if (ctrl) {
                First();
            } else {
                SetSelectedIndex(0);
            }
            break;
        case Qt::Key_End:
            if (ctrl) {
                Last();
            } else {
                SetSelectedIndex(ColumnCount() - 1);
            }
            break;
        case Qt::Key_Left:
            MoveColumn(-1, false);
            break;
        case Qt::Key_Right:
            MoveColumn(1, false);
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: {
            const bool forward = event->key() != Qt::Key_Backtab && !shift;
            if (ctrl) {
                // The way out of a grid that keeps Tab for its columns.
                ui::SelectNext(this, forward);
            } else if (options_ & dgTabs) {
                MoveColumn(forward ? 1 : -1, true);
            }
            break;
        }
        case Qt::Key_Delete:
            if (ctrl) {
                DeleteRecord();
            }
            break;
        case Qt::Key_Escape:
            if (!readOnly_ && DataSet() != nullptr &&
                (DataSet()->State() == dsEdit || DataSet()->State() == dsInsert)) {
                DataSet()->Cancel();
            }
            break;
        default:
            // Cells are never edited here: typed text is dropped.
            break;
        }
    });
    event->accept();
}

bool TDataGrid::focusNextPrevChild(bool next)
{
    // With dgTabs Tab and Shift+Tab reach keyPressEvent.
    if ((options_ & dgTabs) && hasFocus()) {
        return false;
    }
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void TDataGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    ui::Guarded([&] {
        if (focusPolicy() != Qt::NoFocus && !hasFocus()) {
            setFocus(Qt::MouseFocusReason);
        }
        const QPoint pos = event->position().toPoint();
        if (const int col = ResizeColumnAt(pos); col >= 0) {
            resizing_ = col;
            resizeOrigin_ = ColumnLeft(col);
            return;
        }
        const int col = ColumnAt(pos.x());
        if (const int row = RowAt(pos.y()); row >= 0) {
            MoveTo(row);
        }
        if (col >= 0 && pos.x() >= DataLeft()) {
            SetSelectedIndex(col);
        }
    });
}

void TDataGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (resizing_ >= 0 && !(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere (a modal window opened by OnDblClick took
        // it): a bare move ends the resize instead of dragging the border.
        resizing_ = -1;
    }
    if (resizing_ >= 0) {
        ui::Guarded([&] { Column(resizing_)->SetWidth(std::max(1, pos.x() - resizeOrigin_)); });
        return;
    }
    viewport()->setCursor(ResizeColumnAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TDataGrid::mouseReleaseEvent(QMouseEvent* /*event*/)
{
    resizing_ = -1;
}

void TDataGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    ui::Guarded([&] {
        if (OnDblClick) {
            OnDblClick(this);
        }
    });
    mousePressEvent(event);
}

void TDataGrid::wheelEvent(QWheelEvent* event)
{
    // Fine-grained wheels and touchpads report fractions of a notch: they add
    // up to whole notches, one record each.
    wheelDelta_ += event->angleDelta().y();
    const int steps = wheelDelta_ / 120;
    wheelDelta_ -= steps * 120;
    ui::Guarded([&] { Scroll(-steps); });
    event->accept();
}

void TDataGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TDataGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
