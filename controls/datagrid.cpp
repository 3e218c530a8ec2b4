// TDataGrid's core: the canvas, the columns, the grid's construction and
// settings, the notices from its data link and the geometry of cells and
// scroll bars. Painting is in datagrid_paint.cpp, moving the current cell and
// the keys and the mouse in datagrid_input.cpp. The contract is in datagrid.h.

#include "controls/datagrid.h"
#include "controls/datagrid_internal.h"
#include "controls/shaped_text.h"

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

using controls::detail::ToQ;

namespace {

constexpr int kResizeMargin = 3;

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
    // A text whose glyphs lie wholly inside its cell needs no clip of its own.
    const bool save = !area_;
    if (save) {
        painter_->save();
    }
    if (painterFont_ != static_cast<const QFont&>(Font)) {
        painter_->setFont(Font);
        painterFont_ = Font;
    }
    if (painter_->pen().color() != Font.Color) {
        painter_->setPen(Font.Color);
    }
    using controls::ShapedTexts;
    const ShapedTexts::Kept* line = ShapedTexts::Shared().Line(*painter_, device_, text);
    const QPoint baseline(x, y + ascent_);
    const bool clipped = save || line == nullptr || !ShapedTexts::InkInside(*line, baseline, clip);
    if (save) {
        painter_->setClipRect(clip, Qt::IntersectClip);
    } else if (clipped) {
        painter_->setClipRect(clip.intersected(*area_));
    }
    ShapedTexts::Draw(*painter_, baseline, text, line);
    if (save) {
        painter_->restore();
        painterFont_.reset();
    } else if (clipped) {
        painter_->setClipRect(*area_);
    }
}

void TCanvas::Begin(QPainter* painter)
{
    painter_ = painter;
    device_ = painter != nullptr ? controls::ShapedTexts::Of(*painter) : controls::ShapedTexts::Device{};
    if (painter != nullptr && (device_.dpi != widthDpi_ || device_.ratio != widthRatio_)) {
        widthDpi_ = device_.dpi;
        widthRatio_ = device_.ratio;
        widths_.clear();
    }
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
    if (widthFont_ != static_cast<const QFont&>(Font) || widths_.size() >= 1024) {
        widthFont_ = Font;
        widths_.clear();
    }
    if (auto found = widths_.constFind(text); found != widths_.constEnd()) {
        return *found;
    }
    const int width = QFontMetrics(Font).horizontalAdvance(text);
    widths_.insert(text, width);
    return width;
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
