#include "tests/engine/backend.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace enginetest {

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

void CreateSqliteFile(const std::string& path)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "create table TProbe(FId integer)", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("cannot create " + path);
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

}  // namespace enginetest
