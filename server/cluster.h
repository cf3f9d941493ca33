// The servers that share one database, as one process sees them: it publishes its events to
// the others and receives theirs. Without one (SQLite) a server is alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/cluster_event.h"

namespace ov::server {

class Cluster {
public:
    virtual ~Cluster() = default;
    // This process, as the others know it: its listening address and port.
    virtual uint64_t Self() const = 0;
    // To every other process, in the order published. False when it could not be sent.
    virtual bool Publish(const ClusterEvent& event) = 0;
    // A descriptor that turns readable when events may have come (-1: none to watch).
    virtual int Fd() const = 0;
    // The events that have come from the other processes, oldest first.
    virtual std::vector<ClusterEvent> Receive() = 0;
};

}  // namespace ov::server
