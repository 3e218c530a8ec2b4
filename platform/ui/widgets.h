// Fonts, placement and the plain controls the windows are laid out with.
//
// Positions are left, top, width and height in pixels within the parent, as
// the layouts give them. Panels aligned top, bottom or client arrange
// themselves in their parent (a Form or another Panel) whenever it resizes or
// one of them is shown or hidden. Disabling or hiding a panel disables or
// hides what it holds (Qt's own rule for children).
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

namespace ui {

// "宋体" at `pixels` pixels: SimSun, 宋体, then AR PL UMing CN.
[[nodiscard]] QFont SongFont(int pixels = 12);

void Place(QWidget* widget, int left, int top, int width, int height);
// Left and top only; the size stays.
void Place(QWidget* widget, int left, int top);

enum class Align { None, Top, Bottom, Client };
void SetAlign(QWidget* widget, Align align);
[[nodiscard]] Align AlignOf(const QWidget* widget);
// Lays out the aligned children of `parent`: top ones stacked downwards from
// the top in creation order, bottom ones upwards from the bottom, a client one
// in what remains. Hidden children take no room.
void Realign(QWidget* parent);

class Panel : public QFrame {
public:
    enum class Bevel { None, Raised, Lowered };
    explicit Panel(QWidget* parent, Align align = Align::None);
    void SetBevel(Bevel bevel);
    void setVisible(bool visible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

// A label that sizes itself to its caption.
class Label : public QLabel {
public:
    Label(QWidget* parent, const QString& caption, int left, int top);
    void SetCaption(const QString& caption);
};

enum class Glyph { None, Ok, Close, New, Modify, Delete, Cancel };
[[nodiscard]] QIcon GlyphIcon(Glyph glyph);

// A push button with an optional glyph; Enter or Space on it clicks it.
class Button : public QPushButton {
public:
    Button(QWidget* parent, const QString& caption, Glyph glyph = Glyph::None);
    std::function<void(QWidget* sender)> OnClick;
};

// OnClick fires whenever the ticked state changes, by the user or by code.
class CheckBox : public QCheckBox {
public:
    CheckBox(QWidget* parent, const QString& caption);
    std::function<void(QWidget* sender)> OnClick;
};

enum class CharCase { Normal, Upper };

// A plain edit; OnChange fires on every change of its text. With
// CharCase::Upper, letters arrive as capitals however they come: typed,
// composed, pasted or dropped.
class Edit : public QLineEdit {
public:
    explicit Edit(QWidget* parent);
    std::function<void(QWidget* sender)> OnChange;
    [[nodiscard]] CharCase Case() const { return case_; }
    void SetCharCase(CharCase charCase);

private:
    CharCase case_ = CharCase::Normal;
};

}  // namespace ui
