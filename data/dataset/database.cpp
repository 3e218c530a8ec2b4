#include "data/dataset/database.h"

#include <algorithm>

#include "data/dataset/db_errors.h"
#include "data/dataset/query.h"

namespace {

std::vector<TDatabase*>& SessionList()
{
    static std::vector<TDatabase*> list;
    return list;
}

}  // namespace

TDatabase::TDatabase(TComponent* owner) : TComponent(owner)
{
    SessionList().push_back(this);
}

TDatabase::~TDatabase()
{
    Close();
    auto& list = SessionList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

TDatabase* TDatabase::Find(std::string_view databaseName, std::string_view sessionName)
{
    if (databaseName.empty()) {
        return nullptr;
    }
    const std::string_view session = sessionName.empty() ? std::string_view("Default") : sessionName;
    for (TDatabase* db : SessionList()) {
        if (dataset::SameText(db->DatabaseName(), databaseName) && dataset::SameText(db->SessionName(), session)) {
            return db;
        }
    }
    return nullptr;
}

void TDatabase::SetAliasName(std::string alias)
{
    if (Connected()) {
        dataset::DatabaseError("Cannot perform this operation on an open database", this);
    }
    aliasName_ = std::move(alias);
}

void TDatabase::SetDatabaseName(std::string name)
{
    if (Connected()) {
        dataset::DatabaseError("Cannot perform this operation on an open database", this);
    }
    databaseName_ = std::move(name);
}

void TDatabase::SetSessionName(std::string name)
{
    if (Connected()) {
        dataset::DatabaseError("Cannot perform this operation on an open database", this);
    }
    sessionName_ = name.empty() ? std::string("Default") : std::move(name);
}

void TDatabase::Open()
{
    if (Connected()) {
        return;
    }
    try {
        connection_ = hisdb::Connect(aliasName_, params_.Values("USER NAME"), params_.Values("PASSWORD"));
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
}

void TDatabase::Close()
{
    for (TDBDataSet* dataSet : std::vector<TDBDataSet*>(dataSets_)) {
        dataSet->DatabaseClosing();
    }
    dataSets_.clear();
    connection_.reset();
}

void TDatabase::StartTransaction(std::string_view lockedTable)
{
    hisdb::Connection& connection = Handle();
    if (connection.InTransaction()) {
        dataset::DatabaseError("Transaction already active", this);
    }
    try {
        connection.StartTransaction(lockedTable);
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
}

void TDatabase::Commit()
{
    if (!InTransaction()) {
        dataset::DatabaseError("No transaction active", this);
    }
    try {
        connection_->Commit();
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
}

void TDatabase::Rollback()
{
    if (!InTransaction()) {
        dataset::DatabaseError("No transaction active", this);
    }
    try {
        connection_->Rollback();
    } catch (const hisdb::EngineError& error) {
        dataset::RaiseEngineError(error);
    }
}

hisdb::Connection& TDatabase::Handle()
{
    Open();
    return *connection_;
}

void TDatabase::RegisterDataSet(TDBDataSet* dataSet)
{
    if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end()) {
        dataSets_.push_back(dataSet);
    }
}

void TDatabase::UnregisterDataSet(TDBDataSet* dataSet)
{
    dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), dataSet), dataSets_.end());
    if (!keepConnection_ && dataSets_.empty()) {
        connection_.reset();
    }
}

namespace dataset {

DatabaseTransaction::DatabaseTransaction(TDatabase& database, std::string_view lockedTable) : database_(database)
{
    database_.StartTransaction(lockedTable);
}

DatabaseTransaction::~DatabaseTransaction()
{
    if (!active_ || !database_.InTransaction()) {
        return;
    }
    try {
        database_.Rollback();
    } catch (...) { // NOLINT(bugprone-empty-catch): a destructor must not throw
    }
}

void DatabaseTransaction::Commit()
{
    database_.Commit();
    active_ = false;
}

} // namespace dataset
