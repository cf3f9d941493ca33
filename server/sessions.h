// Logged-in users: one session per PIN, made by a successful login and ended by logout,
// by a newer login of the same account, or by three minutes of silence.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "server/endpoint.h"
#include "server/profile.h"

namespace ov::server {

struct Session {
    uint32_t pin = 0;
    uint32_t loginId = 0;
    Endpoint endpoint;
    uint32_t status = 0;
    uint32_t terminal = 0;
    int64_t lastSeenMs = 0;
    PublicProfile profile;
    std::vector<uint32_t> groups;  // IDs of the groups the user is in

    // What others see: invisible users appear offline.
    uint32_t VisibleStatus() const;
};

uint32_t VisibleStatus(uint32_t status);

class Sessions {
public:
    Session* Find(uint32_t pin);
    // The session whose client uses this address (a client holds one login at a time).
    Session* FindByEndpoint(const Endpoint& ep);
    // The live session with these credentials, used from this address; nullptr otherwise.
    Session* Authenticate(uint32_t pin, uint32_t loginId, const Endpoint& from);
    // Adds a session; the caller has ended any earlier one of the same PIN.
    Session& Add(Session session);
    void Remove(uint32_t pin);
    // PINs of sessions silent since before nowMs - timeoutMs.
    std::vector<uint32_t> Expired(int64_t nowMs, int64_t timeoutMs) const;

    size_t Count() const { return sessions_.size(); }
    size_t Peak() const { return peak_; }
    // In PIN order.
    const std::map<uint32_t, Session>& All() const { return sessions_; }

private:
    std::map<uint32_t, Session> sessions_;
    std::unordered_map<Endpoint, uint32_t, EndpointHash> byEndpoint_;
    size_t peak_ = 0;
};

}  // namespace ov::server
