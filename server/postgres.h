// The SQL database on PostgreSQL through libpq: one connection, statements prepared on the
// server the first time they run, parameters and results in binary form (blobs are bytea,
// numbers int8). The store's "?N" parameters become "$N".
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "server/sql.h"

namespace ov::server {

class PostgresDatabase;

class PostgresStatement final : public Statement {
public:
    PostgresStatement(PostgresDatabase& db, std::string name, std::string sql)
        : db_(db), name_(std::move(name)), sql_(std::move(sql)) {}
    ~PostgresStatement() override;
    PostgresStatement(const PostgresStatement&) = delete;
    PostgresStatement& operator=(const PostgresStatement&) = delete;

    Statement& Reset() override;
    Statement& Bind(int index, int64_t value) override;
    Statement& Bind(int index, std::string_view bytes) override;
    Statement& BindText(int index, std::string_view text) override;
    bool Step() override;
    int64_t Int(int column) const override;
    std::string Bytes(int column) const override;

    // The connection was made again: the server has forgotten the prepared form.
    void Forget() { prepared_ = false; }

private:
    void Set(int index, Oid type, std::string value);
    bool Execute();

    PostgresDatabase& db_;
    const std::string name_;
    const std::string sql_;
    bool prepared_ = false;
    std::vector<Oid> preparedTypes_;  // the types it was prepared with
    std::vector<Oid> types_;
    std::vector<std::string> values_;
    std::vector<bool> bound_;
    PGresult* result_ = nullptr;
    int row_ = -1;
};

class PostgresDatabase final : public Database {
public:
    // url: a libpq connection URI ("postgresql://user@host:port/db?..."). nullptr and *error
    // (without the password) when it cannot connect.
    static std::unique_ptr<PostgresDatabase> Open(const std::string& url, std::string* error);
    ~PostgresDatabase() override;

    Kind Engine() const override { return Kind::kPostgres; }
    Statement& Prepare(const char* sql) override;
    bool Exec(const char* sql) override;
    std::string LastError() const override { return error_; }
    int64_t Changes() const override { return changes_; }

    PGconn* Connection() const { return conn_; }

private:
    friend class PostgresStatement;
    explicit PostgresDatabase(PGconn* conn) : conn_(conn) {}
    // Keeps the outcome of a statement: its error text and the rows it changed. False when
    // it failed.
    bool Note(PGresult* result);
    // A lost connection is made again once, outside a transaction; the statements then
    // prepare themselves again.
    bool EnsureConnected();

    PGconn* conn_;
    std::unordered_map<const char*, std::unique_ptr<PostgresStatement>> cache_;
    std::string error_;
    int64_t changes_ = 0;
    // Between BEGIN and its COMMIT or ROLLBACK. A connection lost in a transaction has lost
    // the transaction's work: nothing runs until the transaction is rolled back.
    bool inTransaction_ = false;
    bool lostInTransaction_ = false;
};

// "?N" parameters as PostgreSQL's "$N"; a "?" inside a quoted literal is left alone.
std::string PostgresParameters(std::string_view sql);
// The URL with any password replaced by "***", for logs and messages.
std::string RedactedUrl(const std::string& url);
bool IsPostgresUrl(const std::string& path);

}  // namespace ov::server
