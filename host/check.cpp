#include "host/check.h"

#include "entry/login.h"
#include "platform/engine/aliases.h"
#include "platform/engine/engine.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

namespace check {
namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool Contains(const std::string& text, const std::string& part)
{
    return Lower(text).find(Lower(part)) != std::string::npos;
}

// An ODBC connect string with the value of every PWD=, PASSWORD= key masked.
std::string Masked(const std::string& connect)
{
    std::string out;
    std::size_t at = 0;
    while (at < connect.size()) {
        std::size_t end = connect.find(';', at);
        if (end == std::string::npos) {
            end = connect.size();
        }
        std::string pair = connect.substr(at, end - at);
        const std::size_t equals = pair.find('=');
        if (equals != std::string::npos) {
            std::string key = Lower(pair.substr(0, equals));
            key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
            if (key == "pwd" || key == "password") {
                pair = pair.substr(0, equals + 1) + "***";
                // A braced value may hold semicolons: skip to its closing brace.
                if (connect.compare(at + equals + 1, 1, "{") == 0) {
                    const std::size_t close = connect.find('}', at + equals + 1);
                    end = close == std::string::npos ? connect.size() : connect.find(';', close);
                    if (end == std::string::npos) {
                        end = connect.size();
                    }
                }
            }
        }
        out += pair;
        if (end < connect.size()) {
            out += ';';
        }
        at = end + 1;
    }
    return out;
}

// The common causes of a failed login, from the engine's whole error.
std::string Hint(const hisdb::Alias& alias, const std::string& error)
{
    if (Contains(error, "unknown database alias") || Contains(error, "alias file")) {
        return "the alias HIS is not defined: check the alias file above";
    }
    if (alias.driver == "sqlite") {
        if (Contains(error, "user name or password")) {
            return "login refused: the database file accepts another user name or password";
        }
        if (Contains(error, "unable to open") || Contains(error, "cannot open")) {
            return "the database file is missing, or its folder is not writable by this user "
                   "(the engine needs to create its journal beside it)";
        }
        if (Contains(error, "readonly") || Contains(error, "read-only") || Contains(error, "write-ahead")) {
            return "the database file or its folder is not writable by this user";
        }
        return "the database file cannot be used: see the error above";
    }
    if (Contains(error, "data source name not found") || Contains(error, "can't open lib") ||
        Contains(error, "file not found")) {
        return "the ODBC driver named in the connect string is not installed or not registered "
               "(odbcinst -q -d lists the drivers; install odbc-postgresql or tdsodbc)";
    }
    if (Contains(error, "ssl") || Contains(error, "certificate") || Contains(error, "tls") ||
        Contains(error, "encrypt")) {
        return "the encrypted connection was refused: check the certificate authority, the server's "
               "certificate and its host name";
    }
    if (Contains(error, "password authentication failed") || Contains(error, "login failed") ||
        Contains(error, "authentication") || Contains(error, "role") || Contains(error, "28000") ||
        Contains(error, "28p01")) {
        return "login refused: the server does not accept this user name and password";
    }
    if (Contains(error, "could not connect") || Contains(error, "connection refused") ||
        Contains(error, "timeout") || Contains(error, "timed out") || Contains(error, "unreachable") ||
        Contains(error, "08001") || Contains(error, "could not translate host name")) {
        return "the server cannot be reached: check its name and port, that it runs, and the network";
    }
    return "see the engine's error above";
}

// The first column of the first row, as text.
std::string Scalar(hisdb::Connection& connection, const std::string& sql)
{
    auto statement = connection.Prepare(sql);
    statement->Execute();
    if (!statement->Fetch()) {
        return {};
    }
    const hisdb::Value value = statement->Get(0);
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*number);
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return *text;
    }
    if (const auto* decimal = std::get_if<hisdb::Decimal>(&value)) {
        return std::to_string(static_cast<long long>(decimal->ToDouble()));
    }
    return {};
}

// An index the searches need: its table, its leading columns, and whether
// the last of them is searched by its beginning (like 'K3%').
struct Index {
    const char* table;
    std::vector<const char*> columns;
    bool prefix;
    const char* serves;
};

const std::vector<Index>& NeededIndexes()
{
    static const std::vector<Index> indexes = {
        {"TOperationPlan", {"FDeptCode", "FOperDate"}, false, "the list of a day"},
        {"TPat", {"FDeptCode", "FBedNo"}, false, "the bed number lookup"},
        {"TDictDiagICD", {"FDiagCode"}, true, "the code picker by code"},
        {"TDictDiagICD", {"FName"}, true, "the code picker by name"},
        {"TDictDiagICD", {"FInputCode"}, true, "the code picker by input code"},
        {"TDictOperCM", {"FOperCode"}, true, "the code picker by code"},
        {"TDictOperCM", {"FName"}, true, "the code picker by name"},
        {"TDictOperCM", {"FInputCode"}, true, "the code picker by input code"},
        {"TEmployee", {"FInputCode"}, true, "the staff picker by input code"},
        {"TEmployee", {"FName"}, true, "the staff picker by name"},
        {"TEmployee", {"FDeptCode", "FInputCode"}, true, "the staff picker within the department"},
        {"TEmployee", {"FDeptCode", "FName"}, true, "the staff picker within the department"},
    };
    return indexes;
}

// One index: its columns in order, lower case, and whether each can serve a
// prefix search (PostgreSQL: only with a pattern operator class; elsewhere
// any index column can).
using IndexColumns = std::vector<std::pair<std::string, bool>>;

std::vector<std::string> Rows(hisdb::Connection& connection, const std::string& sql)
{
    auto statement = connection.Prepare(sql);
    statement->Execute();
    std::vector<std::string> rows;
    while (statement->Fetch()) {
        const hisdb::Value value = statement->Get(0);
        rows.push_back(std::holds_alternative<std::string>(value) ? Lower(std::get<std::string>(value)) : "");
    }
    return rows;
}

std::vector<IndexColumns> IndexesOf(hisdb::Connection& connection, const std::string& dbms, const std::string& table)
{
    std::vector<IndexColumns> found;
    if (connection.DriverName() == "sqlite") {
        for (const std::string& name : Rows(connection, "select name from pragma_index_list('" + table + "')")) {
            IndexColumns columns;
            for (const std::string& column :
                 Rows(connection, "select name from pragma_index_info('" + name + "') order by seqno")) {
                columns.emplace_back(column, true);
            }
            found.push_back(columns);
        }
    } else if (Contains(dbms, "postgres")) {
        // "create index … on public.t using btree (fdeptcode, fname bpchar_pattern_ops)"
        for (const std::string& definition :
             Rows(connection, "select indexdef from pg_indexes where lower(tablename) = lower('" + table + "')")) {
            const std::size_t open = definition.find('(');
            const std::size_t close = definition.rfind(')');
            if (open == std::string::npos || close == std::string::npos || close < open) {
                continue;
            }
            IndexColumns columns;
            std::string part;
            const std::string list = definition.substr(open + 1, close - open - 1) + ",";
            for (char c : list) {
                if (c != ',') {
                    part += c;
                    continue;
                }
                part.erase(0, part.find_first_not_of(' '));
                columns.emplace_back(part.substr(0, part.find(' ')), part.find("pattern_ops") != std::string::npos);
                part.clear();
            }
            found.push_back(columns);
        }
    } else if (Contains(dbms, "sql server")) {
        for (const std::string& index :
             Rows(connection, "select stuff((select ',' + c.name from sys.index_columns ic join sys.columns c on "
                              "c.object_id = ic.object_id and c.column_id = ic.column_id where ic.object_id = "
                              "i.object_id and ic.index_id = i.index_id and ic.key_ordinal > 0 order by "
                              "ic.key_ordinal for xml path('')), 1, 1, '') from sys.indexes i where i.object_id = "
                              "object_id('" + table + "') and i.index_id > 0")) {
            IndexColumns columns;
            std::string part;
            for (char c : index + ",") {
                if (c == ',') {
                    columns.emplace_back(part, true);
                    part.clear();
                } else {
                    part += c;
                }
            }
            found.push_back(columns);
        }
    }
    return found;
}

bool HasIndex(const std::vector<IndexColumns>& indexes, const Index& needed)
{
    return std::any_of(indexes.begin(), indexes.end(), [&](const IndexColumns& index) {
        if (index.size() < needed.columns.size()) {
            return false;
        }
        for (std::size_t i = 0; i < needed.columns.size(); ++i) {
            if (index[i].first != Lower(needed.columns[i])) {
                return false;
            }
        }
        return !needed.prefix || index[needed.columns.size() - 1].second;
    });
}

}  // namespace

int Run(std::ostream& out)
{
    int problems = 0;
    out << "alias " << operedit_login::kAlias << "\n";
    const hisdb::AliasLookup lookup = hisdb::LookUpAliasFile();
    for (const auto& [place, exists] : lookup.tried) {
        out << "  tried   " << (place.empty() ? std::string("$HISDB_ALIASES (not set)") : place)
            << (exists || place.empty() ? "" : " (none)") << "\n";
    }
    out << "  read    " << (lookup.read.empty() ? "no alias file: HIS is the built-in SQLite database" : lookup.read)
        << "\n";
    hisdb::Alias alias;
    try {
        alias = hisdb::FindAlias(operedit_login::kAlias);
    } catch (const hisdb::EngineError& error) {
        out << "  FAILED  " << error.what() << "\n  hint    the alias HIS is not defined in the file read\n";
        out << "NOT READY\n";
        return 1;
    }
    out << "  driver  " << alias.driver << "\n";
    if (alias.driver == "sqlite") {
        out << "  target  " << alias.database << "\n";
    } else {
        out << "  target  " << Masked(alias.connect) << "\n";
    }
    const std::string credentials = hisdb::CredentialsFileFor(operedit_login::kAlias);
    out << "  login   " << (credentials.empty() ? std::string("the module's built-in user name and password")
                                                 : "user name and password from " + credentials)
        << "\n";

    std::unique_ptr<hisdb::Connection> connection;
    try {
        connection = hisdb::Connect(operedit_login::kAlias, operedit_login::kUser, operedit_login::kPassword);
    } catch (const hisdb::EngineError& error) {
        out << "login FAILED\n";
        std::string text = error.what();
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            out << "  " << text.substr(at, end - at) << "\n";
            at = end + 1;
        }
        out << "  hint    " << Hint(alias, text) << "\n";
        out << "NOT READY\n";
        return 1;
    }
    const hisdb::ServerInfo server = connection->Server();
    out << "login ok\n  server  " << server.dbmsName << " " << server.dbmsVersion << "\n";

    const auto count = [&](const std::string& table) -> std::string {
        try {
            return Scalar(*connection, "select count(*) from " + table);
        } catch (const hisdb::EngineError&) {
            return std::string();
        }
    };
    const std::string counter = count("TNextOperationPlanNo");
    if (counter == "1") {
        out << "counter TNextOperationPlanNo: 1 row, next number "
            << Scalar(*connection, "select FNext from TNextOperationPlanNo") << "\n";
    } else {
        ++problems;
        out << "counter TNextOperationPlanNo: "
            << (counter.empty() ? std::string("cannot be read") : counter + " rows") << " (FAILED: it must hold exactly 1 row)\n";
    }
    out << "tables\n";
    for (const char* table : {"TOperationPlan", "TPat", "TEmployee", "TDictDiagICD", "TDictOperCM", "TDictBloodTypeA",
                              "TDictAssay", "TDictAnaesthesia"}) {
        const std::string rows = count(table);
        if (rows.empty()) {
            ++problems;
        }
        out << "  " << table << ": "
            << (rows.empty() ? std::string("cannot be read (FAILED)") : rows + (rows == "1" ? " row" : " rows"))
            << "\n";
    }
    out << "indexes\n";
    std::string lastTable;
    std::vector<IndexColumns> indexes;
    for (const Index& needed : NeededIndexes()) {
        if (needed.table != lastTable) {
            lastTable = needed.table;
            try {
                indexes = IndexesOf(*connection, server.dbmsName, needed.table);
            } catch (const hisdb::EngineError&) {
                indexes.clear();
            }
        }
        std::string columns;
        for (const char* column : needed.columns) {
            columns += (columns.empty() ? "" : ", ") + std::string(column);
        }
        const bool present = HasIndex(indexes, needed);
        if (!present) {
            ++problems;
        }
        out << "  " << needed.table << " (" << columns << "): " << (present ? "present" : "MISSING") << ", for "
            << needed.serves << "\n";
    }
    out << (problems == 0 ? "READY\n" : "NOT READY (" + std::to_string(problems) + " problems)\n");
    return problems == 0 ? 0 : 1;
}

}  // namespace check
