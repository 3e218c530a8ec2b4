// Pieces of statement text built from values.
#pragma once

#include <string>
#include <string_view>

#include "platform/engine/engine.h"

namespace dataset {

// `value` as it goes between the single quotes of a literal: each quote is
// doubled, so the value can never end the literal early. Nothing else is
// changed ("%" and "_" keep their meaning in a like pattern).
[[nodiscard]] std::string LiteralText(std::string_view value);

// `value` as it goes into a like pattern between single quotes: as
// LiteralText, and a backslash doubled when the value holds one, for
// PostgreSQL reads a backslash in a pattern as its escape character. "%" and
// "_" keep their meaning.
[[nodiscard]] std::string LikeText(std::string_view value);
// What follows the closing quote of that pattern: " escape '\'" when the
// value holds a backslash (so every engine reads the doubled one as one
// backslash), else nothing, leaving the usual statements as they were.
[[nodiscard]] std::string LikeEscape(std::string_view value);

// The date of `value` as it goes between the quotes of a statement:
// "yyyy-mm-dd", whatever the workstation's short date format (which is for
// texts shown to the user). Every engine reads this form the same way; a
// workstation format such as d/M/yy would compare as text on SQLite and be
// guessed by the server's own date setting elsewhere.
[[nodiscard]] std::string DateLiteral(const hisdb::DateTime& value);

}  // namespace dataset
