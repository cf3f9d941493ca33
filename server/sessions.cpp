#include "server/sessions.h"

#include "common/protocol/vocabulary.h"

namespace ov::server {

uint32_t VisibleStatus(uint32_t status) {
    return status == OV_ONLINE_STATUS_INVISIBLE ? uint32_t{OV_ONLINE_STATUS_OFFLINE} : status;
}

uint32_t Session::VisibleStatus() const {
    return server::VisibleStatus(status);
}

Session* Sessions::Find(uint32_t pin) {
    auto it = sessions_.find(pin);
    return it == sessions_.end() ? nullptr : &it->second;
}

Session* Sessions::FindLocal(uint32_t pin) {
    Session* s = Find(pin);
    return s && s->owner == 0 ? s : nullptr;
}

Session* Sessions::FindByEndpoint(const Endpoint& ep) {
    auto it = byEndpoint_.find(ep);
    return it == byEndpoint_.end() ? nullptr : Find(it->second);
}

Session* Sessions::Authenticate(uint32_t pin, uint32_t loginId, const Endpoint& from) {
    Session* s = FindLocal(pin);
    if (!s || s->loginId != loginId || !(s->endpoint == from))
        return nullptr;
    return s;
}

Session& Sessions::Add(Session session) {
    uint32_t pin = session.pin;
    Remove(pin);
    if (session.owner == 0)
        byEndpoint_[session.endpoint] = pin;
    else
        ++remote_;
    Session& s = sessions_[pin] = std::move(session);
    if (sessions_.size() > peak_)
        peak_ = sessions_.size();
    return s;
}

void Sessions::Remove(uint32_t pin) {
    auto it = sessions_.find(pin);
    if (it == sessions_.end())
        return;
    if (it->second.owner == 0) {
        auto ep = byEndpoint_.find(it->second.endpoint);
        if (ep != byEndpoint_.end() && ep->second == pin)
            byEndpoint_.erase(ep);
    } else {
        --remote_;
    }
    sessions_.erase(it);
}

std::vector<uint32_t> Sessions::OwnedBy(uint64_t process) const {
    std::vector<uint32_t> pins;
    for (const auto& [pin, s] : sessions_) {
        if (s.owner == process)
            pins.push_back(pin);
    }
    return pins;
}

std::vector<uint32_t> Sessions::Expired(int64_t nowMs, int64_t timeoutMs) const {
    std::vector<uint32_t> pins;
    for (const auto& [pin, s] : sessions_) {
        if (s.owner == 0 && nowMs - s.lastSeenMs >= timeoutMs)
            pins.push_back(pin);
    }
    return pins;
}

}  // namespace ov::server
