#include "platform/ui/messagebox.h"

#include "platform/ui/application.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <vector>

namespace ui {
namespace {

MessageBoxResponder& Responder()
{
    static MessageBoxResponder responder;
    return responder;
}

struct BoxButton {
    QMessageBox::StandardButton qt;
    int id;
    const char* text;  // UTF-8, as a Chinese workstation labels it
};

std::vector<BoxButton> Buttons(unsigned flags)
{
    const BoxButton ok{QMessageBox::Ok, IDOK, "确定"};
    const BoxButton cancel{QMessageBox::Cancel, IDCANCEL, "取消"};
    const BoxButton yes{QMessageBox::Yes, IDYES, "是(&Y)"};
    const BoxButton no{QMessageBox::No, IDNO, "否(&N)"};
    switch (flags & 0xF) {
    case MB_OKCANCEL:
        return {ok, cancel};
    case MB_YESNOCANCEL:
        return {yes, no, cancel};
    case MB_YESNO:
        return {yes, no};
    default:
        return {ok};
    }
}

std::size_t DefaultIndex(unsigned flags, std::size_t count)
{
    std::size_t index = (flags & 0xF00) >> 8;
    return index < count ? index : 0;
}

QMessageBox::Icon IconOf(unsigned flags)
{
    switch (flags & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// A Yes/No box has no way out but its buttons, as on Windows: Escape and the
// close box do nothing (Qt would take them as No).
class OnlyButtonsClose : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            return true;
        }
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return false;
    }
};

}  // namespace

int DefaultButton(unsigned flags)
{
    const auto buttons = Buttons(flags);
    return buttons[DefaultIndex(flags, buttons.size())].id;
}

MessageBoxResponder SetMessageBoxResponder(MessageBoxResponder responder)
{
    std::swap(Responder(), responder);
    return responder;
}

int MessageBox(const QString& text, const QString& caption, unsigned flags)
{
    if (Responder()) {
        return Responder()(text, caption, flags);
    }
    Application::Instance();
    const auto buttons = Buttons(flags);
    QMessageBox box(IconOf(flags), caption, text, QMessageBox::NoButton, nullptr);
    QMessageBox::StandardButtons set;
    for (const auto& button : buttons) {
        set |= button.qt;
    }
    box.setStandardButtons(set);
    for (const auto& button : buttons) {
        box.button(button.qt)->setText(QString::fromUtf8(button.text));
    }
    box.setDefaultButton(buttons[DefaultIndex(flags, buttons.size())].qt);
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    OnlyButtonsClose onlyButtons;
    if ((flags & 0xF) == MB_YESNO) {
        box.installEventFilter(&onlyButtons);
    }
    QPointer<QWidget> below = QApplication::activeWindow();
    const int chosen = box.exec();
    if (below != nullptr && below->isVisible() && QApplication::activeWindow() == nullptr) {
        below->activateWindow();
    }
    for (const auto& button : buttons) {
        if (chosen == button.qt) {
            return button.id;
        }
    }
    // Closed without a button (Escape, the close box): Windows answers Cancel,
    // or the only button; a Yes/No box is only closed by code.
    if ((flags & 0xF) == MB_YESNO) {
        return IDNO;
    }
    return buttons.size() == 1 ? buttons.front().id : IDCANCEL;
}

}  // namespace ui
