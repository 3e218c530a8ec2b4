// Fields: one typed object per column (fkData) or computed value
// (fkCalculated) of a dataset.
//
// A field reads and writes the dataset's active record: the current one, the
// record a grid has made active while painting a row, the record whose
// calculated fields are being computed, or the image the apply step reads.
// Persistent fields are created by their owner (the data module), given a
// FieldName and attached with SetDataSet before the dataset opens; a dataset
// opened without them creates default fields from its result's columns and
// frees them when it closes. Look-ups by name ignore letter case.
//
// Assigning needs the dataset in edit or insert state (calculated fields also
// while calculating): "Dataset not in edit or insert mode"; a read-only field
// refuses with "Field '%s' cannot be modified". After an assignment to a data
// field the record counts as modified, calculated fields are recomputed, the
// field's OnChange runs and the bound controls hear of the change. A refused
// assignment leaves the previous value. Empty text makes any field null.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "data/dataset/component.h"
#include "data/dataset/edit_mask.h"
#include "data/dataset/params.h"

class TDataSet;

enum TFieldKind { fkData, fkCalculated };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TField : public TComponent {
public:
    explicit TField(TComponent* owner = nullptr);
    ~TField() override;

    [[nodiscard]] TDataSet* DataSet() const { return dataSet_; }
    // Adds the field to the end of the dataset's field list (the dataset must be closed).
    void SetDataSet(TDataSet* dataSet);

    [[nodiscard]] const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(std::string name) { fieldName_ = std::move(name); }
    [[nodiscard]] TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind) { fieldKind_ = kind; }
    [[nodiscard]] TFieldType DataType() const { return dataType_; }
    // Position in the dataset's field list, from 0.
    [[nodiscard]] int Index() const;

    // The label, or the field name when no label is set.
    [[nodiscard]] std::string DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
    [[nodiscard]] std::string DisplayName() const { return DisplayLabel(); }
    // In characters; below 1 the class's default width.
    [[nodiscard]] int DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth(); }
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    [[nodiscard]] int Size() const { return size_; }
    // "Invalid field size" outside the class's range.
    virtual void SetSize(int size);
    [[nodiscard]] const std::string& EditMask() const { return editMask_; }
    void SetEditMask(std::string mask);
    [[nodiscard]] const dataset::EditMask& ParsedEditMask() const { return parsedMask_; }
    [[nodiscard]] bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    [[nodiscard]] bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    [[nodiscard]] bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    [[nodiscard]] const std::string& Origin() const { return origin_; }
    void SetOrigin(std::string origin) { origin_ = std::move(origin); }
    [[nodiscard]] virtual TAlignment Alignment() const { return taLeftJustify; }
    // Is the field's class willing to take this typed character?
    [[nodiscard]] virtual bool IsValidChar(char ch) const;

    // Values of the active record.
    [[nodiscard]] bool IsNull() const;
    void Clear();
    [[nodiscard]] virtual std::string AsString() const;
    virtual void SetAsString(std::string_view value);
    [[nodiscard]] virtual int AsInteger() const;
    virtual void SetAsInteger(int value);
    [[nodiscard]] virtual std::int64_t AsLargeInt() const { return AsInteger(); }
    virtual void SetAsLargeInt(std::int64_t value);
    [[nodiscard]] virtual double AsFloat() const;
    virtual void SetAsFloat(double value);
    [[nodiscard]] virtual hisdb::DateTime AsDateTime() const;
    virtual void SetAsDateTime(const hisdb::DateTime& value);
    [[nodiscard]] virtual bool AsBoolean() const;
    virtual void SetAsBoolean(bool value);
    [[nodiscard]] virtual dataset::Variant AsVariant() const;
    virtual void SetAsVariant(const dataset::Variant& value);
    [[nodiscard]] dataset::Variant Value() const { return AsVariant(); }
    void SetValue(const dataset::Variant& value) { SetAsVariant(value); }

    // What grids and unfocused edits show.
    [[nodiscard]] std::string DisplayText() const { return GetText(true); }
    // What a focused edit shows and writes back.
    [[nodiscard]] std::string Text() const { return GetText(false); }
    void SetText(std::string_view text) { SetAsString(text); }

    // The record's value as read from the database / its present value, during
    // an apply or on the current record. "Not in cached update mode" unless
    // the dataset caches its updates.
    [[nodiscard]] dataset::Variant OldValue() const;
    [[nodiscard]] dataset::Variant NewValue() const;

    // Not read-only, and the dataset can be modified (data fields) or is
    // calculating (calculated fields).
    [[nodiscard]] bool CanModify() const;

    void SetOnChange(std::function<void(TField&)> handler) { onChange_ = std::move(handler); }

    // Type group and calculated-field suitability, used when binding at open.
    [[nodiscard]] virtual bool IsCalculatable() const { return true; }

protected:
    [[nodiscard]] virtual std::string GetText(bool display) const;
    [[nodiscard]] virtual int DefaultDisplayWidth() const { return 10; }
    // Converts a value fetched from the engine to the class's storage.
    [[nodiscard]] virtual dataset::Variant Normalize(dataset::Variant value) const { return value; }

    // The active record's stored value (a null Variant when none).
    [[nodiscard]] const dataset::Variant& Data() const;
    // Checks the state and ReadOnly, stores, and announces the change.
    void SetData(dataset::Variant value);
    [[noreturn]] void ConversionError(const char* format, std::string_view text) const;
    [[noreturn]] void RangeError(double value, double min, double max) const;

    TFieldType dataType_ = ftUnknown;
    int size_ = 0;

private:
    friend class TDataSet;

    TDataSet* dataSet_ = nullptr;
    std::string fieldName_;
    TFieldKind fieldKind_ = fkData;
    std::string displayLabel_;
    int displayWidth_ = 0;
    std::string editMask_;
    dataset::EditMask parsedMask_;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    std::string origin_;
    std::function<void(TField&)> onChange_;
    int slot_ = -1;            // index into the record's data or calculated slots
    int column_ = -1;          // result column bound at open (data fields)
    bool defaultField_ = false;  // created by the dataset at open; freed at close
};

// Text of at most Size GBK bytes (Size 0..8192, 20 by default). Assigned text
// is cut to Size bytes, never inside a character. With an EditMask the
// display text is the value laid out through the mask.
class TStringField : public TField {
public:
    explicit TStringField(TComponent* owner = nullptr);
    void SetSize(int size) override;
    [[nodiscard]] bool FixedChar() const { return dataType_ == ftFixedChar; }
    void SetFixedChar(bool fixed) { dataType_ = fixed ? ftFixedChar : ftString; }
    [[nodiscard]] bool Transliterate() const { return true; }

    [[nodiscard]] std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    [[nodiscard]] int AsInteger() const override;
    void SetAsInteger(int value) override;
    [[nodiscard]] double AsFloat() const override;
    void SetAsFloat(double value) override;
    void SetAsVariant(const dataset::Variant& value) override;
    [[nodiscard]] bool IsCalculatable() const override { return !FixedChar(); }

protected:
    [[nodiscard]] std::string GetText(bool display) const override;
    [[nodiscard]] int DefaultDisplayWidth() const override { return size_; }
    [[nodiscard]] dataset::Variant Normalize(dataset::Variant value) const override;
};

// Numbers: right-aligned; DisplayFormat / EditFormat as "0.0", "#,##0.00"
// ('0' digit, '#' optional digit, '.' point, ',' thousands, quoted literals,
// up to three sections "positive;negative;zero").
class TNumericField : public TField {
public:
    explicit TNumericField(TComponent* owner = nullptr) : TField(owner) {}
    [[nodiscard]] TAlignment Alignment() const override { return taRightJustify; }
    [[nodiscard]] const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(std::string format) { displayFormat_ = std::move(format); }
    [[nodiscard]] const std::string& EditFormat() const { return editFormat_; }
    void SetEditFormat(std::string format) { editFormat_ = std::move(format); }

protected:
    // Assigns text read as a number: empty text makes the field null; text
    // that is no number: "'%s' is not a valid floating point value for field '%s'".
    void SetFloatText(std::string_view value);

    std::string displayFormat_;
    std::string editFormat_;
};

// Signed integers within [MinValue, MaxValue] of the class ("%g is not a
// valid value for field '%s'. The allowed range is %g to %g"); text that is no
// integer: "'%s' is not a valid integer value for field '%s'"; floats round
// to the nearest integer.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* owner = nullptr);
    [[nodiscard]] std::int64_t MinValue() const { return min_; }
    [[nodiscard]] std::int64_t MaxValue() const { return max_; }

    [[nodiscard]] std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    [[nodiscard]] int AsInteger() const override;
    void SetAsInteger(int value) override;
    [[nodiscard]] std::int64_t AsLargeInt() const override;
    void SetAsLargeInt(std::int64_t value) override;
    [[nodiscard]] double AsFloat() const override;
    void SetAsFloat(double value) override;
    void SetAsVariant(const dataset::Variant& value) override;
    [[nodiscard]] bool IsValidChar(char ch) const override;

protected:
    [[nodiscard]] std::string GetText(bool display) const override;
    [[nodiscard]] dataset::Variant Normalize(dataset::Variant value) const override;
    void StoreChecked(std::int64_t value);

    std::int64_t min_;
    std::int64_t max_;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(TComponent* owner = nullptr);
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(TComponent* owner = nullptr);
};

// Written by the program like any integer (not read-only).
class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* owner = nullptr);
    [[nodiscard]] bool IsCalculatable() const override { return false; }
};

class TLargeintField : public TIntegerField {
public:
    explicit TLargeintField(TComponent* owner = nullptr);
};

class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* owner = nullptr);
    [[nodiscard]] int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }

    [[nodiscard]] std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    [[nodiscard]] int AsInteger() const override;
    void SetAsInteger(int value) override;
    [[nodiscard]] double AsFloat() const override;
    void SetAsFloat(double value) override;
    void SetAsVariant(const dataset::Variant& value) override;
    [[nodiscard]] bool IsValidChar(char ch) const override;

protected:
    [[nodiscard]] std::string GetText(bool display) const override;
    [[nodiscard]] dataset::Variant Normalize(dataset::Variant value) const override;

private:
    int precision_ = 15;
};

class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* owner = nullptr);
};

// Fixed-point decimal with Precision digits, Size (0..32) after the point.
// Held as a currency value (four places): a float is rounded to four places,
// then stored rounded to Size places, ties to the even digit (35.645 ->
// 35.64). A value beyond the currency range fails on reading with "Value of
// field '%s' is out of range" and displays as "(Overflow)". Display and edit
// text use DisplayFormat when EditFormat is empty.
class TBCDField : public TNumericField {
public:
    explicit TBCDField(TComponent* owner = nullptr);
    void SetSize(int size) override;
    [[nodiscard]] int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    // Currency value: the number times 10000.
    [[nodiscard]] std::int64_t AsCurrency() const;
    void SetAsCurrency(std::int64_t value);

    [[nodiscard]] std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    [[nodiscard]] int AsInteger() const override;
    void SetAsInteger(int value) override;
    [[nodiscard]] double AsFloat() const override;
    void SetAsFloat(double value) override;
    [[nodiscard]] dataset::Variant AsVariant() const override;
    void SetAsVariant(const dataset::Variant& value) override;
    [[nodiscard]] bool IsValidChar(char ch) const override;

protected:
    [[nodiscard]] std::string GetText(bool display) const override;
    [[nodiscard]] int DefaultDisplayWidth() const override { return precision_ + 1; }
    [[nodiscard]] dataset::Variant Normalize(dataset::Variant value) const override;

private:
    int precision_ = 0;
};

// Date and time of day to the millisecond. Display and edit text: the
// DisplayFormat when set, else the locale's short date and, when the time of
// day is not zero, a blank and the long time. Text is parsed by the locale.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* owner = nullptr);
    [[nodiscard]] const std::string& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(std::string format) { displayFormat_ = std::move(format); }

    [[nodiscard]] std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    [[nodiscard]] double AsFloat() const override;
    void SetAsFloat(double value) override;
    [[nodiscard]] hisdb::DateTime AsDateTime() const override;
    void SetAsDateTime(const hisdb::DateTime& value) override;
    void SetAsVariant(const dataset::Variant& value) override;

protected:
    [[nodiscard]] std::string GetText(bool display) const override;
    [[nodiscard]] int DefaultDisplayWidth() const override { return 18; }
    [[nodiscard]] dataset::Variant Normalize(dataset::Variant value) const override;

private:
    std::string displayFormat_;
};

class TDateField : public TDateTimeField {
public:
    explicit TDateField(TComponent* owner = nullptr);
};

class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(TComponent* owner = nullptr);
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* owner = nullptr);
    [[nodiscard]] std::string AsString() const override;
    void SetAsString(std::string_view value) override;
    [[nodiscard]] bool AsBoolean() const override;
    void SetAsBoolean(bool value) override;
    [[nodiscard]] int AsInteger() const override { return AsBoolean() ? 1 : 0; }
    void SetAsVariant(const dataset::Variant& value) override;

protected:
    [[nodiscard]] std::string GetText(bool /*display*/) const override { return AsString(); }
    [[nodiscard]] int DefaultDisplayWidth() const override { return 5; }
};
