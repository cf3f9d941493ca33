// What the server remembers about a client address apart from a session: a short duplicate
// filter holding the reply each command got (sent again when the command is), and a send
// credit of twice the bytes received, so that a forged source address can never make the
// server send more than twice what it was sent. The table is bounded: a new address takes the
// place of the least recently heard one in constant time, so a flood of forged addresses
// costs a table of fixed size and never locks a new client out.
//
//   AddressTable table(32768);
//   AddressTable::Entry& e = table.Touch(from, nowMs);   // found or added, now most recent
//   table.ForgetIdle(nowMs - idleMs);
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

#include "server/endpoint.h"

namespace ov::server {

class AddressTable {
public:
    struct Command {
        uint32_t packetSeq = 0;
        uint32_t hash = 0;
        uint16_t cmdSeq = 0;
        int64_t atMs = INT64_MIN;  // INT64_MIN: unused
        std::string reply;         // the datagram that answered it, once sent
    };
    // Clients keep one command in flight; two remember a late copy of the one before.
    static constexpr size_t kRecent = 2;
    struct Entry {
        Endpoint endpoint;
        Command recent[kRecent];
        size_t next = 0;
        int64_t credit = 0;  // bytes that may still be sent to the address
        int64_t lastMs = 0;
    };

    explicit AddressTable(size_t capacity);

    // The address's entry, made the most recent; a new one when unknown, which evicts the
    // least recently heard entry when the table is full.
    Entry& Touch(const Endpoint& ep, int64_t nowMs);
    Entry* Find(const Endpoint& ep);
    // Drops entries last heard before cutoffMs (from the least recent end: no scan).
    void ForgetIdle(int64_t cutoffMs);

    size_t Size() const { return index_.size(); }
    uint64_t Evicted() const { return evicted_; }

private:
    size_t capacity_;
    std::list<Entry> entries_;  // most recent first
    std::unordered_map<Endpoint, std::list<Entry>::iterator, EndpointHash> index_;
    uint64_t evicted_ = 0;
};

}  // namespace ov::server
