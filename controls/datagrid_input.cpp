// TDataGrid's input: moving the current cell, record and column, deleting a
// record and leaving the grid, and the keys, the mouse, the wheel and the
// focus. The rest of the grid is in datagrid.cpp and datagrid_paint.cpp.
// The contract is in datagrid.h.

#include "controls/datagrid.h"
#include "controls/datagrid_internal.h"

#include "platform/ui/application.h"
#include "platform/ui/events.h"
#include "platform/ui/messagebox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

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
