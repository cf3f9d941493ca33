#include "server/reliability.h"

#include <climits>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ov::server {

namespace {

uint32_t Fnv1a(std::string_view bytes) {
    uint32_t h = 2166136261u;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

constexpr int64_t kSweepEveryMs = 10'000;

}  // namespace

Reliability::Reliability(const ReliabilityConfig& config, Transmit transmit)
    : config_(config), transmit_(std::move(transmit)), nextSeq_(config.firstPacketSeq) {
    if (config_.maxTransmissions < 1)
        config_.maxTransmissions = 1;
    if (config_.windowPerPeer < 1)
        config_.windowPerPeer = 1;
}

Reliability::Peer* Reliability::FindOrAddPeer(const Endpoint& ep, int64_t nowMs) {
    auto it = peers_.find(ep);
    if (it != peers_.end())
        return &it->second;
    if (peers_.size() >= config_.maxPeers) {
        // Make room from addresses that have been quiet for a while before refusing.
        ForgetIdlePeers(nowMs, config_.peerIdleMs / 12);
        if (peers_.size() >= config_.maxPeers)
            return nullptr;
    }
    Peer& peer = peers_[ep];
    peer.lastActivityMs = nowMs;
    return &peer;
}

bool Reliability::AcceptCommand(const Endpoint& from, uint32_t packetSeq, std::string_view datagram,
                                int64_t nowMs) {
    Peer* peer = FindOrAddPeer(from, nowMs);
    if (!peer) {
        ++stats_.refused;
        return false;
    }
    // Acknowledged every time, duplicates included: the first acknowledgement may be lost.
    transmit_(from, wire::ServerAck(packetSeq));
    peer->lastActivityMs = nowMs;
    uint32_t hash = Fnv1a(datagram);
    for (Seen& seen : peer->recent) {
        if (seen.seq != packetSeq || seen.atMs == INT64_MIN)
            continue;
        if (seen.hash == hash && nowMs - seen.atMs <= config_.duplicateWindowMs) {
            ++stats_.duplicates;
            return false;
        }
        // Same number, other bytes (a restarted client counts from the start again), or an
        // old entry: this is a new command.
        seen = Seen{packetSeq, hash, nowMs};
        return true;
    }
    peer->recent[peer->next] = Seen{packetSeq, hash, nowMs};
    peer->next = (peer->next + 1) % kRecent;
    return true;
}

bool Reliability::OnAck(const Endpoint& from, uint32_t packetSeq, int64_t nowMs) {
    auto it = outgoing_.find(packetSeq);
    // Only the address the datagram went to can acknowledge it, and only while in flight.
    if (it == outgoing_.end() || !(it->second.to == from) || it->second.transmissions == 0) {
        return false;
    }
    timers_.erase({it->second.dueMs, packetSeq});
    ++stats_.acknowledged;
    std::vector<Done> completions;
    Finish(packetSeq, &completions);
    auto peer = peers_.find(from);
    if (peer != peers_.end()) {
        peer->second.lastActivityMs = nowMs;
        Pump(peer->second, nowMs);
    }
    for (auto& done : completions)
        done(true);
    return true;
}

void Reliability::Send(const Endpoint& to, uint16_t command, uint16_t cmdSeqNum,
                       std::string_view body, int64_t nowMs, Done done) {
    Peer* peer = FindOrAddPeer(to, nowMs);
    if (!peer || peer->waiting.size() - peer->waitingHead >= config_.queuePerPeer) {
        ++stats_.givenUp;
        if (done)
            done(false);
        return;
    }
    uint32_t seq = nextSeq_++;
    if (nextSeq_ == 0)
        nextSeq_ = 1;
    wire::Writer w;
    wire::WriteServerHeader(w, wire::ServerHeader{wire::kVersion, command, seq, cmdSeqNum});
    w.Raw(body);
    Outgoing& out = outgoing_[seq];
    out.to = to;
    out.bytes = std::move(w.Bytes());
    out.done = std::move(done);
    if (peer->inflight < config_.windowPerPeer && peer->waitingHead == peer->waiting.size()) {
        ++peer->inflight;
        Launch(seq, out, nowMs);
    } else {
        peer->waiting.push_back(seq);
    }
}

void Reliability::Launch(uint32_t seq, Outgoing& out, int64_t nowMs) {
    out.transmissions = 1;
    out.dueMs = nowMs + config_.retryStepMs;
    timers_.insert({out.dueMs, seq});
    ++stats_.sent;
    transmit_(out.to, out.bytes);
}

void Reliability::Finish(uint32_t seq, std::vector<Done>* completions) {
    auto it = outgoing_.find(seq);
    if (it == outgoing_.end())
        return;
    auto peer = peers_.find(it->second.to);
    if (peer != peers_.end() && it->second.transmissions > 0 && peer->second.inflight > 0) {
        --peer->second.inflight;
    }
    if (it->second.done)
        completions->push_back(std::move(it->second.done));
    outgoing_.erase(it);
}

void Reliability::Pump(Peer& peer, int64_t nowMs) {
    while (peer.inflight < config_.windowPerPeer && peer.waitingHead < peer.waiting.size()) {
        uint32_t seq = peer.waiting[peer.waitingHead++];
        auto it = outgoing_.find(seq);
        if (it == outgoing_.end())
            continue;
        ++peer.inflight;
        Launch(seq, it->second, nowMs);
    }
    if (peer.waitingHead == peer.waiting.size()) {
        peer.waiting.clear();
        peer.waiting.shrink_to_fit();
        peer.waitingHead = 0;
    } else if (peer.waitingHead > 64 && peer.waitingHead * 2 > peer.waiting.size()) {
        peer.waiting.erase(peer.waiting.begin(),
                           peer.waiting.begin() + static_cast<ptrdiff_t>(peer.waitingHead));
        peer.waitingHead = 0;
    }
}

void Reliability::Tick(int64_t nowMs) {
    std::vector<Done> completions;
    std::vector<Endpoint> freed;
    while (!timers_.empty() && timers_.begin()->first <= nowMs) {
        uint32_t seq = timers_.begin()->second;
        timers_.erase(timers_.begin());
        auto it = outgoing_.find(seq);
        if (it == outgoing_.end())
            continue;
        Outgoing& out = it->second;
        if (out.transmissions >= config_.maxTransmissions) {
            ++stats_.givenUp;
            freed.push_back(out.to);
            Finish(seq, &completions);
            continue;
        }
        ++out.transmissions;
        out.dueMs = nowMs + config_.retryStepMs * out.transmissions;
        timers_.insert({out.dueMs, seq});
        ++stats_.retransmissions;
        transmit_(out.to, out.bytes);
    }
    for (const Endpoint& ep : freed) {
        auto peer = peers_.find(ep);
        if (peer != peers_.end())
            Pump(peer->second, nowMs);
    }
    if (nextSweepMs_ == INT64_MIN)
        nextSweepMs_ = nowMs + kSweepEveryMs;
    if (nowMs >= nextSweepMs_) {
        ForgetIdlePeers(nowMs, config_.peerIdleMs);
        nextSweepMs_ = nowMs + kSweepEveryMs;
    }
    for (auto& done : completions)
        done(false);
}

void Reliability::ForgetIdlePeers(int64_t nowMs, int64_t idleMs) {
    for (auto it = peers_.begin(); it != peers_.end();) {
        const Peer& p = it->second;
        bool busy = p.inflight > 0 || p.waitingHead < p.waiting.size();
        if (!busy && nowMs - p.lastActivityMs >= idleMs) {
            it = peers_.erase(it);
        } else {
            ++it;
        }
    }
}

int64_t Reliability::NextDeadline() const {
    int64_t next = timers_.empty() ? INT64_MAX : timers_.begin()->first;
    if (!peers_.empty() && nextSweepMs_ != INT64_MIN && nextSweepMs_ < next)
        next = nextSweepMs_;
    return next;
}

}  // namespace ov::server
