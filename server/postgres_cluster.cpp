#include "server/postgres_cluster.h"

#include <cstring>

#include "server/postgres.h"

namespace ov::server {

std::unique_ptr<PostgresCluster> PostgresCluster::Open(const std::string& url, uint64_t self,
                                                       std::string* error) {
    PGconn* conn = PQconnectdb(url.c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        *error = "cannot connect to " + RedactedUrl(url) + ": " + PQerrorMessage(conn);
        while (!error->empty() && error->back() == '\n')
            error->pop_back();
        PQfinish(conn);
        return nullptr;
    }
    // Notifications go to the whole database: the channel is named after the schema, so that
    // servers of different schemas (installations, or tests) do not hear each other.
    PGresult* r = PQexec(conn, "SELECT current_schema()");
    std::string schema =
        PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1 && !PQgetisnull(r, 0, 0)
            ? PQgetvalue(r, 0, 0)
            : "";
    PQclear(r);
    std::unique_ptr<PostgresCluster> cluster(new PostgresCluster(conn, self));
    cluster->channel_ = "orvane:" + schema;
    if (!cluster->Listen()) {
        *error = "cannot listen for the other servers: " + std::string(PQerrorMessage(conn));
        return nullptr;
    }
    return cluster;
}

PostgresCluster::~PostgresCluster() {
    PQfinish(conn_);
}

bool PostgresCluster::Listen() {
    char* quoted = PQescapeIdentifier(conn_, channel_.c_str(), channel_.size());
    if (!quoted)
        return false;
    PGresult* r = PQexec(conn_, (std::string("LISTEN ") + quoted).c_str());
    PQfreemem(quoted);
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    return ok;
}

bool PostgresCluster::Publish(const ClusterEvent& event) {
    if (PQstatus(conn_) != CONNECTION_OK) {
        // Made again, and listening again; what was missed meanwhile is lost, as it is for
        // a process that starts late.
        PQreset(conn_);
        if (PQstatus(conn_) != CONNECTION_OK || !Listen())
            return false;
    }
    std::string payload = Encode(event);
    const char* values[2] = {channel_.c_str(), payload.c_str()};
    PGresult* r =
        PQexecParams(conn_, "SELECT pg_notify($1, $2)", 2, nullptr, values, nullptr, nullptr, 0);
    bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    return ok;
}

std::vector<ClusterEvent> PostgresCluster::Receive() {
    std::vector<ClusterEvent> events;
    if (PQconsumeInput(conn_) == 0) {
        if (PQstatus(conn_) != CONNECTION_OK) {
            PQreset(conn_);
            if (PQstatus(conn_) == CONNECTION_OK)
                Listen();
        }
        return events;
    }
    while (PGnotify* n = PQnotifies(conn_)) {
        if (n->relname == channel_) {
            std::optional<ClusterEvent> e = DecodeClusterEvent(n->extra);
            if (e && e->origin != self_)
                events.push_back(std::move(*e));
        }
        PQfreemem(n);
    }
    return events;
}

}  // namespace ov::server
