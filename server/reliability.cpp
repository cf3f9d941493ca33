#include "server/reliability.h"

#include <algorithm>
#include <climits>

#include "common/protocol/vocabulary.h"

namespace ov::server {

namespace {

constexpr int64_t kSweepEveryMs = 10'000;

}  // namespace

Reliability::Reliability(const ReliabilityConfig& config, Transmit transmit)
    : config_(config),
      transmit_(std::move(transmit)),
      nextSeq_(config.firstPacketSeq),
      addresses_(config.maxAddresses) {
    if (config_.maxTransmissions < 1)
        config_.maxTransmissions = 1;
    if (config_.windowPerPeer < 1)
        config_.windowPerPeer = 1;
}

void Reliability::Emit(const Endpoint& to, std::string_view bytes) {
    stats_.bytesOut += bytes.size();
    transmit_(to, bytes);
}

uint32_t Reliability::Fingerprint(std::string_view datagram) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : datagram) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

uint32_t Reliability::NextPacketSeq() {
    uint32_t seq = nextSeq_++;
    if (nextSeq_ == 0)
        nextSeq_ = 1;
    return seq;
}

std::string Reliability::Number(uint16_t command, uint16_t cmdSeqNum, std::string_view body,
                                uint32_t packetSeq) {
    uint32_t seq = packetSeq != 0 ? packetSeq : NextPacketSeq();
    wire::Writer w;
    wire::WriteServerHeader(w, wire::ServerHeader{wire::kVersion, command, seq, cmdSeqNum});
    w.Raw(body);
    return std::move(w.Bytes());
}

void Reliability::Acknowledge(const Endpoint& from, uint32_t packetSeq) {
    Emit(from, wire::ServerAck(packetSeq));
}

void Reliability::Remember(const Endpoint& ep, uint32_t packetSeq, uint32_t fingerprint,
                           int64_t nowMs) {
    auto peer = peers_.find(ep);
    if (peer == peers_.end())
        return;
    Peer& p = peer->second;
    p.recent[p.next] = Seen{packetSeq, fingerprint, nowMs};
    p.next = (p.next + 1) % kRecent;
}

bool Reliability::AcceptCommand(const Endpoint& from, const wire::RequestHeader& header,
                                std::string_view datagram, int64_t nowMs, bool authenticated,
                                bool acknowledge) {
    const uint32_t seq = header.nPacketSeq;
    const uint32_t hash = Fingerprint(datagram);
    auto peer = authenticated ? peers_.find(from) : peers_.end();
    if (peer != peers_.end()) {
        Peer& p = peer->second;
        for (Seen& seen : p.recent) {
            if (seen.seq != seq || seen.atMs == INT64_MIN)
                continue;
            if (seen.hash == hash && nowMs - seen.atMs <= config_.duplicateWindowMs) {
                // Acknowledged every time: the first acknowledgement may be lost.
                ++stats_.duplicates;
                Acknowledge(from, seq);
                return false;
            }
            // Same number, other bytes (a restarted client counts from the start again), or
            // an old entry: this is a new command.
            seen = Seen{seq, hash, nowMs};
            if (acknowledge)
                Acknowledge(from, seq);
            return true;
        }
        p.recent[p.next] = Seen{seq, hash, nowMs};
        p.next = (p.next + 1) % kRecent;
        if (acknowledge)
            Acknowledge(from, seq);
        return true;
    }

    AddressTable::Entry& e = addresses_.Touch(from, nowMs);
    e.credit = std::min(config_.creditCap,
                        e.credit + config_.amplification * static_cast<int64_t>(datagram.size()));
    std::string ack = wire::ServerAck(seq);
    if (e.credit >= static_cast<int64_t>(ack.size())) {
        e.credit -= static_cast<int64_t>(ack.size());
        Emit(from, ack);
    } else {
        ++stats_.throttled;
    }
    for (AddressTable::Command& c : e.recent) {
        if (c.atMs == INT64_MIN || c.packetSeq != seq)
            continue;
        if (c.hash == hash && nowMs - c.atMs <= config_.duplicateWindowMs) {
            ++stats_.duplicates;
            // The reply may have been lost: once more, for this copy of the command.
            if (!c.reply.empty()) {
                if (e.credit >= static_cast<int64_t>(c.reply.size())) {
                    e.credit -= static_cast<int64_t>(c.reply.size());
                    ++stats_.sentOnce;
                    Emit(from, c.reply);
                } else {
                    ++stats_.throttled;
                }
            }
            return false;
        }
        c = AddressTable::Command{seq, hash, header.nCmdSeqNum, nowMs, {}};
        return true;
    }
    e.recent[e.next] = AddressTable::Command{seq, hash, header.nCmdSeqNum, nowMs, {}};
    e.next = (e.next + 1) % AddressTable::kRecent;
    return true;
}

bool Reliability::SendOnce(const Endpoint& to, uint16_t command, uint16_t cmdSeqNum,
                           std::string_view body, int64_t nowMs, int copies) {
    (void)nowMs;
    AddressTable::Entry* e = addresses_.Find(to);
    if (!e || e->credit < static_cast<int64_t>(wire::kServerHeaderSize + body.size())) {
        ++stats_.throttled;
        return false;
    }
    std::string bytes = Number(command, cmdSeqNum, body);
    e->credit -= static_cast<int64_t>(bytes.size());
    ++stats_.sentOnce;
    Emit(to, bytes);
    if (copies > 1 && e->credit >= static_cast<int64_t>(bytes.size())) {
        e->credit -= static_cast<int64_t>(bytes.size());
        ++stats_.sentOnce;
        Emit(to, bytes);
    }
    if (cmdSeqNum == 0)
        return true;
    AddressTable::Command* latest = nullptr;
    for (AddressTable::Command& c : e->recent) {
        if (c.atMs != INT64_MIN && c.cmdSeq == cmdSeqNum && (!latest || c.atMs > latest->atMs))
            latest = &c;
    }
    if (latest)
        latest->reply = std::move(bytes);
    return true;
}

bool Reliability::OnAck(const Endpoint& from, uint32_t packetSeq, uint32_t pin, uint32_t loginId,
                        int64_t nowMs) {
    auto peer = peers_.find(from);
    // Only the session the datagram went to can acknowledge it, and only while in flight.
    if (peer == peers_.end() || peer->second.pin != pin || peer->second.loginId != loginId)
        return false;
    auto it = outgoing_.find(packetSeq);
    if (it == outgoing_.end() || !(it->second.to == from) || it->second.transmissions == 0)
        return false;
    timers_.erase({it->second.dueMs, packetSeq});
    ++stats_.acknowledged;
    std::vector<Done> completions;
    Finish(packetSeq, &completions);
    Pump(peer->second, nowMs);
    for (auto& done : completions)
        done(true);
    return true;
}

void Reliability::Confirm(const Endpoint& ep, uint32_t pin, uint32_t loginId, int64_t nowMs) {
    (void)nowMs;
    auto it = peers_.find(ep);
    if (it != peers_.end() && it->second.pin == pin && it->second.loginId == loginId)
        return;
    if (it != peers_.end())
        Unconfirm(ep);  // another session's datagrams do not go to this one
    Peer& p = peers_[ep];
    p.pin = pin;
    p.loginId = loginId;
}

void Reliability::Unconfirm(const Endpoint& ep) {
    auto it = peers_.find(ep);
    if (it == peers_.end())
        return;
    Peer peer = std::move(it->second);
    peers_.erase(it);
    std::vector<Done> completions;
    for (uint32_t seq : peer.inflight) {
        auto out = outgoing_.find(seq);
        if (out != outgoing_.end())
            timers_.erase({out->second.dueMs, seq});
        ++stats_.givenUp;
        Finish(seq, &completions);
    }
    for (size_t i = peer.waitingHead; i < peer.waiting.size(); ++i) {
        ++stats_.givenUp;
        Finish(peer.waiting[i], &completions);
    }
    for (auto& done : completions)
        done(false);
}

uint32_t Reliability::Send(const Endpoint& to, uint16_t command, uint16_t cmdSeqNum,
                           std::string_view body, int64_t nowMs, Done done, uint32_t packetSeq) {
    auto peer = peers_.find(to);
    size_t size = wire::kServerHeaderSize + body.size();
    if (peer == peers_.end() || peer->second.Waiting() >= config_.queuePerPeer ||
        outgoing_.size() >= config_.maxOutstanding ||
        outgoingBytes_ + size > config_.maxOutstandingBytes) {
        ++stats_.givenUp;
        if (done)
            done(false);
        return 0;
    }
    if (packetSeq != 0 && outgoing_.count(packetSeq) != 0)
        packetSeq = 0;  // a number in use (from an earlier run): a new one
    std::string bytes = Number(command, cmdSeqNum, body, packetSeq);
    uint32_t seq = wire::LoadU32(bytes.data() + 4);
    Outgoing& out = outgoing_[seq];
    out.to = to;
    out.bytes = std::move(bytes);
    out.done = std::move(done);
    outgoingBytes_ += out.bytes.size();
    Peer& p = peer->second;
    if (p.inflight.size() < config_.windowPerPeer && p.Waiting() == 0) {
        p.inflight.push_back(seq);
        Launch(seq, out, nowMs);
    } else {
        p.waiting.push_back(seq);
    }
    return seq;
}

void Reliability::Launch(uint32_t seq, Outgoing& out, int64_t nowMs) {
    out.transmissions = 1;
    out.dueMs = nowMs + config_.retryStepMs;
    timers_.insert({out.dueMs, seq});
    ++stats_.sent;
    Emit(out.to, out.bytes);
}

void Reliability::Finish(uint32_t seq, std::vector<Done>* completions) {
    auto it = outgoing_.find(seq);
    if (it == outgoing_.end())
        return;
    auto peer = peers_.find(it->second.to);
    if (peer != peers_.end()) {
        auto& inflight = peer->second.inflight;
        auto pos = std::find(inflight.begin(), inflight.end(), seq);
        if (pos != inflight.end())
            inflight.erase(pos);
    }
    outgoingBytes_ -= it->second.bytes.size();
    if (it->second.done)
        completions->push_back(std::move(it->second.done));
    outgoing_.erase(it);
}

void Reliability::Pump(Peer& peer, int64_t nowMs) {
    while (peer.inflight.size() < config_.windowPerPeer && peer.Waiting() > 0) {
        uint32_t seq = peer.waiting[peer.waitingHead++];
        auto it = outgoing_.find(seq);
        if (it == outgoing_.end())
            continue;
        peer.inflight.push_back(seq);
        Launch(seq, it->second, nowMs);
    }
    if (peer.Waiting() == 0) {
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
        Emit(out.to, out.bytes);
    }
    for (const Endpoint& ep : freed) {
        auto peer = peers_.find(ep);
        if (peer != peers_.end())
            Pump(peer->second, nowMs);
    }
    if (nextSweepMs_ == INT64_MIN)
        nextSweepMs_ = nowMs + kSweepEveryMs;
    if (nowMs >= nextSweepMs_) {
        addresses_.ForgetIdle(nowMs - config_.addressIdleMs);
        nextSweepMs_ = nowMs + kSweepEveryMs;
    }
    for (auto& done : completions)
        done(false);
}

int64_t Reliability::NextDeadline() const {
    int64_t next = timers_.empty() ? INT64_MAX : timers_.begin()->first;
    if (addresses_.Size() > 0 && nextSweepMs_ != INT64_MIN && nextSweepMs_ < next)
        next = nextSweepMs_;
    return next;
}

}  // namespace ov::server
