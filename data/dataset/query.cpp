#include "data/dataset/query.h"

#include <algorithm>

#include "data/dataset/database.h"
#include "data/dataset/db_errors.h"

using dataset::Variant;

namespace {

enum class TypeGroup { Text, Integer, Float, Decimal, DateTime, Boolean, Other };

TypeGroup GroupOf(TFieldType type)
{
    switch (type) {
    case ftString:
    case ftFixedChar:
        return TypeGroup::Text;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
        return TypeGroup::Integer;
    case ftFloat:
    case ftCurrency:
        return TypeGroup::Float;
    case ftBCD:
        return TypeGroup::Decimal;
    case ftDate:
    case ftTime:
    case ftDateTime:
        return TypeGroup::DateTime;
    case ftBoolean:
        return TypeGroup::Boolean;
    default:
        return TypeGroup::Other;
    }
}

}  // namespace

// ---------------------------------------------------------------- TEngineDataSet

TEngineDataSet::TEngineDataSet(TComponent* owner) : TDataSet(owner) {}

TEngineDataSet::~TEngineDataSet()
{
    if (updateObject_ != nullptr) {
        updateObject_->dataSet_ = nullptr;
        RemoveFreeNotification(updateObject_);
        updateObject_ = nullptr;
    }
}

void TEngineDataSet::SetCachedUpdates(bool on)
{
    if (on == cachedUpdates_) {
        return;
    }
    CheckInactive();
    cachedUpdates_ = on;
}

void TEngineDataSet::SetUpdateObject(TUpdateSQL* updateObject)
{
    if (updateObject == updateObject_) {
        return;
    }
    if (updateObject_ != nullptr) {
        updateObject_->dataSet_ = nullptr;
        RemoveFreeNotification(updateObject_);
    }
    updateObject_ = nullptr;
    if (updateObject != nullptr) {
        updateObject->SetDataSet(this);
    }
}

void TEngineDataSet::Notification(TComponent* component, TOperation operation)
{
    TDataSet::Notification(component, operation);
    if (operation == opRemove && component == updateObject_) {
        updateObject_ = nullptr;
    }
}

bool TEngineDataSet::CanModify() const
{
    return Active() && cachedUpdates_ && updateObject_ != nullptr;
}

void TEngineDataSet::CheckCachedUpdates() const
{
    if (!cachedUpdates_) {
        Error("Not in cached update mode");
    }
}

bool TEngineDataSet::InternalFetch(std::vector<Variant>& values)
{
    if (cursor_ == nullptr) {
        return false;
    }
    // A cursor that failed cannot be trusted to say where it stands (SQLite's
    // answers "no more rows" after an error): every later read fails alike,
    // so a list is never taken for complete.
    if (fetchError_) {
        dataset::RaiseEngineError(*fetchError_);
    }
    if (!rowHeld_) {
        try {
            if (!cursor_->Fetch()) {
                return false;
            }
        } catch (const hisdb::EngineError& error) {
            fetchError_ = error;
            dataset::RaiseEngineError(error);
        }
        ++fetchCount_;
        rowHeld_ = true;
    }
    // The row stays held until every value is read: a value the engine cannot
    // read (a date text it cannot parse) fails the same row again on the next
    // try instead of letting the list go on without it.
    try {
        for (TField* field : Fields()) {
            const int column = FieldColumn(*field);
            if (field->FieldKind() != fkData || column < 0) {
                continue;
            }
            values[static_cast<std::size_t>(FieldSlot(*field))] = NormalizeValue(*field, cursor_->Get(column));
        }
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
    rowHeld_ = false;
    return true;
}

void TEngineDataSet::InternalClose()
{
    cursor_ = nullptr;
    rowHeld_ = false;
    fetchError_.reset();
}

void TEngineDataSet::BindFields(const std::vector<hisdb::ColumnDesc>& columns)
{
    fetchCount_ = 0;
    rowHeld_ = false;
    fetchError_.reset();
    if (Fields().Count() == 0) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const auto& column = columns[i];
            const TFieldType type = dataset::FieldTypeOf(column.type);
            TField* field = CreateDefaultField(type, column.name, type == ftBCD ? column.scale : column.width,
                                               column.width);
            SetFieldColumn(*field, static_cast<int>(i));
        }
        AssignSlots();
        return;
    }
    for (TField* field : Fields()) {
        if (field->FieldKind() != fkData) {
            continue;
        }
        int found = -1;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (dataset::SameText(columns[i].name, field->FieldName())) {
                found = static_cast<int>(i);
                break;
            }
        }
        if (found < 0) {
            Error(dataset::FormatText("Field '%s' not found", field->FieldName().c_str()));
        }
        const auto& column = columns[static_cast<std::size_t>(found)];
        const TFieldType columnType = dataset::FieldTypeOf(column.type);
        if (GroupOf(field->DataType()) != GroupOf(columnType) || GroupOf(columnType) == TypeGroup::Other) {
            Error(dataset::FormatText("Type mismatch for field '%s', expecting: %s actual: %s",
                                      field->DisplayName().c_str(),
                                      std::string(dataset::FieldTypeName(field->DataType())).c_str(),
                                      std::string(dataset::FieldTypeName(columnType)).c_str()));
        }
        if (field->DataType() == ftBCD && field->Size() != column.scale) {
            Error(dataset::FormatText("Size mismatch for field '%s', expecting: %d actual: %d",
                                      field->DisplayName().c_str(), field->Size(), column.scale));
        }
        SetFieldColumn(*field, found);
    }
    AssignSlots();
}

void TEngineDataSet::InternalPost(Record& record, bool inserted)
{
    if (!cachedUpdates_) {
        Error("Cannot modify a read-only dataset");
    }
    if (inserted) {
        record.status = usInserted;
        record.old.clear();
        record.applied = false;
        record.changeOrder = NextChangeOrder();
        return;
    }
    switch (record.status) {
    case usUnmodified:
        record.status = usModified;
        record.old = EditBackup();
        record.changeOrder = NextChangeOrder();
        break;
    case usModified:
    case usInserted:
        if (record.applied) {
            // The database now holds the applied values: they are the new old image.
            record.status = usModified;
            record.old = EditBackup();
            record.applied = false;
            record.changeOrder = NextChangeOrder();
        }
        break;
    case usDeleted:
        break;
    }
}

bool TEngineDataSet::InternalDelete(Record& record)
{
    if (!cachedUpdates_) {
        Error("Cannot modify a read-only dataset");
    }
    if (record.status == usInserted && !record.applied) {
        return false;
    }
    if (record.status == usUnmodified || record.applied) {
        record.old = record.values;
    }
    if (record.status == usUnmodified || record.applied) {
        record.changeOrder = NextChangeOrder();
    }
    record.status = usDeleted;
    record.applied = false;
    return true;
}

bool TEngineDataSet::UpdatesPending() const
{
    if (!Active() || !cachedUpdates_) {
        return false;
    }
    for (const auto& record : const_cast<TEngineDataSet*>(this)->Records()) {
        if (record->status != usUnmodified && record->changeOrder != 0) {
            return true;
        }
    }
    return false;
}

void TEngineDataSet::ApplyRecord(Record& record)
{
    if (updateObject_ == nullptr) {
        Error("Cannot modify a read-only dataset");
    }
    const TUpdateKind kind =
        record.status == usInserted ? ukInsert : record.status == usDeleted ? ukDelete : ukModify;
    SetApplyRecord(&record);
    try {
        updateObject_->Apply(kind);
    } catch (...) {
        SetApplyRecord(nullptr);
        throw;
    }
    SetApplyRecord(nullptr);
}

void TEngineDataSet::ApplyUpdates()
{
    CheckActive();
    CheckCachedUpdates();
    if (State() != dsBrowse) {
        Post();
    }
    // An unfinished cursor keeps the engine's read open (SQLite holds its
    // snapshot), and writing on the same connection after another one has
    // written would fail: finish it first. Cached datasets are small.
    FetchAll();
    std::vector<Record*> pending;
    for (const auto& record : Records()) {
        if (record->status != usUnmodified && record->changeOrder != 0 && !record->applied) {
            pending.push_back(record.get());
        }
    }
    std::stable_sort(pending.begin(), pending.end(),
                     [](const Record* a, const Record* b) { return a->changeOrder < b->changeOrder; });
    for (Record* record : pending) {
        try {
            ApplyRecord(*record);
        } catch (const EAbort&) {
            throw;
        } catch (const std::exception& error) {
            dataset::ShowErrorBox(error.what());
            dataset::Abort();
        }
        record->applied = true;
    }
}

void TEngineDataSet::CommitUpdates()
{
    CheckActive();
    CheckCachedUpdates();
    // Only what has reached the database is made plain: a change not yet
    // applied (none was tried, or the apply stopped before it) stays pending,
    // else it would be dropped without ever being written.
    auto& records = Records();
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const auto& r) { return r->deleted && r->changeOrder != 0 && r->applied; }),
                  records.end());
    for (auto& record : records) {
        if (record->changeOrder == 0 || !record->applied) {
            continue;  // an insertion still being made, or a change not yet applied
        }
        record->status = usUnmodified;
        record->old.clear();
        record->applied = false;
        record->changeOrder = 0;
    }
    RebuildAfterCacheChange();
}

void TEngineDataSet::CancelUpdates()
{
    CheckActive();
    CheckCachedUpdates();
    Cancel();
    auto& records = Records();
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [](const auto& r) { return r->status == usInserted; }),
                  records.end());
    for (auto& record : records) {
        if (record->status == usUnmodified) {
            continue;
        }
        record->values = record->old;
        record->old.clear();
        record->deleted = false;
        record->status = usUnmodified;
        record->applied = false;
        record->changeOrder = 0;
        CalculateFields(*record);
    }
    RebuildAfterCacheChange();
}

// ---------------------------------------------------------------- TDBDataSet

TDBDataSet::TDBDataSet(TComponent* owner) : TEngineDataSet(owner) {}

TDBDataSet::~TDBDataSet()
{
    if (database_ != nullptr) {
        database_->UnregisterDataSet(this);
        database_ = nullptr;
    }
}

void TDBDataSet::SetDatabaseName(std::string name)
{
    if (name == databaseName_) {
        return;
    }
    CheckInactive();
    if (database_ != nullptr) {
        DatabaseClosing();
    }
    databaseName_ = std::move(name);
}

void TDBDataSet::SetSessionName(std::string name)
{
    if (name == sessionName_) {
        return;
    }
    CheckInactive();
    if (database_ != nullptr) {
        DatabaseClosing();
    }
    sessionName_ = std::move(name);
}

hisdb::Connection& TDBDataSet::OpenDatabase()
{
    if (database_ == nullptr) {
        TDatabase* db = TDatabase::Find(databaseName_, sessionName_);
        if (db == nullptr) {
            Error(dataset::FormatText("Database '%s' not found", databaseName_.c_str()));
        }
        hisdb::Connection& connection = db->Handle();
        db->RegisterDataSet(this);
        database_ = db;
        return connection;
    }
    return database_->Handle();
}

void TDBDataSet::CloseDatabase()
{
    if (database_ != nullptr) {
        database_->UnregisterDataSet(this);
        database_ = nullptr;
    }
}

void TDBDataSet::DatabaseClosing()
{
    Close();
    CloseDatabase();
}

// ---------------------------------------------------------------- TQuery

TQuery::TQuery(TComponent* owner) : TDBDataSet(owner)
{
    sql_.SetOnChange([this] { SqlChanged(); });
}

TQuery::~TQuery()
{
    Close();
    statement_.reset();
    CloseDatabase();
}

void TQuery::SqlChanged()
{
    Close();
    UnPrepare();
    text_ = sql_.Text();
    if (!paramCheck_) {
        return;
    }
    auto parsed = dataset::ParseSqlParams(text_);
    text_ = std::move(parsed.text);
    TParams fresh;
    for (auto& name : parsed.names) {
        fresh.Add(std::move(name));
    }
    fresh.AssignValues(params_);
    params_ = std::move(fresh);
}

TParam& TQuery::ParamByName(std::string_view name)
{
    TParam* param = params_.FindParam(name);
    if (param == nullptr) {
        Error(dataset::FormatText("Parameter '%.*s' not found", static_cast<int>(name.size()), name.data()));
    }
    return *param;
}

void TQuery::Prepare()
{
    CheckInactive();
    if (prepared_) {
        return;
    }
    PrepareStatement();
}

void TQuery::PrepareStatement()
{
    if (sql_.Count() == 0) {
        Error("No SQL statement available");
    }
    hisdb::Connection& connection = OpenDatabase();
    try {
        if (text_.size() < 2) {
            Error("No SQL statement available");
        }
        statement_ = connection.Prepare(text_);
        prepared_ = true;
    } catch (const hisdb::EngineError& error) {
        if (!Active() && !prepared_) {
            CloseDatabase();
        }
        dataset::RaiseEngineError(error);
    } catch (...) {
        if (!Active() && !prepared_) {
            CloseDatabase();
        }
        throw;
    }
}

void TQuery::UnPrepare()
{
    Close();
    statement_.reset();
    prepared_ = false;
    CloseDatabase();
}

void TQuery::BindParams()
{
    // Binding is by position: with one marker more or less on either side
    // every later value would land in the wrong place.
    const int count = statement_->ParamCount();
    if (params_.Count() != count) {
        Error(dataset::FormatText("Parameter count mismatch: %d parameters for the %d markers of the statement",
                                  params_.Count(), count));
    }
    try {
        for (int i = 0; i < count; ++i) {
            statement_->Bind(i, params_[i].Value());
        }
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
}

void TQuery::InternalOpen()
{
    if (sql_.Count() == 0) {
        Error("No SQL statement available");
    }
    if (!statement_) {
        PrepareStatement();
    }
    BindParams();
    try {
        statement_->Execute();
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
    if (!statement_->HasResult()) {
        dataset::DatabaseError("Error creating cursor handle");
    }
    BindFields(statement_->Columns());
    SetCursor(statement_.get());
}

void TQuery::InternalClose()
{
    TEngineDataSet::InternalClose();
    if (!CursorDone()) {
        statement_.reset();
    }
    if (!prepared_) {
        CloseDatabase();
    }
}

void TQuery::DatabaseClosing()
{
    Close();
    statement_.reset();
    prepared_ = false;
    CloseDatabase();
}

void TQuery::ExecSQL()
{
    CheckInactive();
    const bool wasPrepared = Prepared();
    if (!statement_) {
        PrepareStatement();
    }
    try {
        BindParams();
        statement_->Execute();
        rowsAffected_ = statement_->RowsAffected();
    } catch (const hisdb::EngineError& error) {
        if (!wasPrepared) {
            UnPrepare();
        }
        dataset::RaiseEngineError(error);
    } catch (...) {
        if (!wasPrepared) {
            UnPrepare();
        }
        throw;
    }
    if (!wasPrepared) {
        UnPrepare();
    }
}

// ---------------------------------------------------------------- TUpdateSQL

TUpdateSQL::TUpdateSQL(TComponent* owner) : TComponent(owner)
{
    for (int kind = ukModify; kind <= ukDelete; ++kind) {
        sql_[static_cast<std::size_t>(kind)].SetOnChange([this, kind] {
            if (TQuery* query = queries_[static_cast<std::size_t>(kind)]) {
                query->SQL() = sql_[static_cast<std::size_t>(kind)];
            }
        });
    }
}

TUpdateSQL::~TUpdateSQL()
{
    if (dataSet_ != nullptr) {
        dataSet_->updateObject_ = nullptr;
        RemoveFreeNotification(dataSet_);
        dataSet_ = nullptr;
    }
}

void TUpdateSQL::SetDataSet(TEngineDataSet* dataSet)
{
    if (dataSet == dataSet_) {
        if (dataSet != nullptr) {
            dataSet->updateObject_ = this;
        }
        return;
    }
    if (dataSet_ != nullptr) {
        dataSet_->updateObject_ = nullptr;
        RemoveFreeNotification(dataSet_);
    }
    dataSet_ = dataSet;
    if (dataSet_ != nullptr) {
        if (dataSet_->updateObject_ != nullptr && dataSet_->updateObject_ != this) {
            dataSet_->updateObject_->dataSet_ = nullptr;
        }
        dataSet_->updateObject_ = this;
        FreeNotification(dataSet_);
    }
    for (TQuery* query : queries_) {
        if (query != nullptr) {
            query->UnPrepare();
        }
    }
}

void TUpdateSQL::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == dataSet_) {
        dataSet_ = nullptr;
    }
}

TQuery& TUpdateSQL::Query(TUpdateKind kind)
{
    TQuery*& query = queries_[static_cast<std::size_t>(kind)];
    if (query == nullptr) {
        query = new TQuery(this);
        query->SQL() = sql_[static_cast<std::size_t>(kind)];
    }
    if (auto* db = dynamic_cast<TDBDataSet*>(dataSet_)) {
        if (!dataset::SameText(query->DatabaseName(), db->DatabaseName()) ||
            !dataset::SameText(query->SessionName(), db->SessionName())) {
            query->UnPrepare();
            query->SetDatabaseName(db->DatabaseName());
            query->SetSessionName(db->SessionName());
        }
    }
    return *query;
}

void TUpdateSQL::SetParams(TUpdateKind kind)
{
    if (dataSet_ == nullptr) {
        return;
    }
    TQuery& query = Query(kind);
    for (TParam& param : query.Params()) {
        std::string_view name = param.Name();
        const bool old = dataset::StartsWithText(name, "OLD_");
        if (old) {
            name.remove_prefix(4);
        }
        TField* field = dataSet_->FindField(name);
        if (field == nullptr) {
            continue;
        }
        param.SetDataType(field->DataType());
        param.SetValue(old ? field->OldValue() : field->NewValue());
    }
}

void TUpdateSQL::ExecSQL(TUpdateKind kind)
{
    TQuery& query = Query(kind);
    if (!query.Prepared()) {
        query.Prepare();
    }
    query.ExecSQL();
    if (query.RowsAffected() != 1) {
        dataset::DatabaseError("Update failed");
    }
}

void TUpdateSQL::Apply(TUpdateKind kind)
{
    SetParams(kind);
    ExecSQL(kind);
}
