// Logins whose password was right but whose client has not yet spoken with the new login ID
// from the address the login came from. Until it does, the login may have come from a forged
// address: it ends no session, receives nothing and changes nothing. The table is bounded;
// the oldest login makes room for a new one.
//
// (Its acknowledgement of the login reply proves nothing: whoever is at the address
// acknowledges what arrives there, and carries no login ID yet.)
//
//   PendingLogins pending(4096);
//   pending.Add(session, nowMs);
//   if (auto s = pending.Take(pin, loginId, from)) StartSession(std::move(*s));
//   pending.ForgetOlderThan(nowMs - timeoutMs);
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <unordered_map>

#include "server/sessions.h"

namespace ov::server {

class PendingLogins {
public:
    explicit PendingLogins(size_t capacity);

    void Add(Session session, int64_t nowMs);
    // The login with these credentials made from this address, removed from the table.
    std::optional<Session> Take(uint32_t pin, uint32_t loginId, const Endpoint& from);
    void ForgetOlderThan(int64_t cutoffMs);
    size_t Size() const { return index_.size(); }

private:
    struct Entry {
        Session session;
        int64_t atMs = 0;
    };
    using Iterator = std::list<Entry>::iterator;
    void Erase(Iterator it);
    static uint64_t Key(uint32_t pin, uint32_t loginId) { return (uint64_t{pin} << 32) | loginId; }

    size_t capacity_;
    std::list<Entry> entries_;                        // newest first
    std::unordered_map<uint64_t, Iterator> index_;    // by PIN and login ID
    std::unordered_map<uint32_t, Iterator> byReply_;  // by the reply's packet number
};

}  // namespace ov::server
