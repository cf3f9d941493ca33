// Everything that can be set about a server; the defaults make a working server on
// 127.0.0.1:9999.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/endpoint.h"
#include "server/login_limits.h"
#include "server/password.h"
#include "server/reliability.h"
#include "server/replies.h"

namespace ov::server {

constexpr uint16_t kDefaultPort = 9999;

struct ServerConfig {
    Endpoint listen{0x7F000001, kDefaultPort};
    // A file path, or ":memory:" for a database that ends with the server.
    std::string databasePath = ":memory:";
    // The handshake's server list; empty: the server's own address and port.
    std::vector<reply::ServerAddress> servers;
    PasswordCost passwordCost = PasswordCost::kInteractive;
    // Hashes and checks passwords; libsodium's with passwordCost when empty.
    std::shared_ptr<PasswordHasher> hasher;
    // Threads that hash passwords off the loop: kAutoHashWorkers is one less than the cores
    // (at least one); 0 hashes inline on the caller's thread (for drivers without a loop).
    static constexpr int kAutoHashWorkers = -1;
    int hashWorkers = kAutoHashWorkers;
    // Password jobs waiting or running; a request beyond it is answered OV_ERR_UNKNOWN.
    size_t hashQueue = 256;
    // Password checks in flight from one client IP; beyond it a login is answered
    // OV_ERR_UNKNOWN (busy) at once, so guesses cannot pile up ahead of the limits.
    size_t checksPerAddress = 8;
    LoginLimitsConfig loginLimits;
    int64_t sessionTimeoutMs = 180'000;
    // Logins whose client has not spoken again yet, kept at once (for sessionTimeoutMs).
    size_t maxPendingLogins = 4096;
    size_t groupCapacity = 500;
    size_t groupsPerSession = 100;
    size_t maxBuddyNodes = 400;   // what one whole-tree reply can carry
    size_t maxBlackList = 500;    // what one whole-list reply can carry
    size_t maxRecipients = 1000;  // of one message
    // What may wait in the database: messages per recipient, and messages one sender has had
    // stored within 24 hours (by the wall clock). A message over either is refused.
    size_t maxWaitingPerRecipient = 1000;
    size_t maxStoredPerSenderPerDay = 10'000;
    // Waiting messages sent to a user who logs in at once; the next batch follows once these
    // are acknowledged or given up.
    size_t waitingBatch = 100;
    // With servers sharing a database: how often one looks for servers that have gone.
    int64_t processCheckMs = 2000;
    ReliabilityConfig reliability;  // firstPacketSeq is taken from `random`
    // Source of login IDs and the first packet number; libsodium's generator when empty.
    std::function<uint32_t()> random;
};

}  // namespace ov::server
