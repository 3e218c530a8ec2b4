// The event semantics the windows rely on, on any QWidget.
//
// Events(control) attaches a control's handlers (created on first use, owned
// by the control):
// - OnExit fires when the focus moves from the control to another control of
//   the same window; not when the window is deactivated or a popup opens.
//   OnEnter is its mirror image.
// - OnKeyDown gets the Windows virtual-key code and the shift state before the
//   control sees the key; setting the code to 0 keeps the key from the
//   control. As on Windows, the characters it types still arrive: they pass
//   OnKeyPress and reach the control as character input (printable text,
//   and backspace, which deletes as typed backspace does, and Ctrl+C,
//   Ctrl+V, Ctrl+X and Ctrl+Z, which copy, paste, cut and undo in an edit).
//   Tab and Shift+Tab are the window's keys: they move along the tab order
//   and reach no handler (Ctrl+Tab does).
// - OnKeyPress gets the character a key types (13 Enter, 27 Escape, 8
//   backspace; not Tab); setting it to 0 consumes it, another character
//   replaces it.
// Handlers run guarded: an error goes to the error box and consumes the key.
//
// Beep() is the refusal sound of controls; tests read BeepCount().
//
// Tab order is declared per container with SetTabOrder and flattened into
// Qt's focus chain by ApplyTabOrder (forms do this when they are shown).
// SelectNext moves the focus from the focused control to the next tab stop,
// skipping disabled and hidden controls.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class QKeyEvent;

namespace ui {

// Windows virtual-key codes.
inline constexpr int VK_BACK = 8;
inline constexpr int VK_TAB = 9;
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_MENU = 18;
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_SPACE = 32;
inline constexpr int VK_PRIOR = 33;
inline constexpr int VK_NEXT = 34;
inline constexpr int VK_END = 35;
inline constexpr int VK_HOME = 36;
inline constexpr int VK_LEFT = 37;
inline constexpr int VK_UP = 38;
inline constexpr int VK_RIGHT = 39;
inline constexpr int VK_DOWN = 40;
inline constexpr int VK_INSERT = 45;
inline constexpr int VK_DELETE = 46;
inline constexpr int VK_F1 = 112;
inline constexpr int VK_F2 = 113;
inline constexpr int VK_F3 = 114;
inline constexpr int VK_F12 = 123;
inline constexpr int VK_PROCESSKEY = 229;  // text from an input method

using ShiftState = Qt::KeyboardModifiers;

void Beep();
[[nodiscard]] int BeepCount();

// The virtual-key code of a Qt key event (0 when it has none).
[[nodiscard]] int VirtualKey(const QKeyEvent& event);

class ControlEvents : public QObject {
public:
    using Notify = std::function<void(QWidget* sender)>;
    using KeyDown = std::function<void(QWidget* sender, int& key, ShiftState shift)>;
    using KeyPress = std::function<void(QWidget* sender, QChar& key)>;

    Notify OnEnter;
    Notify OnExit;
    KeyDown OnKeyDown;
    KeyPress OnKeyPress;

    // For control implementations: runs before OnExit when the focus leaves
    // (a bound edit writes its text here). An error keeps OnExit from running
    // and goes to the error box.
    Notify ControlExit;

    [[nodiscard]] QWidget* Control() const { return control_; }
    // Routes the keys of an inner widget (an editor inside a compound
    // control) to these handlers too.
    void Attach(QWidget* inner);

    explicit ControlEvents(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Sends what a key whose key-down was consumed still types: its
    // printable characters as text, a backspace as Backspace.
    void DeliverCharacters(QObject* receiver, const QKeyEvent& key, const QString& text);

    QWidget* control_;
    const QEvent* lastKey_ = nullptr;
    bool substituting_ = false;
};

// The handlers of `control`, attached on first use.
ControlEvents& Events(QWidget* control);
// The handlers of `control`, or null when none are attached.
[[nodiscard]] ControlEvents* FindEvents(const QWidget* control);
// The control (a widget with handlers) that holds `widget`, or null.
[[nodiscard]] QWidget* ControlOf(QWidget* widget);

// Tab order within the control's container (lower first; controls without a
// number follow in creation order).
void SetTabOrder(QWidget* control, int order);
[[nodiscard]] int TabOrder(const QWidget* control);
// Flattens the tab orders of `window`'s containers into Qt's focus chain:
// each container's controls take its place in the chain. Returns the chain.
std::vector<QWidget*> ApplyTabOrder(QWidget* window);

// Moves the focus from the focused control of `widget`'s window to the next
// (or previous) tab stop that is enabled and visible. False when none.
bool SelectNext(QWidget* widget, bool forward = true);

}  // namespace ui
