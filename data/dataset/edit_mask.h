// Edit masks such as "!90:00;1;_" (the time of an application).
//
// A mask text has up to three parts separated by ';': the mask proper, the
// literal-saving flag ("0" stores the value without the literals, anything
// else with them; default with) and the blank character shown in unfilled
// positions (default '_'). In the mask proper:
//   '!'  right alignment (unfilled positions are leading, not trailing)
//   '>' '<' upper / lower case for the following letters ("<>" ends it)
//   '\'  the next character is a literal
//   '0' required digit   '9' optional digit   '#' optional digit or sign
//   'L' required letter  'l' optional letter
//   'A' required letter or digit  'a' optional letter or digit
//   'C' required character        'c' optional character
//   ':' the locale's time separator (literal)   '/' the date separator (literal)
//   '_' a blank (literal); any other character is a literal.
// An edit text has one character per position; literal positions show their
// literal, input positions a character or the blank character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dataset {

class EditMask {
public:
    enum class Kind { Literal, Digit, DigitOrSign, Letter, Alnum, Any };
    struct Position {
        Kind kind = Kind::Literal;
        bool required = false;
        char literal = 0;  // for literals
        int caseMode = 0;  // -1 lower, 0 as typed, 1 upper
    };

    EditMask() = default;
    // Parses a mask text; the separators ':' and '/' take the current locale's.
    explicit EditMask(std::string_view maskText);

    [[nodiscard]] bool IsEmpty() const { return positions_.empty(); }
    [[nodiscard]] int Length() const { return static_cast<int>(positions_.size()); }
    [[nodiscard]] const Position& At(int index) const { return positions_.at(index); }
    [[nodiscard]] bool IsLiteral(int index) const { return positions_.at(index).kind == Kind::Literal; }
    [[nodiscard]] bool RightAligned() const { return rightAligned_; }
    [[nodiscard]] bool SaveLiterals() const { return saveLiterals_; }
    [[nodiscard]] char Blank() const { return blank_; }

    // May `ch` be typed at input position `index`? Returns it in the
    // position's case in `out`.
    [[nodiscard]] bool Accepts(int index, char ch, char* out = nullptr) const;

    // A stored value laid out as edit text, `blank` in unfilled positions
    // (the mask's blank char while editing, ' ' for display).
    [[nodiscard]] std::string Layout(std::string_view value, char blank) const;
    [[nodiscard]] std::string EditText(std::string_view value) const { return Layout(value, blank_); }
    [[nodiscard]] std::string DisplayText(std::string_view value) const { return Layout(value, ' '); }

    // True when every required position of the edit text holds a character.
    [[nodiscard]] bool IsValid(std::string_view editText) const;
    // The first required position left unfilled, or -1.
    [[nodiscard]] int FirstUnfilledRequired(std::string_view editText) const;
    // The value to store: literals removed, leading blanks dropped when right
    // aligned, other blanks as spaces; with literals saved the value is laid
    // out again through the mask (from the right when right aligned, unfilled
    // positions as spaces). An edit text with nothing filled gives "".
    [[nodiscard]] std::string ExtractValue(std::string_view editText) const;

private:
    [[nodiscard]] bool IsFilled(char ch) const { return ch != blank_ && ch != ' '; }

    std::vector<Position> positions_;
    bool rightAligned_ = false;
    bool saveLiterals_ = true;
    char blank_ = '_';
};

}  // namespace dataset
