#include "server/tests/test_database.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

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

void IgnoreNotice(void*, const char*) {}

bool Run(const std::string& url, const std::string& sql) {
    PGconn* conn = PQconnectdb(url.c_str());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);  // "drop cascades to ..."
        PGresult* r = PQexec(conn, sql.c_str());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!ok)
            ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
        PQclear(r);
    } else {
        ADD_FAILURE() << "cannot connect to " << url << ": " << PQerrorMessage(conn);
    }
    PQfinish(conn);
    return ok;
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
