// The cache with 10 000 user records of 708 bytes, beside the same work done with SQLite (one
// table of the same records, indexed by ID) in the same run. Prints the time of each step, the
// file sizes and the ratios cache / SQLite. Each scenario runs three times; the median counts.
//
// Steps: add every record and commit; open again; query every record by ID (both mark the
// record as used, so both write); close, which commits those writes; AutoDelete when nothing is
// due (a scan); AutoDelete when every record is two months old (removes them all) and commit.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovcache.h"
#include "platform/com/com.h"
#include "platform/storage/storage.h"

namespace {

constexpr int kRecords = 10'000;
constexpr size_t kRecordSize = 708;
constexpr int kRuns = 3;
constexpr ULONG kFirstId = 100'000;

using Clock = std::chrono::steady_clock;

std::string Name(int i) {
    char text[16];
    std::snprintf(text, sizeof text, "user%05d", i);
    return text;
}

std::vector<uint8_t> Record(int i) {
    std::vector<uint8_t> bytes(kRecordSize);
    for (size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<uint8_t>(i * 7 + k);
    return bytes;
}

int64_t TwoMonthsAgo() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>(FileTimeToUInt64(now) - 62ull * 86'400ull * 10'000'000ull);
}

// Step name -> milliseconds of each run.
using Timings = std::map<std::string, std::vector<double>>;

double Time(const std::function<void()>& step) {
    const auto start = Clock::now();
    step();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "benchmark step failed: %s\n", what);
        std::exit(1);
    }
}

const std::vector<std::string> kSteps = {"add + commit",         "open",
                                         "query by ID",          "close (commit)",
                                         "AutoDelete, none due", "AutoDelete all + commit"};

uintmax_t RunCache(const std::string& path, Timings* t) {
    std::filesystem::remove(path);
    ComPtr<IOVCache> cache;
    Check(CoCreateInstance(CLSID_OVCache, &cache) == S_OK, "create");
    LONG ok = 0;
    const Bstr file = Bstr::FromUtf8(path);
    Check(cache->Init(file, &ok) == S_OK, "init new");
    std::vector<Bstr> names;
    for (int i = 0; i < kRecords; ++i)
        names.push_back(Bstr::FromUtf8(Name(i)));

    (*t)["add + commit"].push_back(Time([&] {
        for (int i = 0; i < kRecords; ++i) {
            const std::vector<uint8_t> bytes = Record(i);
            CByteArrayVariant data(bytes.data(), bytes.size());
            Check(cache->Add(names[i], kFirstId + i, data.Variant(), &ok) == S_OK, "add");
        }
        cache.Reset();  // the release commits
    }));
    const uintmax_t size = std::filesystem::file_size(path);

    Check(CoCreateInstance(CLSID_OVCache, &cache) == S_OK, "create");
    (*t)["open"].push_back(Time([&] { Check(cache->Init(file, &ok) == S_OK, "init"); }));
    (*t)["query by ID"].push_back(Time([&] {
        for (int i = 0; i < kRecords; ++i) {
            Variant out;
            Check(cache->QueryFromID(kFirstId + i, &out) == S_OK, "query");
            Check(CByteArrayVariant(out).Size() == kRecordSize, "record size");
        }
    }));
    (*t)["close (commit)"].push_back(Time([&] { cache.Reset(); }));

    Check(CoCreateInstance(CLSID_OVCache, &cache) == S_OK, "create");
    Check(cache->Init(file, &ok) == S_OK, "init");
    (*t)["AutoDelete, none due"].push_back(
        Time([&] { Check(cache->AutoDelete(&ok) == S_OK, "autodelete"); }));
    cache.Reset();

    // Every record two months old, through the storage layer (not timed).
    {
        ComPtr<IStorage> root, table;
        Check(StgOpenStorage(path, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED,
                             root.ReleaseAndGetAddressOf()) == S_OK,
              "open file");
        Check(root->OpenStorage(u"UserNameTable", STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                table.ReleaseAndGetAddressOf()) == S_OK,
              "open table");
        const FILETIME old = FileTimeFromUInt64(static_cast<uint64_t>(TwoMonthsAgo()));
        for (int i = 0; i < kRecords; ++i) {
            const std::string n = Name(i);
            const std::u16string wide(n.begin(), n.end());
            Check(table->SetElementTimes(wide.c_str(), nullptr, nullptr, &old) == S_OK, "age");
        }
        Check(root->Commit(STGC_DEFAULT) == S_OK, "commit ages");
    }
    Check(CoCreateInstance(CLSID_OVCache, &cache) == S_OK, "create");
    Check(cache->Init(file, &ok) == S_OK, "init");
    (*t)["AutoDelete all + commit"].push_back(Time([&] {
        Check(cache->AutoDelete(&ok) == S_OK, "autodelete");
        cache.Reset();
    }));
    Check(CoCreateInstance(CLSID_OVCache, &cache) == S_OK, "create");
    Check(cache->Init(file, &ok) == S_OK, "init");
    Variant gone;
    Check(cache->QueryFromID(kFirstId, &gone) == S_FALSE, "records removed");
    return size;
}

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s: %s\n", sql, error ? error : "?");
        std::exit(1);
    }
}

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK, sql);
    return stmt;
}

int64_t NowTicks() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>(FileTimeToUInt64(now));
}

// The same records in one table; a query marks the record as used, as the cache does.
uintmax_t RunSqlite(const std::string& path, Timings* t) {
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite open");
    Exec(db,
         "CREATE TABLE users(name TEXT PRIMARY KEY COLLATE NOCASE, id INTEGER NOT NULL, "
         "data BLOB NOT NULL, allow_delete INTEGER NOT NULL DEFAULT 1, last_used INTEGER NOT NULL);"
         "CREATE INDEX users_id ON users(id);");
    (*t)["add + commit"].push_back(Time([&] {
        sqlite3_stmt* insert =
            Prepare(db, "INSERT OR REPLACE INTO users(name, id, data, last_used) VALUES(?,?,?,?)");
        Exec(db, "BEGIN");
        for (int i = 0; i < kRecords; ++i) {
            const std::string name = Name(i);
            const std::vector<uint8_t> bytes = Record(i);
            sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 2, kFirstId + i);
            sqlite3_bind_blob(insert, 3, bytes.data(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 4, NowTicks());
            Check(sqlite3_step(insert) == SQLITE_DONE, "insert");
            sqlite3_reset(insert);
        }
        Exec(db, "COMMIT");
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }));
    const uintmax_t size = std::filesystem::file_size(path);

    sqlite3_stmt* select = nullptr;
    sqlite3_stmt* touch = nullptr;
    (*t)["open"].push_back(Time([&] {
        Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite open");
        select = Prepare(db, "SELECT name, data FROM users WHERE id = ?");
        touch = Prepare(db, "UPDATE users SET last_used = ? WHERE name = ?");
    }));
    (*t)["query by ID"].push_back(Time([&] {
        Exec(db, "BEGIN");
        for (int i = 0; i < kRecords; ++i) {
            sqlite3_bind_int64(select, 1, kFirstId + i);
            Check(sqlite3_step(select) == SQLITE_ROW, "select");
            Check(sqlite3_column_bytes(select, 1) == static_cast<int>(kRecordSize), "size");
            std::vector<uint8_t> copy(
                static_cast<const uint8_t*>(sqlite3_column_blob(select, 1)),
                static_cast<const uint8_t*>(sqlite3_column_blob(select, 1)) + kRecordSize);
            sqlite3_bind_int64(touch, 1, NowTicks());
            sqlite3_bind_text(touch, 2,
                              reinterpret_cast<const char*>(sqlite3_column_text(select, 0)), -1,
                              SQLITE_TRANSIENT);
            sqlite3_reset(select);
            Check(sqlite3_step(touch) == SQLITE_DONE, "touch");
            sqlite3_reset(touch);
        }
    }));
    (*t)["close (commit)"].push_back(Time([&] {
        Exec(db, "COMMIT");
        sqlite3_finalize(select);
        sqlite3_finalize(touch);
        sqlite3_close(db);
    }));

    Check(sqlite3_open(path.c_str(), &db) == SQLITE_OK, "sqlite open");
    const std::string due = "DELETE FROM users WHERE last_used < " +
                            std::to_string(TwoMonthsAgo() + 30ll * 86'400 * 10'000'000) +
                            " AND allow_delete <> 0";
    (*t)["AutoDelete, none due"].push_back(Time([&] { Exec(db, due.c_str()); }));
    Check(sqlite3_changes(db) == 0, "nothing due");
    Exec(db, ("UPDATE users SET last_used = " + std::to_string(TwoMonthsAgo())).c_str());
    (*t)["AutoDelete all + commit"].push_back(Time([&] {
        Exec(db, due.c_str());
        sqlite3_close(db);
    }));
    return size;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("ovbench-cache-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("ORVANE_REGISTRY", (dir / "registry").c_str(), 1);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Check(RegisterServerLibrary(GetProgramDirectory() + kOVCacheLibraryFile) == S_OK, "register");

    Timings cache, sqlite;
    uintmax_t cacheSize = 0, sqliteSize = 0;
    for (int run = 0; run < kRuns; ++run) {
        cacheSize = RunCache((dir / "cache.dat").string(), &cache);
        sqliteSize = RunSqlite((dir / "cache.sqlite").string(), &sqlite);
    }

    std::printf("OVCache vs SQLite: %d records of %zu bytes, median of %d runs\n\n", kRecords,
                kRecordSize, kRuns);
    std::printf("%-26s %12s %12s %10s\n", "step", "OVCache ms", "SQLite ms", "ratio");
    for (const std::string& step : kSteps) {
        const double a = Median(cache[step]), b = Median(sqlite[step]);
        std::printf("%-26s %12.2f %12.2f %9.2fx\n", step.c_str(), a, b, b > 0 ? a / b : 0.0);
    }
    std::printf("%-26s %12ju %12ju %9.2fx\n", "file size (bytes)", cacheSize, sqliteSize,
                static_cast<double>(cacheSize) / static_cast<double>(sqliteSize));
    CoUninitialize();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
