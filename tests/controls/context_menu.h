// Chooses a command from a control's context menu, as the mouse would.
#pragma once

#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

namespace controlstest {

// Opens `target`'s context menu and chooses its command `name` ("edit-paste",
// "edit-cut", ...), as a right click and a choice with the mouse would.
inline void ChooseFromContextMenu(QWidget* target, const QString& name)
{
    bool shown = false;
    QTimer::singleShot(0, target, [&shown, name] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        shown = true;
        for (QAction* action : menu->actions()) {
            if (action->objectName() == name) {
                action->trigger();
            }
        }
        menu->close();
    });
    const QPoint at(2, target->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    if (!shown) {
        ADD_FAILURE() << "no context menu was shown";
    }
    // The offscreen platform leaves no window active after a popup.
    uitest::ShowActive(target->window());
}

}  // namespace controlstest
