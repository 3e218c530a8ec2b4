// TField, the base of the field classes (its value as each type, the
// conversions, the display and edit texts, the validation), and TStringField.
// The number fields are in number_fields.cpp, the date-time and boolean
// fields in date_fields.cpp. The contract is in fields.h.

#include "data/dataset/fields.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "data/dataset/dataset.h"
#include "data/dataset/db_errors.h"
#include "data/dataset/fields_internal.h"
#include "data/dataset/locale_settings.h"
#include "data/dataset/number_format.h"
#include "platform/text/gbk.h"

using dataset::FormatText;
using dataset::Variant;

namespace dataset::detail {

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

}  // namespace dataset::detail

using dataset::detail::ParseDouble;
using dataset::detail::ParseInt64;

namespace {

const Variant kNull{};

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

Variant TStringField::Normalize(Variant value) const
{
    if (auto* s = std::get_if<std::string>(&value)) {
        s->resize(UpToZero(*s).size());
        return value;
    }
    if (hisdb::IsNull(value)) {
        return value;
    }
    return VariantToText(value);
}
