#include "platform/ui/events.h"
#include "platform/ui/form.h"
#include "platform/ui/widgets.h"
#include "tests/support/ui_driver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>

#include <memory>

namespace {

// A window of three edits in a panel and a button outside it, each edit
// recording its exits.
class EventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<ui::Form>();
        form->SetBounds(100, 100, 300, 200);
        panel = new ui::Panel(form.get(), ui::Align::Top);
        panel->resize(300, 100);
        for (int i = 0; i < 3; ++i) {
            edits[i] = new ui::Edit(panel);
            ui::Place(edits[i], 10 + 90 * i, 10, 80, 20);
            edits[i]->setObjectName(QStringLiteral("edit%1").arg(i));
            ui::Events(edits[i]).OnExit = [this](QWidget* sender) { exits << sender->objectName(); };
        }
        // Declared out of creation order: the chain must follow the numbers.
        ui::SetTabOrder(edits[0], 0);
        ui::SetTabOrder(edits[1], 2);
        ui::SetTabOrder(edits[2], 1);
        ui::SetTabOrder(panel, 1);
        button = new ui::Button(form.get(), QStringLiteral("OK"));
        ui::Place(button, 10, 150, 70, 25);
        ui::SetTabOrder(button, 0);
        form->SetActiveControl(edits[0]);
        uitest::ShowActive(form.get());
    }

    std::unique_ptr<ui::Form> form;
    ui::Panel* panel = nullptr;
    ui::Edit* edits[3] = {};
    ui::Button* button = nullptr;
    QStringList exits;
};

TEST_F(EventsTest, TabOrderFollowsNumbersPerContainer)
{
    const auto chain = ui::ApplyTabOrder(form.get());
    const std::vector<QWidget*> expected{button, edits[0], edits[2], edits[1]};
    EXPECT_EQ(chain, expected);

    ASSERT_EQ(uitest::Focused(), edits[0]);
    uitest::Tab();
    EXPECT_EQ(uitest::Focused(), edits[2]);
    uitest::Tab();
    EXPECT_EQ(uitest::Focused(), edits[1]);
    uitest::Tab();
    EXPECT_EQ(uitest::Focused(), button);
}

TEST_F(EventsTest, ExitFiresWhenFocusMovesWithinTheWindow)
{
    uitest::Tab();
    EXPECT_EQ(exits, QStringList{"edit0"});
    uitest::ShiftTab();
    EXPECT_EQ(exits, (QStringList{"edit0", "edit2"}));
    uitest::Click(edits[1]);
    EXPECT_EQ(uitest::Focused(), edits[1]);
    EXPECT_EQ(exits, (QStringList{"edit0", "edit2", "edit0"}));
}

TEST_F(EventsTest, NoExitWhenTheWindowIsDeactivated)
{
    QWidget other;
    other.setGeometry(500, 100, 100, 100);
    uitest::ShowActive(&other);
    EXPECT_TRUE(exits.isEmpty());
    uitest::ShowActive(form.get());
    EXPECT_EQ(uitest::Focused(), edits[0]);
    EXPECT_TRUE(exits.isEmpty());
}

TEST_F(EventsTest, NoExitWhenAPopupOpens)
{
    auto* list = new QComboBox(form.get());
    ui::Place(list, 200, 150, 80, 20);
    list->addItems({QStringLiteral("A"), QStringLiteral("B")});
    ui::Events(list).OnExit = [this](QWidget*) { exits << QStringLiteral("list"); };
    list->show();
    list->setFocus();
    exits.clear();
    list->showPopup();
    uitest::Settle();
    list->hidePopup();
    uitest::Settle();
    EXPECT_TRUE(exits.isEmpty());
    EXPECT_EQ(uitest::Focused(), list);
}

TEST_F(EventsTest, ExitHandlerCanKeepTheFocus)
{
    ui::Events(edits[0]).OnExit = [this](QWidget* sender) {
        exits << sender->objectName();
        sender->setFocus();
    };
    uitest::Tab();
    EXPECT_EQ(uitest::Focused(), edits[0]);
    EXPECT_EQ(exits, QStringList{"edit0"});
}

TEST_F(EventsTest, ClickIsDroppedWhenTheControlRefusesToLetTheFocusGo)
{
    uitest::Driver driver;
    int clicks = 0;
    button->OnClick = [&](QWidget*) { ++clicks; };
    bool refuse = true;
    ui::Events(edits[0]).ControlExit = [&](QWidget* sender) {
        if (refuse) {
            sender->setFocus();
            throw std::runtime_error("Invalid input value");
        }
    };
    uitest::Click(button);
    EXPECT_EQ(uitest::Focused(), edits[0]);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(driver.BoxTexts(), QStringList{"Invalid input value."});
    EXPECT_TRUE(exits.isEmpty());  // an exit that failed runs no OnExit

    uitest::Settle();
    refuse = false;
    uitest::Click(button);
    EXPECT_EQ(uitest::Focused(), button);
    EXPECT_EQ(clicks, 1);
}

TEST_F(EventsTest, WindowOpenedByAnExitHandlerHasItsOwnExits)
{
    uitest::Driver driver;
    ui::Events(edits[0]).OnExit = [this](QWidget*) {
        ui::Form dialog(form.get());
        auto* first = new ui::Edit(&dialog);
        ui::Place(first, 10, 10, 80, 20);
        auto* second = new ui::Edit(&dialog);
        ui::Place(second, 10, 40, 80, 20);
        ui::Events(first).OnExit = [this](QWidget*) { exits << QStringLiteral("dialog"); };
        dialog.SetActiveControl(first);
        dialog.ShowModal();
    };
    driver.OnModal<ui::Form>([](ui::Form& dialog) {
        uitest::Tab();
        dialog.Close();
    });
    uitest::Tab();
    EXPECT_EQ(exits, QStringList{"dialog"});
}

TEST_F(EventsTest, SelectNextSkipsDisabledAndHiddenControls)
{
    edits[2]->setEnabled(false);
    ASSERT_TRUE(ui::SelectNext(edits[0]));
    EXPECT_EQ(uitest::Focused(), edits[1]);

    edits[2]->setEnabled(true);
    edits[0]->setFocus();
    edits[2]->hide();
    ASSERT_TRUE(ui::SelectNext(edits[0]));
    EXPECT_EQ(uitest::Focused(), edits[1]);

    // A disabled panel takes its controls out of the chain.
    edits[2]->show();
    button->setFocus();
    panel->setEnabled(false);
    EXPECT_FALSE(edits[1]->isEnabled());
    ui::SelectNext(button);
    EXPECT_EQ(uitest::Focused(), button);
}

TEST_F(EventsTest, KeyDownHandlerConsumesF2AndPassesOtherKeys)
{
    int seen = 0;
    ui::ShiftState shift;
    ui::Events(edits[0]).OnKeyDown = [&](QWidget*, int& key, ui::ShiftState state) {
        seen = key;
        shift = state;
        if (key == ui::VK_F2) {
            key = 0;
        }
    };
    int pressed = 0;
    ui::Events(edits[0]).OnKeyPress = [&](QWidget*, QChar&) { ++pressed; };

    uitest::F2(nullptr, Qt::ShiftModifier);
    EXPECT_EQ(seen, ui::VK_F2);
    EXPECT_TRUE(shift & Qt::ShiftModifier);

    uitest::Key(Qt::Key_Down);
    EXPECT_EQ(seen, ui::VK_DOWN);
    uitest::Type(QStringLiteral("a"));
    EXPECT_EQ(seen, 'A');
    EXPECT_EQ(edits[0]->text(), QStringLiteral("a"));
    EXPECT_EQ(pressed, 1);
}

TEST_F(EventsTest, AConsumedKeyDownStillTypesItsCharacters)
{
    std::vector<int> downs;
    QString pressed;
    ui::Events(edits[0]).OnKeyDown = [&](QWidget*, int& key, ui::ShiftState) {
        downs.push_back(key);
        key = 0;
    };
    ui::Events(edits[0]).OnKeyPress = [&](QWidget*, QChar& key) {
        pressed.append(key);
        if (key == QLatin1Char('x')) {
            key = QChar(0);
        }
    };
    uitest::Type(QString::fromUtf8("ab张x"));
    uitest::Key(Qt::Key_Backspace);
    for (int key : {Qt::Key_Home, Qt::Key_Left, Qt::Key_Delete, Qt::Key_Return}) {
        uitest::Key(key);
    }
    uitest::Type(QStringLiteral("c"));
    EXPECT_EQ(edits[0]->text(), QStringLiteral("abc")) << "typing and backspace arrive, the other keys do nothing";
    EXPECT_EQ(downs.size(), 10u);
    EXPECT_EQ(pressed, QString::fromUtf8("ab张x\b\rc"));
}

TEST_F(EventsTest, KeyPressHandlerConsumesEnterAndReplacesCharacters)
{
    std::vector<int> chars;
    ui::Events(edits[0]).OnKeyPress = [&](QWidget* sender, QChar& key) {
        chars.push_back(key.unicode());
        if (key == QChar(13)) {
            key = QChar(0);
            ui::SelectNext(sender);
        } else if (key == QLatin1Char('x')) {
            key = QLatin1Char('y');
        }
    };
    uitest::Type(QString::fromUtf8("手x"));
    EXPECT_EQ(edits[0]->text(), QString::fromUtf8("手y"));
    uitest::Enter();
    EXPECT_EQ((std::vector<int>{0x624B, 'x', 13}), chars);
    EXPECT_EQ(uitest::Focused(), edits[2]);
    // Tab moves the focus without a character.
    uitest::Tab();
    EXPECT_EQ(chars.size(), 3u);
}

TEST_F(EventsTest, HandlerErrorGoesToTheErrorBoxAndConsumesTheKey)
{
    uitest::Driver driver;
    ui::Events(edits[0]).OnKeyPress = [](QWidget*, QChar&) { throw std::runtime_error("Invalid value"); };
    uitest::Type(QStringLiteral("1"));
    EXPECT_TRUE(edits[0]->text().isEmpty());
    ASSERT_EQ(driver.Boxes().size(), 1u);
    EXPECT_EQ(driver.Boxes()[0].text, QStringLiteral("Invalid value."));
}

TEST(AlignTest, PanelsStackAndTheClientPanelFillsTheRest)
{
    ui::Form form;
    form.resize(400, 300);
    auto* top = new ui::Panel(&form, ui::Align::Top);
    top->resize(10, 41);
    auto* client = new ui::Panel(&form, ui::Align::Client);
    auto* bottom = new ui::Panel(&form, ui::Align::Bottom);
    bottom->resize(10, 51);
    uitest::ShowActive(&form);
    EXPECT_EQ(top->geometry(), QRect(0, 0, 400, 41));
    EXPECT_EQ(bottom->geometry(), QRect(0, 249, 400, 51));
    EXPECT_EQ(client->geometry(), QRect(0, 41, 400, 208));
    top->hide();
    EXPECT_EQ(client->geometry(), QRect(0, 0, 400, 249));
}

}  // namespace
