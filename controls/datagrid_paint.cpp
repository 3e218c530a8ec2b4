// TDataGrid's painting: the highlight, the data and fixed cells, the
// indicator, the paint event, and the resize and change events that follow
// the size and the font. The rest of the grid is in datagrid.cpp and
// datagrid_input.cpp. The contract is in datagrid.h.

#include "controls/datagrid.h"
#include "controls/datagrid_internal.h"

#include "controls/colors.h"
#include "platform/ui/application.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>

#include <algorithm>

using controls::detail::ToQ;

namespace {

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
