// The number fields: TIntegerField, TNumericField (what the float and BCD
// fields share), TFloatField and TBCDField. TField itself is in fields.cpp.
// The contract is in fields.h.

#include "data/dataset/fields.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/dataset/db_errors.h"
#include "data/dataset/fields_internal.h"
#include "data/dataset/number_format.h"

using dataset::FormatText;
using dataset::Variant;
using dataset::detail::ParseDouble;
using dataset::detail::ParseInt64;

namespace {

std::int64_t Pow10(int n)
{
    std::int64_t p = 1;
    for (int i = 0; i < n; ++i) {
        p *= 10;
    }
    return p;
}

// q = a / b rounded to nearest, ties to even.
std::int64_t DivRoundEven(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    const std::int64_t r = a % b;
    const std::int64_t twice = (r < 0 ? -r : r) * 2;
    if (twice > b || (twice == b && (q % 2 != 0))) {
        q += a < 0 ? -1 : 1;
    }
    return q;
}

}  // namespace

// ---------------------------------------------------------------- TIntegerField

TIntegerField::TIntegerField(TComponent* owner)
    : TNumericField(owner), min_(std::numeric_limits<std::int32_t>::min()), max_(std::numeric_limits<std::int32_t>::max())
{
    dataType_ = ftInteger;
}

std::string TIntegerField::AsString() const
{
    const Variant& v = Data();
    if (hisdb::IsNull(v)) {
        return {};
    }
    return std::to_string(AsLargeInt());
}

void TIntegerField::SetAsString(std::string_view value)
{
    if (value.empty()) {
        Clear();
        return;
    }
    std::int64_t parsed = 0;
    if (!ParseInt64(value, parsed)) {
        ConversionError("'%s' is not a valid integer value for field '%s'", value);
    }
    StoreChecked(parsed);
}

int TIntegerField::AsInteger() const
{
    return static_cast<int>(AsLargeInt());
}

void TIntegerField::SetAsInteger(int value)
{
    StoreChecked(value);
}

std::int64_t TIntegerField::AsLargeInt() const
{
    const Variant& v = Data();
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return *i;
    }
    return 0;
}

void TIntegerField::SetAsLargeInt(std::int64_t value)
{
    StoreChecked(value);
}

double TIntegerField::AsFloat() const
{
    return static_cast<double>(AsLargeInt());
}

void TIntegerField::SetAsFloat(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= static_cast<double>(min_) && rounded <= static_cast<double>(max_))) {
        RangeError(value, static_cast<double>(min_), static_cast<double>(max_));
    }
    StoreChecked(static_cast<std::int64_t>(rounded));
}

void TIntegerField::SetAsVariant(const Variant& value)
{
    if (const auto* dec = std::get_if<hisdb::Decimal>(&value)) {
        SetAsFloat(dec->ToDouble());
    } else {
        TField::SetAsVariant(value);
    }
}

bool TIntegerField::IsValidChar(char ch) const
{
    return (ch >= '0' && ch <= '9') || ch == '+' || ch == '-';
}

void TIntegerField::StoreChecked(std::int64_t value)
{
    if (value < min_ || value > max_) {
        RangeError(static_cast<double>(value), static_cast<double>(min_), static_cast<double>(max_));
    }
    SetData(value);
}

std::string TIntegerField::GetText(bool display) const
{
    if (IsNull()) {
        return {};
    }
    const std::string& format = display || editFormat_.empty() ? displayFormat_ : editFormat_;
    if (format.empty()) {
        return AsString();
    }
    return dataset::FormatFloat(format, static_cast<double>(AsLargeInt()));
}

Variant TIntegerField::Normalize(Variant value) const
{
    if (const auto* d = std::get_if<double>(&value)) {
        return static_cast<std::int64_t>(std::llround(*d));
    }
    if (const auto* dec = std::get_if<hisdb::Decimal>(&value)) {
        return DivRoundEven(dec->unscaled, Pow10(dec->scale));
    }
    if (const auto* s = std::get_if<std::string>(&value)) {
        std::int64_t parsed = 0;
        return ParseInt64(*s, parsed) ? Variant(parsed) : Variant{};
    }
    return value;
}

TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner)
{
    dataType_ = ftSmallint;
    min_ = -32768;
    max_ = 32767;
}

TWordField::TWordField(TComponent* owner) : TIntegerField(owner)
{
    dataType_ = ftWord;
    min_ = 0;
    max_ = 65535;
}

TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner)
{
    dataType_ = ftAutoInc;
}

TLargeintField::TLargeintField(TComponent* owner) : TIntegerField(owner)
{
    dataType_ = ftLargeint;
    min_ = std::numeric_limits<std::int64_t>::min();
    max_ = std::numeric_limits<std::int64_t>::max();
}

// -------------------------------------------------------------- TNumericField

void TNumericField::SetFloatText(std::string_view value)
{
    if (value.empty()) {
        Clear();
        return;
    }
    double parsed = 0;
    if (!ParseDouble(value, parsed)) {
        ConversionError("'%s' is not a valid floating point value for field '%s'", value);
    }
    SetAsFloat(parsed);
}

// ---------------------------------------------------------------- TFloatField

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner)
{
    dataType_ = ftFloat;
}

std::string TFloatField::AsString() const
{
    if (IsNull()) {
        return {};
    }
    return dataset::FloatToText(AsFloat());
}

void TFloatField::SetAsString(std::string_view value)
{
    SetFloatText(value);
}

int TFloatField::AsInteger() const
{
    return static_cast<int>(std::nearbyint(AsFloat()));
}

void TFloatField::SetAsInteger(int value)
{
    SetAsFloat(value);
}

double TFloatField::AsFloat() const
{
    const Variant& v = Data();
    if (const auto* d = std::get_if<double>(&v)) {
        return *d;
    }
    return 0.0;
}

void TFloatField::SetAsFloat(double value)
{
    SetData(value);
}

void TFloatField::SetAsVariant(const Variant& value)
{
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        SetAsFloat(static_cast<double>(*i));
    } else {
        TField::SetAsVariant(value);
    }
}

bool TFloatField::IsValidChar(char ch) const
{
    return (ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == '.' || ch == 'e' || ch == 'E';
}

std::string TFloatField::GetText(bool display) const
{
    if (IsNull()) {
        return {};
    }
    const std::string& format = display || editFormat_.empty() ? displayFormat_ : editFormat_;
    return dataset::FormatFloat(format, AsFloat());
}

Variant TFloatField::Normalize(Variant value) const
{
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        return static_cast<double>(*i);
    }
    if (const auto* dec = std::get_if<hisdb::Decimal>(&value)) {
        return dec->ToDouble();
    }
    if (const auto* s = std::get_if<std::string>(&value)) {
        double parsed = 0;
        return ParseDouble(*s, parsed) ? Variant(parsed) : Variant{};
    }
    return value;
}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner)
{
    dataType_ = ftCurrency;
}

// ---------------------------------------------------------------- TBCDField

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner)
{
    dataType_ = ftBCD;
    size_ = 4;
}

void TBCDField::SetSize(int size)
{
    if (size < 0 || size > 32) {
        dataset::DatabaseError("Invalid field size");
    }
    size_ = size;
}

std::int64_t TBCDField::AsCurrency() const
{
    const Variant& v = Data();
    const auto* dec = std::get_if<hisdb::Decimal>(&v);
    if (dec == nullptr) {
        return 0;
    }
    if (dec->scale <= 4) {
        std::int64_t result = 0;
        if (dec->scale < 0 || __builtin_mul_overflow(dec->unscaled, Pow10(4 - dec->scale), &result)) {
            dataset::DatabaseError(FormatText("Value of field '%s' is out of range", DisplayName().c_str()));
        }
        return result;
    }
    if (dec->scale > 22) {
        return 0;
    }
    if (dec->scale - 4 > 18) {
        return 0;
    }
    return DivRoundEven(dec->unscaled, Pow10(dec->scale - 4));
}

void TBCDField::SetAsCurrency(std::int64_t value)
{
    hisdb::Decimal d;
    d.scale = size_;
    if (size_ >= 4) {
        if (size_ - 4 > 18 || __builtin_mul_overflow(value, Pow10(size_ - 4), &d.unscaled)) {
            dataset::DatabaseError(FormatText("Value of field '%s' is out of range", DisplayName().c_str()));
        }
    } else {
        d.unscaled = DivRoundEven(value, Pow10(4 - size_));
    }
    SetData(d);
}

std::string TBCDField::AsString() const
{
    if (IsNull()) {
        return {};
    }
    return dataset::CurrencyToText(AsCurrency());
}

void TBCDField::SetAsString(std::string_view value)
{
    SetFloatText(value);
}

int TBCDField::AsInteger() const
{
    return static_cast<int>(DivRoundEven(AsCurrency(), 10000));
}

void TBCDField::SetAsInteger(int value)
{
    SetAsCurrency(static_cast<std::int64_t>(value) * 10000);
}

double TBCDField::AsFloat() const
{
    return static_cast<double>(AsCurrency()) / 10000.0;
}

void TBCDField::SetAsFloat(double value)
{
    // To the currency's four places first; 35.645 is 35.64499999... as a double,
    // and 356449.99999999994 rounds to 356450 here, then half-even to 35.64.
    const double scaled = std::nearbyint(value * 10000.0);
    if (!(std::fabs(scaled) < 9.2e18)) {
        dataset::DatabaseError(FormatText("Value of field '%s' is out of range", DisplayName().c_str()));
    }
    SetAsCurrency(static_cast<std::int64_t>(scaled));
}

Variant TBCDField::AsVariant() const
{
    return Data();
}

void TBCDField::SetAsVariant(const Variant& value)
{
    if (const auto* dec = std::get_if<hisdb::Decimal>(&value)) {
        hisdb::Decimal copy = *dec;
        std::int64_t currency = 0;
        if (copy.scale <= 4) {
            if (__builtin_mul_overflow(copy.unscaled, Pow10(4 - copy.scale), &currency)) {
                dataset::DatabaseError(FormatText("Value of field '%s' is out of range", DisplayName().c_str()));
            }
        } else {
            currency = DivRoundEven(copy.unscaled, Pow10(copy.scale - 4));
        }
        SetAsCurrency(currency);
    } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
        std::int64_t currency = 0;
        if (__builtin_mul_overflow(*i, std::int64_t{10000}, &currency)) {
            dataset::DatabaseError(FormatText("Value of field '%s' is out of range", DisplayName().c_str()));
        }
        SetAsCurrency(currency);
    } else {
        TField::SetAsVariant(value);
    }
}

bool TBCDField::IsValidChar(char ch) const
{
    return (ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == '.';
}

std::string TBCDField::GetText(bool display) const
{
    if (IsNull()) {
        return {};
    }
    std::int64_t currency = 0;
    try {
        currency = AsCurrency();
    } catch (const EDatabaseError&) {
        return "(Overflow)";
    }
    const std::string& format = display || editFormat_.empty() ? displayFormat_ : editFormat_;
    return dataset::FormatCurrency(format, currency);
}

Variant TBCDField::Normalize(Variant value) const
{
    if (const auto* d = std::get_if<double>(&value)) {
        const double scaled = std::nearbyint(*d * static_cast<double>(Pow10(std::min(size_, 18))));
        return hisdb::Decimal{static_cast<std::int64_t>(scaled), std::min(size_, 18)};
    }
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        return hisdb::Decimal{*i, 0};
    }
    if (const auto* s = std::get_if<std::string>(&value)) {
        double parsed = 0;
        if (!ParseDouble(*s, parsed)) {
            return Variant{};
        }
        return Normalize(Variant(parsed));
    }
    return value;
}
