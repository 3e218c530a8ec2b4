// Aliases: which driver and target a name such as `HIS` stands for.
//
// The alias file is an INI file, one section per alias (names compared
// without regard to letter case):
//   [HIS]
//   driver=sqlite          ; or odbc
//   database=/path/his.db  ; sqlite: the database file
//   user=...               ; sqlite, optional: the only login the file accepts
//   password=...
//   connect=...            ; odbc: connection string without a login (UID, PWD,
//                          ; USER, USERNAME, PASSWORD in any case are refused)
//   lock_timeout=30        ; seconds a statement waits for a lock before it fails
//   answer_timeout=60      ; odbc: seconds a call waits for the server's answer
//                          ; before the session is closed and the call fails
//                          ; (default lock_timeout + 30, so that a lock wait
//                          ; ends with the server's own error first)
//   max_active=1           ; odbc, optional: results one session may hold open
//                          ; (default: what the driver reports)
// Lines starting with ';' or '#' are comments.
//
// The file is the first that exists of $HISDB_ALIASES,
// $XDG_CONFIG_HOME/hisdb/aliases.ini (~/.config by default) and
// /etc/hisdb/aliases.ini. With no file at all, `HIS` is the SQLite database
// $XDG_DATA_HOME/hisdb/his.db (~/.local/share by default).
//
// The login. The module passes its own user name and password to Connect;
// the administrator may replace them per alias in a credentials file beside
// the system alias file, /etc/hisdb/credentials.ini (for tests and IT's
// diagnosis only: $HISDB_CREDENTIALS, when set, is looked at instead):
//   [HIS]
//   user=...
//   password=...
// The file is trusted only when it is a regular file (not a symbolic link)
// owned by root or by the user the process runs as, with no rights beyond
// 0640 (the owner reads and writes, its group may read, others nothing), in
// a folder others cannot write to. Otherwise every login through it fails
// with an EngineError saying why. A missing file, or one without a section
// for the alias, changes nothing.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hisdb {

struct Alias {
    std::string name;      // as written in the file
    std::string driver;    // "sqlite" or "odbc", lower case
    std::string database;  // sqlite file
    std::string connect;   // odbc connection string
    std::optional<std::string> user;
    std::optional<std::string> password;
    int lockTimeout = 30;  // seconds
    std::optional<int> answerTimeout;  // seconds; unset: lockTimeout + 30
    int maxActive = 0;     // 0: as the driver reports
    std::string source;    // the file it came from; empty for the built-in HIS

    [[nodiscard]] std::chrono::seconds AnswerTimeout() const
    {
        return std::chrono::seconds(answerTimeout.value_or(lockTimeout + 30));
    }
};

// The alias file in force; empty when there is none.
[[nodiscard]] std::string AliasFilePath();

// How the alias file was looked up, for diagnosis: every place in the order
// tried, each with whether a regular file exists there (an unset
// $HISDB_ALIASES is listed as ""), and the file read, the first that exists
// ("" when none does and HIS is the built-in SQLite file).
struct AliasLookup {
    std::vector<std::pair<std::string, bool>> tried;
    std::string read;
};
[[nodiscard]] AliasLookup LookUpAliasFile();

// The named alias. Throws EngineError when it is not defined, or when its
// ODBC connection string names a login itself.
[[nodiscard]] Alias FindAlias(std::string_view name);

// The credentials file looked at: $HISDB_CREDENTIALS when set and not empty,
// else /etc/hisdb/credentials.ini (whether it exists or not).
[[nodiscard]] std::string CredentialsFilePath();

// The credentials file that applies to the alias: its path when the file
// exists and holds a section for the alias, else "". Throws EngineError when
// the file exists but is not trusted (see above).
[[nodiscard]] std::string CredentialsFileFor(std::string_view alias);

struct Credentials {
    std::string user;
    std::string password;
};
// The user name and password the credentials file gives the alias, or none.
// Throws EngineError when the file is not trusted, or its section lacks
// user= or password=.
[[nodiscard]] std::optional<Credentials> FindCredentials(std::string_view alias);

}  // namespace hisdb
