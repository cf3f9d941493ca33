// The SQL database on SQLite: one connection, prepared statements cached by their SQL text.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "server/sql.h"

namespace ov::server {

class SqliteStatement final : public Statement {
public:
    explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    Statement& Reset() override;
    Statement& Bind(int index, int64_t value) override;
    Statement& Bind(int index, std::string_view bytes) override;
    Statement& BindText(int index, std::string_view text) override;
    bool Step() override;
    int64_t Int(int column) const override { return sqlite3_column_int64(stmt_, column); }
    std::string Bytes(int column) const override;

private:
    sqlite3_stmt* stmt_;
};

class SqliteDatabase final : public Database {
public:
    // Opens (creating if needed, with mode 0600) for reading and writing; nullptr and *error
    // when it cannot be opened or written. ":memory:" lives as long as the object.
    static std::unique_ptr<SqliteDatabase> Open(const std::string& path, std::string* error);
    ~SqliteDatabase() override;

    Kind Engine() const override { return Kind::kSqlite; }
    // A statement that does not compile is a programming error: it is reported and the
    // process ends.
    Statement& Prepare(const char* sql) override;
    bool Exec(const char* sql) override;
    std::string LastError() const override { return sqlite3_errmsg(db_); }
    int64_t Changes() const override { return sqlite3_changes64(db_); }

private:
    explicit SqliteDatabase(sqlite3* db) : db_(db) {}
    sqlite3* db_;
    std::unordered_map<const char*, std::unique_ptr<SqliteStatement>> cache_;
};

}  // namespace ov::server
