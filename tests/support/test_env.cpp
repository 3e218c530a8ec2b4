#include "tests/support/test_env.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testenv {

std::string BackendName(Backend backend)
{
    return backend == Backend::Sqlite ? "Sqlite" : "Postgres";
}

void PrintTo(Backend backend, std::ostream* os)
{
    *os << BackendName(backend);
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "hisdb-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& name, const std::string& text) const
{
    std::filesystem::create_directories(std::filesystem::path(path_ + "/" + name).parent_path());
    std::ofstream(path_ + "/" + name) << text;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name), had_(std::getenv(name) != nullptr)
{
    if (had_) {
        old_ = std::getenv(name);
    }
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv()
{
    if (had_) {
        setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

void CreateSqliteFile(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char* error = nullptr;
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    }
    const std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("cannot create " + path + ": " + message);
    }
}

namespace {
std::string EnvOr(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}
}  // namespace

std::string PgConnect()
{
    return EnvOr("OPEREDIT_PG_CONNECT", "");
}

std::string PgUser()
{
    return EnvOr("OPEREDIT_PG_USER", "spemr");
}

std::string PgPassword()
{
    return EnvOr("OPEREDIT_PG_PASSWORD", "kvrt3816#");
}

std::string PgAdminUser()
{
    return EnvOr("OPEREDIT_PG_ADMIN_USER", "his_owner");
}

std::string PgAdminPassword()
{
    return EnvOr("OPEREDIT_PG_ADMIN_PASSWORD", "his-owner-test");
}

std::unique_ptr<hisdb::Connection> PgAdminConnect()
{
    // A connection keeps its connection string: the alias file is needed
    // only while it logs in.
    TempDir dir;
    dir.Write("aliases.ini", "[PGADMIN]\ndriver=odbc\nconnect=" + PgConnect() + "\n");
    ScopedEnv aliases("HISDB_ALIASES", (dir.Path() + "/aliases.ini").c_str());
    return hisdb::Connect("PGADMIN", PgAdminUser(), PgAdminPassword());
}

std::int64_t ExecOn(hisdb::Connection& connection, const std::string& sql)
{
    auto statement = connection.Prepare(sql);
    statement->Execute();
    const std::int64_t rows = statement->RowsAffected();
    if (statement->HasResult()) {
        while (statement->Fetch()) {
        }
    }
    return rows;
}

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenFileCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count - 1;  // the folder being read
}

std::vector<int> PgBackends(hisdb::Connection& admin, const std::string& condition)
{
    auto statement = admin.Prepare("select pid from pg_stat_activity where pid <> pg_backend_pid() and (" + condition + ")");
    statement->Execute();
    std::vector<int> pids;
    while (statement->Fetch()) {
        pids.push_back(static_cast<int>(std::get<std::int64_t>(statement->Get(0))));
    }
    return pids;
}

HaltedProcesses::HaltedProcesses(std::vector<int> pids)
{
    for (int pid : pids) {
        if (kill(pid, SIGSTOP) != 0) {
            Resume();  // all or none
            return;
        }
        pids_.push_back(pid);
    }
}

HaltedProcesses::~HaltedProcesses()
{
    Resume();
}

void HaltedProcesses::Resume()
{
    for (int pid : pids_) {
        kill(pid, SIGCONT);
    }
    pids_.clear();
}

void CreateTableForTest(hisdb::Connection& admin, const std::string& table, const std::string& columns)
{
    ExecOn(admin, "create table " + table + " (" + columns + ")");
    ExecOn(admin, "grant select, insert, update, delete on " + table + " to " + PgUser());
    auto sequences = admin.Prepare("select pg_get_serial_sequence(?, attname) from pg_attribute where attrelid = "
                                   "cast(? as regclass) and attnum > 0 and pg_get_serial_sequence(?, attname) is not null");
    for (int i = 0; i < 3; ++i) {
        sequences->Bind(i, table);
    }
    sequences->Execute();
    std::vector<std::string> names;
    while (sequences->Fetch()) {
        names.push_back(std::get<std::string>(sequences->Get(0)));
    }
    for (const std::string& sequence : names) {
        ExecOn(admin, "grant usage on sequence " + sequence + " to " + PgUser());
    }
}

ScopedMount ScopedMount::Tmpfs(const std::string& dir, std::size_t bytes)
{
    ScopedMount m;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        m.why_ = "cannot mount a tmpfs at " + dir + ": " + std::strerror(errno);
    } else {
        m.target_ = dir;
    }
    return m;
}

ScopedMount ScopedMount::Bind(const std::string& source, const std::string& target)
{
    ScopedMount m;
    m.bind_ = true;
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        m.why_ = "cannot bind " + source + " onto " + target + ": " + std::strerror(errno);
    } else {
        m.target_ = target;
    }
    return m;
}

ScopedMount::ScopedMount(ScopedMount&& other) noexcept
    : target_(std::move(other.target_)), bind_(other.bind_), why_(std::move(other.why_))
{
    other.target_.clear();
}

ScopedMount::~ScopedMount()
{
    if (Mounted() && umount2(target_.c_str(), 0) != 0) {
        umount2(target_.c_str(), MNT_DETACH);  // gone from the tree now, freed when the last file closes
    }
}

bool ScopedMount::MakeReadOnly()
{
    if (!Mounted()) {
        return false;
    }
    const unsigned long flags = bind_ ? MS_REMOUNT | MS_BIND | MS_RDONLY : MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV;
    if (mount(nullptr, target_.c_str(), nullptr, flags, nullptr) != 0) {
        why_ = "cannot make " + target_ + " read-only: " + std::strerror(errno);
        return false;
    }
    return true;
}

std::size_t FillFileSystem(const std::string& dir, const std::string& name)
{
    const std::string path = dir + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    }
    std::vector<char> block(4096, 'x');
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = write(fd, block.data(), block.size());
        if (n <= 0) {
            break;
        }
        total += static_cast<std::size_t>(n);
    }
    // Single bytes into a last partly used page.
    while (write(fd, block.data(), 1) == 1) {
        ++total;
    }
    close(fd);
    return total;
}

std::string SourceFile(const std::string& relativePath)
{
    const std::string root = EnvOr("OPEREDIT_SOURCE_DIR", ".");
    std::ifstream in(root + "/" + relativePath);
    if (!in) {
        throw std::runtime_error("cannot read " + root + "/" + relativePath);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

HisDatabase::HisDatabase(Backend backend) : backend_(backend)
{
    std::string alias;
    if (backend == Backend::Sqlite) {
        const std::string file = dir_.Path() + "/his.db";
        CreateSqliteFile(file, SourceFile("db/sqlite/schema.sql"));
        alias = "[HIS]\ndriver=sqlite\ndatabase=" + file + "\nuser=spemr\npassword=kvrt3816#\n";
    } else {
        if (PgConnect().empty()) {
            available_ = false;
            return;
        }
        alias = "[HIS]\ndriver=odbc\nconnect=" + PgConnect() + "\n";
    }
    alias_ = alias;
    dir_.Write("aliases.ini", alias);
    aliases_ = std::make_unique<ScopedEnv>("HISDB_ALIASES", (dir_.Path() + "/aliases.ini").c_str());
    if (backend == Backend::Postgres) {
        for (const char* table : {"TOperationPlan", "TPat", "TEmployee", "TDictDiagICD", "TDictOperCM",
                                  "TDictBloodTypeA", "TDictAssay", "TDictAnaesthesia", "TNextOperationPlanNo"}) {
            Exec(std::string("delete from ") + table);
        }
        Exec("insert into TNextOperationPlanNo (FNext) values (1)");
    }
}

HisDatabase::~HisDatabase() = default;

void HisDatabase::AddAliasOptions(const std::string& lines)
{
    alias_ += lines;
    dir_.Write("aliases.ini", alias_);
}

hisdb::Connection& HisDatabase::Direct()
{
    if (!direct_) {
        direct_ = backend_ == Backend::Postgres ? PgAdminConnect() : hisdb::Connect("HIS", PgUser(), PgPassword());
    }
    return *direct_;
}

std::int64_t HisDatabase::Exec(const std::string& sql)
{
    auto statement = Direct().Prepare(sql);
    statement->Execute();
    const std::int64_t rows = statement->RowsAffected();
    if (statement->HasResult()) {
        while (statement->Fetch()) {
        }
    }
    return rows;
}

void RunScript(hisdb::Connection& connection, const std::string& script)
{
    // Statements end with ";" at the end of a line (a comment may follow);
    // whole comment lines are dropped, so a ";" inside one ends nothing.
    std::string statement;
    std::vector<std::string> statements;
    std::istringstream lines(script);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t text = line.find_first_not_of(" \t\r");
        if (text == std::string::npos || line.compare(text, 2, "--") == 0) {
            continue;
        }
        const std::size_t comment = line.find("--");
        const std::size_t last =
            line.find_last_not_of(" \t\r", comment == std::string::npos ? std::string::npos : comment - 1);
        statement += line + "\n";
        if (last != std::string::npos && line[last] == ';') {
            statements.push_back(statement);
            statement.clear();
        }
    }
    if (statement.find_first_not_of(" \t\r\n") != std::string::npos) {
        statements.push_back(statement);
    }
    hisdb::Transaction transaction(connection);
    for (const auto& sql : statements) {
        if (sql.rfind("BEGIN;", 0) == 0 || sql.rfind("COMMIT;", 0) == 0) {
            continue;
        }
        auto prepared = connection.Prepare(sql);
        prepared->Execute();
    }
    transaction.Commit();
}

void HisDatabase::RunScript(const std::string& script)
{
    testenv::RunScript(Direct(), script);
}

std::string HisDatabase::Scalar(const std::string& sql)
{
    auto statement = Direct().Prepare(sql);
    statement->Execute();
    std::string text;
    if (statement->Fetch()) {
        const hisdb::Value value = statement->Get(0);
        if (const auto* s = std::get_if<std::string>(&value)) {
            text = *s;
        } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
            text = std::to_string(*i);
        } else if (const auto* d = std::get_if<hisdb::DateTime>(&value)) {
            text = d->ToIso();
        } else if (const auto* f = std::get_if<double>(&value)) {
            std::ostringstream out;
            out << *f;
            text = out.str();
        } else if (const auto* c = std::get_if<hisdb::Decimal>(&value)) {
            std::ostringstream out;
            out << c->ToDouble();
            text = out.str();
        }
        while (statement->Fetch()) {
        }
    }
    return text;
}

}  // namespace testenv
