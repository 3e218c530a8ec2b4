#include "tests/support/ui_driver.h"

#include "entry/commoninteface.h"
#include "platform/ui/application.h"
#include "platform/ui/messagebox.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QHash>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace uitest {

using namespace std::chrono_literals;

// Ends the process when a test hangs outside any event loop, where the
// watchdog timer cannot fire.
struct Driver::HardStop {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread thread;

    explicit HardStop(std::chrono::milliseconds limit)
    {
        thread = std::thread([this, limit] {
            std::unique_lock lock(mutex);
            if (!done.wait_for(lock, limit, [this] { return finished; })) {
                std::fprintf(stderr, "ui driver: the test hung for %lld ms; stopping\n",
                             static_cast<long long>(limit.count()));
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~HardStop()
    {
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        done.notify_all();
        thread.join();
    }
};

Driver::Driver(std::chrono::milliseconds watchdog) : context_(std::make_unique<QObject>()), timeout_(watchdog)
{
    // The query layer's error box goes through the message box seam below.
    ui::Application::Instance();
    UseApplicationErrorBox();
    ui::SetMessageBoxResponder([this](const QString& text, const QString& caption, unsigned flags) {
        int answer = ui::DefaultButton(flags);
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        boxes_.push_back({text, caption, flags, answer});
        return answer;
    });
    QTimer::singleShot(timeout_, context_.get(), [this] { Watchdog(); });
    hardStop_ = std::make_unique<HardStop>(timeout_ * 3);
}

Driver::~Driver()
{
    if (!realBoxes_) {
        ui::SetMessageBoxResponder({});
    }
    context_.reset();
    for (const Step& step : steps_) {
        ADD_FAILURE() << "ui driver: a step for " << step.what.toStdString() << " never ran";
    }
    if (!answers_.empty()) {
        ADD_FAILURE() << "ui driver: " << answers_.size() << " queued answer(s) found no message box";
    }
    hardStop_.reset();
}

Driver& Driver::OnModalNamed(const QString& objectName, std::function<void(QWidget*)> step)
{
    return OnModalIf([objectName](QWidget* w) { return w->objectName() == objectName; }, std::move(step),
                     QStringLiteral("the window ") + objectName);
}

Driver& Driver::OnModalIf(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> step,
                          const QString& what)
{
    steps_.push_back({std::move(match), std::move(step), what});
    if (steps_.size() == 1) {
        QTimer::singleShot(10ms, context_.get(), [this] { Poll(); });
    }
    return *this;
}

Driver& Driver::Answer(int buttonId)
{
    answers_.push_back(buttonId);
    return *this;
}

QStringList Driver::BoxTexts() const
{
    QStringList texts;
    for (const Box& box : boxes_) {
        texts << box.text;
    }
    return texts;
}

void Driver::UseRealBoxes()
{
    realBoxes_ = true;
    ui::SetMessageBoxResponder({});
}

void Driver::RefuseBoxes()
{
    UseRealBoxes();
    auto* timer = new QTimer(context_.get());
    QObject::connect(timer, &QTimer::timeout, context_.get(), [this] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (box == nullptr || !box->isVisible()) {
                continue;
            }
            boxes_.push_back({box->text(), box->windowTitle(), 0, 0});
            ADD_FAILURE() << "ui driver: a message box showed: " << box->text().toStdString();
            box->QDialog::done(QDialog::Rejected);  // past a box that refuses Escape
        }
    });
    timer->start(10ms);
}

void Driver::Poll()
{
    if (steps_.empty()) {
        return;
    }
    // A fresh timer for the next poll: a step may start a nested modal loop,
    // and a timer does not fire again inside its own handler.
    QTimer::singleShot(10ms, context_.get(), [this] { Poll(); });
    if (running_) {
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || !steps_.front().match(modal)) {
        return;
    }
    if (!modal->isActiveWindow()) {
        modal->activateWindow();
        return;
    }
    Step step = std::move(steps_.front());
    steps_.pop_front();
    try {
        step.run(modal);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "ui driver: a step for " << step.what.toStdString() << " threw: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "ui driver: a step for " << step.what.toStdString() << " threw";
    }
}

void Driver::Watchdog()
{
    QStringList open;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        open << (modal->objectName().isEmpty() ? QString::fromLatin1(modal->metaObject()->className())
                                               : modal->objectName());
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->QDialog::done(QDialog::Rejected);  // past any close query
        } else {
            modal->hide();
        }
        if (open.size() > 20) {
            break;
        }
    }
    if (!open.isEmpty() || !steps_.empty()) {
        ADD_FAILURE() << "ui driver: watchdog after " << timeout_.count() << " ms; closed: "
                      << open.join(QStringLiteral(", ")).toStdString() << "; steps left: " << steps_.size()
                      << (steps_.empty() ? "" : " (next: " + steps_.front().what.toStdString() + ")");
        steps_.clear();
    }
    QTimer::singleShot(timeout_, context_.get(), [this] { Watchdog(); });
}

namespace {

QWidget* Target(QWidget* to)
{
    if (to != nullptr) {
        return to;
    }
    if (QApplication::focusWidget() == nullptr) {
        // A window closed just now: the activation it hands back arrives as events.
        QApplication::processEvents();
    }
    if (QWidget* focused = QApplication::focusWidget()) {
        return focused;
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return QApplication::activeWindow();
}

QString TextOf(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier)) {
        if ((modifiers & Qt::ControlModifier) && key >= Qt::Key_A && key <= Qt::Key_Z) {
            return QString(QChar(key - Qt::Key_A + 1));
        }
        return {};
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Escape:
        return QString(QChar(27));
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return QStringLiteral("\t");
    case Qt::Key_Backspace:
        return QString(QChar(8));
    case Qt::Key_Space:
        return QStringLiteral(" ");
    default:
        break;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return QString(QChar(key));
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar c(key);
        return (modifiers & Qt::ShiftModifier) ? QString(c) : QString(c.toLower());
    }
    return {};
}

int KeyOf(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 'a' && u <= 'z') {
        return Qt::Key_A + (u - 'a');
    }
    if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == ' ') {
        return u;
    }
    if (u >= 0x20 && u < 0x7F) {
        return u;  // Qt's key codes for ASCII punctuation are the characters
    }
    return Qt::Key_unknown;
}

void Send(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    if (target == nullptr) {
        ADD_FAILURE() << "ui driver: no widget to send a key to";
        return;
    }
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    // The press may have moved the focus or closed the window.
    QWidget* now = Target(nullptr);
    if (now != nullptr) {
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(now, &release);
    }
}

QPoint Centre(QWidget* widget, QPoint pos)
{
    return pos == QPoint(-1, -1) ? widget->rect().center() : pos;
}

}  // namespace

void Key(int qtKey, Qt::KeyboardModifiers modifiers, QWidget* to)
{
    Send(Target(to), qtKey, modifiers, TextOf(qtKey, modifiers));
}

void Type(const QString& text, QWidget* to)
{
    for (QChar c : text) {
        const Qt::KeyboardModifiers modifiers =
            (c.unicode() >= 'A' && c.unicode() <= 'Z') ? Qt::ShiftModifier : Qt::NoModifier;
        Send(Target(to), KeyOf(c), modifiers, QString(c));
    }
}

void Enter(QWidget* to) { Key(Qt::Key_Return, Qt::NoModifier, to); }
void Escape(QWidget* to) { Key(Qt::Key_Escape, Qt::NoModifier, to); }
void Tab(QWidget* to) { Key(Qt::Key_Tab, Qt::NoModifier, to); }
void ShiftTab(QWidget* to) { Key(Qt::Key_Backtab, Qt::ShiftModifier, to); }
void F2(QWidget* to, Qt::KeyboardModifiers modifiers) { Key(Qt::Key_F2, modifiers, to); }
void Up(QWidget* to) { Key(Qt::Key_Up, Qt::NoModifier, to); }
void Down(QWidget* to) { Key(Qt::Key_Down, Qt::NoModifier, to); }

void Click(QWidget* widget, QPoint pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, Centre(widget, pos));
}

void DoubleClick(QWidget* widget, QPoint pos)
{
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, Centre(widget, pos));
}

void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void ShowActive(QWidget* window)
{
    ui::Application::Instance();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window, 2000)) {
        ADD_FAILURE() << "ui driver: the window did not become active";
    }
}

QWidget* Focused()
{
    if (QApplication::focusWidget() == nullptr) {
        QApplication::processEvents();
    }
    return QApplication::focusWidget();
}

QImage Grab(QWidget* widget)
{
    return widget->grab().toImage();
}

int InkIn(const QImage& image, const QRect& rect)
{
    const QRect area = rect.intersected(image.rect());
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    int background = 0;
    for (const int count : counts) {
        background = std::max(background, count);
    }
    return area.width() * area.height() - background;
}

QRect RectIn(QWidget* window, QWidget* widget, QRect rect)
{
    if (rect.isNull()) {
        rect = widget->rect();
    }
    return rect.translated(widget->mapTo(window, QPoint(0, 0)));
}

QString SaveImage(QWidget* widget, const QString& fileName)
{
    return SaveImage(Grab(widget), fileName);
}

QString SaveImage(const QImage& image, const QString& fileName)
{
    const bool docs = std::getenv("OPEREDIT_UPDATE_IMAGES") != nullptr;
    const char* root = std::getenv(docs ? "OPEREDIT_SOURCE_DIR" : "OPEREDIT_BINARY_DIR");
    if (root == nullptr) {
        return {};
    }
    const QString dir = QString::fromLocal8Bit(root) + (docs ? QStringLiteral("/docs/images") : QStringLiteral("/images"));
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + fileName;
    return image.save(path, "PNG") ? path : QString();
}

}  // namespace uitest

// Fontconfig keeps its caches to the end of the process; the leak checker of
// sanitizer builds is told so for every window test.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
