#include "server/pending_logins.h"

namespace ov::server {

PendingLogins::PendingLogins(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

void PendingLogins::Erase(Iterator it) {
    index_.erase(Key(it->session.pin, it->session.loginId));
    entries_.erase(it);
}

void PendingLogins::Add(Session session, int64_t nowMs) {
    uint64_t key = Key(session.pin, session.loginId);
    if (auto found = index_.find(key); found != index_.end())
        Erase(found->second);
    if (index_.size() >= capacity_)
        Erase(std::prev(entries_.end()));
    entries_.push_front(Entry{std::move(session), nowMs});
    index_.emplace(key, entries_.begin());
}

std::optional<Session> PendingLogins::Take(uint32_t pin, uint32_t loginId, const Endpoint& from) {
    auto found = index_.find(Key(pin, loginId));
    if (found == index_.end() || !(found->second->session.endpoint == from))
        return std::nullopt;
    Session s = std::move(found->second->session);
    Erase(found->second);
    return s;
}

void PendingLogins::ForgetOlderThan(int64_t cutoffMs) {
    while (!entries_.empty() && entries_.back().atMs < cutoffMs)
        Erase(std::prev(entries_.end()));
}

}  // namespace ov::server
