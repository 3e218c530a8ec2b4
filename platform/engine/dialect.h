// Translation of the module's SQL Server statements for servers that lack
// what they rely on (internal to the drivers).
//
// ParseStatement scans the text once: outside quoted literals, bracketed
// names and comments it drops the `(NOLOCK)` table hint (with the blanks
// before it and a `WITH` right before it) when asked to, counts the `?`
// markers and records each `column = ?` comparison of a WHERE clause (never
// of a SET list). WithNullMatches then writes the text for one pattern of
// null parameters, with the null-safe operator in place of those comparisons'
// `=`, so a driver prepares one statement per pattern it meets and keeps it.
// A text holding more than one statement is refused (EngineError); a closing
// `;` followed only by blanks and comments is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hisdb::detail {

struct ParsedStatement {
    struct NullSite {
        int param = 0;           // 0-based index of the `?`
        std::size_t equals = 0;  // offset of the `=` in text
    };
    std::string text;  // the statement as sent with no null parameter
    int paramCount = 0;
    std::vector<NullSite> sites;  // in text order; at most 64 are kept
};

[[nodiscard]] ParsedStatement ParseStatement(std::string_view sql, bool dropNolock);

// Bit i of `mask` set: sites[i] is written with `nullSafeOperator` instead of `=`.
[[nodiscard]] std::string WithNullMatches(const ParsedStatement& statement, std::uint64_t mask,
                                          std::string_view nullSafeOperator);

// SQL Server's form, which needs no session setting: bit i of `mask` set,
// sites[i] `column = ?` is written `column IS NULL`, its marker gone. The
// markers that remain are given by KeptParams.
[[nodiscard]] std::string WithIsNull(const ParsedStatement& statement, std::uint64_t mask);
// The 0-based parameters, in text order, whose markers remain in
// WithIsNull(statement, mask): the value bound at position i + 1 is
// parameter result[i].
[[nodiscard]] std::vector<int> KeptParams(const ParsedStatement& statement, std::uint64_t mask);

// The first keyword of a statement, in upper case ("SELECT", "UPDATE", ...).
[[nodiscard]] std::string FirstKeyword(std::string_view sql);

// True for a statement that reads rows: its first keyword (after blanks,
// comments and opening parentheses) is SELECT or VALUES, or WITH with common
// table expressions that lead to a SELECT or VALUES. False for everything else
// (INSERT, UPDATE, DELETE, a WITH leading to one of them, DDL, SET, ...).
// A connection runs the first kind on its reading session and the second on
// its writing session.
[[nodiscard]] bool ReturnsRows(std::string_view sql);

}  // namespace hisdb::detail
