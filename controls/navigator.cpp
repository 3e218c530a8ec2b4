#include "controls/navigator.h"

#include "platform/ui/application.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPolygon>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

// A flat push button painting one navigation arrow.
class NavButton : public QAbstractButton {
public:
    NavButton(QWidget* parent, TNavigateBtn kind) : QAbstractButton(parent), kind_(kind)
    {
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter, this);
        const QColor ink = isEnabled() ? palette().color(QPalette::ButtonText)
                                       : palette().color(QPalette::Disabled, QPalette::ButtonText);
        painter.setPen(ink);
        painter.setBrush(ink);
        const QPoint c = rect().center() + (isDown() ? QPoint(1, 1) : QPoint());
        const bool left = kind_ == nbFirst || kind_ == nbPrior;
        QPolygon arrow;
        if (left) {
            arrow << QPoint(c.x() + 2, c.y() - 4) << QPoint(c.x() - 2, c.y()) << QPoint(c.x() + 2, c.y() + 4);
        } else {
            arrow << QPoint(c.x() - 2, c.y() - 4) << QPoint(c.x() + 2, c.y()) << QPoint(c.x() - 2, c.y() + 4);
        }
        painter.drawPolygon(arrow);
        // The focused button of a focused navigator.
        const auto* navigator = static_cast<const TDBNavigator*>(parentWidget());
        if (navigator->hasFocus() && navigator->FocusedButton() == kind_) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = rect().adjusted(3, 3, -3, -3);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
        }
        // A bar at the end for first and last.
        if (kind_ == nbFirst) {
            painter.drawLine(c.x() - 4, c.y() - 4, c.x() - 4, c.y() + 4);
        } else if (kind_ == nbLast) {
            painter.drawLine(c.x() + 4, c.y() - 4, c.x() + 4, c.y() + 4);
        }
    }

private:
    TNavigateBtn kind_;
};

}  // namespace

class TDBNavigator::Link : public TDataLink {
public:
    explicit Link(TDBNavigator& owner) : owner_(owner) {}

protected:
    void ActiveChanged() override { owner_.UpdateButtons(); }
    void DataSetChanged() override { owner_.UpdateButtons(); }
    void EditingChanged() override { owner_.UpdateButtons(); }

private:
    TDBNavigator& owner_;
};

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent), link_(std::make_unique<Link>(*this))
{
    setFocusPolicy(Qt::TabFocus);
    const std::array<QString, ButtonCount> hints = {QString::fromUtf8("到头"), QString::fromUtf8("上一个"),
                                                    QString::fromUtf8("下一个"), QString::fromUtf8("到尾")};
    for (int i = 0; i < ButtonCount; ++i) {
        const auto kind = static_cast<TNavigateBtn>(i);
        buttons_[i] = new NavButton(this, kind);
        ui::Connect(buttons_[i], &QAbstractButton::clicked, this, [this, kind] { BtnClick(kind); });
    }
    SetHints(hints);
    LayoutButtons();
    UpdateButtons();
}

TDBNavigator::~TDBNavigator()
{
    link_->SetDataSource(nullptr);
}

TDataSource* TDBNavigator::DataSource() const
{
    return link_->DataSource();
}

void TDBNavigator::SetDataSource(TDataSource* source)
{
    link_->SetDataSource(source);
    UpdateButtons();
}

void TDBNavigator::SetHints(const std::array<QString, ButtonCount>& hints)
{
    for (int i = 0; i < ButtonCount; ++i) {
        buttons_[i]->setToolTip(hints[i]);
    }
}

QString TDBNavigator::Hint(TNavigateBtn button) const
{
    return buttons_[button]->toolTip();
}

void TDBNavigator::BtnClick(TNavigateBtn button)
{
    TDataSet* dataSet = link_->DataSet();
    if (dataSet == nullptr || !dataSet->Active()) {
        return;
    }
    switch (button) {
    case nbFirst:
        dataSet->First();
        break;
    case nbPrior:
        dataSet->Prior();
        break;
    case nbNext:
        dataSet->Next();
        break;
    case nbLast:
        dataSet->Last();
        break;
    }
    if (OnClick) {
        OnClick(this, button);
    }
}

void TDBNavigator::UpdateButtons()
{
    const TDataSet* dataSet = link_->DataSet();
    const bool browsing = link_->Active() && dataSet != nullptr && !link_->Editing();
    const bool atStart = !browsing || dataSet->Bof();
    const bool atEnd = !browsing || dataSet->Eof();
    buttons_[nbFirst]->setEnabled(!atStart);
    buttons_[nbPrior]->setEnabled(!atStart);
    buttons_[nbNext]->setEnabled(!atEnd);
    buttons_[nbLast]->setEnabled(!atEnd);
}

void TDBNavigator::LayoutButtons()
{
    // Equal widths; the pixels left over go to the first buttons.
    const int base = width() / ButtonCount;
    int extra = width() % ButtonCount;
    int x = 0;
    for (QAbstractButton* button : buttons_) {
        const int w = base + (extra > 0 ? 1 : 0);
        extra = std::max(0, extra - 1);
        button->setGeometry(x, 0, w, height());
        x += w;
    }
}

void TDBNavigator::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int step = event->key() == Qt::Key_Left ? -1 : 1;
        const int next = static_cast<int>(focused_) + step;
        if (next >= 0 && next < ButtonCount) {
            focused_ = static_cast<TNavigateBtn>(next);
            for (QAbstractButton* button : buttons_) {
                button->update();
            }
        }
        event->accept();
        return;
    }
    case Qt::Key_Space:
        event->accept();
        if (buttons_[focused_]->isEnabled()) {
            ui::Guarded([&] { BtnClick(focused_); });
        }
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
}

void TDBNavigator::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    for (QAbstractButton* button : buttons_) {
        button->update();
    }
}

void TDBNavigator::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    for (QAbstractButton* button : buttons_) {
        button->update();
    }
}

void TDBNavigator::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutButtons();
}
