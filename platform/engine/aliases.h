// Aliases: which driver and target a name such as `HIS` stands for.
//
// The alias file is an INI file, one section per alias (names compared
// without regard to letter case):
//   [HIS]
//   driver=sqlite          ; or odbc
//   database=/path/his.db  ; sqlite: the database file
//   user=...               ; sqlite, optional: the only login the file accepts
//   password=...
//   connect=...            ; odbc: connection string without UID and PWD
//   lock_timeout=30        ; seconds a statement waits for a lock before it fails
//   max_active=1           ; odbc, optional: results one session may hold open
//                          ; (default: what the driver reports)
// Lines starting with ';' or '#' are comments.
//
// The file is the first that exists of $HISDB_ALIASES,
// $XDG_CONFIG_HOME/hisdb/aliases.ini (~/.config by default) and
// /etc/hisdb/aliases.ini. With no file at all, `HIS` is the SQLite database
// $XDG_DATA_HOME/hisdb/his.db (~/.local/share by default).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hisdb {

struct Alias {
    std::string name;      // as written in the file
    std::string driver;    // "sqlite" or "odbc", lower case
    std::string database;  // sqlite file
    std::string connect;   // odbc connection string
    std::optional<std::string> user;
    std::optional<std::string> password;
    int lockTimeout = 30;  // seconds
    int maxActive = 0;     // 0: as the driver reports
    std::string source;    // the file it came from; empty for the built-in HIS
};

// The alias file in force; empty when there is none.
[[nodiscard]] std::string AliasFilePath();

// The named alias. Throws EngineError when it is not defined.
[[nodiscard]] Alias FindAlias(std::string_view name);

}  // namespace hisdb
