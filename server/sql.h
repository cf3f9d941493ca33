// The little the store needs of a SQL database, so that one store runs on SQLite (one
// process, the default) or on PostgreSQL (several processes). Statements are written once
// with numbered parameters (?1, ?2, ...); byte strings are blobs, compared as bytes (code
// page 936 stays as it came), and text only where the store says so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ov::server {

class Statement {
public:
    virtual ~Statement() = default;
    // Clears the previous run's bindings and state; every use starts with it.
    virtual Statement& Reset() = 0;
    virtual Statement& Bind(int index, int64_t value) = 0;
    // As a blob (empty: a zero-length blob, not NULL).
    virtual Statement& Bind(int index, std::string_view bytes) = 0;
    // As text, for the few columns that hold text (password hashes).
    virtual Statement& BindText(int index, std::string_view text) = 0;
    // True while a row is available; false when done or on error (see Failed).
    virtual bool Step() = 0;
    bool Failed() const { return failed_; }
    // Runs to completion; false on error.
    bool Run() {
        while (Step()) {
        }
        return !failed_;
    }

    virtual int64_t Int(int column) const = 0;
    virtual std::string Bytes(int column) const = 0;

protected:
    bool failed_ = false;
};

class Database {
public:
    enum class Kind { kSqlite, kPostgres };

    virtual ~Database() = default;
    virtual Kind Engine() const = 0;
    // A cached statement, reset for a new run. The SQL texts are the program's own.
    virtual Statement& Prepare(const char* sql) = 0;
    // One or more statements without parameters.
    virtual bool Exec(const char* sql) = 0;
    virtual std::string LastError() const = 0;
    // Rows changed by the latest statement run.
    virtual int64_t Changes() const = 0;
};

// BEGIN ... COMMIT around a group of changes, rolled back unless Commit is called.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) { ok_ = db_.Exec("BEGIN"); }
    ~Transaction() {
        if (ok_ && !committed_)
            db_.Exec("ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Commit() { return ok_ && (committed_ = db_.Exec("COMMIT")); }

private:
    Database& db_;
    bool ok_ = false;
    bool committed_ = false;
};

}  // namespace ov::server
