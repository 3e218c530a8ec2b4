#include "platform/engine/aliases.h"

#include "platform/engine/engine.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace hisdb {
namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool IsFile(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// $XDG_<kind>_HOME, else ~/<fallback>
std::string XdgDir(const char* variable, const char* fallback)
{
    std::string dir = Env(variable);
    if (dir.empty()) {
        dir = Env("HOME") + "/" + fallback;
    }
    return dir;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

int Count(const std::string& path, const std::string& key, const std::string& value, int least)
{
    int n = 0;
    bool ok = !value.empty() && value.size() <= 6;
    for (char c : value) {
        ok = ok && c >= '0' && c <= '9';
        n = ok ? n * 10 + (c - '0') : n;
    }
    if (!ok || n < least) {
        throw EngineError("Invalid value of " + key + " in the alias file", 0,
                          {"'" + value + "' in '" + path + "'"});
    }
    return n;
}

}  // namespace

std::string AliasFilePath()
{
    for (const std::string& path : {Env("HISDB_ALIASES"), XdgDir("XDG_CONFIG_HOME", ".config") + "/hisdb/aliases.ini",
                                    std::string("/etc/hisdb/aliases.ini")}) {
        if (IsFile(path)) {
            return path;
        }
    }
    return {};
}

Alias FindAlias(std::string_view name)
{
    const std::string path = AliasFilePath();
    if (path.empty()) {
        if (EqualNoCase(name, "HIS")) {
            Alias his;
            his.name = "HIS";
            his.driver = "sqlite";
            his.database = XdgDir("XDG_DATA_HOME", ".local/share") + "/hisdb/his.db";
            return his;
        }
        throw EngineError("Unknown database alias '" + std::string(name) + "'", 0,
                          {"No alias file was found and only HIS is built in."});
    }

    std::ifstream in(path);
    if (!in) {
        throw EngineError("Cannot read the alias file '" + path + "'");
    }
    std::optional<Alias> found;
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string_view text = Trim(line);
        if (text.empty() || text.front() == ';' || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            if (found) {
                break;  // the alias's section has ended
            }
            auto close = text.find(']');
            std::string_view section = Trim(text.substr(1, close == std::string_view::npos ? text.npos : close - 1));
            inSection = EqualNoCase(section, name);
            if (inSection) {
                found.emplace();
                found->name = std::string(section);
                found->source = path;
            }
            continue;
        }
        auto eq = text.find('=');
        if (!inSection || eq == std::string_view::npos) {
            continue;
        }
        const std::string key = Lower(Trim(text.substr(0, eq)));
        std::string value(Trim(text.substr(eq + 1)));
        if (key == "driver") {
            found->driver = Lower(value);
        } else if (key == "database") {
            found->database = std::move(value);
        } else if (key == "connect") {
            found->connect = std::move(value);
        } else if (key == "user") {
            found->user = std::move(value);
        } else if (key == "password") {
            found->password = std::move(value);
        } else if (key == "lock_timeout") {
            found->lockTimeout = Count(path, key, value, 1);
        } else if (key == "max_active") {
            found->maxActive = Count(path, key, value, 1);
        }
    }
    if (!found) {
        throw EngineError("Unknown database alias '" + std::string(name) + "'", 0,
                          {"The alias is not defined in '" + path + "'."});
    }
    return *found;
}

}  // namespace hisdb
