#include "server/tests/test_database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "server/postgres.h"

namespace ovt {

namespace {

std::string ClusterUrl() {
    const char* file = std::getenv("ORVANE_TEST_PG_URL_FILE");
    if (!file || !*file)
        return {};
    std::ifstream in(file);
    std::string url;
    std::getline(in, url);
    if (url.empty())
        ADD_FAILURE() << "no PostgreSQL URL in " << file << " (did the cluster start?)";
    return url;
}

bool Run(const std::string& url, const std::string& sql) {
    std::string error;
    auto db = ov::server::PostgresDatabase::Open(url, &error);
    if (!db) {
        ADD_FAILURE() << error;
        return false;
    }
    if (!db->Exec(sql.c_str())) {
        ADD_FAILURE() << sql << ": " << db->LastError();
        return false;
    }
    return true;
}

}  // namespace

bool TestDatabase::OnPostgres() {
    const char* file = std::getenv("ORVANE_TEST_PG_URL_FILE");
    return file && *file;
}

TestDatabase::TestDatabase() {
    base_ = ClusterUrl();
    if (base_.empty())
        return;
    static std::atomic<int> counter{0};
    schema_ = "test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    if (!Run(base_, "CREATE SCHEMA " + schema_))
        return;
    postgres_ = base_ + (base_.find('?') == std::string::npos ? "?" : "&") +
                "options=-csearch_path%3D" + schema_;
}

TestDatabase::~TestDatabase() {
    if (!schema_.empty())
        Run(base_, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
}

}  // namespace ovt
