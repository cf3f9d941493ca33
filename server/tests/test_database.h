// The database a test's server stands on. By default SQLite; when the environment variable
// ORVANE_TEST_PG_URL_FILE names a file holding a PostgreSQL URL (the ctest fixture writes
// one), every TestDatabase is a schema of its own in that database, dropped at the end, so
// that the same tests check both engines.
#pragma once

#include <string>

namespace ovt {

class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    static bool OnPostgres();
    // For one server: ":memory:", or the schema's URL.
    std::string Fresh() const { return postgres_.empty() ? ":memory:" : postgres_; }
    // For servers one after another (or at once, on PostgreSQL): the SQLite file given, or
    // the schema's URL.
    std::string Kept(const std::string& sqliteFile) const {
        return postgres_.empty() ? sqliteFile : postgres_;
    }

private:
    std::string base_;      // the cluster's URL
    std::string schema_;    // this database's schema in it
    std::string postgres_;  // the URL that selects the schema
};

}  // namespace ovt
