#include "data/dataset/params.h"

#include <cmath>
#include <string>

#include "data/dataset/component.h"
#include "data/dataset/db_errors.h"

namespace dataset {

std::string_view FieldTypeName(TFieldType type)
{
    switch (type) {
    case ftString: return "String";
    case ftSmallint: return "SmallInt";
    case ftInteger: return "Integer";
    case ftWord: return "Word";
    case ftBoolean: return "Boolean";
    case ftFloat: return "Float";
    case ftCurrency: return "Currency";
    case ftBCD: return "BCD";
    case ftDate: return "Date";
    case ftTime: return "Time";
    case ftDateTime: return "DateTime";
    case ftAutoInc: return "AutoInc";
    case ftLargeint: return "LargeInt";
    case ftFixedChar: return "FixedChar";
    case ftBlob: return "Blob";
    case ftVariant: return "Variant";
    case ftUnknown: break;
    }
    return "Unknown";
}

TFieldType FieldTypeOf(hisdb::ColumnType type)
{
    switch (type) {
    case hisdb::ColumnType::String: return ftString;
    case hisdb::ColumnType::FixedChar: return ftFixedChar;
    case hisdb::ColumnType::SmallInt: return ftSmallint;
    case hisdb::ColumnType::Integer: return ftInteger;
    case hisdb::ColumnType::Word: return ftWord;
    case hisdb::ColumnType::AutoInc: return ftAutoInc;
    case hisdb::ColumnType::LargeInt: return ftLargeint;
    case hisdb::ColumnType::Float: return ftFloat;
    case hisdb::ColumnType::Currency: return ftCurrency;
    case hisdb::ColumnType::BCD: return ftBCD;
    case hisdb::ColumnType::Date: return ftDate;
    case hisdb::ColumnType::Time: return ftTime;
    case hisdb::ColumnType::DateTime: return ftDateTime;
    case hisdb::ColumnType::Blob: return ftBlob;
    case hisdb::ColumnType::Unknown: break;
    }
    return ftUnknown;
}

namespace {

bool IsQuote(char c)
{
    return c == '\'' || c == '"' || c == '`';
}

bool EndsName(char c)
{
    return c == ' ' || c == ',' || c == ';' || c == ')' || c == '\r' || c == '\n' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Length of the UTF-8 character that starts at text[0]: a lead byte with
// its continuation bytes. A byte that starts no well-formed sequence (a stray
// continuation byte, a lead byte cut off) counts alone, so it can never hide
// the quote or colon after it.
std::size_t SequenceLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (want > text.size()) {
        return 1;
    }
    for (std::size_t k = 1; k < want; ++k) {
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return want;
}

// The end of the comment or bracketed name that starts at sql[pos], or `pos`
// when none starts there. The engine skips the same spans when it counts the
// statement's '?' markers, so the two counts agree.
std::size_t SkipCommentOrBracket(std::string_view sql, std::size_t pos)
{
    const char c = sql[pos];
    const char next = pos + 1 < sql.size() ? sql[pos + 1] : '\0';
    if (c == '-' && next == '-') {
        const std::size_t end = sql.find('\n', pos);
        return end == std::string_view::npos ? sql.size() : end;
    }
    if (c == '/' && next == '*') {
        const std::size_t end = sql.find("*/", pos + 2);
        return end == std::string_view::npos ? sql.size() : end + 2;
    }
    if (c == '[') {
        const std::size_t end = sql.find(']', pos + 1);
        return end == std::string_view::npos ? sql.size() : end + 1;
    }
    return pos;
}

}  // namespace

ParsedSql ParseSqlParams(std::string_view sql)
{
    ParsedSql parsed;
    parsed.text.reserve(sql.size());
    // The quote that opened the literal being read, or 0 outside one. Only
    // the same quote ends it: 'O"Brien' stays one literal, and a colon that a
    // user typed into it never becomes a marker.
    char literal = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            const std::size_t n = SequenceLength(sql.substr(i));
            parsed.text.append(sql.substr(i, n));
            i += n;
            continue;
        }
        if (literal == 0) {
            // "-- from 8:30" holds no marker, and a quote in a comment opens no literal.
            if (const std::size_t end = SkipCommentOrBracket(sql, i); end != i) {
                parsed.text.append(sql.substr(i, end - i));
                i = end;
                continue;
            }
        }
        if (IsQuote(c) && (literal == 0 || literal == c)) {
            literal = literal == 0 ? c : 0;
            parsed.text += c;
            ++i;
            continue;
        }
        if (c != ':' || literal != 0) {
            parsed.text += c;
            ++i;
            continue;
        }
        if (i + 1 < sql.size() && sql[i + 1] == ':') {
            parsed.text += ':';
            i += 2;
            continue;
        }
        std::size_t pos = i + 1;
        std::string name;
        if (pos < sql.size() && IsQuote(sql[pos])) {
            const char quote = sql[pos];
            const std::size_t close = sql.find(quote, pos + 1);
            const std::size_t end = close == std::string_view::npos ? sql.size() : close;
            name = std::string(sql.substr(pos + 1, end - pos - 1));
            pos = close == std::string_view::npos ? sql.size() : close + 1;
        } else {
            const std::size_t start = pos;
            while (pos < sql.size() && !EndsName(sql[pos])) {
                ++pos;
            }
            name = std::string(sql.substr(start, pos - start));
            if (name.empty()) {
                // A colon followed by nothing that can name a parameter stays as it is.
                parsed.text += c;
                ++i;
                continue;
            }
        }
        parsed.text += '?';
        parsed.names.push_back(std::move(name));
        i = pos;
    }
    return parsed;
}

}  // namespace dataset

void TParam::Clear()
{
    value_ = hisdb::Null{};
    bound_ = true;
}

void TParam::SetValue(const dataset::Variant& value)
{
    value_ = value;
    bound_ = true;
    if (dataType_ == ftUnknown) {
        if (std::holds_alternative<std::int64_t>(value)) {
            dataType_ = ftInteger;
        } else if (std::holds_alternative<double>(value)) {
            dataType_ = ftFloat;
        } else if (std::holds_alternative<hisdb::Decimal>(value)) {
            dataType_ = ftBCD;
        } else if (std::holds_alternative<hisdb::DateTime>(value)) {
            dataType_ = ftDateTime;
        } else if (std::holds_alternative<std::string>(value)) {
            dataType_ = ftString;
        }
    }
}

std::string TParam::AsString() const
{
    if (const auto* s = std::get_if<std::string>(&value_)) {
        return *s;
    }
    if (const auto* i = std::get_if<std::int64_t>(&value_)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&value_)) {
        return dataset::FormatText("%.15g", *d);
    }
    if (const auto* dec = std::get_if<hisdb::Decimal>(&value_)) {
        return dataset::FormatText("%.*f", dec->scale, dec->ToDouble());
    }
    if (const auto* dt = std::get_if<hisdb::DateTime>(&value_)) {
        return dt->ToIso();
    }
    return {};
}

void TParam::SetAsString(std::string_view value)
{
    dataType_ = ftString;
    SetValue(std::string(value));
}

int TParam::AsInteger() const
{
    if (const auto* i = std::get_if<std::int64_t>(&value_)) {
        return static_cast<int>(*i);
    }
    if (const auto* d = std::get_if<double>(&value_)) {
        return static_cast<int>(std::nearbyint(*d));
    }
    if (const auto* s = std::get_if<std::string>(&value_)) {
        return std::stoi(*s);
    }
    return 0;
}

void TParam::SetAsInteger(std::int64_t value)
{
    dataType_ = ftInteger;
    SetValue(value);
}

double TParam::AsFloat() const
{
    if (const auto* d = std::get_if<double>(&value_)) {
        return *d;
    }
    if (const auto* i = std::get_if<std::int64_t>(&value_)) {
        return static_cast<double>(*i);
    }
    if (const auto* dec = std::get_if<hisdb::Decimal>(&value_)) {
        return dec->ToDouble();
    }
    return 0.0;
}

void TParam::SetAsFloat(double value)
{
    dataType_ = ftFloat;
    SetValue(value);
}

hisdb::DateTime TParam::AsDateTime() const
{
    if (const auto* dt = std::get_if<hisdb::DateTime>(&value_)) {
        return *dt;
    }
    return {};
}

void TParam::SetAsDateTime(const hisdb::DateTime& value)
{
    dataType_ = ftDateTime;
    SetValue(value);
}

TParam& TParams::Add(std::string name)
{
    items_.emplace_back(std::move(name));
    return items_.back();
}

TParam* TParams::FindParam(std::string_view name)
{
    for (auto& item : items_) {
        if (dataset::SameText(item.Name(), name)) {
            return &item;
        }
    }
    return nullptr;
}

TParam& TParams::ParamByName(std::string_view name)
{
    TParam* param = FindParam(name);
    if (param == nullptr) {
        dataset::DatabaseError(dataset::FormatText("Parameter '%.*s' not found", static_cast<int>(name.size()), name.data()));
    }
    return *param;
}

void TParams::AssignValues(const TParams& from)
{
    for (auto& item : items_) {
        for (const auto& source : from.items_) {
            if (dataset::SameText(item.Name(), source.Name())) {
                std::string name = item.Name();
                item = source;
                item.SetName(std::move(name));
                break;
            }
        }
    }
}
