// TDataSet: a window onto the records of a result, with states, fields, the
// editing cycle and the notices to bound controls; TDataSource and TDataLink
// tie a dataset to its controls.
//
// Records. The dataset keeps every record it has read, in order, each with
// its data values, its calculated slots and (with cached updates) the kind of
// its pending change and its image as read. Records are read from the
// subclass's cursor only when navigation or a link's buffer window needs
// them: opening reads one record; a grid showing 20 rows reads 20.
// RecordCount is -1 until the cursor has been read to its end (Last, Append
// or a window reaching the end do that), then the number of records shown.
//
// State. dsInactive (closed), dsBrowse, dsEdit (the current record is being
// changed in place; its values before the edit are kept to cancel), dsInsert
// (an appended record, not yet posted, is current), and the temporary states
// dsCalcFields, dsOldValue, dsNewValue, which are not announced.
//
// Notices. Every change of state, record, field or layout is announced to the
// data sources and through them to their links, unless the controls are
// disabled: DisableControls/EnableControls count, and while the count is above
// 0 nothing is announced; the Enable that brings it to 0 sends one state
// notice (when the state changed meanwhile) and one full refresh (a layout
// change instead when default fields were made anew meanwhile).
//
// Errors carry the dataset's Name as prefix where the messages are marked so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset/component.h"
#include "data/dataset/fields.h"
#include "data/dataset/params.h"

class TDataSource;
class TDataLink;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields, dsOldValue, dsNewValue };
enum TDataEvent {
    deFieldChange,
    deRecordChange,
    deDataSetChange,
    deDataSetScroll,
    deLayoutChange,
    deUpdateRecord,
    deUpdateState,
    deCheckBrowseMode,
};
enum TUpdateKind { ukModify, ukInsert, ukDelete };
enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };

// The fields of a dataset in order.
class TFields {
public:
    [[nodiscard]] int Count() const { return static_cast<int>(list_.size()); }
    [[nodiscard]] TField* operator[](int index) const { return list_.at(index); }
    [[nodiscard]] TField* Fields(int index) const { return list_.at(index); }
    [[nodiscard]] TField* FindField(std::string_view name) const;
    [[nodiscard]] auto begin() const { return list_.begin(); }
    [[nodiscard]] auto end() const { return list_.end(); }

private:
    friend class TDataSet;
    std::vector<TField*> list_;
};

class TDataSet : public TComponent {
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet&)>;

    explicit TDataSet(TComponent* owner = nullptr);
    ~TDataSet() override;

    // --- state
    [[nodiscard]] TDataSetState State() const { return state_; }
    [[nodiscard]] bool Active() const { return state_ != dsInactive; }
    void SetActive(bool active);
    void Open();
    void Close();
    // The current record has been assigned to since edit or insert began.
    [[nodiscard]] bool Modified() const { return modified_; }
    [[nodiscard]] virtual bool CanModify() const { return false; }

    // --- navigation (each first does CheckBrowseMode)
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves by `distance` records; returns how far it moved.
    int MoveBy(int distance);
    [[nodiscard]] bool Eof() const { return eof_; }
    [[nodiscard]] bool Bof() const { return bof_; }
    [[nodiscard]] bool IsEmpty() const;
    // -1 until the cursor has been read to its end.
    [[nodiscard]] int RecordCount() const;
    // The current record's number from 1; 0 when there is none.
    [[nodiscard]] int RecNo() const;

    // --- editing
    void Edit();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    // Posts (when modified) or cancels an edit or insertion in progress,
    // after the controls have written their pending text.
    void CheckBrowseMode();
    // Asks the bound controls to write their pending text into their fields.
    void UpdateRecord();

    // --- fields
    [[nodiscard]] TFields& Fields() { return fields_; }
    [[nodiscard]] const TFields& Fields() const { return fields_; }
    [[nodiscard]] int FieldCount() const { return fields_.Count(); }
    // "Field '%s' not found" (prefixed) when absent.
    [[nodiscard]] TField* FieldByName(std::string_view name) const;
    [[nodiscard]] TField* FindField(std::string_view name) const { return fields_.FindField(name); }
    [[nodiscard]] bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool on) { autoCalcFields_ = on; }

    // --- controls
    void DisableControls();
    void EnableControls();
    [[nodiscard]] bool ControlsDisabled() const { return disableCount_ > 0; }

    // --- events
    void SetBeforeOpen(TDataSetNotifyEvent h) { beforeOpen_ = std::move(h); }
    void SetAfterOpen(TDataSetNotifyEvent h) { afterOpen_ = std::move(h); }
    void SetBeforeClose(TDataSetNotifyEvent h) { beforeClose_ = std::move(h); }
    void SetAfterClose(TDataSetNotifyEvent h) { afterClose_ = std::move(h); }
    void SetBeforeEdit(TDataSetNotifyEvent h) { beforeEdit_ = std::move(h); }
    void SetAfterEdit(TDataSetNotifyEvent h) { afterEdit_ = std::move(h); }
    void SetBeforeInsert(TDataSetNotifyEvent h) { beforeInsert_ = std::move(h); }
    void SetAfterInsert(TDataSetNotifyEvent h) { afterInsert_ = std::move(h); }
    void SetOnNewRecord(TDataSetNotifyEvent h) { onNewRecord_ = std::move(h); }
    void SetBeforePost(TDataSetNotifyEvent h) { beforePost_ = std::move(h); }
    void SetAfterPost(TDataSetNotifyEvent h) { afterPost_ = std::move(h); }
    void SetBeforeCancel(TDataSetNotifyEvent h) { beforeCancel_ = std::move(h); }
    void SetAfterCancel(TDataSetNotifyEvent h) { afterCancel_ = std::move(h); }
    void SetBeforeDelete(TDataSetNotifyEvent h) { beforeDelete_ = std::move(h); }
    void SetAfterDelete(TDataSetNotifyEvent h) { afterDelete_ = std::move(h); }
    void SetAfterScroll(TDataSetNotifyEvent h) { afterScroll_ = std::move(h); }
    void SetOnCalcFields(TDataSetNotifyEvent h) { onCalcFields_ = std::move(h); }

    // The pending change of the current record (usUnmodified without cache).
    [[nodiscard]] TUpdateStatus UpdateStatus() const;

protected:
    struct Record {
        std::vector<dataset::Variant> values;  // data fields by slot
        std::vector<dataset::Variant> calc;    // calculated fields by slot
        std::vector<dataset::Variant> old;     // image as read, while a change is cached
        TUpdateStatus status = usUnmodified;   // kind of the cached change
        bool applied = false;                  // applied, not yet committed
        bool deleted = false;
        std::uint64_t changeOrder = 0;
    };

    // --- for subclasses
    // Runs the statement and binds or creates the fields (data fields get
    // slots by BindDataField order); the dataset is still dsInactive.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() {}
    // Reads the next record of the cursor into `values` (sized to the data
    // slots); false at the end.
    virtual bool InternalFetch(std::vector<dataset::Variant>& values) = 0;
    // Stores a posted record (inserted: an appended one). Throws to refuse.
    virtual void InternalPost(Record& record, bool inserted);
    // Deletes a record; returns true when it stays (marked deleted) in the store.
    virtual bool InternalDelete(Record& record);
    [[nodiscard]] virtual bool CachedUpdatesOn() const { return false; }

    // Field list management for InternalOpen.
    void ClearDefaultFields();
    TField* CreateDefaultField(TFieldType type, const std::string& name, int size, int precision);
    // Gives data fields and calculated fields their slots; checks calculated
    // field classes ("Field '%s' cannot be a calculated or lookup field").
    void AssignSlots();
    static void SetFieldColumn(TField& field, int column) { field.column_ = column; }
    [[nodiscard]] static int FieldColumn(const TField& field) { return field.column_; }
    [[nodiscard]] static int FieldSlot(const TField& field) { return field.slot_; }
    // The record's values when the current edit began.
    [[nodiscard]] const std::vector<dataset::Variant>& EditBackup() const { return editBackup_; }
    [[nodiscard]] static dataset::Variant NormalizeValue(const TField& field, dataset::Variant value)
    {
        return field.Normalize(std::move(value));
    }

    [[noreturn]] void Error(const std::string& message) const;
    void CheckActive() const;
    void CheckInactive() const;
    void CheckCanModify() const;

    // Store access for the cache.
    [[nodiscard]] std::vector<std::unique_ptr<Record>>& Records() { return records_; }
    [[nodiscard]] Record* CurrentRecord() const;
    // Rebuilds the visible list after records were removed or restored,
    // keeps the current position where possible, recomputes and announces.
    void Resync();
    // After the cache dropped or restored records: rebuild, keep the position, Resync.
    void RebuildAfterCacheChange();
    void CalculateFields(Record& record);
    void SetTempState(TDataSetState state) { state_ = state; }
    // Makes `record` the one fields read during an apply (nullptr: none).
    void SetApplyRecord(Record* record) { applyRecord_ = record; }
    void DataEvent(TDataEvent event, TField* field = nullptr);
    void FetchAll();
    // The cursor has been read to its end.
    [[nodiscard]] bool CursorDone() const { return cursorDone_; }
    [[nodiscard]] std::uint64_t NextChangeOrder() { return ++changeCounter_; }
    // Drops an edit or insertion in progress without notices.
    void DiscardPending();

private:
    friend class TField;
    friend class TDataSource;
    friend class TDataLink;

    void SetState(TDataSetState state);
    bool FetchOne();
    // Makes sure records up to index `count - 1` are read, if they exist.
    void FetchTo(int count);
    void MoveTo(int index);
    void CheckRequiredFields();
    // The record that fields read and write now.
    [[nodiscard]] Record* ActiveRecord() const;
    [[nodiscard]] const dataset::Variant& FieldData(const TField& field) const;
    void SetFieldData(TField& field, dataset::Variant value);
    [[nodiscard]] dataset::Variant ImageValue(const TField& field, TDataSetState image) const;
    void RegisterField(TField* field);
    void UnregisterField(TField* field);
    // Tells the links that `field` leaves the dataset.
    void ForgetField(TField* field);
    void RegisterDataSource(TDataSource* source);
    void UnregisterDataSource(TDataSource* source);
    void NotifyLinks(TDataEvent event, TField* field);
    void AdjustLinkWindows(bool scroll);
    void RebuildView();
    void AfterScrolled(int oldIndex);
    void CloseCursor();

    TFields fields_;
    int dataSlots_ = 0;
    int calcSlots_ = 0;
    TDataSetState state_ = dsInactive;
    std::vector<std::unique_ptr<Record>> records_;  // every record read or appended
    std::vector<Record*> view_;                     // records shown (not deleted)
    int current_ = -1;                              // index into view_
    bool eof_ = true;
    bool bof_ = true;
    bool cursorDone_ = true;
    bool modified_ = false;
    bool autoCalcFields_ = true;
    std::vector<dataset::Variant> editBackup_;
    Record* calcRecord_ = nullptr;
    Record* applyRecord_ = nullptr;
    int activeOverride_ = -1;  // view index made active by a link, or -1
    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    // Bumped when default fields come or go; the last EnableControls then
    // announces a layout change, so links find their (new) fields again.
    int layoutVersion_ = 0;
    int disableLayout_ = 0;
    std::uint64_t changeCounter_ = 0;
    std::vector<TDataSource*> dataSources_;

    TDataSetNotifyEvent beforeOpen_, afterOpen_, beforeClose_, afterClose_, beforeEdit_, afterEdit_,
        beforeInsert_, afterInsert_, onNewRecord_, beforePost_, afterPost_, beforeCancel_, afterCancel_,
        beforeDelete_, afterDelete_, afterScroll_, onCalcFields_;
};

// Ties one dataset to its bound controls. With AutoEdit on (the default) a
// control beginning a change puts a browsing dataset into edit state.
class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner = nullptr);
    ~TDataSource() override;

    [[nodiscard]] TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    [[nodiscard]] bool AutoEdit() const { return autoEdit_; }
    void SetAutoEdit(bool on) { autoEdit_ = on; }
    [[nodiscard]] bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    [[nodiscard]] TDataSetState State() const { return dataSet_ && enabled_ ? dataSet_->State() : dsInactive; }
    // Edit() of the dataset when AutoEdit is on and it browses.
    void Edit();

    void SetOnStateChange(std::function<void(TDataSource&)> h) { onStateChange_ = std::move(h); }
    void SetOnDataChange(std::function<void(TDataSource&, TField*)> h) { onDataChange_ = std::move(h); }
    void SetOnUpdateData(std::function<void(TDataSource&)> h) { onUpdateData_ = std::move(h); }

    [[nodiscard]] int LinkCount() const { return static_cast<int>(links_.size()); }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TDataSet;
    friend class TDataLink;

    void DataEvent(TDataEvent event, TField* field);
    void StateChanged();

    TDataSet* dataSet_ = nullptr;
    bool autoEdit_ = true;
    bool enabled_ = true;
    TDataSetState lastState_ = dsInactive;
    std::vector<TDataLink*> links_;
    std::function<void(TDataSource&)> onStateChange_;
    std::function<void(TDataSource&, TField*)> onDataChange_;
    std::function<void(TDataSource&)> onUpdateData_;
};

// What a bound control listens through. A link sees a window of BufferCount
// records (1 by default) that always holds the current record; a grid sets
// BufferCount to its visible rows, paints row i with SetActiveRecord(i) (fields
// then read that record) and restores it, best with ActiveRecordGuard.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    [[nodiscard]] TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    [[nodiscard]] TDataSet* DataSet() const;
    [[nodiscard]] bool Active() const { return active_; }
    // The dataset is in edit or insert state.
    [[nodiscard]] bool Editing() const { return editing_; }
    [[nodiscard]] bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);

    [[nodiscard]] int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int count);
    // Records in the window (reads them from the cursor as needed).
    [[nodiscard]] int RecordCount() const;
    // The window row of the current record, or the one made active.
    [[nodiscard]] int ActiveRecord() const;
    void SetActiveRecord(int row);

    // Puts the dataset into edit state through the data source's AutoEdit
    // (not when ReadOnly); true when the dataset then edits or inserts.
    bool Edit();
    // Asks the control to write its pending text (UpdateData).
    void UpdateRecord();
    // Moves the dataset's current record.
    int MoveBy(int distance);

protected:
    virtual void ActiveChanged() {}
    // Full refresh: records, their order or their values changed.
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    // The current record moved; the window moved `distance` rows.
    virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
    // `field` (nullptr: several) of the current record changed.
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void EditingChanged() {}
    virtual void LayoutChanged() { DataSetChanged(); }
    // Write pending text into the field(s).
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}
    // `field` leaves the dataset and may be freed (heard even while the
    // controls are disabled): drop every reference to it.
    virtual void FieldRemoved(TField* /*field*/) {}

private:
    friend class TDataSource;
    friend class TDataSet;

    void DataEvent(TDataEvent event, TField* field);
    void UpdateState();
    // Keeps the current record inside the window; returns how far the window moved.
    int AdjustWindow();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
    int first_ = 0;  // view index of window row 0
};

namespace dataset {

// Makes a window row active for its lifetime (a grid painting that row).
class ActiveRecordGuard {
public:
    ActiveRecordGuard(TDataLink& link, int row);
    ~ActiveRecordGuard();
    ActiveRecordGuard(const ActiveRecordGuard&) = delete;
    ActiveRecordGuard& operator=(const ActiveRecordGuard&) = delete;

private:
    TDataLink& link_;
    int saved_;
};

}  // namespace dataset

// A link to one field, for single-field controls (edits, lists). Before the
// user's change reaches its text the control calls Edit() (it fails or returns
// false when the field cannot be changed), then MarkModified(); it writes its
// text into the field in the OnUpdateData handler, which runs on post, on the
// browse-mode check and on UpdateRecord() (call it as the focus leaves), only
// while the link is modified. Edit() and every record notice clear the
// modified mark, so call MarkModified() after Edit(). Reset() re-shows the field.
class TFieldDataLink : public TDataLink {
public:
    [[nodiscard]] const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(std::string name);
    [[nodiscard]] TField* Field() const { return field_; }
    // The link is not read-only, the field exists and can be modified.
    [[nodiscard]] bool CanModify() const;
    [[nodiscard]] bool IsModified() const { return modified_; }
    void MarkModified() { modified_ = true; }
    void Reset();

    void SetOnDataChange(std::function<void()> h) { onDataChange_ = std::move(h); }
    void SetOnEditingChange(std::function<void()> h) { onEditingChange_ = std::move(h); }
    void SetOnUpdateData(std::function<void()> h) { onUpdateData_ = std::move(h); }
    void SetOnActiveChange(std::function<void()> h) { onActiveChange_ = std::move(h); }

protected:
    void ActiveChanged() override;
    void RecordChanged(TField* field) override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void UpdateData() override;
    void FieldRemoved(TField* field) override;

private:
    void UpdateField();

    std::string fieldName_;
    TField* field_ = nullptr;
    bool modified_ = false;
    std::function<void()> onDataChange_, onEditingChange_, onUpdateData_, onActiveChange_;
};
