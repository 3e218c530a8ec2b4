// Editing a QLineEdit through an edit mask (dataset::EditMask).
//
// The text has one character per mask position. Typed characters overwrite
// input positions, only where the mask accepts them (others are refused with
// a beep), and the caret skips literals. Unfilled positions show the mask's
// blank character while the edit has the focus and spaces without it.
// Backspace and Delete blank positions instead of closing up the text.
//
// Validate() refuses an edit text with an unfilled required position: beep,
// caret on the first such position, EDBEditError "Invalid input value.  Use
// escape key to abandon changes". Value() is what the field stores (for
// "!90:00;1;_": "09:30", or " 9:30" when the first hour digit is unfilled).
#pragma once

#include "data/dataset/edit_mask.h"

#include <QString>

#include <string>

class QKeyEvent;
class QLineEdit;

class MaskEdit {
public:
    MaskEdit(QLineEdit& edit, dataset::EditMask mask);

    [[nodiscard]] const dataset::EditMask& Mask() const { return mask_; }
    // The stored value as text, with blank characters (focused) or spaces.
    [[nodiscard]] QString EditText(const std::string& value) const;
    [[nodiscard]] QString DisplayText(const std::string& value) const;

    // Handles a key that changes or moves within the text; false for keys
    // the edit should handle itself. `changed` tells whether the text changed.
    bool HandleKey(const QKeyEvent& event, bool& changed);
    // Types `text` at the caret as if each character were a key: a character
    // the mask refuses beeps and ends the typing. When no character is taken
    // nothing changes, the selection included. True when the text changed.
    bool Insert(const QString& text);
    // True when the key would type or paste text of which the mask takes
    // nothing but refuses a character: the control should beep and leave
    // everything (its dataset's state included) as it is.
    [[nodiscard]] bool Refuses(const QKeyEvent& event) const;
    // The same for text put in by other means (an input method, a drop).
    [[nodiscard]] bool Refuses(const QString& typed) const;

    void Validate() const;
    [[nodiscard]] std::string Value() const;

private:
    [[nodiscard]] std::string Text() const;
    void SetText(const std::string& text, int caret);
    [[nodiscard]] int NextInput(int from) const;
    [[nodiscard]] int PreviousInput(int before) const;
    // Blanks the selected input positions; returns the selection's start or -1.
    int ClearSelection(std::string& text) const;
    // Types `typed` into a copy of the text from the caret (the selection
    // blanked first); true when a character was taken, `refused` when one was refused.
    bool Type(const QString& typed, std::string& text, int& caret, bool& refused) const;
    // The text a key types or pastes into `typed`; false for other keys.
    static bool TypedText(const QKeyEvent& event, QString& typed);

    QLineEdit& edit_;
    dataset::EditMask mask_;
};
