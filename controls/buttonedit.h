// Button edits: a text box with a small button at its right end.
//
// TCustomComboEdit: the button (ButtonWidth pixels, 21 by default; the text
// ends 2 pixels left of it) shows its GlyphKind: the class's own bitmap
// (gkDefault), the drop-down arrow (gkDropDown), three small dots (gkEllipsis)
// or a given pixmap (gkCustom). Pressing the left mouse button on it first
// gives the focus to the box; releasing it over the button runs ButtonClick()
// (OnButtonClick, then whatever the class adds, e.g. the date edit's
// calendar). The ClickKey (Alt+Down) does the same when the button is wider
// than 0 pixels and is consumed; no other key clicks. The button works
// whether the text is writable or not; a disabled box has a disabled button.
// Enter is consumed by the box after the window's key handlers have seen it;
// Escape calls Reset() (re-show the value, select everything) and is consumed.
// The text can be typed when the box is not ReadOnly and DirectInput is on.
//
// TComboEdit: the free-standing box.
//
// TDBComboEdit: the box bound to one field. It shows the field's edit text
// while it has the focus and the field can be modified, else its display
// text, and re-reads it whenever the record changes. A printable character,
// backspace, Ctrl+V, Ctrl+X, Delete or Shift+Insert puts a browsing dataset
// into edit state (the data source's AutoEdit) and then takes effect; with
// ReadOnly on (or a field that cannot be modified) they change nothing. A
// character the field's class refuses is dropped with a beep. Typed, pasted
// or composed text is kept as far as it fits the field's Size in GBK bytes
// (cut at a whole character, as the bound edit keeps it); a wider stored
// value shows whole. The context menu is the bound edit's: its commands
// begin the edit first, as their keys do. The text is written into the
// field when the focus leaves the box or the dataset asks (post), if it was
// changed; an error then selects the text, keeps the focus here and goes on.
#pragma once

#include "controls/dbedit.h"
#include "data/dataset/dataset.h"

#include <QAbstractButton>
#include <QKeyCombination>
#include <QLineEdit>
#include <QPixmap>

#include <functional>
#include <memory>
#include <string>

class QPainter;
class TCustomComboEdit;

enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

namespace controls_detail {

// The button of a combo edit; it paints the owner's glyph.
class ComboButton : public QAbstractButton {
public:
    explicit ComboButton(TCustomComboEdit& owner);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TCustomComboEdit& owner_;
};

// The binding of a one-field box to its data source, shared by the bound
// button edits. The box supplies how the field is shown and written.
class FieldBinding {
public:
    struct Hooks {
        std::function<QString()> fieldText;   // what the box shows now
        std::function<void()> writeField;     // writes the box's text into the field
        std::function<void()> editingChanged;  // the dataset entered or left edit state
    };
    FieldBinding(QLineEdit& box, Hooks hooks);

    [[nodiscard]] TFieldDataLink& Link() { return link_; }
    [[nodiscard]] const TFieldDataLink& Link() const { return link_; }
    // The link is not read-only and the field can be modified.
    [[nodiscard]] bool CanModify() const { return link_.CanModify(); }
    [[nodiscard]] bool Editing() const { return link_.Editing(); }
    // Puts a browsing dataset into edit state (AutoEdit); true when the text may now change.
    bool BeginChange();
    // The user changed the text: it will be written back.
    void MarkModified() { link_.MarkModified(); }
    // Shows the field (keeps the caret when the text is the same).
    void Show();
    // Escape: shows the field again and selects everything.
    void Reset();
    // Focus leaves: writes a changed text; an error selects it, keeps the focus and propagates.
    void Exit();

private:
    QLineEdit& box_;
    Hooks hooks_;
    boundcontrol::ControlLink link_;
};

// Is this key one that changes the text (auto-edit keys)?
[[nodiscard]] bool IsChangeKey(const QKeyEvent& event);

}  // namespace controls_detail

class TCustomComboEdit : public QLineEdit {
public:
    explicit TCustomComboEdit(QWidget* parent = nullptr);
    ~TCustomComboEdit() override;

    [[nodiscard]] TGlyphKind GlyphKind() const { return glyphKind_; }
    void SetGlyphKind(TGlyphKind kind);
    // The image of gkCustom (setting one makes the kind gkCustom).
    void SetGlyph(const QPixmap& glyph);
    [[nodiscard]] int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count) { numGlyphs_ = count; }
    [[nodiscard]] int ButtonWidth() const { return buttonWidth_; }
    void SetButtonWidth(int width);
    [[nodiscard]] QKeyCombination ClickKey() const { return clickKey_; }
    void SetClickKey(QKeyCombination key) { clickKey_ = key; }
    [[nodiscard]] bool DirectInput() const { return directInput_; }
    void SetDirectInput(bool on);
    // The box's own read-only flag (the button keeps working).
    [[nodiscard]] virtual bool ReadOnly() const { return readOnly_; }
    virtual void SetReadOnly(bool on);

    [[nodiscard]] QAbstractButton* Button() const { return button_; }
    // What a click on the button does.
    void DoClick();

    std::function<void(QWidget* sender)> OnButtonClick;

protected:
    // OnButtonClick; subclasses add their own action after it.
    virtual void ButtonClick();
    // The class's own bitmap for gkDefault (an empty button by default).
    virtual void PaintDefaultGlyph(QPainter& painter, const QRect& rect) const;
    // Escape: the free-standing box selects its text.
    virtual void Reset();
    // Whether the text may be typed into now.
    [[nodiscard]] virtual bool TextWritable() const;
    // A key that changes the text is about to be handled: false drops it.
    virtual bool BeginChange(QKeyEvent& event);
    // Whether the context menu offers the commands that change the text
    // (the box could begin a change now).
    [[nodiscard]] virtual bool MayChangeText() const;
    // Runs a context menu command ("edit-paste", ...) once the change has
    // begun; true when the text changed.
    virtual bool RunEditCommand(const QString& command);
    // Re-evaluates TextWritable().
    void UpdateWritable();

    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class controls_detail::ComboButton;
    void PaintGlyph(QPainter& painter, const QRect& rect) const;
    void PlaceButton();

    controls_detail::ComboButton* button_;
    TGlyphKind glyphKind_ = gkDefault;
    QPixmap glyph_;
    int numGlyphs_ = 1;
    int buttonWidth_ = 21;
    QKeyCombination clickKey_{Qt::AltModifier, Qt::Key_Down};
    bool directInput_ = true;
    bool readOnly_ = false;
};

class TComboEdit : public TCustomComboEdit {
public:
    explicit TComboEdit(QWidget* parent = nullptr) : TCustomComboEdit(parent) {}
};

class TDBComboEdit : public TCustomComboEdit {
public:
    explicit TDBComboEdit(QWidget* parent = nullptr);
    ~TDBComboEdit() override;

    [[nodiscard]] TDataSource* DataSource() const { return binding_->Link().DataSource(); }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] const std::string& DataField() const { return binding_->Link().FieldName(); }
    void SetDataField(std::string name);
    [[nodiscard]] TField* Field() const { return binding_->Link().Field(); }
    [[nodiscard]] bool ReadOnly() const override { return binding_->Link().ReadOnly(); }
    void SetReadOnly(bool on) override;
    // Replaces the text as if the user had typed it (it will be written back
    // when the box is left or the record posted: begin the edit first).
    void SetText(const QString& text);
    // Writes the text into the field now if it was changed.
    void UpdateRecord() { binding_->Link().UpdateRecord(); }

protected:
    void Reset() override;
    [[nodiscard]] bool TextWritable() const override;
    bool BeginChange(QKeyEvent& event) override;
    [[nodiscard]] bool MayChangeText() const override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    [[nodiscard]] QString FieldText() const;
    void WriteField();
    void UpdateLimit();

    std::unique_ptr<controls_detail::FieldBinding> binding_;
};
