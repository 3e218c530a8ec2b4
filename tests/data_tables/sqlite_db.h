// An in-memory SQLite database for the schema and seed tests.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testdb {

// A file of the source tree: under $OPEREDIT_SOURCE_DIR, else under the tree
// the test was built from.
inline std::string ReadSourceFile(const std::string& relative)
{
    const char* root = std::getenv("OPEREDIT_SOURCE_DIR");
    const std::string path = std::string(root && *root ? root : OPEREDIT_DEFAULT_SOURCE_DIR) + "/" + relative;
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Db {
public:
    explicit Db(const std::string& path = ":memory:")
    {
        if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
            throw std::runtime_error("sqlite3_open failed");
        }
    }
    ~Db() { sqlite3_close(db_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    void Exec(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }

    // All rows of a query, every value as text ("" for null).
    std::vector<std::vector<std::string>> Rows(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        }
        std::vector<std::vector<std::string>> rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto* text = sqlite3_column_text(stmt, i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    std::string Scalar(const std::string& sql)
    {
        const auto rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
    }

    // Names of the result columns of a statement, without running it.
    std::vector<std::string> ColumnNames(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        }
        std::vector<std::string> names;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            names.emplace_back(sqlite3_column_name(stmt, i));
        }
        sqlite3_finalize(stmt);
        return names;
    }

private:
    sqlite3* db_ = nullptr;
};

} // namespace testdb
