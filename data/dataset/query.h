// Datasets over the engine: TEngineDataSet (engine cursor, the cache of
// changes), TDBDataSet (the connection by DatabaseName), TQuery (SQL text,
// parameters, prepare, execute) and TUpdateSQL (the statements that apply a
// cache).
//
// The cache (CachedUpdates on): posting and deleting keep one entry per
// changed record, with its kind, its image as read and its present values;
// the database is not touched. Repeated changes of a record merge: an
// insertion changed again stays one insertion with the latest values, several
// modifications stay one with the image as first read, a deleted insertion
// leaves nothing. ApplyUpdates posts an edit in progress, then hands each
// entry not yet applied, in the order of first change, to the update object;
// a failing change is shown in the error box at once and apply ends with the
// silent abort, every entry kept. CommitUpdates makes the present values of
// the applied entries the records' plain values (an entry not yet applied
// stays pending); CancelUpdates returns every record to its image as
// read (inserted ones disappear, deleted ones come back).
//
// A TQuery can be edited only with CachedUpdates on and an update object.
//
// Reading: a row the engine cannot read (a value it cannot convert, a failed
// fetch) raises EDBEngineError and leaves the dataset as it was, the rows read
// before and the current record kept. The next read tries that row again; a
// failed fetch fails again on every read until the query is closed, so a list
// is never taken for complete when it is not.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "data/dataset/dataset.h"
#include "data/dataset/params.h"
#include "platform/engine/engine.h"

class TDatabase;
class TUpdateSQL;

enum TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };

class TEngineDataSet : public TDataSet {
public:
    explicit TEngineDataSet(TComponent* owner = nullptr);
    ~TEngineDataSet() override;

    [[nodiscard]] bool CachedUpdates() const { return cachedUpdates_; }
    // Only while closed; turning it off drops the cache.
    void SetCachedUpdates(bool on);
    [[nodiscard]] TUpdateSQL* UpdateObject() const { return updateObject_; }
    // Attaching detaches the update object from the dataset it served before.
    void SetUpdateObject(TUpdateSQL* updateObject);

    void ApplyUpdates();
    void CommitUpdates();
    void CancelUpdates();
    [[nodiscard]] bool UpdatesPending() const;

    [[nodiscard]] bool CanModify() const override;

    // Records read from the engine cursor since the last open (for tests and
    // benchmarks of lazy reading).
    [[nodiscard]] std::int64_t EngineFetchCount() const { return fetchCount_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;
    void InternalPost(Record& record, bool inserted) override;
    bool InternalDelete(Record& record) override;
    [[nodiscard]] bool CachedUpdatesOn() const override { return cachedUpdates_ && Active(); }
    bool InternalFetch(std::vector<dataset::Variant>& values) override;
    void InternalClose() override;
    // Reads the result's columns and binds the persistent fields to them, or
    // creates default fields when there are none.
    void BindFields(const std::vector<hisdb::ColumnDesc>& columns);
    void SetCursor(hisdb::Statement* cursor) { cursor_ = cursor; }

private:
    friend class TUpdateSQL;
    void CheckCachedUpdates() const;
    void ApplyRecord(Record& record);

    bool cachedUpdates_ = false;
    TUpdateSQL* updateObject_ = nullptr;
    hisdb::Statement* cursor_ = nullptr;  // the owning statement lives in TQuery
    std::int64_t fetchCount_ = 0;
    bool rowHeld_ = false;                          // fetched, not yet read whole
    std::optional<hisdb::EngineError> fetchError_;  // the cursor's failure, raised again on every read

};

class TDBDataSet : public TEngineDataSet {
public:
    explicit TDBDataSet(TComponent* owner = nullptr);
    ~TDBDataSet() override;

    [[nodiscard]] const std::string& DatabaseName() const { return databaseName_; }
    // Only while closed; a prepared query is unprepared and released by the
    // connection it was prepared on.
    void SetDatabaseName(std::string name);
    [[nodiscard]] const std::string& SessionName() const { return sessionName_; }
    void SetSessionName(std::string name);
    [[nodiscard]] TUpdateMode UpdateMode() const { return updateMode_; }
    void SetUpdateMode(TUpdateMode mode) { updateMode_ = mode; }
    // The connection while registered with it, else nullptr.
    [[nodiscard]] TDatabase* Database() const { return database_; }

protected:
    // Finds the database by name, connects it, registers; returns the connection.
    hisdb::Connection& OpenDatabase();
    // Releases the database when closed and not prepared.
    void CloseDatabase();
    // Called by the database when it disconnects.
    virtual void DatabaseClosing();

private:
    friend class TDatabase;
    std::string databaseName_;
    std::string sessionName_ = "Default";
    TUpdateMode updateMode_ = upWhereAll;
    TDatabase* database_ = nullptr;
};

class TQuery : public TDBDataSet {
public:
    explicit TQuery(TComponent* owner = nullptr);
    ~TQuery() override;

    // Changing the lines closes the query, unprepares it and parses the
    // parameters again (values kept by name).
    [[nodiscard]] TStrings& SQL() { return sql_; }
    // The text sent to the engine (markers replaced by '?').
    [[nodiscard]] const std::string& Text() const { return text_; }
    [[nodiscard]] bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool on) { paramCheck_ = on; }
    // Kept for the form data: the engine's results are read-only either way.
    [[nodiscard]] bool RequestLive() const { return requestLive_; }
    void SetRequestLive(bool on) { requestLive_ = on; }

    // Opening and executing bind the parameters by position; a list that does
    // not match the statement's markers one for one raises EDatabaseError
    // (a '?' typed outside a literal, ParamCheck off with markers, ...).
    [[nodiscard]] TParams& Params() { return params_; }
    [[nodiscard]] int ParamCount() const { return params_.Count(); }
    // "Parameter '%s' not found" (prefixed).
    [[nodiscard]] TParam& ParamByName(std::string_view name);

    // Prepares now (connects first); stays prepared until the text changes,
    // UnPrepare or the database disconnects. Not on an open query.
    void Prepare();
    void UnPrepare();
    [[nodiscard]] bool Prepared() const { return prepared_; }
    void SetPrepared(bool on) { on ? Prepare() : UnPrepare(); }

    // Runs a statement without result (the query must be closed). An
    // unprepared query is unprepared again afterwards.
    void ExecSQL();
    // Rows affected by the last ExecSQL; -1 when the engine cannot tell.
    [[nodiscard]] std::int64_t RowsAffected() const { return rowsAffected_; }

protected:
    void InternalOpen() override;
    void InternalClose() override;
    void DatabaseClosing() override;

private:
    void SqlChanged();
    void PrepareStatement();
    void BindParams();

    TStrings sql_;
    std::string text_;
    bool paramCheck_ = true;
    bool requestLive_ = false;
    TParams params_;
    // A cursor closed before its end holds the engine's read; its statement is
    // then dropped and made again on the next use, the query staying prepared.
    std::unique_ptr<hisdb::Statement> statement_;
    bool prepared_ = false;
    std::int64_t rowsAffected_ = -1;
};

// The three statements that apply a cache of changes. Parameters named like a
// field take the record's present value, "OLD_<field>" (any case) its value as
// read; a parameter naming no field keeps its value. Each kind's statement
// runs through an internal query, created on first use with the dataset's
// DatabaseName and SessionName and kept prepared. It must affect exactly one
// row, else "Update failed".
class TUpdateSQL : public TComponent {
public:
    explicit TUpdateSQL(TComponent* owner = nullptr);
    ~TUpdateSQL() override;

    [[nodiscard]] TStrings& ModifySQL() { return sql_[ukModify]; }
    [[nodiscard]] TStrings& InsertSQL() { return sql_[ukInsert]; }
    [[nodiscard]] TStrings& DeleteSQL() { return sql_[ukDelete]; }
    [[nodiscard]] TStrings& SQL(TUpdateKind kind) { return sql_[kind]; }

    [[nodiscard]] TEngineDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TEngineDataSet* dataSet);
    // The internal query of that kind (created on first use).
    [[nodiscard]] TQuery& Query(TUpdateKind kind);

    // Binds the parameters from the dataset's record being applied.
    void SetParams(TUpdateKind kind);
    // Runs the statement; "Update failed" unless exactly one row changed.
    void ExecSQL(TUpdateKind kind);
    // SetParams and ExecSQL.
    void Apply(TUpdateKind kind);

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TEngineDataSet;
    std::array<TStrings, 3> sql_;
    std::array<TQuery*, 3> queries_{};
    TEngineDataSet* dataSet_ = nullptr;
};
