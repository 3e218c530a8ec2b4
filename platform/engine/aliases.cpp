#include "platform/engine/aliases.h"

#include "platform/engine/engine.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

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

// Keywords by which ODBC drivers take a login from the connection string
// (psqlODBC also takes USERNAME and PASSWORD, libpq's options USER and PASSWORD).
bool IsLoginKeyword(std::string_view key)
{
    for (std::string_view login : {"uid", "pwd", "user", "username", "password"}) {
        if (EqualNoCase(key, login)) {
            return true;
        }
    }
    return false;
}

// Throws when an alias's connection string names a login: appended to it,
// the module's login would win or lose depending on the driver.
void RefuseLoginIn(std::string_view connect, const std::string& alias, const std::string& path)
{
    auto refuse = [&](std::string_view key) {
        throw EngineError("The connection string of alias '" + alias + "' names a login (" + std::string(key) + "=)", 0,
                          {"Remove it from '" + path + "': the login is the module's, or the one in "
                               + CredentialsFilePath() + "."});
    };
    std::size_t i = 0;
    while (i < connect.size()) {
        while (i < connect.size() && (connect[i] == ';' || connect[i] == ' ' || connect[i] == '\t')) {
            ++i;
        }
        const std::size_t eq = connect.find('=', i);
        if (eq == std::string_view::npos) {
            break;
        }
        const std::string_view key = Trim(connect.substr(i, eq - i));
        std::size_t v = eq + 1;
        while (v < connect.size() && connect[v] == ' ') {
            ++v;
        }
        std::string value;
        if (v < connect.size() && connect[v] == '{') {
            // {…} with }} standing for }
            for (++v; v < connect.size(); ++v) {
                if (connect[v] == '}') {
                    if (v + 1 < connect.size() && connect[v + 1] == '}') {
                        value += '}';
                        ++v;
                        continue;
                    }
                    ++v;
                    break;
                }
                value += connect[v];
            }
            const std::size_t end = connect.find(';', v);
            i = end == std::string_view::npos ? connect.size() : end;
        } else {
            const std::size_t end = connect.find(';', v);
            value = std::string(connect.substr(v, end == std::string_view::npos ? std::string_view::npos : end - v));
            i = end == std::string_view::npos ? connect.size() : end;
        }
        if (IsLoginKeyword(key)) {
            refuse(key);
        }
        if (EqualNoCase(key, "pqopt")) {
            // libpq's own "keyword=value" options, blank-separated
            std::istringstream options(value);
            for (std::string option; options >> option;) {
                const std::size_t optionEq = option.find('=');
                if (optionEq != std::string::npos && IsLoginKeyword(option.substr(0, optionEq))) {
                    refuse("pqopt " + option.substr(0, optionEq));
                }
            }
        }
    }
}

// One section of an INI text: its name as written and its keys (lower case)
// with their values.
struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
};

// The section named `wanted` (in any letter case) of an INI text; none when
// it has no such section.
std::optional<Section> ReadSection(std::istream& in, std::string_view wanted)
{
    std::optional<Section> found;
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string_view text = Trim(line);
        if (text.empty() || text.front() == ';' || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            if (found) {
                break;  // the wanted section has ended
            }
            auto close = text.find(']');
            const std::string_view name = Trim(text.substr(1, close == std::string_view::npos ? text.npos : close - 1));
            inSection = EqualNoCase(name, wanted);
            if (inSection) {
                found.emplace();
                found->name = std::string(name);
            }
            continue;
        }
        auto eq = text.find('=');
        if (inSection && eq != std::string_view::npos) {
            found->keys.emplace_back(Lower(Trim(text.substr(0, eq))), std::string(Trim(text.substr(eq + 1))));
        }
    }
    return found;
}

// The text of the credentials file, read only when it may be trusted; none
// when it does not exist.
std::optional<std::string> TrustedCredentialsText(const std::string& path)
{
    auto refuse = [&](const std::string& why) -> std::optional<std::string> {
        throw EngineError("The credentials file '" + path + "' is not trusted", 0,
                          {why, "It must be a regular file owned by root (or by the user running the module), "
                                "mode 0640 or stricter, in a folder others cannot write to."});
    };
    // Opened without following a link and checked on the open file, so what
    // is checked is what is read; O_NONBLOCK keeps a FIFO from blocking.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        return refuse(errno == ELOOP ? std::string("It is a symbolic link.")
                                     : "It cannot be opened: " + std::string(std::strerror(errno)) + ".");
    }
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return refuse("It is not a regular file.");
    }
    if (st.st_uid != 0 && st.st_uid != geteuid()) {
        return refuse("It is owned by user id " + std::to_string(st.st_uid) + ", neither root nor the user running the module.");
    }
    if ((st.st_mode & 07777 & ~static_cast<mode_t>(0640)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return refuse(std::string("Its mode is ") + mode + ": others may read it or the group may write it.");
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat dir {};
    if (stat(folder.c_str(), &dir) != 0 || ((dir.st_mode & S_IWOTH) != 0 && (dir.st_mode & S_ISVTX) == 0)
        || (dir.st_uid != 0 && dir.st_uid != geteuid())) {
        return refuse("Its folder '" + folder + "' may be written by others.");
    }
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return refuse("It cannot be read: " + std::string(std::strerror(errno)) + ".");
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

AliasLookup LookUpAliasFile()
{
    AliasLookup lookup;
    for (const std::string& path : {Env("HISDB_ALIASES"), XdgDir("XDG_CONFIG_HOME", ".config") + "/hisdb/aliases.ini",
                                    std::string("/etc/hisdb/aliases.ini")}) {
        const bool exists = IsFile(path);
        lookup.tried.emplace_back(path, exists);
        if (exists && lookup.read.empty()) {
            lookup.read = path;
        }
    }
    return lookup;
}

std::string AliasFilePath()
{
    return LookUpAliasFile().read;
}

std::string CredentialsFilePath()
{
    const std::string chosen = Env("HISDB_CREDENTIALS");
    return chosen.empty() ? "/etc/hisdb/credentials.ini" : chosen;
}

std::optional<Credentials> FindCredentials(std::string_view alias)
{
    const std::string path = CredentialsFilePath();
    const std::optional<std::string> text = TrustedCredentialsText(path);
    if (!text) {
        return std::nullopt;
    }
    std::istringstream in(*text);
    const auto section = ReadSection(in, alias);
    if (!section) {
        return std::nullopt;
    }
    std::optional<std::string> user;
    std::optional<std::string> password;
    for (const auto& [key, value] : section->keys) {
        if (key == "user") {
            user = value;
        } else if (key == "password") {
            password = value;
        }
    }
    if (!user || !password) {
        throw EngineError("The credentials file '" + path + "' gives alias '" + std::string(alias) + "' no "
                          + (user ? "password=" : "user="));
    }
    return Credentials{*user, *password};
}

std::string CredentialsFileFor(std::string_view alias)
{
    const std::string path = CredentialsFilePath();
    const std::optional<std::string> text = TrustedCredentialsText(path);
    if (!text) {
        return {};
    }
    std::istringstream in(*text);
    return ReadSection(in, alias) ? path : std::string();
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
    const std::optional<Section> section = ReadSection(in, name);
    std::optional<Alias> found;
    if (section) {
        found.emplace();
        found->name = section->name;
        found->source = path;
        for (const auto& [key, text] : section->keys) {
            std::string value = text;
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
            } else if (key == "answer_timeout") {
                found->answerTimeout = Count(path, key, value, 1);
            } else if (key == "max_active") {
                found->maxActive = Count(path, key, value, 1);
            }
        }
    }
    if (!found) {
        throw EngineError("Unknown database alias '" + std::string(name) + "'", 0,
                          {"The alias is not defined in '" + path + "'."});
    }
    RefuseLoginIn(found->connect, found->name, path);
    return *found;
}

}  // namespace hisdb
