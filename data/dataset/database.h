// TDatabase: the connection component.
//
// It connects through the engine alias AliasName with the user name and
// password of its Params ("USER NAME=...", "PASSWORD=..."), and is found by
// datasets through its DatabaseName within its SessionName ("Default"):
// every TDatabase is listed in a process-wide session list from creation to
// destruction. Datasets register with it on their first activity and
// release it when closed and unprepared; the connection then stays open
// (KeepConnection). Closing it closes and unprepares every registered dataset.
// This layer shows no login dialog; LoginPrompt is kept for the form data.
//
// A transaction (StartTransaction, then Commit or Rollback; best through
// dataset::DatabaseTransaction) runs on the connection's writing session:
// until it ends every dataset of this connection reads and writes in it.
// Naming a table locks it for the transaction's length against every other
// transaction that locks or changes it (see hisdb::Connection). Engine
// failures raise EDBEngineError; a second StartTransaction, or Commit and
// Rollback without one, raise EDatabaseError.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/dataset/component.h"
#include "platform/engine/engine.h"

class TDBDataSet;

class TDatabase : public TComponent {
public:
    explicit TDatabase(TComponent* owner = nullptr);
    ~TDatabase() override;

    [[nodiscard]] const std::string& AliasName() const { return aliasName_; }
    void SetAliasName(std::string alias);
    [[nodiscard]] const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(std::string name);
    [[nodiscard]] const std::string& SessionName() const { return sessionName_; }
    void SetSessionName(std::string name);
    [[nodiscard]] TStrings& Params() { return params_; }
    [[nodiscard]] bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool on) { loginPrompt_ = on; }
    [[nodiscard]] bool KeepConnection() const { return keepConnection_; }
    void SetKeepConnection(bool on) { keepConnection_ = on; }

    // Connects; engine failures raise EDBEngineError.
    void Open();
    void Close();
    [[nodiscard]] bool Connected() const { return connection_ != nullptr; }
    void SetConnected(bool on) { on ? Open() : Close(); }

    [[nodiscard]] int DataSetCount() const { return static_cast<int>(dataSets_.size()); }
    [[nodiscard]] TDBDataSet* DataSets(int index) const { return dataSets_.at(index); }

    // Connects first.
    void StartTransaction(std::string_view lockedTable = {});
    // A failed Commit leaves the transaction active, to be rolled back.
    void Commit();
    void Rollback();
    [[nodiscard]] bool InTransaction() const { return connection_ != nullptr && connection_->InTransaction(); }

    // The engine connection (connects first).
    [[nodiscard]] hisdb::Connection& Handle();

    // The database of that DatabaseName (case ignored) in that session, or nullptr.
    [[nodiscard]] static TDatabase* Find(std::string_view databaseName, std::string_view sessionName = "Default");

private:
    friend class TDBDataSet;
    void RegisterDataSet(TDBDataSet* dataSet);
    void UnregisterDataSet(TDBDataSet* dataSet);

    std::string aliasName_;
    std::string databaseName_;
    std::string sessionName_ = "Default";
    TStrings params_;
    bool loginPrompt_ = true;
    bool keepConnection_ = true;
    std::unique_ptr<hisdb::Connection> connection_;
    std::vector<TDBDataSet*> dataSets_;
};

namespace dataset {

// A transaction of a TDatabase for a scope: started by the constructor,
// rolled back by the destructor unless committed, also while an exception is
// in flight (errors of that rollback are swallowed).
class DatabaseTransaction {
public:
    explicit DatabaseTransaction(TDatabase& database, std::string_view lockedTable = {});
    ~DatabaseTransaction();
    DatabaseTransaction(const DatabaseTransaction&) = delete;
    DatabaseTransaction& operator=(const DatabaseTransaction&) = delete;
    void Commit();

private:
    TDatabase& database_;
    bool active_ = true;
};

} // namespace dataset
