// Statement parameters: TParam items in a TParams list, and the scanner that
// finds the ":name" markers in SQL text.
//
// Scanning, left to right: a non-ASCII UTF-8 character is taken whole and is
// never part of a marker (a byte that starts no well-formed character is taken
// alone); each of ' " ` opens a quoted literal that the same quote closes
// (other quotes inside it are text); outside a literal, a "--" comment (to
// the end of the line), a "/* */" comment and a "[bracketed name]" are passed
// over as they stand, markers and quotes in them included, just as the engine
// passes them over when it counts its '?' markers; outside these, "::" stands
// for one ':' and makes no parameter,
// and a single ':' starts a parameter whose name runs to the first blank,
// ',', ';', ')', CR, LF, non-ASCII character or the end (a name in quotes
// right after the colon may hold those; the quotes are dropped). Each marker
// becomes '?' in the text sent to the engine and appends one parameter, so the
// list follows the markers' order and a repeated name gives two parameters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/engine/engine.h"

enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftAutoInc,
    ftLargeint,
    ftFixedChar,
    ftBlob,
    ftVariant,
};

namespace dataset {

using Variant = hisdb::Value;

// "String", "FixedChar", "SmallInt", "Integer", "Word", "AutoInc", ...
[[nodiscard]] std::string_view FieldTypeName(TFieldType type);
[[nodiscard]] TFieldType FieldTypeOf(hisdb::ColumnType type);

struct ParsedSql {
    std::string text;                // markers replaced by '?', "::" by ':'
    std::vector<std::string> names;  // one per marker, in order
};
[[nodiscard]] ParsedSql ParseSqlParams(std::string_view sql);

}  // namespace dataset

class TParam {
public:
    explicit TParam(std::string name = {}) : name_(std::move(name)) {}

    [[nodiscard]] const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    [[nodiscard]] TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }

    // Has a value been given (null counts)?
    [[nodiscard]] bool Bound() const { return bound_; }
    void SetBound(bool bound) { bound_ = bound; }
    [[nodiscard]] bool IsNull() const { return hisdb::IsNull(value_); }
    void Clear();

    [[nodiscard]] const dataset::Variant& Value() const { return value_; }
    void SetValue(const dataset::Variant& value);
    [[nodiscard]] std::string AsString() const;
    void SetAsString(std::string_view value);
    [[nodiscard]] int AsInteger() const;
    void SetAsInteger(std::int64_t value);
    [[nodiscard]] double AsFloat() const;
    void SetAsFloat(double value);
    [[nodiscard]] hisdb::DateTime AsDateTime() const;
    void SetAsDateTime(const hisdb::DateTime& value);

private:
    std::string name_;
    TFieldType dataType_ = ftUnknown;
    dataset::Variant value_;
    bool bound_ = false;
};

class TParams {
public:
    [[nodiscard]] int Count() const { return static_cast<int>(items_.size()); }
    [[nodiscard]] TParam& operator[](int index) { return items_.at(index); }
    [[nodiscard]] const TParam& operator[](int index) const { return items_.at(index); }
    [[nodiscard]] TParam& Items(int index) { return items_.at(index); }
    TParam& Add(std::string name);
    void Clear() { items_.clear(); }
    // The first parameter of that name (case ignored), or nullptr.
    [[nodiscard]] TParam* FindParam(std::string_view name);
    // As FindParam; throws EDatabaseError "Parameter '%s' not found".
    [[nodiscard]] TParam& ParamByName(std::string_view name);
    // Gives each parameter the value of the first one of `from` with its name.
    void AssignValues(const TParams& from);

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }

private:
    std::vector<TParam> items_;
};
