// The server's logic without sockets or threads: it takes client datagrams and the clock's
// ticks, and hands the datagrams it sends to a transmit function. Server (server.h) runs it
// on a UDP socket; tests, the fuzz target and the benchmarks may drive it directly.
//
//   ServerCore core(config, *store, clock, log, [](const Endpoint& to, std::string_view d) {});
//   core.OnDatagram(from, bytes);          // acknowledges, filters duplicates, executes
//   core.Tick();                           // at core.NextDeadline(): retransmits, expires
//   core.RunCompletions();                 // after wake: answers whose passwords are checked
// Passwords are hashed and checked on a pool of threads (config.hashWorkers); wake is called
// from one of them when answers are ready. With hashWorkers 0 they are checked inline.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/protocol/wire.h"
#include "server/clock.h"
#include "server/cluster.h"
#include "server/config.h"
#include "server/groups.h"
#include "server/hash_pool.h"
#include "server/log.h"
#include "server/login_limits.h"
#include "server/password.h"
#include "server/pending_logins.h"
#include "server/reliability.h"
#include "server/requests.h"
#include "server/sessions.h"
#include "server/store.h"

namespace ov::server {

struct CoreStats {
    uint64_t datagrams = 0;  // received
    uint64_t dropped = 0;    // malformed or refused before execution
    uint64_t executed = 0;   // commands run
    size_t sessions = 0;
    size_t peakSessions = 0;
    size_t pendingLogins = 0;       // right passwords whose client has not spoken again yet
    size_t confirmedAddresses = 0;  // addresses with a session
    size_t otherAddresses = 0;      // addresses remembered without one
    size_t outstanding = 0;         // datagrams kept for retransmission
    size_t outstandingBytes = 0;
    size_t groups = 0;
    ReliabilityStats transport;
};

class ServerCore {
public:
    ServerCore(const ServerConfig& config, Store& store, const Clock& clock, Log& log,
               Reliability::Transmit transmit, std::function<void()> wake = {});
    ~ServerCore();

    // One datagram from a client. localIp (host order, 0 = unknown) is the address it was
    // sent to, for the handshake's server list when the server listens on every address.
    void OnDatagram(const Endpoint& from, std::string_view datagram, uint32_t localIp = 0);
    // Joins the servers that share the database (before Restore); without it the server is
    // alone. The cluster must outlive the core.
    void SetCluster(Cluster* cluster) { cluster_ = cluster; }
    // Takes up the sessions of an earlier run from the store and delivers what waits for
    // them; once, before the first datagram. With a cluster, also mirrors the sessions the
    // other servers serve.
    void Restore();
    // An event from another server on the database (cluster_events.cpp).
    void OnClusterEvent(const ClusterEvent& e);
    // Does what is due: retransmissions, give-ups, expiry of silent sessions.
    void Tick();
    // Monotonic time at which Tick has something to do (INT64_MAX: nothing waits).
    int64_t NextDeadline() const;
    // Sends the answers of password work that has finished; on the thread that calls
    // OnDatagram, after wake.
    void RunCompletions();
    // At the end: lets the password work already taken finish (at most limitMs) and answers
    // it, so that a registration under way is not lost. False when some was left.
    bool FinishPasswordWork(int64_t limitMs);

    CoreStats Stats() const;
    const Sessions& SessionTable() const { return sessions_; }

private:
    struct Request {
        wire::RequestHeader header;
        Endpoint from;
        uint32_t localIp = 0;
        Session* session = nullptr;  // set for commands that need a login
        wire::Reader body{nullptr, 0};
        // The acknowledgement waits until what the command changed is written down.
        bool ackDue = false;
        uint32_t fingerprint = 0;  // of the datagram, for the store's duplicate filter
    };
    using Handler = void (ServerCore::*)(Request&);
    struct Command {
        uint16_t code;
        bool needsLogin;
        Handler handler;
    };
    static const Command* FindCommand(uint16_t code);

    // Sending. A reply to a command that showed its session goes out until acknowledged;
    // any other reply goes out once, within what the address may receive.
    void Reply(const Request& r, const std::string& body);
    void ReplyError(const Request& r, uint16_t error);
    void Notify(const Session& to, uint16_t command, const std::string& body,
                Reliability::Done done = {});
    // A body that does not decode: logged, not executed, answered with OV_ERR_BAD_FIELD
    // where the command has a reply (rather than leaving the client to time out).
    void Malformed(const Request& r);
    // Sends the acknowledgement a command's handler held back (see Request::ackDue).
    void Acknowledge(Request& r);

    // Session lifecycle (core.cpp).
    // The live session with these credentials at this address, or the pending login with
    // them, which becomes the live session now (its client has shown the login ID).
    Session* Authenticate(uint32_t pin, uint32_t loginId, const Endpoint& from);
    void StartSession(Session s);
    bool FromSelf(const Endpoint& from, uint32_t localIp) const;
    enum class EndReason { kLogout, kExpired, kReplaced, kOtherLogin, kElsewhere };
    void EndSession(uint32_t pin, EndReason reason);
    void TellWatchers(uint32_t pin, uint32_t visibleStatus);
    void TellGroupMembers(const Session& s, uint32_t visibleStatus);
    void DeliverWaiting(const Session& s);
    void SendWaitingBatch(uint32_t pin, uint64_t generation);
    void WaitingSettled(uint32_t pin, uint64_t generation);
    void LeaveGroup(Group& group, Session& s);
    PublicProfile ProfileOf(uint32_t pin);
    uint32_t VisibleStatusOf(uint32_t pin);
    bool SharesGroup(uint32_t a, uint32_t b);

    // Accounts (handlers_account.cpp).
    void OnHandshake(Request& r);
    void OnRegister(Request& r);
    void OnLogin(Request& r);
    // After the password was found right: the reply, and a login that waits for its client.
    void FinishLogin(const Request& r, const UserRecord& user, const req::Login& login);
    void OnLogout(Request& r);
    void OnKeepAlive(Request& r);
    void OnStatus(Request& r);
    void OnChangePassword(Request& r);
    void FinishRegister(const Request& r, const req::UserFields& f, const std::string& hash);
    void OnGetInfo(Request& r);
    void OnPutInfo(Request& r);
    void OnOnlineStat(Request& r);

    // Password work (password_jobs.cpp). At most one check per command, account and client
    // address is in flight; a newer request with the same password joins it, one with
    // another password waits behind it (the client has given the earlier one up).
    struct PasswordJob {
        uint16_t command = 0;     // login or password change
        std::string account;      // names the account for the limits, known or not
        uint32_t pin = 0;         // 0: no such account, checked against dummyHash_
        std::string hash;         // what the password is checked against
        std::string password;     // the one to check
        std::string newPassword;  // of a password change
        req::Login login;
        // Written by the worker, read on completion.
        bool verified = false;
        std::string newHash;
    };
    struct Flight {
        std::vector<Request> replyTo;  // requests with the password being checked
        std::shared_ptr<PasswordJob> running;
        std::vector<Request> nextReplyTo;
        std::shared_ptr<PasswordJob> next;
    };
    using FlightKey = std::tuple<uint16_t, std::string, uint32_t>;  // command, account, IP
    void StartPasswordCheck(const Request& r, std::shared_ptr<PasswordJob> job);
    void LaunchFlight(const FlightKey& key);
    void FinishPasswordCheck(const FlightKey& key);
    void AnswerLogin(const Request& r, const PasswordJob& job);
    void AnswerChangePassword(const Request& r, const PasswordJob& job);
    // The answer to a check that failed or did not run: it names no account.
    void ReplyCheckFailed(const Request& r, uint16_t error);
    static Request Detached(const Request& r);
    // Counts a failed check; logs a lock once, when it starts.
    void CountFailure(const PasswordJob& job, uint32_t ip);
    std::string AccountKey(const std::optional<UserRecord>& user, uint32_t pin,
                           const std::string& name) const;

    // Directory (handlers_search.cpp).
    void OnSearch(Request& r);
    void OnSearch2(Request& r);
    std::vector<uint32_t> SearchOnline(const SearchQuery& q, size_t start, size_t limit,
                                       bool* more);
    // Buddy trees (handlers_buddy.cpp).
    void OnBuddyGet(Request& r);
    void OnBuddyGet2(Request& r);
    void OnBuddyAdd(Request& r);
    void OnBuddyUpdate(Request& r);
    void OnBuddyDelete(Request& r);
    void OnBuddyAuthReply(Request& r);
    std::vector<std::string> BuddyEntries(uint32_t owner);
    uint16_t CheckParentGroup(uint32_t owner, uint32_t parent);
    void SendAddBuddyNotice(const Session& from, uint32_t targetPin);
    void SendAnswer(uint32_t requesterPin, const BuddyAnswer& answer);
    // Black lists (handlers_blacklist.cpp).
    void OnBlackListGet(Request& r);
    void OnBlackListGet2(Request& r);
    void OnBlackListAdd(Request& r);
    void OnBlackListDelete(Request& r);
    std::vector<std::string> BlackListEntries(uint32_t owner);
    // Messages (handlers_message.cpp).
    void OnSendToUsers(Request& r);
    void OnPtpRequest(Request& r);
    uint16_t MessagePermission(uint32_t fromPin, uint32_t toPin, uint32_t toMode);
    // Sends a stored message; it leaves the store once acknowledged, and when given up
    // unless it is to be kept for the recipient's next login (within the quotas). False when
    // it is on its way already. settled runs once it is acknowledged or given up.
    bool DeliverStored(const Session& to, const StoredMessage& m,
                       std::function<void()> settled = {});
    // Whether the quotas let the message wait for its recipient; otherwise the sender's
    // error. senderLeft carries the sender's remaining allowance across the recipients of
    // one send.
    uint16_t MayKeep(const StoredMessage& m, std::optional<size_t>* senderLeft = nullptr);
    // Stores a message for later within the quotas; otherwise the sender's error.
    uint16_t KeepForLater(const StoredMessage& m, std::optional<size_t>* senderLeft = nullptr);
    // Groups (handlers_group.cpp).
    void OnGroupEnter(Request& r);
    void OnGroupLeave(Request& r);
    void OnGroupList(Request& r);
    void OnGroupList2(Request& r);
    void OnGroupCount(Request& r);
    void OnSendToGroup(Request& r);
    Group* LocateGroup(const req::GroupRef& ref);
    // Invisible members are left out of what others see of a group.
    uint32_t VisibleMembers(const Group& g);
    std::vector<uint32_t> MembersShown(const Group& g, uint32_t viewer);
    uint32_t MembersShownTo(uint32_t viewer, uint32_t visibleMembers);

    // Sends a list in parts of at most partSize entries with the ALL / HEAD / BODY / TAIL
    // flags; make(flag, count, entries) builds one part's body.
    template <typename Make>
    void ReplyInParts(const Request& r, const std::vector<std::string>& entries, size_t partSize,
                      Make make);

    uint32_t NextLoginId();

    // Servers sharing the database (cluster_events.cpp). Each tells its own sessions of what
    // happens and publishes the event; the others tell theirs when it comes.
    uint64_t Self() const { return cluster_ ? cluster_->Self() : 0; }
    ClusterEvent Event(ClusterEvent::Kind kind) const;
    ClusterEvent SessionStarted(const SessionRecord& r) const;
    void Publish(const ClusterEvent& e);
    // A session as the store keeps it, with the user's profile.
    static Session SessionOf(const SessionRecord& r, const UserRecord& user);
    // The session another server serves (r.process).
    void AddMirror(const SessionRecord& r);
    // A mirrored session is over: it leaves its groups here; watchers here are told.
    void DropMirror(uint32_t pin, bool tellOffline);
    // Who is in which group, as the servers keep it in the database (at Restore).
    void RestoreGroups();
    // Looks for servers that have gone (in Tick) and forgets their sessions.
    void CheckProcesses();
    void DropProcess(uint64_t process);
    // The local members of a group are told someone entered (or a count changed).
    void AnnounceEnter(const Group& group, const Session& who);
    void SendToLocalMembers(const Group& group, uint32_t from, const std::string& body);
    void SendRequest(const Session& to, const BuddyRequest& request);
    void SendStoredAnswer(const Session& to, const BuddyAnswer& answer);

    ServerConfig config_;
    Store& store_;
    const Clock& clock_;
    Log& log_;
    std::shared_ptr<PasswordHasher> hasher_;
    // A hash of a random password, checked for accounts that do not exist so that they
    // take as long as those that do.
    std::string dummyHash_;
    LoginLimits limits_;
    std::map<FlightKey, Flight> flights_;
    std::unordered_map<uint32_t, size_t> checksPerIp_;  // flights per client IP
    Reliability transport_;
    Sessions sessions_;
    PendingLogins pending_;
    Groups groups_;
    std::unordered_set<int64_t> deliveringStored_;  // stored messages sent, not yet acked
    // Per PIN, the batch of stored messages on its way to the user's session.
    struct WaitingDelivery {
        uint64_t generation = 0;  // a new login starts a new delivery
        uint32_t loginId = 0;
        int64_t lastId = 0;   // the last message of the batch
        size_t inFlight = 0;  // of the batch, neither acknowledged nor given up
    };
    std::unordered_map<uint32_t, WaitingDelivery> waitingDeliveries_;
    uint64_t waitingGeneration_ = 0;
    int64_t nextExpiryCheckMs_;
    Cluster* cluster_ = nullptr;
    int64_t nextProcessCheckMs_ = 0;
    uint64_t datagrams_ = 0;
    uint64_t dropped_ = 0;
    uint64_t executed_ = 0;
    std::unique_ptr<HashPool> pool_;  // last: its threads end before the rest goes
};

template <typename Make>
void ServerCore::ReplyInParts(const Request& r, const std::vector<std::string>& entries,
                              size_t partSize, Make make) {
    size_t total = entries.size();
    if (total <= partSize) {
        std::string joined;
        for (const auto& e : entries)
            joined += e;
        Reply(r, make(uint16_t{0}, static_cast<uint16_t>(total), joined));
        return;
    }
    for (size_t start = 0; start < total; start += partSize) {
        size_t end = std::min(total, start + partSize);
        uint16_t flag = start == 0 ? 1 : (end == total ? 3 : 2);  // HEAD, TAIL, BODY
        std::string joined;
        for (size_t i = start; i < end; ++i)
            joined += entries[i];
        Reply(r, make(flag, static_cast<uint16_t>(end - start), joined));
    }
}

}  // namespace ov::server
