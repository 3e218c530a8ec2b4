#include "data/dataset/fields.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "data/dataset/dataset.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/locale_settings.h"
#include "data/dataset/number_format.h"
#include "platform/text/gbk.h"

using dataset::FormatText;
using dataset::Variant;

namespace {

const Variant kNull{};

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

bool ParseInt64(std::string_view text, std::int64_t& out)
{
    text = TrimLeft(text);
    if (text.empty()) {
        return false;
    }
    std::string copy(text);
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(copy.c_str(), &end, 10);
    if (errno != 0 || end == copy.c_str() || *end != '\0') {
        return false;
    }
    out = value;
    return true;
}

bool ParseDouble(std::string_view text, double& out)
{
    text = TrimLeft(text);
    if (text.empty()) {
        return false;
    }
    std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || *end != '\0' || !std::isfinite(value)) {
        return false;
    }
    out = value;
    return true;
}

// A text up to its first zero byte, as a CHAR column's bytes are read.
std::string_view UpToZero(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

std::string Quoted(std::string_view text)
{
    return std::string(text);
}

std::string DecimalToText(const hisdb::Decimal& d)
{
    const bool negative = d.unscaled < 0;
    const std::uint64_t magnitude = negative ? static_cast<std::uint64_t>(-(d.unscaled + 1)) + 1
                                             : static_cast<std::uint64_t>(d.unscaled);
    std::string digits = std::to_string(magnitude);
    if (d.scale > 0) {
        if (static_cast<int>(digits.size()) <= d.scale) {
            digits.insert(0, static_cast<std::size_t>(d.scale - static_cast<int>(digits.size()) + 1), '0');
        }
        digits.insert(digits.size() - static_cast<std::size_t>(d.scale), 1, '.');
    }
    return negative ? "-" + digits : digits;
}

std::string VariantToText(const Variant& v)
{
    if (const auto* s = std::get_if<std::string>(&v)) {
        return *s;
    }
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&v)) {
        return dataset::FloatToText(*d);
    }
    if (const auto* dec = std::get_if<hisdb::Decimal>(&v)) {
        return DecimalToText(*dec);
    }
    if (const auto* dt = std::get_if<hisdb::DateTime>(&v)) {
        return dataset::locale::FormatDateTime(*dt);
    }
    return {};
}

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

// ---------------------------------------------------------------- TField

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField()
{
    if (dataSet_ != nullptr) {
        dataSet_->UnregisterField(this);
    }
}

void TField::SetDataSet(TDataSet* dataSet)
{
    if (dataSet == dataSet_) {
        return;
    }
    if ((dataSet_ != nullptr && dataSet_->Active()) || (dataSet != nullptr && dataSet->Active())) {
        dataset::DatabaseError("Cannot perform this operation on an open dataset", dataSet != nullptr ? dataSet : dataSet_);
    }
    if (dataSet_ != nullptr) {
        dataSet_->UnregisterField(this);
    }
    if (dataSet != nullptr) {
        dataSet->RegisterField(this);
    }
}

int TField::Index() const
{
    if (dataSet_ == nullptr) {
        return -1;
    }
    const auto& list = dataSet_->Fields();
    for (int i = 0; i < list.Count(); ++i) {
        if (list[i] == this) {
            return i;
        }
    }
    return -1;
}

void TField::SetSize(int size)
{
    if (size < 0) {
        dataset::DatabaseError("Invalid field size");
    }
    size_ = size;
}

void TField::SetEditMask(std::string mask)
{
    parsedMask_ = dataset::EditMask(mask);
    editMask_ = std::move(mask);
}

bool TField::IsValidChar(char /*ch*/) const
{
    return true;
}

const Variant& TField::Data() const
{
    if (dataSet_ == nullptr) {
        return kNull;
    }
    return dataSet_->FieldData(*this);
}

void TField::SetData(Variant value)
{
    if (dataSet_ == nullptr) {
        dataset::DatabaseError("Cannot perform this operation on a closed dataset");
    }
    dataSet_->SetFieldData(*this, std::move(value));
}

void TField::ConversionError(const char* format, std::string_view text) const
{
    dataset::DatabaseError(FormatText(format, Quoted(text).c_str(), DisplayName().c_str()));
}

void TField::RangeError(double value, double min, double max) const
{
    dataset::DatabaseError(FormatText("%s is not a valid value for field '%s'. The allowed range is %s to %s",
                                      dataset::FloatToText(value).c_str(), DisplayName().c_str(),
                                      dataset::FloatToText(min).c_str(), dataset::FloatToText(max).c_str()));
}

bool TField::IsNull() const
{
    return hisdb::IsNull(Data());
}

void TField::Clear()
{
    SetData(hisdb::Null{});
}

std::string TField::AsString() const
{
    return VariantToText(Data());
}

void TField::SetAsString(std::string_view value)
{
    if (value.empty()) {
        Clear();
    } else {
        SetData(std::string(value));
    }
}

int TField::AsInteger() const
{
    const Variant& v = Data();
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return static_cast<int>(*i);
    }
    if (const auto* d = std::get_if<double>(&v)) {
        return static_cast<int>(std::nearbyint(*d));
    }
    if (const auto* s = std::get_if<std::string>(&v)) {
        std::int64_t parsed = 0;
        if (!ParseInt64(*s, parsed)) {
            dataset::DatabaseError(FormatText("'%s' is not a valid integer value", s->c_str()));
        }
        return static_cast<int>(parsed);
    }
    return 0;
}

void TField::SetAsInteger(int value)
{
    SetAsLargeInt(value);
}

void TField::SetAsLargeInt(std::int64_t value)
{
    SetData(value);
}

double TField::AsFloat() const
{
    const Variant& v = Data();
    if (const auto* d = std::get_if<double>(&v)) {
        return *d;
    }
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return static_cast<double>(*i);
    }
    if (const auto* dec = std::get_if<hisdb::Decimal>(&v)) {
        return dec->ToDouble();
    }
    if (const auto* dt = std::get_if<hisdb::DateTime>(&v)) {
        return dataset::locale::ToDouble(*dt);
    }
    if (const auto* s = std::get_if<std::string>(&v)) {
        double parsed = 0;
        if (!ParseDouble(*s, parsed)) {
            dataset::DatabaseError(FormatText("'%s' is not a valid floating point value", s->c_str()));
        }
        return parsed;
    }
    return 0.0;
}

void TField::SetAsFloat(double value)
{
    SetData(value);
}

hisdb::DateTime TField::AsDateTime() const
{
    const Variant& v = Data();
    if (const auto* dt = std::get_if<hisdb::DateTime>(&v)) {
        return *dt;
    }
    if (hisdb::IsNull(v)) {
        return {};
    }
    return dataset::locale::FromDouble(AsFloat());
}

void TField::SetAsDateTime(const hisdb::DateTime& value)
{
    SetData(value);
}

bool TField::AsBoolean() const
{
    return AsInteger() != 0;
}

void TField::SetAsBoolean(bool value)
{
    SetAsInteger(value ? 1 : 0);
}

Variant TField::AsVariant() const
{
    return Data();
}

void TField::SetAsVariant(const Variant& value)
{
    if (hisdb::IsNull(value)) {
        Clear();
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        SetAsString(*s);
    } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
        SetAsLargeInt(*i);
    } else if (const auto* d = std::get_if<double>(&value)) {
        SetAsFloat(*d);
    } else if (const auto* dec = std::get_if<hisdb::Decimal>(&value)) {
        SetAsFloat(dec->ToDouble());
    } else if (const auto* dt = std::get_if<hisdb::DateTime>(&value)) {
        SetAsDateTime(*dt);
    }
}

std::string TField::GetText(bool /*display*/) const
{
    return AsString();
}

Variant TField::OldValue() const
{
    if (dataSet_ == nullptr) {
        return {};
    }
    return dataSet_->ImageValue(*this, dsOldValue);
}

Variant TField::NewValue() const
{
    if (dataSet_ == nullptr) {
        return {};
    }
    return dataSet_->ImageValue(*this, dsNewValue);
}

bool TField::CanModify() const
{
    if (readOnly_ || dataSet_ == nullptr) {
        return false;
    }
    if (fieldKind_ == fkCalculated) {
        return dataSet_->State() == dsCalcFields;
    }
    return dataSet_->CanModify();
}

// ---------------------------------------------------------------- TStringField

TStringField::TStringField(TComponent* owner) : TField(owner)
{
    dataType_ = ftString;
    size_ = 20;
}

void TStringField::SetSize(int size)
{
    if (size < 0 || size > 8192) {
        dataset::DatabaseError("Invalid field size");
    }
    size_ = size;
}

std::string TStringField::AsString() const
{
    const Variant& v = Data();
    if (const auto* s = std::get_if<std::string>(&v)) {
        return *s;
    }
    return VariantToText(v);
}

void TStringField::SetAsString(std::string_view value)
{
    value = UpToZero(value);
    if (value.empty()) {
        Clear();
        return;
    }
    SetData(gbk::CutToWidth(value, static_cast<std::size_t>(size_)));
}

int TStringField::AsInteger() const
{
    const std::string text = AsString();
    if (text.empty()) {
        return 0;
    }
    std::int64_t value = 0;
    if (!ParseInt64(text, value)) {
        dataset::DatabaseError(FormatText("'%s' is not a valid integer value", text.c_str()));
    }
    return static_cast<int>(value);
}

void TStringField::SetAsInteger(int value)
{
    SetAsString(std::to_string(value));
}

double TStringField::AsFloat() const
{
    const std::string text = AsString();
    if (text.empty()) {
        return 0.0;
    }
    double value = 0;
    if (!ParseDouble(text, value)) {
        dataset::DatabaseError(FormatText("'%s' is not a valid floating point value", text.c_str()));
    }
    return value;
}

void TStringField::SetAsFloat(double value)
{
    SetAsString(dataset::FloatToText(value));
}

void TStringField::SetAsVariant(const Variant& value)
{
    if (hisdb::IsNull(value)) {
        Clear();
    } else {
        SetAsString(VariantToText(value));
    }
}

std::string TStringField::GetText(bool display) const
{
    if (display && !ParsedEditMask().IsEmpty()) {
        return ParsedEditMask().DisplayText(AsString());
    }
    return AsString();
}

Variant TStringField::Normalize(const Variant& value) const
{
    if (const auto* s = std::get_if<std::string>(&value)) {
        return s->find('\0') == std::string::npos ? value : Variant(std::string(UpToZero(*s)));
    }
    if (hisdb::IsNull(value)) {
        return value;
    }
    return VariantToText(value);
}

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

Variant TIntegerField::Normalize(const Variant& value) const
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

Variant TFloatField::Normalize(const Variant& value) const
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

Variant TBCDField::Normalize(const Variant& value) const
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

// ---------------------------------------------------------------- TDateTimeField

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner)
{
    dataType_ = ftDateTime;
}

std::string TDateTimeField::AsString() const
{
    return GetText(false);
}

void TDateTimeField::SetAsString(std::string_view value)
{
    if (value.empty()) {
        Clear();
        return;
    }
    hisdb::DateTime parsed;
    if (dataType_ == ftTime) {
        const std::string dated = dataset::locale::FormatDate(parsed) + " " + std::string(TrimLeft(value));
        if (!dataset::locale::ParseDateTime(dated, parsed)) {
            dataset::DatabaseError(FormatText("'%s' is not a valid time", std::string(value).c_str()));
        }
    } else if (!dataset::locale::ParseDateTime(value, parsed)) {
        dataset::DatabaseError(FormatText(dataType_ == ftDate ? "'%s' is not a valid date" : "'%s' is not a valid date and time",
                                          std::string(value).c_str()));
    }
    SetAsDateTime(parsed);
}

double TDateTimeField::AsFloat() const
{
    if (IsNull()) {
        return 0.0;
    }
    return dataset::locale::ToDouble(AsDateTime());
}

void TDateTimeField::SetAsFloat(double value)
{
    SetAsDateTime(dataset::locale::FromDouble(value));
}

hisdb::DateTime TDateTimeField::AsDateTime() const
{
    const Variant& v = Data();
    if (const auto* dt = std::get_if<hisdb::DateTime>(&v)) {
        return *dt;
    }
    return {};
}

void TDateTimeField::SetAsDateTime(const hisdb::DateTime& value)
{
    hisdb::DateTime stored = value;
    if (dataType_ == ftDate) {
        stored.hour = stored.minute = stored.second = stored.msec = 0;
    } else if (dataType_ == ftTime) {
        stored.year = 1899;
        stored.month = 12;
        stored.day = 30;
    }
    SetData(stored);
}

void TDateTimeField::SetAsVariant(const Variant& value)
{
    if (const auto* d = std::get_if<double>(&value)) {
        SetAsFloat(*d);
    } else {
        TField::SetAsVariant(value);
    }
}

std::string TDateTimeField::GetText(bool display) const
{
    if (IsNull()) {
        return {};
    }
    const hisdb::DateTime value = AsDateTime();
    if (display && !displayFormat_.empty()) {
        return dataset::locale::Format(displayFormat_, value);
    }
    switch (dataType_) {
    case ftDate:
        return dataset::locale::FormatDate(value);
    case ftTime:
        return dataset::locale::Format(dataset::locale::Current().longTimeFormat, value);
    default:
        return dataset::locale::FormatDateTime(value);
    }
}

Variant TDateTimeField::Normalize(const Variant& value) const
{
    if (const auto* s = std::get_if<std::string>(&value)) {
        hisdb::DateTime parsed;
        return hisdb::DateTime::FromIso(*s, parsed) ? Variant(parsed) : Variant{};
    }
    if (const auto* d = std::get_if<double>(&value)) {
        return dataset::locale::FromDouble(*d);
    }
    return value;
}

TDateField::TDateField(TComponent* owner) : TDateTimeField(owner)
{
    dataType_ = ftDate;
}

TTimeField::TTimeField(TComponent* owner) : TDateTimeField(owner)
{
    dataType_ = ftTime;
}

// ---------------------------------------------------------------- TBooleanField

TBooleanField::TBooleanField(TComponent* owner) : TField(owner)
{
    dataType_ = ftBoolean;
}

std::string TBooleanField::AsString() const
{
    if (IsNull()) {
        return {};
    }
    return AsBoolean() ? "True" : "False";
}

void TBooleanField::SetAsString(std::string_view value)
{
    if (value.empty()) {
        Clear();
    } else if (dataset::SameText(value, "true") || value == "1") {
        SetAsBoolean(true);
    } else if (dataset::SameText(value, "false") || value == "0") {
        SetAsBoolean(false);
    } else {
        dataset::DatabaseError(FormatText("'%s' is not a valid boolean value for field '%s'", std::string(value).c_str(),
                                          DisplayName().c_str()));
    }
}

bool TBooleanField::AsBoolean() const
{
    const Variant& v = Data();
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        return *i != 0;
    }
    return false;
}

void TBooleanField::SetAsBoolean(bool value)
{
    SetData(std::int64_t{value ? 1 : 0});
}

void TBooleanField::SetAsVariant(const Variant& value)
{
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        SetAsBoolean(*i != 0);
    } else {
        TField::SetAsVariant(value);
    }
}
