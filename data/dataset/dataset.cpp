#include "data/dataset/dataset.h"

#include <algorithm>

#include "data/dataset/db_errors.h"

using dataset::Variant;

namespace {

const Variant kNull{};

bool IsEditMode(TDataSetState state)
{
    return state == dsEdit || state == dsInsert;
}

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

// ---- editing

void TDataSet::UpdateRecord()
{
    DataEvent(deUpdateRecord);
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(deCheckBrowseMode);
    if (IsEditMode(state_)) {
        UpdateRecord();
        if (modified_) {
            Post();
        } else {
            Cancel();
        }
    }
}

void TDataSet::Edit()
{
    if (IsEditMode(state_)) {
        return;
    }
    CheckActive();
    if (view_.empty()) {
        Append();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    if (beforeEdit_) {
        beforeEdit_(*this);
    }
    Record* record = CurrentRecord();
    editBackup_ = record->values;
    CalculateFields(*record);
    SetState(dsEdit);
    DataEvent(deRecordChange);
    if (afterEdit_) {
        afterEdit_(*this);
    }
}

void TDataSet::Append()
{
    CheckBrowseMode();
    CheckCanModify();
    if (beforeInsert_) {
        beforeInsert_(*this);
    }
    FetchAll();
    auto record = std::make_unique<Record>();
    record->values.resize(static_cast<std::size_t>(dataSlots_));
    record->calc.resize(static_cast<std::size_t>(calcSlots_));
    Record* raw = record.get();
    // Marks the record as the pending insertion until it is posted or cancelled.
    raw->status = usInserted;
    raw->changeOrder = 0;
    const int previous = current_;
    const bool previousEof = eof_;
    const bool previousBof = bof_;
    records_.push_back(std::move(record));
    view_.push_back(raw);
    current_ = static_cast<int>(view_.size()) - 1;
    editBackup_.clear();
    eof_ = bof_ = false;
    try {
        CalculateFields(*raw);
        SetState(dsInsert);
        modified_ = false;
        if (onNewRecord_) {
            onNewRecord_(*this);
            modified_ = false;
        }
    } catch (...) {
        // A new record whose setup failed is dropped: the dataset browses the
        // record it showed before, with no half-made insertion left behind.
        view_.pop_back();
        records_.pop_back();
        current_ = previous;
        eof_ = previousEof;
        bof_ = previousBof;
        modified_ = false;
        if (state_ == dsInsert) {
            SetState(dsBrowse);
            DataEvent(deDataSetChange);
        }
        throw;
    }
    DataEvent(deDataSetChange);
    if (afterInsert_) {
        afterInsert_(*this);
    }
}

void TDataSet::CheckRequiredFields()
{
    for (TField* field : fields_.list_) {
        if (field->FieldKind() == fkData && field->Required() && !field->ReadOnly() && field->IsNull()) {
            dataset::DatabaseError(
                dataset::FormatText("Field '%s' must have a value", field->DisplayName().c_str()));
        }
    }
}

void TDataSet::Post()
{
    CheckActive();
    UpdateRecord();
    if (!IsEditMode(state_)) {
        return;
    }
    CheckRequiredFields();
    if (beforePost_) {
        beforePost_(*this);
    }
    Record* record = CurrentRecord();
    InternalPost(*record, state_ == dsInsert);
    editBackup_.clear();
    SetState(dsBrowse);
    Resync();
    if (afterPost_) {
        afterPost_(*this);
    }
}

void TDataSet::InternalPost(Record& /*record*/, bool /*inserted*/)
{
    Error("Cannot modify a read-only dataset");
}

bool TDataSet::InternalDelete(Record& /*record*/)
{
    Error("Cannot modify a read-only dataset");
}

void TDataSet::Cancel()
{
    if (!IsEditMode(state_)) {
        return;
    }
    if (beforeCancel_) {
        beforeCancel_(*this);
    }
    DiscardPending();
    state_ = dsInsert;  // let SetState announce the change from the editing state
    SetState(dsBrowse);
    Resync();
    if (afterCancel_) {
        afterCancel_(*this);
    }
}

void TDataSet::Delete()
{
    CheckActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    if (view_.empty()) {
        Error("Cannot perform this operation on an empty dataset");
    }
    CheckCanModify();
    DataEvent(deCheckBrowseMode);
    if (beforeDelete_) {
        beforeDelete_(*this);
    }
    // The following record becomes current: read it first, so a cursor that
    // fails here leaves the record, its edit and the state as they were.
    if (current_ + 1 >= static_cast<int>(view_.size())) {
        FetchOne();
    }
    Record* record = CurrentRecord();
    std::vector<Variant> edited;
    if (state_ == dsEdit && !editBackup_.empty()) {
        edited = record->values;
        record->values = editBackup_;
    }
    bool keep = false;
    try {
        keep = InternalDelete(*record);
    } catch (...) {
        if (!edited.empty()) {
            record->values = std::move(edited);
        }
        throw;
    }
    if (keep) {
        record->deleted = true;
    } else {
        records_.erase(std::find_if(records_.begin(), records_.end(),
                                    [record](const auto& r) { return r.get() == record; }));
    }
    editBackup_.clear();
    RebuildView();
    current_ = std::min(current_, static_cast<int>(view_.size()) - 1);
    eof_ = view_.empty();
    bof_ = view_.empty() || current_ == 0;
    SetState(dsBrowse);
    Resync();
    if (afterDelete_) {
        afterDelete_(*this);
    }
}

void TDataSet::Resync()
{
    if (!Active()) {
        return;
    }
    if (current_ >= static_cast<int>(view_.size())) {
        current_ = static_cast<int>(view_.size()) - 1;
    }
    if (current_ < 0 && !view_.empty()) {
        current_ = 0;
    }
    if (view_.empty()) {
        eof_ = bof_ = true;  // a cancelled insertion was the only record
    }
    activeOverride_ = -1;
    if (Record* record = CurrentRecord()) {
        CalculateFields(*record);
    }
    DataEvent(deDataSetChange);
}

void TDataSet::RebuildAfterCacheChange()
{
    RebuildView();
    if (current_ >= static_cast<int>(view_.size())) {
        current_ = static_cast<int>(view_.size()) - 1;
    }
    if (current_ < 0 && !view_.empty()) {
        current_ = 0;
    }
    eof_ = view_.empty();
    bof_ = view_.empty() || current_ == 0;
    Resync();
}

TUpdateStatus TDataSet::UpdateStatus() const
{
    const Record* record = CurrentRecord();
    if (record == nullptr || (state_ == dsInsert && record->changeOrder == 0)) {
        return usUnmodified;
    }
    return record->status;
}

// ---- notices

void TDataSet::DisableControls()
{
    if (disableCount_++ == 0) {
        disableState_ = state_;
        disableLayout_ = layoutVersion_;
    }
}

void TDataSet::EnableControls()
{
    if (disableCount_ == 0) {
        return;
    }
    if (--disableCount_ == 0) {
        if (state_ != disableState_) {
            DataEvent(deUpdateState);
        }
        DataEvent(layoutVersion_ != disableLayout_ ? deLayoutChange : deDataSetChange);
    }
}

void TDataSet::DataEvent(TDataEvent event, TField* field)
{
    if (disableCount_ > 0) {
        return;
    }
    // A control's handler may free or detach a data source further down the
    // list: only those still attached hear the notice.
    for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) {
        if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end()) {
            source->DataEvent(event, field);
        }
    }
}

void TDataSet::RegisterDataSource(TDataSource* source)
{
    if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end()) {
        dataSources_.push_back(source);
    }
}

void TDataSet::UnregisterDataSource(TDataSource* source)
{
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source), dataSources_.end());
}

// ---------------------------------------------------------------- TDataSource

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource()
{
    if (dataSet_ != nullptr) {
        dataSet_->UnregisterDataSource(this);
        dataSet_ = nullptr;
    }
    // The links hear that they are inactive, so a field link lets go of its
    // field before the dataset and its fields may go too.
    const std::vector<TDataLink*> links = std::move(links_);
    links_.clear();
    for (TDataLink* link : links) {
        link->dataSource_ = nullptr;
        link->UpdateState();
    }
}

void TDataSource::SetDataSet(TDataSet* dataSet)
{
    if (dataSet == dataSet_) {
        return;
    }
    if (dataSet_ != nullptr) {
        dataSet_->UnregisterDataSource(this);
    }
    dataSet_ = dataSet;
    if (dataSet_ != nullptr) {
        dataSet_->RegisterDataSource(this);
    }
    DataEvent(deUpdateState, nullptr);
    if (dataSet_ != nullptr && dataSet_->Active()) {
        DataEvent(deDataSetChange, nullptr);
    }
}

void TDataSource::SetEnabled(bool on)
{
    if (enabled_ == on) {
        return;
    }
    enabled_ = on;
    DataEvent(deUpdateState, nullptr);
}

void TDataSource::Edit()
{
    if (autoEdit_ && dataSet_ != nullptr && dataSet_->State() == dsBrowse) {
        dataSet_->Edit();
    }
}

void TDataSource::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
}

void TDataSource::StateChanged()
{
    const TDataSetState state = State();
    if (state != lastState_) {
        lastState_ = state;
        if (onStateChange_) {
            onStateChange_(*this);
        }
    }
}

void TDataSource::DataEvent(TDataEvent event, TField* field)
{
    if (event == deUpdateState) {
        StateChanged();
    } else if (!enabled_) {
        return;
    }
    // A control's handler may free another control's link (its window
    // closing): only the links still attached hear the notice.
    for (TDataLink* link : std::vector<TDataLink*>(links_)) {
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) {
            link->DataEvent(event, field);
        }
    }
    switch (event) {
    case deFieldChange:
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
        if (onDataChange_) {
            onDataChange_(*this, event == deFieldChange ? field : nullptr);
        }
        break;
    case deUpdateRecord:
        if (onUpdateData_) {
            onUpdateData_(*this);
        }
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- TDataLink

TDataLink::~TDataLink()
{
    if (dataSource_ != nullptr) {
        auto& links = dataSource_->links_;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
}

void TDataLink::SetDataSource(TDataSource* source)
{
    if (source == dataSource_) {
        return;
    }
    if (dataSource_ != nullptr) {
        auto& links = dataSource_->links_;
        links.erase(std::remove(links.begin(), links.end(), this), links.end());
    }
    dataSource_ = source;
    if (dataSource_ != nullptr) {
        dataSource_->links_.push_back(this);
    }
    UpdateState();
}

TDataSet* TDataLink::DataSet() const
{
    return dataSource_ != nullptr ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool on)
{
    if (readOnly_ != on) {
        readOnly_ = on;
        UpdateState();
    }
}

void TDataLink::SetBufferCount(int count)
{
    bufferCount_ = std::max(1, count);
    if (active_) {
        AdjustWindow();
    }
}

int TDataLink::AdjustWindow()
{
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) {
        first_ = 0;
        return 0;
    }
    const int old = first_;
    const int current = std::max(ds->current_, 0);
    if (current < first_) {
        first_ = current;
    } else if (current >= first_ + bufferCount_) {
        first_ = current - bufferCount_ + 1;
    }
    ds->FetchTo(first_ + bufferCount_);
    const int count = static_cast<int>(ds->view_.size());
    if (first_ + bufferCount_ > count) {
        first_ = std::max(0, std::min(first_, count - bufferCount_));
    }
    return first_ - old;
}

int TDataLink::RecordCount() const
{
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) {
        return 0;
    }
    ds->FetchTo(first_ + bufferCount_);
    return std::clamp(static_cast<int>(ds->view_.size()) - first_, 0, bufferCount_);
}

int TDataLink::ActiveRecord() const
{
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) {
        return 0;
    }
    const int active = ds->activeOverride_ >= 0 ? ds->activeOverride_ : ds->current_;
    return active - first_;
}

void TDataLink::SetActiveRecord(int row)
{
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) {
        return;
    }
    const int index = first_ + row;
    ds->activeOverride_ = index == ds->current_ ? -1 : index;
}

bool TDataLink::Edit()
{
    if (!readOnly_ && dataSource_ != nullptr) {
        dataSource_->Edit();
    }
    return editing_;
}

void TDataLink::UpdateRecord()
{
    if (updating_) {
        return;
    }
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

int TDataLink::MoveBy(int distance)
{
    TDataSet* ds = DataSet();
    return ds != nullptr ? ds->MoveBy(distance) : 0;
}

void TDataLink::UpdateState()
{
    TDataSet* ds = DataSet();
    const bool active = dataSource_ != nullptr && dataSource_->Enabled() && ds != nullptr && ds->Active();
    if (active != active_) {
        active_ = active;
        first_ = 0;
        if (active_) {
            AdjustWindow();
        }
        ActiveChanged();
    }
    const bool editing = active_ && !readOnly_ && (ds->State() == dsEdit || ds->State() == dsInsert);
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

void TDataLink::DataEvent(TDataEvent event, TField* field)
{
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) {
        return;
    }
    switch (event) {
    case deFieldChange:
    case deRecordChange:
        if (!updating_) {
            RecordChanged(field);
        }
        break;
    case deDataSetChange:
        AdjustWindow();
        DataSetChanged();
        break;
    case deDataSetScroll:
        DataSetScrolled(AdjustWindow());
        break;
    case deLayoutChange:
        AdjustWindow();
        LayoutChanged();
        break;
    case deUpdateRecord:
        UpdateRecord();
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    default:
        break;
    }
}

namespace dataset {

ActiveRecordGuard::ActiveRecordGuard(TDataLink& link, int row) : link_(link), saved_(link.ActiveRecord())
{
    link_.SetActiveRecord(row);
}

ActiveRecordGuard::~ActiveRecordGuard()
{
    link_.SetActiveRecord(saved_);
}

}  // namespace dataset

// ---------------------------------------------------------------- TFieldDataLink

void TFieldDataLink::SetFieldName(std::string name)
{
    fieldName_ = std::move(name);
    UpdateField();
}

bool TFieldDataLink::CanModify() const
{
    return !ReadOnly() && field_ != nullptr && field_->CanModify();
}

void TFieldDataLink::Reset()
{
    RecordChanged(nullptr);
}

void TFieldDataLink::UpdateField()
{
    TDataSet* ds = DataSet();
    field_ = Active() && ds != nullptr && !fieldName_.empty() ? ds->FindField(fieldName_) : nullptr;
    modified_ = false;
    if (onDataChange_) {
        onDataChange_();
    }
}

void TFieldDataLink::ActiveChanged()
{
    UpdateField();
    if (onActiveChange_) {
        onActiveChange_();
    }
}

void TFieldDataLink::LayoutChanged()
{
    UpdateField();
}

void TFieldDataLink::RecordChanged(TField* field)
{
    if (field == nullptr || field == field_) {
        modified_ = false;
        if (onDataChange_) {
            onDataChange_();
        }
    }
}

void TFieldDataLink::EditingChanged()
{
    if (onEditingChange_) {
        onEditingChange_();
    }
}

void TFieldDataLink::FieldRemoved(TField* field)
{
    if (field == field_) {
        field_ = nullptr;
        modified_ = false;
    }
}

void TFieldDataLink::UpdateData()
{
    if (modified_) {
        if (field_ != nullptr && onUpdateData_) {
            onUpdateData_();
        }
        modified_ = false;
    }
}
