#include "server/sqlite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace ov::server {

namespace {

// The database holds password hashes: a file made here is readable by its owner alone.
// SQLite gives its journal and WAL files the main file's mode, so they follow. An existing
// file keeps the mode it has; a path that cannot be made is left for SQLite to report.
void CreatePrivateFile(const std::string& path) {
    if (path.empty() || path == ":memory:" || path.rfind("file:", 0) == 0)
        return;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    fchmod(fd, 0600);  // whatever the umask
    close(fd);
}

}  // namespace

Statement& SqliteStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    failed_ = false;
    return *this;
}

Statement& SqliteStatement::Bind(int index, int64_t value) {
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
        failed_ = true;
    return *this;
}

Statement& SqliteStatement::Bind(int index, std::string_view bytes) {
    // A non-null pointer even for the empty string, so that it binds as an empty blob.
    static const char kEmpty = 0;
    const char* data = bytes.empty() ? &kEmpty : bytes.data();
    if (sqlite3_bind_blob64(stmt_, index, data, bytes.size(), SQLITE_TRANSIENT) != SQLITE_OK) {
        failed_ = true;
    }
    return *this;
}

Statement& SqliteStatement::BindText(int index, std::string_view text) {
    const char* data = text.empty() ? "" : text.data();  // empty text, not NULL
    if (sqlite3_bind_text64(stmt_, index, data, text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
        SQLITE_OK) {
        failed_ = true;
    }
    return *this;
}

bool SqliteStatement::Step() {
    if (failed_)
        return false;
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        failed_ = true;
    return false;
}

std::string SqliteStatement::Bytes(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0)
        return {};
    return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::Open(const std::string& path, std::string* error) {
    CreatePrivateFile(path);
    sqlite3* handle = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        *error = "cannot open database " + path + ": " +
                 (handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
        sqlite3_close(handle);
        return nullptr;
    }
    std::unique_ptr<SqliteDatabase> db(new SqliteDatabase(handle));
    sqlite3_busy_timeout(handle, 2000);
    if (sqlite3_db_readonly(handle, "main") == 1) {
        *error = "cannot write database " + path + ": the file is read-only";
        return nullptr;
    }
    // A write probe: a read-only directory or a locked file shows here, not at the first
    // registration.
    if (!db->Exec("BEGIN IMMEDIATE") || !db->Exec("COMMIT")) {
        *error = "cannot write database " + path + ": " + db->LastError();
        return nullptr;
    }
    return db;
}

SqliteDatabase::~SqliteDatabase() {
    cache_.clear();
    sqlite3_close(db_);
}

Statement& SqliteDatabase::Prepare(const char* sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end())
        return it->second->Reset();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "SQL does not compile: %s\n%s\n", sqlite3_errmsg(db_), sql);
        std::abort();
    }
    auto& slot = cache_[sql];
    slot = std::make_unique<SqliteStatement>(stmt);
    return *slot;
}

bool SqliteDatabase::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace ov::server
