#include "platform/ui/events.h"

#include "platform/ui/application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace ui {
namespace {

const char* const kTabOrder = "ui.tabOrder";

// Swallows the mouse presses delivered before the event loop runs again.
class PressCanceller : public QObject {
public:
    PressCanceller() : QObject(QCoreApplication::instance())
    {
        QCoreApplication::instance()->installEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        });
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        return event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    }
};

void CancelPendingPress()
{
    new PressCanceller();
}

void OnFocusChanged(QWidget* old, QWidget* now)
{
    // Deactivation (now null) and popups (another window) are no exit.
    if (old == nullptr || now == nullptr || old->window() != now->window()) {
        return;
    }
    QPointer<QWidget> from = ControlOf(old);
    QPointer<QWidget> to = ControlOf(now);
    // Focus moved by an exit handler (keeping the focus in its control) is
    // part of that exit, not a new one; other windows (a dialog the handler
    // opens) keep their own exits.
    static std::vector<QWidget*> exiting;
    QWidget* window = old->window();
    if (from == to || std::find(exiting.begin(), exiting.end(), window) != exiting.end()) {
        return;
    }
    struct Exiting {
        explicit Exiting(QWidget* w) { exiting.push_back(w); }
        ~Exiting() { exiting.pop_back(); }
    } scope(window);
    if (from) {
        if (auto* events = FindEvents(from)) {
            auto control = events->ControlExit;
            auto handler = events->OnExit;
            Guarded([&] {
                if (control) {
                    control(from);
                }
                if (handler && from) {
                    handler(from);
                }
            });
        }
    }
    // The exit handler may have moved the focus on; enter only where it is.
    QWidget* focused = QApplication::focusWidget();
    if (from && focused != nullptr && ControlOf(focused) == from) {
        // The control kept the focus (its exit refused the move, e.g. a text
        // that cannot be written): the mouse press that asked for the move
        // does not reach its target, so a click on a button does not run it.
        CancelPendingPress();
        return;
    }
    if (to && (to == focused || to->isAncestorOf(focused))) {
        if (auto* events = FindEvents(to); events && events->OnEnter) {
            auto handler = events->OnEnter;
            Guarded([&] { handler(to); });
        }
    }
}

void WatchFocus()
{
    static bool watching = false;
    if (!watching) {
        watching = true;
        QObject::connect(Application::Instance().Qt(), &QApplication::focusChanged, &OnFocusChanged);
    }
}

int g_beeps = 0;

// Tab and Shift+Tab move the focus along the window's tab order before any
// control's key handlers see them; a control that takes tabs (a grid) still
// gets them as its own keys.
bool IsDialogKey(const QKeyEvent& key)
{
    return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) &&
           !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

// Ctrl+C, Ctrl+V, Ctrl+X and Ctrl+Z type the characters 3, 22, 24 and 26,
// which an edit takes as copy, paste, cut and undo even when their key-down
// was consumed. The Qt key of such a chord, or 0.
int EditingChord(const QKeyEvent& key)
{
    if ((key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != Qt::ControlModifier) {
        return 0;
    }
    switch (key.key()) {
    case Qt::Key_C:
    case Qt::Key_V:
    case Qt::Key_X:
    case Qt::Key_Z:
        return key.key();
    default:
        return 0;
    }
}

}  // namespace

void Beep()
{
    ++g_beeps;
    QApplication::beep();
}

int BeepCount()
{
    return g_beeps;
}

int VirtualKey(const QKeyEvent& event)
{
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return 'A' + (key - Qt::Key_A);
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return '0' + (key - Qt::Key_0);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return VK_F1 + (key - Qt::Key_F1);
    }
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
        return VK_MENU;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        break;
    }
    return event.text().isEmpty() ? 0 : VK_PROCESSKEY;
}

ControlEvents::ControlEvents(QWidget* control) : QObject(control), control_(control)
{
    setObjectName(QStringLiteral("ui.events"));
    control->installEventFilter(this);
    if (QWidget* proxy = control->focusProxy()) {
        Attach(proxy);
    }
    WatchFocus();
}

void ControlEvents::Attach(QWidget* inner)
{
    if (inner != nullptr && inner != control_) {
        inner->installEventFilter(this);
    }
}

bool ControlEvents::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && substituting_) {
        // The keystroke had its chance at the shortcuts before it was
        // handled here; what it is passed on as goes to the control.
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (substituting_ || IsDialogKey(*key)) {
        return false;
    }
    // An inner editor that ignores a key passes the same event on to the
    // control: handle it once.
    if (watched == control_) {
        const bool seen = event == lastKey_;
        lastKey_ = nullptr;
        if (seen) {
            return false;
        }
    } else {
        lastKey_ = event;
    }

    // A handler may run a modal window in which the control goes away.
    QPointer<QObject> receiver = watched;
    bool consumed = false;
    QString text = key->text();
    bool replaced = false;
    bool keyDownConsumed = false;
    const bool ok = Guarded([&] {
        if (OnKeyDown) {
            const int code = VirtualKey(*key);
            int changed = code;
            OnKeyDown(control_, changed, key->modifiers());
            if (code != 0 && changed == 0) {
                // The control never sees the key; what it types still comes as character input.
                consumed = true;
                keyDownConsumed = true;
            }
        }
        if (OnKeyPress && !text.isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) {
            QString kept;
            for (QChar c : text) {
                QChar typed = c;
                OnKeyPress(control_, typed);
                if (!typed.isNull()) {
                    kept.append(typed);
                }
            }
            if (kept.isEmpty()) {
                consumed = true;
                text.clear();
            } else if (kept != text) {
                text = kept;
                replaced = true;
            }
        }
    });
    if (!ok || !receiver) {
        return true;
    }
    if (keyDownConsumed) {
        DeliverCharacters(receiver, *key, text);
        return true;
    }
    if (!consumed && replaced) {
        // Deliver the character the handler put in place of the typed one.
        QKeyEvent substitute(QEvent::KeyPress, Qt::Key_unknown, key->modifiers(), text);
        const bool wasSubstituting = substituting_;
        substituting_ = true;
        QCoreApplication::sendEvent(receiver, &substitute);
        substituting_ = wasSubstituting;
        return true;
    }
    return consumed;
}

void ControlEvents::DeliverCharacters(QObject* receiver, const QKeyEvent& key, const QString& text)
{
    if (const int chord = EditingChord(key); chord != 0) {
        QKeyEvent command(QEvent::KeyPress, chord, Qt::ControlModifier, QString(QChar(chord - Qt::Key_A + 1)));
        const bool wasSubstituting = substituting_;
        substituting_ = true;
        QCoreApplication::sendEvent(receiver, &command);
        substituting_ = wasSubstituting;
        return;
    }
    QString printable;
    const auto send = [&](int qtKey, const QString& typed) {
        QKeyEvent input(QEvent::KeyPress, qtKey, key.modifiers() & ~(Qt::ControlModifier | Qt::AltModifier), typed);
        const bool wasSubstituting = substituting_;
        substituting_ = true;
        QCoreApplication::sendEvent(receiver, &input);
        substituting_ = wasSubstituting;
    };
    const auto flush = [&] {
        if (!printable.isEmpty() && receiver != nullptr) {
            send(Qt::Key_unknown, printable);
            printable.clear();
        }
    };
    for (QChar c : text) {
        if (c == QChar(8)) {
            flush();
            send(Qt::Key_Backspace, QString(c));
        } else if (c.isPrint()) {
            printable.append(c);
        }
    }
    flush();
}

ControlEvents& Events(QWidget* control)
{
    if (auto* events = FindEvents(control)) {
        return *events;
    }
    return *new ControlEvents(control);
}

ControlEvents* FindEvents(const QWidget* control)
{
    if (control == nullptr) {
        return nullptr;
    }
    for (QObject* child : control->children()) {
        if (auto* events = dynamic_cast<ControlEvents*>(child)) {
            return events;
        }
    }
    return nullptr;
}

QWidget* ControlOf(QWidget* widget)
{
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (FindEvents(w) != nullptr) {
            return w;
        }
        if (w->isWindow()) {
            break;
        }
    }
    return nullptr;
}

void SetTabOrder(QWidget* control, int order)
{
    control->setProperty(kTabOrder, order);
}

int TabOrder(const QWidget* control)
{
    const QVariant order = control->property(kTabOrder);
    return order.isValid() ? order.toInt() : -1;
}

namespace {

void Collect(QWidget* container, std::vector<QWidget*>& chain)
{
    std::vector<QWidget*> children;
    for (QObject* child : container->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && !widget->isWindow()) {
            children.push_back(widget);
        }
    }
    std::stable_sort(children.begin(), children.end(), [](QWidget* a, QWidget* b) {
        const int x = TabOrder(a);
        const int y = TabOrder(b);
        // Numbered controls first, in number order.
        if ((x < 0) != (y < 0)) {
            return x >= 0;
        }
        return x < y;
    });
    for (QWidget* child : children) {
        if (child->focusPolicy() != Qt::NoFocus) {
            chain.push_back(child);  // a control, compound or not
        } else {
            Collect(child, chain);  // a container: its controls take its place
        }
    }
}

}  // namespace

std::vector<QWidget*> ApplyTabOrder(QWidget* window)
{
    std::vector<QWidget*> chain;
    Collect(window, chain);
    for (std::size_t i = 1; i < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    }
    return chain;
}

namespace {

// QWidget::focusNextPrevChild is protected; a member pointer taken through a
// derived class reaches it legally and keeps the virtual dispatch.
struct FocusAccess : QWidget {
    using QWidget::focusNextPrevChild;
};

}  // namespace

bool SelectNext(QWidget* widget, bool forward)
{
    QWidget* window = widget->window();
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr || focused->window() != window) {
        return false;
    }
    bool (QWidget::*next)(bool) = &FocusAccess::focusNextPrevChild;
    return (window->*next)(forward);
}

}  // namespace ui
