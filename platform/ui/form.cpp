#include "platform/ui/form.h"

#include "platform/ui/application.h"
#include "platform/ui/events.h"
#include "platform/ui/widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace ui {

Form::Form(QWidget* owner) : QDialog(WithApplication(owner))
{
    setFont(SongFont());
    // Only the caption, the system menu and the close box, as the old windows.
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

Form::~Form()
{
    RunDestroy();
}

void Form::RunDestroy()
{
    if (!destroyed_) {
        destroyed_ = true;
        if (OnDestroy) {
            Guarded(OnDestroy);
        }
    }
}

void Form::Free()
{
    RunDestroy();
    delete this;
}

int Form::ShowModal()
{
    modalResult_ = mrNone;
    modal_ = true;
    setWindowModality(Qt::ApplicationModal);
    QPointer<Form> self(this);
    // As on Windows, the window that was active gets the activation back when
    // this one closes (some platforms leave no window active).
    QPointer<QWidget> below = QApplication::activeWindow();
    exec();
    if (below != nullptr && below->isVisible() && QApplication::activeWindow() == nullptr) {
        below->activateWindow();
    }
    if (self) {
        modal_ = false;
    }
    return modalResult_;
}

bool Form::CloseQuery()
{
    bool canClose = true;
    if (OnCloseQuery) {
        OnCloseQuery(canClose);
    }
    return canClose;
}

void Form::SetModalResult(int result)
{
    modalResult_ = result;
    if (result == mrNone || !modal_ || !isVisible()) {
        return;
    }
    if (!CloseQuery()) {
        modalResult_ = mrNone;
        return;
    }
    if (OnClose) {
        OnClose();
    }
    if (showing_) {
        // Closed while being shown (OnShow): the modal loop has not started
        // yet and would never end if the window were hidden now.
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) {
                QDialog::done(modalResult_);
            }
        });
        return;
    }
    QDialog::done(modalResult_);
}

void Form::Close()
{
    if (modal_) {
        SetModalResult(mrCancel);
        return;
    }
    if (CloseQuery()) {
        if (OnClose) {
            OnClose();
        }
        hide();
    }
}

void Form::done(int result)
{
    SetModalResult(result == QDialog::Rejected ? mrCancel : result);
}

void Form::reject()
{
    Close();
}

void Form::accept()
{
    SetModalResult(mrOk);
}

void Form::SetBounds(int left, int top, int width, int height)
{
    bounds_ = QRect(left, top, width, height);
    ApplyBounds();
}

QRect Form::Bounds() const
{
    // A shown window is where the user or the window system put it last.
    return isVisible() ? frameGeometry() : bounds_.value_or(frameGeometry());
}

int Form::Left() const
{
    return Bounds().left();
}

int Form::Top() const
{
    return Bounds().top();
}

void Form::SetLeft(int left)
{
    const QRect now = Bounds();
    SetBounds(left, now.top(), now.width(), now.height());
}

void Form::SetTop(int top)
{
    const QRect now = Bounds();
    SetBounds(now.left(), top, now.width(), now.height());
}

void Form::KeepWithin(const QRect& area)
{
    if (!area.isValid()) {
        return;
    }
    QRect now = Bounds();
    if (now.right() > area.right()) {
        now.moveRight(area.right());
    }
    if (now.bottom() > area.bottom()) {
        now.moveBottom(area.bottom());
    }
    if (now.left() < area.left()) {
        now.moveLeft(area.left());
    }
    if (now.top() < area.top()) {
        now.moveTop(area.top());
    }
    SetBounds(now.left(), now.top(), now.width(), now.height());
}

QRect Form::ScreenArea() const
{
    const QScreen* on = screen();
    return on != nullptr ? on->availableGeometry() : QRect();
}

void Form::ApplyBounds()
{
    if (!bounds_) {
        return;
    }
    // The frame is known only once a window manager has decorated the shown
    // window; until then it counts as none, and the bounds are applied again.
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const int extraWidth = frame.width() - client.width();
    const int extraHeight = frame.height() - client.height();
    move(bounds_->topLeft());  // a window's position is its frame's
    resize(std::max(0, bounds_->width() - extraWidth), std::max(0, bounds_->height() - extraHeight));
}

void Form::CenterOnScreen()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

bool Form::event(QEvent* event)
{
    // A window manager reports the frame it put round the shown window by
    // moving it: the bounds are applied again, once, with the frame known.
    if (framePending_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        frameGeometry() != geometry()) {
        framePending_ = false;
        QTimer::singleShot(0, this, [this] { ApplyBounds(); });
    }
    bool result = false;
    if (!Guarded([&] { result = QDialog::event(event); })) {
        return true;
    }
    return result;
}

void Form::closeEvent(QCloseEvent* event)
{
    // Close() ends the modal run itself when the close query agrees.
    event->ignore();
    Guarded([&] { Close(); });
}

void Form::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->ignore();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void Form::showEvent(QShowEvent* event)
{
    showing_ = true;
    struct Shown {
        bool& flag;
        ~Shown() { flag = false; }
    } shown{showing_};
    Realign(this);
    ApplyTabOrder(this);
    QDialog::showEvent(event);
    if (bounds_) {
        framePending_ = true;
        QTimer::singleShot(0, this, [this] { ApplyBounds(); });
    }
    if (activeControl_ != nullptr) {
        activeControl_->setFocus(Qt::OtherFocusReason);
    }
    if (OnShow) {
        Guarded(OnShow);
    }
}

void Form::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Realign(this);
}

}  // namespace ui
