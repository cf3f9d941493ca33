// The transport duties of the server towards each client address:
//  - every client command is acknowledged at once with the 8-byte acknowledgement, and a
//    retransmitted command (same nPacketSeq, same bytes) is recognised so it runs only once;
//  - every datagram the server sends is numbered with the server's own nPacketSeq and sent
//    again, at growing intervals and a bounded number of times, until the client's 16-byte
//    acknowledgement names it; a small window per client keeps bursts in order.
// It knows nothing about commands; the caller hands it datagrams and the clock's time.
//
//   Reliability r(config, transmit);
//   if (r.AcceptCommand(from, seq, datagram, now)) Execute(...);   // acked either way
//   r.Send(to, OV_SCMD_MESSAGE, 0, body, now, [](bool acked) { ... });
//   r.Tick(now);  // at r.NextDeadline() or later
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "server/endpoint.h"

namespace ov::server {

struct ReliabilityConfig {
    // The k-th retransmission follows the previous transmission after k * retryStepMs.
    int64_t retryStepMs = 1000;
    // Transmissions in all (the first one included) before a datagram is given up.
    int maxTransmissions = 7;
    // Unacknowledged datagrams per client; further ones wait in order.
    size_t windowPerPeer = 32;
    // Datagrams waiting behind the window per client; beyond it new ones are given up.
    size_t queuePerPeer = 4096;
    // A command with a known nPacketSeq and identical bytes within this time is a duplicate.
    // Clients give a command up about 35 s after its first transmission.
    int64_t duplicateWindowMs = 60'000;
    // A client address with nothing in flight is forgotten after this much silence.
    int64_t peerIdleMs = 120'000;
    // Client addresses tracked at once; commands from further addresses are dropped.
    size_t maxPeers = 200'000;
    // First server nPacketSeq; the server passes a random one so that a restarted server
    // does not repeat the numbers a client has just seen.
    uint32_t firstPacketSeq = 1;
};

struct ReliabilityStats {
    uint64_t sent = 0;             // first transmissions
    uint64_t retransmissions = 0;  // further transmissions
    uint64_t acknowledged = 0;
    uint64_t givenUp = 0;
    uint64_t duplicates = 0;
    uint64_t refused = 0;  // commands dropped because too many addresses are tracked
};

class Reliability {
public:
    using Transmit = std::function<void(const Endpoint& to, std::string_view datagram)>;
    // Called once per datagram sent with Send: true when acknowledged, false when given up.
    using Done = std::function<void(bool acknowledged)>;

    Reliability(const ReliabilityConfig& config, Transmit transmit);

    // For a client command (header already checked): sends the 8-byte acknowledgement and
    // answers whether it is new (true) or a retransmission of one already taken (false).
    bool AcceptCommand(const Endpoint& from, uint32_t packetSeq, std::string_view datagram,
                       int64_t nowMs);
    // A client's acknowledgement of the server datagram packetSeq; true if it was in flight.
    bool OnAck(const Endpoint& from, uint32_t packetSeq, int64_t nowMs);
    // Numbers, sends and keeps sending one server datagram: 10-byte header and body.
    void Send(const Endpoint& to, uint16_t command, uint16_t cmdSeqNum, std::string_view body,
              int64_t nowMs, Done done = {});
    // Retransmits and gives up what is due, forgets idle addresses.
    void Tick(int64_t nowMs);
    // The monotonic time of the next thing Tick has to do (INT64_MAX when nothing waits).
    int64_t NextDeadline() const;

    const ReliabilityStats& Stats() const { return stats_; }
    size_t PeerCount() const { return peers_.size(); }
    // Server datagrams not yet acknowledged nor given up (in flight or waiting).
    size_t Outstanding() const { return outgoing_.size(); }

private:
    struct Seen {
        uint32_t seq = 0;
        uint32_t hash = 0;
        int64_t atMs = INT64_MIN;
    };
    static constexpr size_t kRecent = 32;  // clients keep one command in flight
    struct Peer {
        Seen recent[kRecent];
        size_t next = 0;
        size_t inflight = 0;
        std::vector<uint32_t> waiting;  // packet numbers queued behind the window
        size_t waitingHead = 0;
        int64_t lastActivityMs = 0;
    };
    struct Outgoing {
        Endpoint to;
        std::string bytes;
        int transmissions = 0;
        int64_t dueMs = 0;
        Done done;
    };

    Peer* FindOrAddPeer(const Endpoint& ep, int64_t nowMs);
    void Launch(uint32_t seq, Outgoing& out, int64_t nowMs);
    void Finish(uint32_t seq, std::vector<Done>* completions);
    void Pump(Peer& peer, int64_t nowMs);
    void ForgetIdlePeers(int64_t nowMs, int64_t idleMs);

    ReliabilityConfig config_;
    Transmit transmit_;
    uint32_t nextSeq_;
    std::unordered_map<Endpoint, Peer, EndpointHash> peers_;
    std::unordered_map<uint32_t, Outgoing> outgoing_;  // in flight and waiting, by nPacketSeq
    std::set<std::pair<int64_t, uint32_t>> timers_;    // (due, nPacketSeq) of those in flight
    int64_t nextSweepMs_ = INT64_MIN;
    ReliabilityStats stats_;
};

}  // namespace ov::server
