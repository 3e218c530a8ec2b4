// Test databases for the engine cases: a temporary SQLite file or the
// PostgreSQL test cluster, each reached through an alias file of its own.
#pragma once

#include "platform/engine/engine.h"

#include <memory>
#include <ostream>
#include <string>

namespace enginetest {

enum class Backend { Sqlite, Postgres };

[[nodiscard]] std::string BackendName(Backend backend);
void PrintTo(Backend backend, std::ostream* os);

// A temporary directory, removed with what is in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& Path() const { return path_; }
    void Write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_;
    std::string old_;
};

// Creates an empty SQLite database file through the SQLite API itself.
void CreateSqliteFile(const std::string& path);

// The PostgreSQL connection string and login of the test cluster; empty
// connection string when the server tests are not configured.
[[nodiscard]] std::string PgConnect();
[[nodiscard]] std::string PgUser();
[[nodiscard]] std::string PgPassword();

}  // namespace enginetest
