#include "data/dataset/sql_text.h"

#include <cstdio>

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

std::string LikeText(std::string_view value)
{
    std::string text = LiteralText(value);
    if (value.find('\\') == std::string_view::npos) {
        return text;
    }
    std::string doubled;
    for (char c : text) {
        doubled += c;
        if (c == '\\') {
            doubled += c;
        }
    }
    return doubled;
}

std::string LikeEscape(std::string_view value)
{
    return value.find('\\') == std::string_view::npos ? std::string() : std::string(" escape '\\'");
}

std::string DateLiteral(const hisdb::DateTime& value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", value.year, value.month, value.day);
    return text;
}

}  // namespace dataset
