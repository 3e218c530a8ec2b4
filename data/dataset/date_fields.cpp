// The date-time and boolean fields: TDateTimeField and TBooleanField.
// TField itself is in fields.cpp. The contract is in fields.h.

#include "data/dataset/fields.h"

#include "data/dataset/db_errors.h"
#include "data/dataset/fields_internal.h"
#include "data/dataset/locale_settings.h"

using dataset::FormatText;
using dataset::Variant;
using dataset::detail::TrimLeft;

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

Variant TDateTimeField::Normalize(Variant value) const
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
