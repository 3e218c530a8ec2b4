#include "data/dataset/sql_text.h"

namespace dataset {

std::string LiteralText(std::string_view value)
{
    std::string text;
    text.reserve(value.size() + 2);
    for (char c : value) {
        text += c;
        if (c == '\'') {
            text += '\'';
        }
    }
    return text;
}

}  // namespace dataset
