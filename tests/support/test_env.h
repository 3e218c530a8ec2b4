// Test environments shared by the database tests: temporary folders,
// environment variables set for a scope, SQLite files made through SQLite
// itself (the engine never creates one), the PostgreSQL test cluster's login,
// and a whole HIS database (every table of the module) behind the alias HIS
// on either backend.
#pragma once

#include "platform/engine/engine.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace testenv {

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

// Sets (or, with null, removes) an environment variable for the lifetime of the object.
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

// Creates a SQLite database file through the SQLite API itself, running `sql`
// (a script) in it.
void CreateSqliteFile(const std::string& path, const std::string& sql = "create table TProbe(FId integer)");

// The PostgreSQL connection string and login of the test cluster; an empty
// connection string when the server tests are not configured.
[[nodiscard]] std::string PgConnect();
[[nodiscard]] std::string PgUser();
[[nodiscard]] std::string PgPassword();

// The owner of the test database and its tables (scripts/pg-cluster's role
// his_owner; OPEREDIT_PG_ADMIN_USER / OPEREDIT_PG_ADMIN_PASSWORD), for what
// the module's login may not do: creating, changing and dropping tables,
// arranging rows of the tables the module only reads.
[[nodiscard]] std::string PgAdminUser();
[[nodiscard]] std::string PgAdminPassword();
// A connection as that owner to PgConnect()'s database.
[[nodiscard]] std::unique_ptr<hisdb::Connection> PgAdminConnect();
// Runs one statement on `connection`, reading any result to its end; the rows changed.
std::int64_t ExecOn(hisdb::Connection& connection, const std::string& sql);
// Makes a table of `columns` as the owner and gives the test login the
// module's rights on a table of its own (select, insert, update, delete;
// usage of its sequences).
void CreateTableForTest(hisdb::Connection& admin, const std::string& table, const std::string& columns);

// The server processes of the sessions pg_stat_activity lists where
// `condition` holds (an SQL condition on its columns), the caller's excluded.
[[nodiscard]] std::vector<int> PgBackends(hisdb::Connection& admin, const std::string& condition);

// Processes halted (SIGSTOP) for the object's lifetime or until Resume(): a
// server that no longer answers, although its machine still takes what is
// sent to it. Halted() is false when they may not be signalled from here
// (neither root nor the server's user) or there were none.
class HaltedProcesses {
public:
    explicit HaltedProcesses(std::vector<int> pids);
    ~HaltedProcesses();
    HaltedProcesses(const HaltedProcesses&) = delete;
    HaltedProcesses& operator=(const HaltedProcesses&) = delete;
    [[nodiscard]] bool Halted() const { return !pids_.empty(); }
    void Resume();

private:
    std::vector<int> pids_;
};

// A file system of the test's own, mounted for the object's lifetime (and
// unmounted by its destructor, lazily when something still holds it open):
// a tmpfs of `bytes` at `dir`, or `source` bound onto `target` (a file or a
// folder that exists). Mounted() is false, with the reason in Why(), where
// this process may not mount (not root, no CAP_SYS_ADMIN, a seccomp filter).
class ScopedMount {
public:
    [[nodiscard]] static ScopedMount Tmpfs(const std::string& dir, std::size_t bytes);
    [[nodiscard]] static ScopedMount Bind(const std::string& source, const std::string& target);
    ScopedMount(ScopedMount&& other) noexcept;
    ScopedMount& operator=(ScopedMount&&) = delete;
    ~ScopedMount();
    [[nodiscard]] bool Mounted() const { return !target_.empty(); }
    [[nodiscard]] const std::string& Why() const { return why_; }
    // Makes the mount read-only (a tmpfs is remounted, a bind mount made read-only); false on failure.
    [[nodiscard]] bool MakeReadOnly();

private:
    ScopedMount() = default;
    std::string target_;
    bool bind_ = false;
    std::string why_;
};

// Fills the file system holding `dir` with a file `name` in it until nothing
// more fits (ENOSPC); the bytes written.
std::size_t FillFileSystem(const std::string& dir, const std::string& name);

// This process's resident memory (kB) and open file descriptors, for the
// programs that report what a long run leaves behind.
[[nodiscard]] long ResidentKiB();
[[nodiscard]] int OpenFileCount();

// The text of a file below the source tree.
[[nodiscard]] std::string SourceFile(const std::string& relativePath);

// Runs a script such as hisdb-seed or the schema files hold (statements
// ending in ";" at the end of a line) in one transaction of `connection`; the
// script's own BEGIN; and COMMIT; lines and its comment lines are passed over.
void RunScript(hisdb::Connection& connection, const std::string& script);

// The module's database behind the alias HIS, with the login spemr/kvrt3816#:
// a fresh SQLite file with the whole schema, or the PostgreSQL test cluster
// with every table emptied (the counter reset to 1). HISDB_ALIASES points at
// its alias file while the object lives. Available() is false (and the test
// should skip) when the PostgreSQL cluster is not configured.
class HisDatabase {
public:
    explicit HisDatabase(Backend backend);
    ~HisDatabase();
    // Adds option lines ("key=value\n") to the alias HIS, for logins after it.
    void AddAliasOptions(const std::string& lines);
    [[nodiscard]] bool Available() const { return available_; }
    [[nodiscard]] Backend GetBackend() const { return backend_; }
    [[nodiscard]] const std::string& Dir() const { return dir_.Path(); }
    // A direct engine connection, for arranging and checking rows: on
    // PostgreSQL as the tables' owner (PgAdminConnect), since the module's
    // login only reads most tables.
    [[nodiscard]] hisdb::Connection& Direct();
    std::int64_t Exec(const std::string& sql);
    // testenv::RunScript on the direct connection.
    void RunScript(const std::string& script);
    // The first column of the first row of a query, as text ("" for null / no row).
    [[nodiscard]] std::string Scalar(const std::string& sql);

private:
    Backend backend_;
    TempDir dir_;
    std::string alias_;
    std::unique_ptr<ScopedEnv> aliases_;
    std::unique_ptr<hisdb::Connection> direct_;
    bool available_ = true;
};

}  // namespace testenv
