// Logged-in users: one session per PIN, made by a successful login and ended by logout,
// by a newer login of the same account, or by three minutes of silence. Where several
// servers share a database, the table also mirrors the sessions the others serve, as their
// events tell: those are seen (status, profile, groups) but never spoken to from here.
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
    uint64_t owner = 0;            // the server that serves it; 0: this one

    // What others see: invisible users appear offline.
    uint32_t VisibleStatus() const;
};

uint32_t VisibleStatus(uint32_t status);

class Sessions {
public:
    // Served here or elsewhere.
    Session* Find(uint32_t pin);
    // Served here.
    Session* FindLocal(uint32_t pin);
    // The local session whose client uses this address (a client holds one login at a time).
    Session* FindByEndpoint(const Endpoint& ep);
    // The local session with these credentials, used from this address; nullptr otherwise.
    Session* Authenticate(uint32_t pin, uint32_t loginId, const Endpoint& from);
    // Adds a session; the caller has ended any earlier one of the same PIN.
    Session& Add(Session session);
    void Remove(uint32_t pin);
    // PINs of local sessions silent since before nowMs - timeoutMs.
    std::vector<uint32_t> Expired(int64_t nowMs, int64_t timeoutMs) const;
    // PINs of the sessions another server serves.
    std::vector<uint32_t> OwnedBy(uint64_t process) const;

    // All of them, and those served here.
    size_t Count() const { return sessions_.size(); }
    size_t LocalCount() const { return sessions_.size() - remote_; }
    size_t Peak() const { return peak_; }
    // In PIN order.
    const std::map<uint32_t, Session>& All() const { return sessions_; }

private:
    std::map<uint32_t, Session> sessions_;
    std::unordered_map<Endpoint, uint32_t, EndpointHash> byEndpoint_;
    size_t peak_ = 0;
    size_t remote_ = 0;  // of sessions_, those served elsewhere
};

}  // namespace ov::server
