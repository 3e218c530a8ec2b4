// The base of every window: a QDialog with the old platform's life cycle.
//
// A form is created with an owner (another window, or none for the
// application object) and freed by whoever created it, with Free() or
// delete. ShowModal runs it modally and returns its modal result. Setting a
// non-zero modal result on a modal form closes it; Close() does the same
// with mrCancel (or hides a form that is not modal). Closing always asks
// OnCloseQuery first, which can refuse; OnClose runs when the close goes
// ahead. OnDestroy runs from Free(), while the derived object is whole; a
// form deleted otherwise (by its owner) runs it from ~Form, when only this
// base is left.
//
// Escape and Enter do nothing at form level (no default or cancel button);
// the window's font is "宋体" 12 px; tab orders are flattened and aligned
// panels arranged whenever the form is shown.
#pragma once

#include <QDialog>
#include <QPointer>

#include <QRect>

#include <functional>
#include <optional>

namespace ui {

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

class Form : public QDialog {
    Q_OBJECT
public:
    explicit Form(QWidget* owner = nullptr);
    ~Form() override;

    [[nodiscard]] QWidget* Owner() const { return parentWidget(); }

    // Shows the form modally; returns its modal result when it closes.
    int ShowModal();
    [[nodiscard]] bool IsModal() const { return modal_; }
    [[nodiscard]] int ModalResult() const { return modalResult_; }
    void SetModalResult(int result);
    void Close();
    // Runs OnDestroy, then deletes the form.
    void Free();

    void SetCaption(const QString& caption) { setWindowTitle(caption); }
    // Left, top, width, height of the whole window on the screen, frame and
    // title bar included (the client area is what the frame leaves).
    void SetBounds(int left, int top, int width, int height);
    // The window's outer left and top on the screen (a shown window's real
    // place, wherever it was moved; else the place asked for); setting one
    // keeps the size.
    [[nodiscard]] int Left() const;
    [[nodiscard]] int Top() const;
    void SetLeft(int left);
    void SetTop(int top);
    // Moves the window by no more than it takes to lie wholly inside `area`:
    // up and left where it sticks out below or right, down and right where
    // it begins above or left of it. An invalid area changes nothing.
    void KeepWithin(const QRect& area);
    // The available area (without panels and docks) of the screen the
    // window is on.
    [[nodiscard]] QRect ScreenArea() const;
    void CenterOnScreen();
    // The control focused when the form is shown.
    void SetActiveControl(QWidget* control) { activeControl_ = control; }

    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void()> OnClose;
    std::function<void()> OnDestroy;
    std::function<void()> OnShow;

    // QDialog's own ways to end are routed through the close query.
    void done(int result) override;
    void reject() override;
    void accept() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool CloseQuery();
    void RunDestroy();
    [[nodiscard]] QRect Bounds() const;
    void ApplyBounds();

    int modalResult_ = mrNone;
    bool modal_ = false;
    bool destroyed_ = false;
    bool showing_ = false;
    QPointer<QWidget> activeControl_;  // the control may go before the form shows
    std::optional<QRect> bounds_;      // the outer bounds asked for
    bool framePending_ = false;        // shown, its frame not yet known
};

}  // namespace ui
