// TDataSet's core: the field list (TFields), opening and closing, the record
// store, the dataset's fields and the navigation through the records. The
// editing cycle and the notices are in dataset_editing.cpp, data sources and
// links in datalink.cpp. The contract is in dataset.h.

#include "data/dataset/dataset.h"

#include <algorithm>

#include "data/dataset/dataset_internal.h"
#include "data/dataset/db_errors.h"

using dataset::Variant;
using dataset::detail::IsEditMode;

namespace {

const Variant kNull{};

// Restores a dataset's state and calculation record when a handler throws.
class TempStateGuard {
public:
    TempStateGuard(TDataSetState& state, TDataSetState temp) : state_(state), saved_(state) { state_ = temp; }
    ~TempStateGuard() { state_ = saved_; }
    TempStateGuard(const TempStateGuard&) = delete;
    TempStateGuard& operator=(const TempStateGuard&) = delete;

private:
    TDataSetState& state_;
    TDataSetState saved_;
};

}  // namespace

// ---------------------------------------------------------------- TFields

TField* TFields::FindField(std::string_view name) const
{
    for (TField* field : list_) {
        if (dataset::SameText(field->FieldName(), name)) {
            return field;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------- TDataSet

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet()
{
    // Subclasses close in their own destructors; here only what is left.
    records_.clear();
    view_.clear();
    state_ = dsInactive;
    for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) {
        source->dataSet_ = nullptr;
        for (TDataLink* link : std::vector<TDataLink*>(source->links_)) {
            link->UpdateState();
        }
    }
    dataSources_.clear();
    for (TField* field : std::vector<TField*>(fields_.list_)) {
        field->dataSet_ = nullptr;
        if (field->defaultField_) {
            delete field;
        }
    }
    fields_.list_.clear();
}

void TDataSet::Error(const std::string& message) const
{
    dataset::DatabaseError(message, this);
}

void TDataSet::CheckActive() const
{
    if (!Active()) {
        Error("Cannot perform this operation on a closed dataset");
    }
}

void TDataSet::CheckInactive() const
{
    if (Active()) {
        Error("Cannot perform this operation on an open dataset");
    }
}

void TDataSet::CheckCanModify() const
{
    if (!CanModify()) {
        Error("Cannot modify a read-only dataset");
    }
}

void TDataSet::SetActive(bool active)
{
    if (active) {
        Open();
    } else {
        Close();
    }
}

void TDataSet::Open()
{
    if (Active()) {
        return;
    }
    if (beforeOpen_) {
        beforeOpen_(*this);
    }
    cursorDone_ = false;  // a failed open drops a half-read engine cursor
    try {
        InternalOpen();
        records_.clear();
        view_.clear();
        current_ = -1;
        activeOverride_ = -1;
        modified_ = false;
        cursorDone_ = false;
        changeCounter_ = 0;
        state_ = dsBrowse;
        if (FetchOne()) {
            current_ = 0;
        }
        eof_ = view_.empty();
        bof_ = true;
    } catch (...) {
        state_ = dsInactive;
        CloseCursor();
        throw;
    }
    state_ = dsInactive;
    SetState(dsBrowse);
    DataEvent(deDataSetChange);
    if (afterOpen_) {
        afterOpen_(*this);
    }
}

void TDataSet::Close()
{
    if (!Active()) {
        return;
    }
    if (beforeClose_) {
        beforeClose_(*this);
    }
    DiscardPending();
    SetState(dsInactive);
    CloseCursor();
    if (afterClose_) {
        afterClose_(*this);
    }
}

void TDataSet::CloseCursor()
{
    InternalClose();
    records_.clear();
    view_.clear();
    current_ = -1;
    activeOverride_ = -1;
    eof_ = bof_ = true;
    cursorDone_ = true;
    modified_ = false;
    editBackup_.clear();
    ClearDefaultFields();
}

void TDataSet::DiscardPending()
{
    if (!IsEditMode(state_) || current_ < 0) {
        return;
    }
    Record* record = view_[static_cast<std::size_t>(current_)];
    if (state_ == dsInsert) {
        view_.erase(view_.begin() + current_);
        records_.erase(std::find_if(records_.begin(), records_.end(),
                                    [record](const auto& r) { return r.get() == record; }));
        current_ = std::min(current_, static_cast<int>(view_.size()) - 1);
    } else if (!editBackup_.empty()) {
        // No recalculation here: Cancel re-reads (Resync), Close drops the records.
        record->values = editBackup_;
    }
    editBackup_.clear();
    modified_ = false;
    state_ = dsBrowse;
}

void TDataSet::SetState(TDataSetState state)
{
    if (state_ == state) {
        return;
    }
    state_ = state;
    modified_ = false;
    DataEvent(deUpdateState);
}

bool TDataSet::FetchOne()
{
    if (cursorDone_) {
        return false;
    }
    auto record = std::make_unique<Record>();
    record->values.resize(static_cast<std::size_t>(dataSlots_));
    record->calc.resize(static_cast<std::size_t>(calcSlots_));
    if (!InternalFetch(record->values)) {
        cursorDone_ = true;
        return false;
    }
    Record* raw = record.get();
    // Append reads the cursor to its end first, so read records never follow an appended one.
    records_.push_back(std::move(record));
    view_.push_back(raw);
    CalculateFields(*raw);
    return true;
}

void TDataSet::FetchTo(int count)
{
    while (static_cast<int>(view_.size()) < count && FetchOne()) {
    }
}

void TDataSet::FetchAll()
{
    while (FetchOne()) {
    }
}

void TDataSet::RebuildView()
{
    view_.clear();
    for (const auto& record : records_) {
        if (!record->deleted) {
            view_.push_back(record.get());
        }
    }
}

TDataSet::Record* TDataSet::CurrentRecord() const
{
    if (current_ < 0 || current_ >= static_cast<int>(view_.size())) {
        return nullptr;
    }
    return view_[static_cast<std::size_t>(current_)];
}

TDataSet::Record* TDataSet::ActiveRecord() const
{
    if (state_ == dsCalcFields) {
        return calcRecord_;
    }
    if (applyRecord_ != nullptr) {
        return applyRecord_;
    }
    if (activeOverride_ >= 0 && activeOverride_ < static_cast<int>(view_.size())) {
        return view_[static_cast<std::size_t>(activeOverride_)];
    }
    return CurrentRecord();
}

const Variant& TDataSet::FieldData(const TField& field) const
{
    const Record* record = ActiveRecord();
    if (record == nullptr || field.slot_ < 0) {
        return kNull;
    }
    const auto slot = static_cast<std::size_t>(field.slot_);
    if (field.FieldKind() == fkCalculated) {
        return slot < record->calc.size() ? record->calc[slot] : kNull;
    }
    if (state_ == dsOldValue && record->status != usUnmodified) {
        if (record->status == usInserted && record->old.empty()) {
            return kNull;
        }
        if (slot < record->old.size()) {
            return record->old[slot];
        }
    }
    return slot < record->values.size() ? record->values[slot] : kNull;
}

Variant TDataSet::ImageValue(const TField& field, TDataSetState image) const
{
    if (!CachedUpdatesOn()) {
        Error("Not in cached update mode");
    }
    // A record being edited whose database image is its values from before
    // the edit (nothing cached yet, or what was cached has been applied).
    const Record* record = ActiveRecord();
    if (image == dsOldValue && state_ == dsEdit && record != nullptr && record == CurrentRecord() &&
        (record->status == usUnmodified || record->applied) && field.FieldKind() == fkData &&
        field.slot_ >= 0 && static_cast<std::size_t>(field.slot_) < editBackup_.size()) {
        return editBackup_[static_cast<std::size_t>(field.slot_)];
    }
    auto& state = const_cast<TDataSetState&>(state_);
    TempStateGuard guard(state, image);
    return FieldData(field);
}

void TDataSet::SetFieldData(TField& field, Variant value)
{
    const bool calculating = state_ == dsCalcFields;
    if (!(IsEditMode(state_) || (calculating && field.FieldKind() == fkCalculated))) {
        Error("Dataset not in edit or insert mode");
    }
    if (field.ReadOnly()) {
        dataset::DatabaseError(dataset::FormatText("Field '%s' cannot be modified", field.DisplayName().c_str()));
    }
    Record* record = calculating ? calcRecord_ : CurrentRecord();
    if (record == nullptr || field.slot_ < 0) {
        Error("Cannot perform this operation on a closed dataset");
    }
    const auto slot = static_cast<std::size_t>(field.slot_);
    if (field.FieldKind() == fkCalculated) {
        if (slot < record->calc.size()) {
            record->calc[slot] = std::move(value);
        }
        if (calculating) {
            return;
        }
    } else {
        record->values[slot] = std::move(value);
        modified_ = true;
        if (autoCalcFields_) {
            CalculateFields(*record);
        }
    }
    if (field.onChange_) {
        field.onChange_(field);
    }
    DataEvent(deFieldChange, &field);
}

void TDataSet::CalculateFields(Record& record)
{
    if (calcSlots_ == 0 && !onCalcFields_) {
        return;
    }
    for (auto& slot : record.calc) {
        slot = Variant{};
    }
    if (!onCalcFields_) {
        return;
    }
    Record* savedRecord = calcRecord_;
    calcRecord_ = &record;
    try {
        TempStateGuard guard(state_, dsCalcFields);
        onCalcFields_(*this);
    } catch (...) {
        calcRecord_ = savedRecord;
        throw;
    }
    calcRecord_ = savedRecord;
}

// ---- fields

TField* TDataSet::FieldByName(std::string_view name) const
{
    TField* field = fields_.FindField(name);
    if (field == nullptr) {
        Error(dataset::FormatText("Field '%.*s' not found", static_cast<int>(name.size()), name.data()));
    }
    return field;
}

void TDataSet::RegisterField(TField* field)
{
    fields_.list_.push_back(field);
    field->dataSet_ = this;
}

void TDataSet::UnregisterField(TField* field)
{
    if (Active()) {
        Close();
    }
    auto& list = fields_.list_;
    list.erase(std::remove(list.begin(), list.end(), field), list.end());
    field->dataSet_ = nullptr;
    ForgetField(field);
}

void TDataSet::ForgetField(TField* field)
{
    // Even while the controls are disabled: a link must not keep a field
    // that is about to be freed until the next notice reaches it.
    for (TDataSource* source : dataSources_) {
        for (TDataLink* link : source->links_) {
            link->FieldRemoved(field);
        }
    }
}

void TDataSet::ClearDefaultFields()
{
    bool any = false;
    for (TField* field : std::vector<TField*>(fields_.list_)) {
        if (field->defaultField_) {
            any = true;
            auto& list = fields_.list_;
            list.erase(std::remove(list.begin(), list.end(), field), list.end());
            field->dataSet_ = nullptr;
            ForgetField(field);
            delete field;
        }
    }
    if (any) {
        dataSlots_ = calcSlots_ = 0;
        ++layoutVersion_;
    }
}

TField* TDataSet::CreateDefaultField(TFieldType type, const std::string& name, int size, int precision)
{
    TField* field = nullptr;
    switch (type) {
    case ftString:
    case ftFixedChar: {
        auto* f = new TStringField(this);
        f->SetFixedChar(type == ftFixedChar);
        f->SetSize(size > 0 && size <= 8192 ? size : 8192);
        field = f;
        break;
    }
    case ftSmallint: field = new TSmallintField(this); break;
    case ftInteger: field = new TIntegerField(this); break;
    case ftWord: field = new TWordField(this); break;
    case ftAutoInc: field = new TAutoIncField(this); break;
    case ftLargeint: field = new TLargeintField(this); break;
    case ftFloat: field = new TFloatField(this); break;
    case ftCurrency: field = new TCurrencyField(this); break;
    case ftBCD: {
        auto* f = new TBCDField(this);
        f->SetSize(std::clamp(size, 0, 32));
        f->SetPrecision(precision);
        field = f;
        break;
    }
    case ftDate: field = new TDateField(this); break;
    case ftTime: field = new TTimeField(this); break;
    case ftDateTime: field = new TDateTimeField(this); break;
    case ftBoolean: field = new TBooleanField(this); break;
    default: {
        auto* f = new TStringField(this);
        f->SetSize(8192);
        field = f;
        break;
    }
    }
    field->SetFieldName(name);
    field->defaultField_ = true;
    RegisterField(field);
    ++layoutVersion_;
    return field;
}

void TDataSet::AssignSlots()
{
    dataSlots_ = calcSlots_ = 0;
    for (TField* field : fields_.list_) {
        if (field->FieldKind() == fkCalculated) {
            const TFieldType t = field->DataType();
            const bool suitable = field->IsCalculatable() &&
                                  (t == ftString || t == ftSmallint || t == ftInteger || t == ftLargeint ||
                                   t == ftWord || t == ftBoolean || t == ftFloat || t == ftCurrency || t == ftBCD ||
                                   t == ftDate || t == ftTime || t == ftDateTime || t == ftVariant);
            if (!suitable) {
                Error(dataset::FormatText("Field '%s' cannot be a calculated or lookup field",
                                          field->DisplayName().c_str()));
            }
            field->slot_ = calcSlots_++;
        } else {
            field->slot_ = dataSlots_++;
        }
    }
}

// ---- navigation

bool TDataSet::IsEmpty() const
{
    return view_.empty();
}

int TDataSet::RecordCount() const
{
    if (!Active()) {
        return 0;
    }
    return cursorDone_ ? static_cast<int>(view_.size()) : -1;
}

int TDataSet::RecNo() const
{
    return current_ >= 0 ? current_ + 1 : 0;
}

void TDataSet::MoveTo(int index)
{
    const int old = current_;
    current_ = index;
    AfterScrolled(old);
}

void TDataSet::AfterScrolled(int oldIndex)
{
    if (current_ != oldIndex) {
        DataEvent(deDataSetScroll);
        if (afterScroll_) {
            afterScroll_(*this);
        }
    } else {
        // The window may still need its records (a grid just grew, say).
        DataEvent(deDataSetScroll);
    }
}

void TDataSet::First()
{
    CheckBrowseMode();
    if (view_.empty()) {
        eof_ = bof_ = true;
        return;
    }
    bof_ = true;
    eof_ = false;
    MoveTo(0);
}

void TDataSet::Last()
{
    CheckBrowseMode();
    FetchAll();
    if (view_.empty()) {
        eof_ = bof_ = true;
        return;
    }
    eof_ = true;
    bof_ = false;
    MoveTo(static_cast<int>(view_.size()) - 1);
}

void TDataSet::Next()
{
    MoveBy(1);
}

void TDataSet::Prior()
{
    MoveBy(-1);
}

int TDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    if (view_.empty()) {
        eof_ = bof_ = true;
        return 0;
    }
    const int old = current_;
    int target = current_;
    if (distance > 0) {
        while (target - old < distance && (target + 1 < static_cast<int>(view_.size()) || FetchOne())) {
            ++target;
        }
        eof_ = target - old < distance;
        if (target != old) {
            bof_ = false;
        }
    } else if (distance < 0) {
        while (old - target < -distance && target > 0) {
            --target;
        }
        bof_ = old - target < -distance;
        if (target != old) {
            eof_ = false;
        }
    }
    if (target != old) {
        MoveTo(target);
    }
    return target - old;
}
