// TDataSource, TDataLink and TFieldDataLink: what ties a dataset to its
// controls, the buffer window of records a link shows and the one field a
// bound control edits. The contract is in dataset.h.

#include "data/dataset/dataset.h"

#include <algorithm>

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
