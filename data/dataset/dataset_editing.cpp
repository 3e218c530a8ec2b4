// TDataSet's editing cycle (Edit, Append, Post, Cancel, Delete, the cache's
// update status) and its notices to the data sources. The rest of TDataSet
// is in dataset.cpp. The contract is in dataset.h.

#include "data/dataset/dataset.h"

#include <algorithm>

#include "data/dataset/dataset_internal.h"
#include "data/dataset/db_errors.h"

using dataset::Variant;
using dataset::detail::IsEditMode;

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
