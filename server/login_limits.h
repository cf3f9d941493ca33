// Slows password guessing down and registrations from one address. Failed logins (and failed
// password changes) are counted per account and source address and per source address: after
// accountFailures failures the account is locked for that address alone, after ipFailures
// failures within ipWindowMs the address is locked for every account. A lock lasts firstLockMs,
// doubling with each further lock up to maxLockMs; a success clears the account's count for
// that address (not the address's own count, or one valid account would reset it). Memory is
// bounded: each table keeps at most maxEntries, the least recently touched going first.
//
//   LoginLimits limits(config, clock);
//   if (limits.Locked(account, ip)) return Refuse();      // without verifying
//   if (verified) limits.Succeeded(account, ip);
//   else if (auto lock = limits.Failed(account, ip)) Log(*lock);   // once per lock
//   if (!limits.AllowRegistration(ip)) return Refuse();
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "server/clock.h"

namespace ov::server {

struct LoginLimitsConfig {
    int accountFailures = 5;
    int ipFailures = 20;
    int64_t ipWindowMs = 15 * 60'000;
    int64_t firstLockMs = 60'000;
    int64_t maxLockMs = 15 * 60'000;
    // A count with no failure for this long starts again from nothing (and its locks from
    // firstLockMs).
    int64_t forgetAfterMs = 60 * 60'000;
    int registrations = 5;
    int64_t registrationWindowMs = 10 * 60'000;
    // Addresses that register without limit: the host itself by default (local tools and test
    // harnesses make many accounts; no other host can send from it).
    std::vector<uint32_t> unlimitedRegistrations{0x7F000001};
    size_t maxEntries = 100'000;  // per table
};

// A table of at most `capacity` entries; Touch makes an entry the newest and evicts the
// oldest when a new one does not fit. Every operation is O(1).
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class LruTable {
public:
    explicit LruTable(size_t capacity) : capacity_(capacity ? capacity : 1) {}
    Value& Touch(const Key& key) {
        auto it = index_.find(key);
        if (it != index_.end()) {
            order_.splice(order_.end(), order_, it->second);
            return it->second->second;
        }
        if (index_.size() >= capacity_) {
            index_.erase(order_.front().first);
            order_.pop_front();
        }
        order_.emplace_back(key, Value{});
        index_.emplace(key, std::prev(order_.end()));
        return order_.back().second;
    }
    Value* Find(const Key& key) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->second;
    }
    void Erase(const Key& key) {
        auto it = index_.find(key);
        if (it == index_.end())
            return;
        order_.erase(it->second);
        index_.erase(it);
    }
    size_t Size() const { return index_.size(); }

private:
    using Order = std::list<std::pair<Key, Value>>;
    size_t capacity_;
    Order order_;
    std::unordered_map<Key, typename Order::iterator, Hash> index_;
};

class LoginLimits {
public:
    struct Lock {
        bool wholeAddress = false;  // every account from the address, not just this one
        int64_t durationMs = 0;
    };

    LoginLimits(const LoginLimitsConfig& config, const Clock& clock);

    // account: any stable name for the account tried (also for accounts that do not exist).
    bool Locked(const std::string& account, uint32_t ip);
    // Counts a failure; returns the lock it starts, if any.
    std::optional<Lock> Failed(const std::string& account, uint32_t ip);
    void Succeeded(const std::string& account, uint32_t ip);
    // Counts a registration from ip unless the address has had its share.
    bool AllowRegistration(uint32_t ip);

    size_t Entries() const { return accounts_.Size() + addresses_.Size() + registrations_.Size(); }

private:
    struct Counter {
        int failures = 0;
        int locks = 0;  // locks so far: the next one lasts longer
        int64_t firstFailureMs = 0;
        int64_t lastFailureMs = 0;
        int64_t lockedUntilMs = 0;
    };
    struct Window {
        int count = 0;
        int64_t startMs = 0;
    };
    struct KeyHash {
        size_t operator()(const std::pair<std::string, uint32_t>& k) const {
            return std::hash<std::string>()(k.first) ^ (std::hash<uint32_t>()(k.second) * 31);
        }
    };
    int64_t LockLength(int locks) const;

    LoginLimitsConfig config_;
    const Clock& clock_;
    LruTable<std::pair<std::string, uint32_t>, Counter, KeyHash> accounts_;
    LruTable<uint32_t, Counter> addresses_;
    LruTable<uint32_t, Window> registrations_;
};

}  // namespace ov::server
