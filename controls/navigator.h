// TDBNavigator: buttons that move the current record of a data source.
//
// The buttons are laid side by side over the whole control, each with its
// tool tip: first record "到头", prior "上一个", next "下一个", last "到尾".
// First and prior are disabled at the start of the data, next and last at
// its end, all of them while the dataset is closed or in edit or insert
// state. A click first posts or cancels through the dataset's own
// navigation (its browse-mode check) and then moves.
//
// The navigator is one tab stop. With the focus, one button is the focused
// one (drawn with a focus frame): Left and Right move among the buttons,
// Space clicks the focused button when it is enabled.
#pragma once

#include "data/dataset/dataset.h"

#include <QAbstractButton>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast };

class TDBNavigator : public QWidget {
public:
    static constexpr int ButtonCount = 4;

    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;

    [[nodiscard]] TDataSource* DataSource() const;
    void SetDataSource(TDataSource* source);

    [[nodiscard]] QAbstractButton* Button(TNavigateBtn button) const { return buttons_[button]; }
    // The tool tip of each button, in button order.
    void SetHints(const std::array<QString, ButtonCount>& hints);
    [[nodiscard]] QString Hint(TNavigateBtn button) const;

    // What a click on `button` does.
    void BtnClick(TNavigateBtn button);
    // The button that Space clicks while the navigator has the focus.
    [[nodiscard]] TNavigateBtn FocusedButton() const { return focused_; }

    // Runs after a button's move.
    std::function<void(QWidget* sender, TNavigateBtn button)> OnClick;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    class Link;
    friend class Link;
    void UpdateButtons();
    void LayoutButtons();

    std::unique_ptr<Link> link_;
    std::array<QAbstractButton*, ButtonCount> buttons_{};
    TNavigateBtn focused_ = nbFirst;
};
