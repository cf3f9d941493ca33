// A thin RAII layer over SQLite: one connection, prepared statements cached by their SQL
// text, blobs for the protocol's byte strings (code page 936 is stored and compared as bytes).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ov::server {

class Statement {
public:
    explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Clears the previous run's bindings and state; every use starts with it.
    Statement& Reset();
    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, std::string_view bytes);  // as a blob (empty: zero-length blob)
    // True while a row is available; false when done or on error (see Failed).
    bool Step();
    bool Failed() const { return failed_; }
    // Runs to completion; false on error.
    bool Run();

    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Bytes(int column) const;

private:
    sqlite3_stmt* stmt_;
    bool failed_ = false;
};

class Database {
public:
    // Opens (creating if needed, with mode 0600) for reading and writing; nullptr and *error
    // when it cannot be opened or written.
    static std::unique_ptr<Database> Open(const std::string& path, std::string* error);
    ~Database();

    // A cached statement, reset for a new run. The SQL texts are the program's own, so one
    // that does not compile is a programming error: it is reported and the process ends.
    Statement& Prepare(const char* sql);
    bool Exec(const char* sql);
    std::string LastError() const { return sqlite3_errmsg(db_); }
    int64_t LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
    int Changes() const { return sqlite3_changes(db_); }
    sqlite3* Handle() const { return db_; }

private:
    explicit Database(sqlite3* db) : db_(db) {}
    sqlite3* db_;
    std::unordered_map<const char*, std::unique_ptr<Statement>> cache_;
};

// BEGIN ... COMMIT around a group of changes, rolled back unless Commit is called.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) { ok_ = db_.Exec("BEGIN"); }
    ~Transaction() {
        if (ok_ && !committed_)
            db_.Exec("ROLLBACK");
    }
    bool Commit() { return ok_ && (committed_ = db_.Exec("COMMIT")); }

private:
    Database& db_;
    bool ok_ = false;
    bool committed_ = false;
};

}  // namespace ov::server
