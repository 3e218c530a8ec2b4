#include "data/dataset/edit_mask.h"

#include <algorithm>
#include <cctype>

#include "data/dataset/locale_settings.h"

namespace dataset {

EditMask::EditMask(std::string_view maskText)
{
    // Split "mask;save;blank" from the right, so a mask may itself hold ';' escaped.
    std::string_view mask = maskText;
    const auto last = mask.rfind(';');
    if (last != std::string_view::npos && (last == 0 || mask[last - 1] != '\\')) {
        const std::string_view blankPart = mask.substr(last + 1);
        if (!blankPart.empty()) {
            blank_ = blankPart.front();
        }
        mask = mask.substr(0, last);
        const auto second = mask.rfind(';');
        if (second != std::string_view::npos && (second == 0 || mask[second - 1] != '\\')) {
            const std::string_view savePart = mask.substr(second + 1);
            saveLiterals_ = !(savePart.size() == 1 && savePart[0] == '0');
            mask = mask.substr(0, second);
        }
    }
    const auto& settings = locale::Current();
    const char timeSep = settings.timeSeparator.empty() ? ':' : settings.timeSeparator.front();
    const char dateSep = settings.dateSeparator.empty() ? '/' : settings.dateSeparator.front();
    int caseMode = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const char c = mask[i];
        Position p;
        p.caseMode = caseMode;
        switch (c) {
        case '!':
            rightAligned_ = true;
            continue;
        case '>':
            caseMode = 1;
            continue;
        case '<':
            if (i + 1 < mask.size() && mask[i + 1] == '>') {
                caseMode = 0;
                ++i;
            } else {
                caseMode = -1;
            }
            continue;
        case '\\':
            if (i + 1 < mask.size()) {
                p.literal = mask[++i];
            }
            break;
        case '0':
            p.kind = Kind::Digit;
            p.required = true;
            break;
        case '9':
            p.kind = Kind::Digit;
            break;
        case '#':
            p.kind = Kind::DigitOrSign;
            break;
        case 'L':
            p.kind = Kind::Letter;
            p.required = true;
            break;
        case 'l':
            p.kind = Kind::Letter;
            break;
        case 'A':
            p.kind = Kind::Alnum;
            p.required = true;
            break;
        case 'a':
            p.kind = Kind::Alnum;
            break;
        case 'C':
            p.kind = Kind::Any;
            p.required = true;
            break;
        case 'c':
            p.kind = Kind::Any;
            break;
        case ':':
            p.literal = timeSep;
            break;
        case '/':
            p.literal = dateSep;
            break;
        case '_':
            p.literal = ' ';
            break;
        default:
            p.literal = c;
            break;
        }
        positions_.push_back(p);
    }
}

bool EditMask::Accepts(int index, char ch, char* out) const
{
    if (index < 0 || index >= Length()) {
        return false;
    }
    const Position& p = positions_[static_cast<std::size_t>(index)];
    const auto u = static_cast<unsigned char>(ch);
    bool ok = false;
    switch (p.kind) {
    case Kind::Literal:
        return false;
    case Kind::Digit:
        ok = std::isdigit(u) != 0;
        break;
    case Kind::DigitOrSign:
        ok = std::isdigit(u) != 0 || ch == '+' || ch == '-';
        break;
    case Kind::Letter:
        ok = std::isalpha(u) != 0;
        break;
    case Kind::Alnum:
        ok = std::isalnum(u) != 0;
        break;
    case Kind::Any:
        ok = u >= 0x20;
        break;
    }
    if (ok && out != nullptr) {
        *out = p.caseMode > 0 ? static_cast<char>(std::toupper(u))
                              : p.caseMode < 0 ? static_cast<char>(std::tolower(u)) : ch;
    }
    return ok;
}

std::string EditMask::Layout(std::string_view value, char blank) const
{
    const std::size_t length = positions_.size();
    std::string text(length, ' ');
    auto put = [&](std::size_t pos, char ch) {
        text[pos] = ch == ' ' || ch == blank_ ? blank : ch;
    };
    if (saveLiterals_) {
        // The value holds the literals: align it to the mask's length.
        std::string aligned(value.substr(0, length));
        if (aligned.size() < length) {
            const std::string pad(length - aligned.size(), ' ');
            aligned = rightAligned_ ? pad + aligned : aligned + pad;
        }
        for (std::size_t i = 0; i < length; ++i) {
            if (positions_[i].kind == Kind::Literal) {
                text[i] = positions_[i].literal;
            } else {
                put(i, aligned[i]);
            }
        }
        return text;
    }
    // The value holds only the input characters.
    std::vector<std::size_t> inputs;
    for (std::size_t i = 0; i < length; ++i) {
        if (positions_[i].kind == Kind::Literal) {
            text[i] = positions_[i].literal;
        } else {
            inputs.push_back(i);
            text[i] = blank;
        }
    }
    const std::size_t n = std::min(inputs.size(), value.size());
    for (std::size_t k = 0; k < n; ++k) {
        if (rightAligned_) {
            put(inputs[inputs.size() - 1 - k], value[value.size() - 1 - k]);
        } else {
            put(inputs[k], value[k]);
        }
    }
    return text;
}

int EditMask::FirstUnfilledRequired(std::string_view editText) const
{
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        const Position& p = positions_[i];
        if (p.kind == Kind::Literal || !p.required) {
            continue;
        }
        if (i >= editText.size() || !IsFilled(editText[i]) || !Accepts(static_cast<int>(i), editText[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool EditMask::IsValid(std::string_view editText) const
{
    return FirstUnfilledRequired(editText) < 0;
}

std::string EditMask::ExtractValue(std::string_view editText) const
{
    std::string inputs;
    bool anyFilled = false;
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        if (positions_[i].kind == Kind::Literal) {
            continue;
        }
        const char ch = i < editText.size() ? editText[i] : blank_;
        anyFilled = anyFilled || IsFilled(ch);
        inputs += ch;
    }
    if (!anyFilled) {
        return {};
    }
    if (rightAligned_) {
        std::size_t start = 0;
        while (start < inputs.size() && !IsFilled(inputs[start])) {
            ++start;
        }
        inputs.erase(0, start);
    }
    for (char& ch : inputs) {
        if (ch == blank_) {
            ch = ' ';
        }
    }
    if (!saveLiterals_) {
        return inputs;
    }
    std::string value(positions_.size(), ' ');
    std::vector<std::size_t> slots;
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        if (positions_[i].kind == Kind::Literal) {
            value[i] = positions_[i].literal;
        } else {
            slots.push_back(i);
        }
    }
    const std::size_t n = std::min(slots.size(), inputs.size());
    for (std::size_t k = 0; k < n; ++k) {
        if (rightAligned_) {
            value[slots[slots.size() - 1 - k]] = inputs[inputs.size() - 1 - k];
        } else {
            value[slots[k]] = inputs[k];
        }
    }
    return value;
}

}  // namespace dataset
