// Servers on one PostgreSQL database tell each other events through LISTEN and NOTIFY, on a
// connection of their own (the store's carries transactions; notifications are read between
// them here). Every process listens on one channel, named after the database schema, and
// ignores what it sent itself.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>

#include "server/cluster.h"

namespace ov::server {

class PostgresCluster final : public Cluster {
public:
    static std::unique_ptr<PostgresCluster> Open(const std::string& url, uint64_t self,
                                                 std::string* error);
    ~PostgresCluster() override;

    uint64_t Self() const override { return self_; }
    bool Publish(const ClusterEvent& event) override;
    int Fd() const override { return PQsocket(conn_); }
    std::vector<ClusterEvent> Receive() override;

private:
    PostgresCluster(PGconn* conn, uint64_t self) : conn_(conn), self_(self) {}
    bool Listen();

    PGconn* conn_;
    uint64_t self_;
    std::string channel_;
};

}  // namespace ov::server
