// Drives windows in tests.
//
// A Driver belongs to one test. Its scripted steps run inside the modal loops
// the code under test starts: each step waits in a queue until the active
// modal window matches it, runs once, and the next one waits for its own
// window. A watchdog fails the test and closes the modal windows left open
// instead of letting the test hang. While it lives, every message box is
// recorded and answered by the queued answers, else by the box's default
// button (as Enter would), unless the test asks for real boxes.
//
//     uitest::Driver driver;
//     driver.OnModal<TChoiceDiagForm>([](TChoiceDiagForm& picker) {
//         uitest::Type(QString::fromUtf8("阑尾"));
//         uitest::Enter();
//     });
//     driver.Answer(ui::IDYES);
//     editor->ShowModal();
//     EXPECT_EQ(driver.Boxes().at(0).caption, QString::fromUtf8("确认"));
//
// The input helpers send key and mouse events to the focused widget (or to
// the widget given) exactly as a user's keyboard would: typing carries the
// text, Chinese included, in the key events.
#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <ostream>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QObject;

namespace uitest {

class Driver {
public:
    explicit Driver(std::chrono::milliseconds watchdog = std::chrono::seconds(20));
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Queues a step for the next active modal window of class W.
    template <class W, class Fn>
    Driver& OnModal(Fn step)
    {
        return OnModalIf(
            [](QWidget* w) { return dynamic_cast<W*>(w) != nullptr; },
            [step = std::move(step)](QWidget* w) mutable { step(*dynamic_cast<W*>(w)); },
            QStringLiteral("a modal window of the expected class"));
    }
    // Queues a step for the next active modal window with this object name.
    Driver& OnModalNamed(const QString& objectName, std::function<void(QWidget*)> step);
    // Queues a step for the next active modal window that `match` accepts.
    Driver& OnModalIf(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> step,
                      const QString& what);
    [[nodiscard]] std::size_t PendingSteps() const { return steps_.size(); }

    struct Box {
        QString text;
        QString caption;
        unsigned flags = 0;
        int answer = 0;
    };
    // The answer to the next box that has none queued before it.
    Driver& Answer(int buttonId);
    [[nodiscard]] const std::vector<Box>& Boxes() const { return boxes_; }
    // The texts of the boxes shown so far, in order.
    [[nodiscard]] QStringList BoxTexts() const;
    // Draws real QMessageBoxes from now on (drive them with OnModal).
    void UseRealBoxes();
    // Draws real QMessageBoxes and fails the test at each one that shows:
    // it is recorded in Boxes() (without flags) and closed. For code whose
    // boxes no responder of this binary sees, such as a library holding its
    // own copy of the window platform.
    void RefuseBoxes();

private:
    struct Step {
        std::function<bool(QWidget*)> match;
        std::function<void(QWidget*)> run;
        QString what;
    };
    void Poll();
    void Watchdog();

    std::deque<Step> steps_;
    std::deque<int> answers_;
    std::vector<Box> boxes_;
    std::unique_ptr<QObject> context_;
    std::chrono::milliseconds timeout_;
    bool running_ = false;
    bool realBoxes_ = false;
    struct HardStop;
    std::unique_ptr<HardStop> hardStop_;
};

// Keys, sent to `to` or else to the focused widget.
void Key(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWidget* to = nullptr);
void Type(const QString& text, QWidget* to = nullptr);
void Enter(QWidget* to = nullptr);
void Escape(QWidget* to = nullptr);
void Tab(QWidget* to = nullptr);
void ShiftTab(QWidget* to = nullptr);
void F2(QWidget* to = nullptr, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void Up(QWidget* to = nullptr);
void Down(QWidget* to = nullptr);

// Mouse, at `pos` in the widget (its centre when omitted).
void Click(QWidget* widget, QPoint pos = QPoint(-1, -1));
void DoubleClick(QWidget* widget, QPoint pos = QPoint(-1, -1));

// Delivers pending events, deferred deletions included.
void Settle();
// Shows a top-level window without a modal loop and waits until it is active.
void ShowActive(QWidget* window);
// The widget that has the keyboard focus.
[[nodiscard]] QWidget* Focused();

[[nodiscard]] QImage Grab(QWidget* widget);
// The pixels inside `rect` of `image` that differ from the commonest colour
// there (the background): what is drawn on it, such as text.
[[nodiscard]] int InkIn(const QImage& image, const QRect& rect);
// Where `widget` (or `rect` in its coordinates) lies in a grab of `window`.
[[nodiscard]] QRect RectIn(QWidget* window, QWidget* widget, QRect rect = QRect());
// Saves a grab of `widget` as PNG: under docs/images/ of the source tree when
// OPEREDIT_UPDATE_IMAGES is set, else under images/ of the build tree.
// Returns the path written, or an empty text.
QString SaveImage(QWidget* widget, const QString& fileName);
QString SaveImage(const QImage& image, const QString& fileName);

}  // namespace uitest

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
