// The transport duties of the server towards client addresses:
//  - every client command is acknowledged with the 8-byte acknowledgement, and a
//    retransmitted command (same nPacketSeq, same bytes) is recognised so it runs only once;
//  - an address becomes *confirmed* when the server's caller says so (a datagram from it
//    carried a live session's PIN and login ID). Only confirmed addresses get datagrams that
//    are numbered, kept and sent again until the client's 16-byte acknowledgement - carrying
//    the same PIN and login ID - names them; a small window per address keeps bursts in order.
//  - everything else (replies to commands that showed no session) goes out once, within a
//    credit of twice the bytes the address sent, and is kept only to answer a retransmission
//    of its command. A forged source address can neither grow the server's state beyond a
//    fixed table nor make it send more than twice what it received.
// It knows nothing about commands; the caller hands it datagrams and the clock's time.
//
//   Reliability r(config, transmit);
//   if (r.AcceptCommand(from, header, datagram, now, authenticated)) Execute(...);
//   r.SendOnce(from, command, cmdSeq, body, now);             // a reply to anyone
//   r.Confirm(ep, pin, loginId);                              // a session lives there
//   r.Send(ep, OV_SCMD_MESSAGE, 0, body, now, [](bool acked) { ... });   // confirmed only
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

#include "common/protocol/wire.h"
#include "server/address_table.h"
#include "server/endpoint.h"

namespace ov::server {

struct ReliabilityConfig {
    // The k-th retransmission follows the previous transmission after k * retryStepMs.
    int64_t retryStepMs = 1000;
    // Transmissions in all (the first one included) before a datagram is given up.
    int maxTransmissions = 7;
    // Unacknowledged datagrams per confirmed address; further ones wait in order.
    size_t windowPerPeer = 32;
    // Datagrams waiting behind the window per address; beyond it new ones are given up.
    size_t queuePerPeer = 4096;
    // Datagrams kept for retransmission or waiting, over all addresses, and their bytes;
    // beyond either new ones are given up.
    size_t maxOutstanding = 262'144;
    size_t maxOutstandingBytes = size_t{64} << 20;
    // A command with a known nPacketSeq and identical bytes within this time is a duplicate.
    // Clients give a command up about 35 s after its first transmission.
    int64_t duplicateWindowMs = 60'000;
    // Addresses without a session remembered at once, and for how long after their last word.
    size_t maxAddresses = 32'768;
    int64_t addressIdleMs = 120'000;
    // What an address without a session may receive: this many times the bytes it sent,
    // saved up to at most creditCap bytes.
    int64_t amplification = 2;
    int64_t creditCap = 4096;
    // First server nPacketSeq; the server passes a random one so that a restarted server
    // does not repeat the numbers a client has just seen, and nobody can guess them.
    uint32_t firstPacketSeq = 1;
};

struct ReliabilityStats {
    uint64_t sent = 0;             // first transmissions of kept datagrams
    uint64_t sentOnce = 0;         // datagrams sent once (replies to commands without a session)
    uint64_t retransmissions = 0;  // further transmissions
    uint64_t acknowledged = 0;
    uint64_t givenUp = 0;
    uint64_t duplicates = 0;
    uint64_t throttled = 0;  // not sent: beyond the address's credit
    uint64_t bytesOut = 0;   // everything transmitted, acknowledgements included
};

class Reliability {
public:
    using Transmit = std::function<void(const Endpoint& to, std::string_view datagram)>;
    // Called once per datagram sent with Send: true when acknowledged, false when given up.
    using Done = std::function<void(bool acknowledged)>;

    Reliability(const ReliabilityConfig& config, Transmit transmit);

    // For a client command (header already checked): sends the 8-byte acknowledgement and
    // answers whether it is new (true) or a retransmission of one already taken (false). An
    // authenticated command comes from a confirmed address and is filtered by that address's
    // own record, which nothing unauthenticated can flush; any other uses the address table,
    // and a retransmission gets the reply its first copy got once more.
    // With acknowledge false a new command is not acknowledged yet: the caller calls
    // Acknowledge once what it did is written down (a retransmission is acknowledged at once).
    bool AcceptCommand(const Endpoint& from, const wire::RequestHeader& header,
                       std::string_view datagram, int64_t nowMs, bool authenticated,
                       bool acknowledge = true);
    void Acknowledge(const Endpoint& from, uint32_t packetSeq);
    // What the duplicate filter knows a command by, besides its packet number.
    static uint32_t Fingerprint(std::string_view datagram);
    // Tells a confirmed address's filter about a command taken before (by an earlier run).
    void Remember(const Endpoint& ep, uint32_t packetSeq, uint32_t fingerprint, int64_t nowMs);
    // A client's acknowledgement of the server datagram packetSeq; true if it was in flight
    // to this address and carries the PIN and login ID the address was confirmed with.
    bool OnAck(const Endpoint& from, uint32_t packetSeq, uint32_t pin, uint32_t loginId,
               int64_t nowMs);

    // The session (pin, loginId) now lives at ep; acknowledgements must carry its credentials.
    void Confirm(const Endpoint& ep, uint32_t pin, uint32_t loginId, int64_t nowMs);
    // The session at ep is over: what is outstanding to it is given up (Done(false)).
    void Unconfirm(const Endpoint& ep);
    bool IsConfirmed(const Endpoint& ep) const { return peers_.count(ep) != 0; }

    // Numbers, sends and keeps sending one server datagram to a confirmed address: 10-byte
    // header and body. Given up at once (Done(false)) when the address is not confirmed or
    // the queues are full. packetSeq 0: the next number; else one taken with NextPacketSeq
    // (perhaps by an earlier run), so that a client that has the datagram drops the copy.
    // Returns the packet number, 0 when given up.
    uint32_t Send(const Endpoint& to, uint16_t command, uint16_t cmdSeqNum, std::string_view body,
                  int64_t nowMs, Done done = {}, uint32_t packetSeq = 0);
    uint32_t NextPacketSeq();
    // Sends one server datagram once, if the address's credit allows; it answers the command
    // cmdSeqNum and is sent again only when that command is. False when it was not sent.
    // copies 2: a second copy right behind the first, as far as the credit allows - a client
    // acknowledges the copy with what the first told it (a login reply: its new login ID).
    bool SendOnce(const Endpoint& to, uint16_t command, uint16_t cmdSeqNum, std::string_view body,
                  int64_t nowMs, int copies = 1);

    // Retransmits and gives up what is due, forgets idle addresses.
    void Tick(int64_t nowMs);
    // The monotonic time of the next thing Tick has to do (INT64_MAX when nothing waits).
    int64_t NextDeadline() const;

    const ReliabilityStats& Stats() const { return stats_; }
    size_t ConfirmedCount() const { return peers_.size(); }
    size_t AddressCount() const { return addresses_.Size(); }
    uint64_t AddressesEvicted() const { return addresses_.Evicted(); }
    // Server datagrams not yet acknowledged nor given up (in flight or waiting), and bytes.
    size_t Outstanding() const { return outgoing_.size(); }
    size_t OutstandingBytes() const { return outgoingBytes_; }

private:
    struct Seen {
        uint32_t seq = 0;
        uint32_t hash = 0;
        int64_t atMs = INT64_MIN;
    };
    static constexpr size_t kRecent = 32;  // clients keep one command in flight
    struct Peer {
        uint32_t pin = 0;
        uint32_t loginId = 0;
        Seen recent[kRecent];
        size_t next = 0;
        std::vector<uint32_t> inflight;  // packet numbers sent and not yet done
        // Packet numbers queued behind the window, from waitingHead on (a vector: a deque
        // costs half a kilobyte per address even when empty).
        std::vector<uint32_t> waiting;
        size_t waitingHead = 0;
        size_t Waiting() const { return waiting.size() - waitingHead; }
    };
    struct Outgoing {
        Endpoint to;
        std::string bytes;
        int transmissions = 0;
        int64_t dueMs = 0;
        Done done;
    };

    void Emit(const Endpoint& to, std::string_view bytes);
    std::string Number(uint16_t command, uint16_t cmdSeqNum, std::string_view body,
                       uint32_t packetSeq = 0);
    void Launch(uint32_t seq, Outgoing& out, int64_t nowMs);
    // Removes a datagram; its Done goes to completions, to be called with no state half-made.
    void Finish(uint32_t seq, std::vector<Done>* completions);
    void Pump(Peer& peer, int64_t nowMs);

    ReliabilityConfig config_;
    Transmit transmit_;
    uint32_t nextSeq_;
    std::unordered_map<Endpoint, Peer, EndpointHash> peers_;  // confirmed addresses
    AddressTable addresses_;
    std::unordered_map<uint32_t, Outgoing> outgoing_;  // in flight and waiting, by nPacketSeq
    size_t outgoingBytes_ = 0;
    std::set<std::pair<int64_t, uint32_t>> timers_;  // (due, nPacketSeq) of those in flight
    int64_t nextSweepMs_ = INT64_MIN;
    ReliabilityStats stats_;
};

}  // namespace ov::server
