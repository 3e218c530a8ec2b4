#include "platform/engine/dialect.h"

#include "platform/engine/engine.h"

#include <cctype>

namespace hisdb::detail {
namespace {

bool IsWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' || c == '@'
           || static_cast<unsigned char>(c) >= 0x80;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool WordIs(std::string_view word, std::string_view upper)
{
    if (word.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(word[i])) != upper[i]) {
            return false;
        }
    }
    return true;
}

// Length of "(NOLOCK)" (any case, blanks allowed inside) at sql[pos], else 0.
std::size_t NolockAt(std::string_view sql, std::size_t pos)
{
    std::size_t i = pos;
    if (i >= sql.size() || sql[i] != '(') {
        return 0;
    }
    ++i;
    while (i < sql.size() && IsBlank(sql[i])) {
        ++i;
    }
    if (i + 6 > sql.size() || !WordIs(sql.substr(i, 6), "NOLOCK")) {
        return 0;
    }
    i += 6;
    while (i < sql.size() && IsBlank(sql[i])) {
        ++i;
    }
    return i < sql.size() && sql[i] == ')' ? i + 1 - pos : 0;
}

// Removes trailing blanks of `out` and, when it then ends in the word WITH,
// that word and the blanks before it too.
// Drops the blanks before a dropped hint, but not a line break: that may end
// a "--" comment, which would otherwise run on over what follows.
void DropHintLead(std::string& out)
{
    while (!out.empty() && IsBlank(out.back()) && out.back() != '\n') {
        out.pop_back();
    }
    if (out.size() >= 4 && WordIs(std::string_view(out).substr(out.size() - 4), "WITH")
        && (out.size() == 4 || !IsWordChar(out[out.size() - 5]))) {
        out.resize(out.size() - 4);
        while (!out.empty() && IsBlank(out.back()) && out.back() != '\n') {
            out.pop_back();
        }
    }
}

// True when `out` ends in "<name> =", the `=` at `equals`, being a plain
// equality (not <=, >=, !=, ==) with a column name or a quoted name before it.
bool IsColumnEquals(const std::string& out, std::size_t equals)
{
    if (equals == 0) {
        return false;
    }
    char before = out[equals - 1];
    if (before == '<' || before == '>' || before == '!' || before == '=') {
        return false;
    }
    std::size_t i = equals;
    while (i > 0 && IsBlank(out[i - 1])) {
        --i;
    }
    if (i == 0) {
        return false;
    }
    char last = out[i - 1];
    return IsWordChar(last) || last == ']' || last == '"' || last == '`';
}

// The end of the quoted literal, quoted name or comment that starts at
// sql[pos]; `pos` itself when none starts there.
std::size_t SkipQuotedOrComment(std::string_view sql, std::size_t pos)
{
    const char c = sql[pos];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        const char close = c == '[' ? ']' : c;
        std::size_t end = pos + 1;
        while (end < sql.size()) {
            if (sql[end] == close) {
                // A doubled quote inside a literal stands for itself.
                if (end + 1 < sql.size() && sql[end + 1] == close && close != ']') {
                    end += 2;
                    continue;
                }
                break;
            }
            ++end;
        }
        return end < sql.size() ? end + 1 : end;
    }
    if (c == '-' && pos + 1 < sql.size() && sql[pos + 1] == '-') {
        std::size_t end = sql.find('\n', pos);
        return end == sql.npos ? sql.size() : end;
    }
    if (c == '/' && pos + 1 < sql.size() && sql[pos + 1] == '*') {
        std::size_t end = sql.find("*/", pos + 2);
        return end == sql.npos ? sql.size() : end + 2;
    }
    return pos;
}

}  // namespace

ParsedStatement ParseStatement(std::string_view sql, bool dropNolock)
{
    ParsedStatement result;
    std::string& out = result.text;
    out.reserve(sql.size());

    // Per parenthesis depth: whether a WHERE clause is being read there.
    std::vector<bool> inWhere{false};
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (std::size_t end = SkipQuotedOrComment(sql, i); end != i) {
            out.append(sql.substr(i, end - i));
            i = end;
            continue;
        }
        if (c == '(') {
            if (std::size_t n = dropNolock ? NolockAt(sql, i) : 0; n > 0) {
                DropHintLead(out);
                i += n;
                // Keep words apart: "TPat (NOLOCK)where" must not become "TPatwhere",
                // and signs too: "/(NOLOCK)*" must not open a comment.
                if (i < sql.size() &&
                    (IsWordChar(sql[i]) || (!out.empty() && ((out.back() == '/' && sql[i] == '*') ||
                                                            (out.back() == '-' && sql[i] == '-'))))) {
                    out += ' ';
                }
                continue;
            }
            // A parenthesised condition is still part of the WHERE clause;
            // a subquery's own SELECT starts afresh.
            inWhere.push_back(inWhere.back());
            out += c;
            ++i;
            continue;
        }
        if (c == ')') {
            if (inWhere.size() > 1) {
                inWhere.pop_back();
            }
            out += c;
            ++i;
            continue;
        }
        if (c == '?') {
            std::size_t j = out.size();
            while (j > 0 && IsBlank(out[j - 1])) {
                --j;
            }
            if (inWhere.back() && j > 0 && out[j - 1] == '=' && IsColumnEquals(out, j - 1) && result.sites.size() < 64) {
                result.sites.push_back({result.paramCount, j - 1});
            }
            ++result.paramCount;
            out += c;
            ++i;
            continue;
        }
        if (IsWordChar(c)) {
            std::size_t end = i;
            while (end < sql.size() && IsWordChar(sql[end])) {
                ++end;
            }
            std::string_view word = sql.substr(i, end - i);
            if (WordIs(word, "WHERE")) {
                inWhere.back() = true;
            } else if (WordIs(word, "SET") || WordIs(word, "GROUP") || WordIs(word, "ORDER")
                       || WordIs(word, "HAVING") || WordIs(word, "UNION") || WordIs(word, "SELECT")
                       || WordIs(word, "VALUES") || WordIs(word, "UPDATE") || WordIs(word, "DELETE")
                       || WordIs(word, "INSERT") || WordIs(word, "EXCEPT") || WordIs(word, "INTERSECT")) {
                inWhere.back() = false;
            }
            out.append(word);
            i = end;
            continue;
        }
        if (c == ';') {
            // One statement per text: SQLite would run the first and drop the
            // rest unseen, a server would run them all.
            std::size_t rest = i + 1;
            while (rest < sql.size()) {
                if (IsBlank(sql[rest])) {
                    ++rest;
                } else if (std::size_t end = SkipQuotedOrComment(sql, rest);
                           end != rest && (sql[rest] == '-' || sql[rest] == '/')) {
                    rest = end;
                } else {
                    throw EngineError("Only one statement may be run at a time", 0,
                                      {"Text after ';': " + std::string(sql.substr(rest, 60))});
                }
            }
            break;  // the closing ';' and what follows it are not sent
        }
        out += c;
        ++i;
    }
    return result;
}

namespace {

// `statement` with the text of each masked site, from its `=` up to `end`
// (the position after what is replaced), replaced by `with`.
template <class End>
std::string ReplaceSites(const ParsedStatement& statement, std::uint64_t mask, std::string_view with, End end)
{
    std::string out;
    out.reserve(statement.text.size() + 32);
    std::size_t from = 0;
    for (std::size_t s = 0; s < statement.sites.size(); ++s) {
        if ((mask >> s & 1u) == 0) {
            continue;
        }
        const std::size_t at = statement.sites[s].equals;
        out.append(statement.text, from, at - from);
        out += with;
        from = end(at);
    }
    out.append(statement.text, from);
    return out;
}

}  // namespace

std::string WithNullMatches(const ParsedStatement& statement, std::uint64_t mask, std::string_view nullSafeOperator)
{
    const std::string with = " " + std::string(nullSafeOperator) + " ";
    return ReplaceSites(statement, mask, with, [](std::size_t at) { return at + 1; });
}

std::string WithIsNull(const ParsedStatement& statement, std::uint64_t mask)
{
    // Only blanks lie between a site's `=` and its marker, which goes too.
    return ReplaceSites(statement, mask, " IS NULL",
                        [&statement](std::size_t at) { return statement.text.find('?', at) + 1; });
}

std::vector<int> KeptParams(const ParsedStatement& statement, std::uint64_t mask)
{
    std::vector<int> kept;
    kept.reserve(static_cast<std::size_t>(statement.paramCount));
    std::size_t s = 0;
    for (int p = 0; p < statement.paramCount; ++p) {
        while (s < statement.sites.size() && statement.sites[s].param < p) {
            ++s;
        }
        const bool dropped = s < statement.sites.size() && statement.sites[s].param == p && (mask >> s & 1u) != 0;
        if (!dropped) {
            kept.push_back(p);
        }
    }
    return kept;
}

std::string FirstKeyword(std::string_view sql)
{
    std::size_t i = 0;
    for (;;) {
        while (i < sql.size() && (IsBlank(sql[i]) || sql[i] == '(')) {
            ++i;
        }
        if (sql.substr(i, 2) == "--") {
            i = sql.find('\n', i);
            i = i == sql.npos ? sql.size() : i;
            continue;
        }
        if (sql.substr(i, 2) == "/*") {
            i = sql.find("*/", i);
            i = i == sql.npos ? sql.size() : i + 2;
            continue;
        }
        break;
    }
    std::string word;
    while (i < sql.size() && IsWordChar(sql[i])) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
        ++i;
    }
    return word;
}

bool ReturnsRows(std::string_view sql)
{
    int depth = 0;
    int withDepth = -1;  // parenthesis depth of a leading WITH
    std::size_t i = 0;
    while (i < sql.size()) {
        if (std::size_t end = SkipQuotedOrComment(sql, i); end != i) {
            i = end;
            continue;
        }
        const char c = sql[i];
        if (!IsWordChar(c)) {
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < sql.size() && IsWordChar(sql[end])) {
            ++end;
        }
        const std::string_view word = sql.substr(i, end - i);
        i = end;
        if (withDepth < 0) {
            if (WordIs(word, "WITH")) {
                withDepth = depth;
                continue;
            }
            return WordIs(word, "SELECT") || WordIs(word, "VALUES");
        }
        // After WITH the expressions' bodies sit in parentheses; the
        // statement they lead to is the first verb back at WITH's depth.
        if (depth == withDepth) {
            if (WordIs(word, "SELECT") || WordIs(word, "VALUES")) {
                return true;
            }
            if (WordIs(word, "INSERT") || WordIs(word, "UPDATE") || WordIs(word, "DELETE") || WordIs(word, "MERGE")) {
                return false;
            }
        }
    }
    return false;
}

}  // namespace hisdb::detail
