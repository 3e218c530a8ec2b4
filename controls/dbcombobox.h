// TDBComboBox: a list bound to one field of a data source, in two styles:
// csDropDownList (choice only: the field's text selects the entry equal to it,
// case ignored, or none) and csDropDown (free text: the field's text in an
// edit, with the entries to pick from).
//
// Choosing an entry (keyboard, list or typing) or typing into the edit puts a
// browsing dataset into edit state first; a field that cannot be modified
// keeps the list unchanged. Escape restores the field's text. The text (for a
// choice-only list the chosen entry's, or "") is written into the field when
// the dataset asks and when the focus leaves, only if the user changed it.
// Setting the entries or ItemIndex from code changes nothing in the dataset.
// A character or Enter typed while the list is dropped down closes it and
// reaches the box as if typed with the list up (Enter taking the highlighted
// entry first); arrows, Escape and Space stay the open list's.
#pragma once

#include "controls/dbedit.h"
#include "data/dataset/dataset.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPointer>

#include <functional>
#include <string>

enum TComboBoxStyle { csDropDown, csDropDownList };

class TDBComboBox : public QComboBox {
public:
    explicit TDBComboBox(QWidget* parent = nullptr, TComboBoxStyle style = csDropDown);
    ~TDBComboBox() override;

    [[nodiscard]] TDataSource* DataSource() const { return link_.DataSource(); }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] const std::string& DataField() const { return link_.FieldName(); }
    void SetDataField(std::string name);
    [[nodiscard]] TField* Field() const { return link_.Field(); }
    [[nodiscard]] bool ReadOnly() const { return link_.ReadOnly(); }
    void SetReadOnly(bool readOnly);

    [[nodiscard]] TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle style);
    // Rows shown when the list drops down.
    void SetDropDownCount(int rows) { setMaxVisibleItems(rows); }
    // The height of each entry of the dropped-down list, in pixels.
    void SetItemHeight(int pixels);
    [[nodiscard]] int ItemHeight() const { return itemHeight_; }

    void ClearItems();
    void AddItem(const QString& text);
    [[nodiscard]] int ItemCount() const { return count(); }
    [[nodiscard]] QString Item(int index) const { return itemText(index); }
    // The entry whose whole text equals `text`, case ignored; -1 when none.
    [[nodiscard]] int IndexOf(const QString& text) const;
    [[nodiscard]] int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);

    // The chosen entry's text (choice only) or the edit's text.
    [[nodiscard]] QString Text() const;
    // Shows `text` (choice only: selects its entry or none).
    void SetText(const QString& text);
    void UpdateRecord() { link_.UpdateRecord(); }

    // Drops the list down (after putting the dataset into edit state).
    void showPopup() override;

    // Runs when the user changes the choice or the text.
    std::function<void(QWidget* sender)> OnChange;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void DataChanged();
    void UpdateData();
    void UpdateWritable();
    void Leave();
    void UserChanged();
    void SetUpEditor();
    bool BeginChange();
    void PreparePopup();

    boundcontrol::ControlLink link_;
    TComboBoxStyle style_;
    bool focused_ = false;
    bool quiet_ = false;
    int itemHeight_ = 0;
    QPointer<QAbstractItemView> popup_;  // none until the list first drops down
};
