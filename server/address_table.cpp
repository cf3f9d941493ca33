#include "server/address_table.h"

namespace ov::server {

AddressTable::AddressTable(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {
    index_.reserve(capacity_ < 4096 ? capacity_ : 4096);
}

AddressTable::Entry& AddressTable::Touch(const Endpoint& ep, int64_t nowMs) {
    auto found = index_.find(ep);
    if (found != index_.end()) {
        entries_.splice(entries_.begin(), entries_, found->second);
        found->second->lastMs = nowMs;
        return *found->second;
    }
    if (index_.size() >= capacity_) {
        index_.erase(entries_.back().endpoint);
        entries_.pop_back();
        ++evicted_;
    }
    entries_.emplace_front();
    Entry& e = entries_.front();
    e.endpoint = ep;
    e.lastMs = nowMs;
    index_.emplace(ep, entries_.begin());
    return e;
}

AddressTable::Entry* AddressTable::Find(const Endpoint& ep) {
    auto found = index_.find(ep);
    return found == index_.end() ? nullptr : &*found->second;
}

void AddressTable::ForgetIdle(int64_t cutoffMs) {
    while (!entries_.empty() && entries_.back().lastMs < cutoffMs) {
        index_.erase(entries_.back().endpoint);
        entries_.pop_back();
    }
}

}  // namespace ov::server
