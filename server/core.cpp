// Receiving datagrams, the command table, and the lifecycle of sessions.
#include "server/core.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>

#include "common/protocol/vocabulary.h"
#include "server/replies.h"

namespace ov::server {

namespace {

uint32_t DefaultRandom() {
    static const bool ready = sodium_init() >= 0;
    (void)ready;
    return randombytes_random();
}

ReliabilityConfig TransportConfig(const ServerConfig& config) {
    ReliabilityConfig rc = config.reliability;
    uint32_t first = config.random ? config.random() : DefaultRandom();
    rc.firstPacketSeq = first == 0 ? 1 : first;
    return rc;
}

const char* ReasonText(int reason) {
    static const char* const kText[] = {"logout", "silent for too long", "logged in again",
                                        "another user logged in from the same address",
                                        "logged in again at another server"};
    return kText[reason];
}

}  // namespace

ServerCore::ServerCore(const ServerConfig& config, Store& store, const Clock& clock, Log& log,
                       Reliability::Transmit transmit, std::function<void()> wake)
    : config_(config),
      store_(store),
      clock_(clock),
      log_(log),
      hasher_(config.hasher ? config.hasher : MakePasswordHasher(config.passwordCost)),
      limits_(config.loginLimits, clock),
      transport_(TransportConfig(config), std::move(transmit)),
      pending_(config.maxPendingLogins),
      nextExpiryCheckMs_(clock.NowMs() + 1000) {
    if (!config_.random)
        config_.random = DefaultRandom;
    [[maybe_unused]] int sodium = sodium_init();
    unsigned char secret[24];
    randombytes_buf(secret, sizeof secret);
    char text[2 * sizeof secret + 1];
    sodium_bin2hex(text, sizeof text, secret, sizeof secret);
    dummyHash_ = hasher_->Hash(text);
    size_t workers = config.hashWorkers < 0 ? HashPool::DefaultWorkers()
                                            : static_cast<size_t>(config.hashWorkers);
    pool_ = std::make_unique<HashPool>(workers, config.hashQueue, std::move(wake));
}

ServerCore::~ServerCore() {
    pool_.reset();  // its threads may still finish a job; nothing of ours runs after this
}

bool ServerCore::FinishPasswordWork(int64_t limitMs) {
    return pool_->Drain(limitMs);
}

void ServerCore::RunCompletions() {
    pool_->RunCompletions();
}

const ServerCore::Command* ServerCore::FindCommand(uint16_t code) {
    static const Command kCommands[] = {
        {OV_CCMD_KEEP_ALIVE, true, &ServerCore::OnKeepAlive},
        {OV_CCMD_HANDSHACK_SERVER, false, &ServerCore::OnHandshake},
        {OV_CCMD_USR_REGISTER, false, &ServerCore::OnRegister},
        {OV_CCMD_USR_LOGIN, false, &ServerCore::OnLogin},
        {OV_CCMD_USR_LOGOUT, true, &ServerCore::OnLogout},
        {OV_CCMD_USR_SEARCH, true, &ServerCore::OnSearch},
        {OV_CCMD_USR_PASSWORD, false, &ServerCore::OnChangePassword},
        {OV_CCMD_USR_STATUS, true, &ServerCore::OnStatus},
        {OV_CCMD_USR_PUT_INFO, true, &ServerCore::OnPutInfo},
        {OV_CCMD_USR_GET_INFO, true, &ServerCore::OnGetInfo},
        {OV_CCMD_USR_SEARCH2, true, &ServerCore::OnSearch2},
        {OV_CCMD_BUDDY_GET_LST, true, &ServerCore::OnBuddyGet},
        {OV_CCMD_BUDDY_GET_LST2, true, &ServerCore::OnBuddyGet2},
        {OV_CCMD_BUDDY_DEL, true, &ServerCore::OnBuddyDelete},
        {OV_CCMD_BUDDY_ADD, true, &ServerCore::OnBuddyAdd},
        {OV_CCMD_BUDDY_UPD, true, &ServerCore::OnBuddyUpdate},
        {OV_CCMD_BLACKLST_GET, true, &ServerCore::OnBlackListGet},
        {OV_CCMD_BLACKLST_GET2, true, &ServerCore::OnBlackListGet2},
        {OV_CCMD_BLACKLST_ADD, true, &ServerCore::OnBlackListAdd},
        {OV_CCMD_BLACKLST_DEL, true, &ServerCore::OnBlackListDelete},
        {OV_CCMD_GRP_USR_ENTER, true, &ServerCore::OnGroupEnter},
        {OV_CCMD_GRP_USR_LEAVE, true, &ServerCore::OnGroupLeave},
        {OV_CCMD_GRP_GET_OUSR_LIST, true, &ServerCore::OnGroupList},
        {OV_CCMD_GRP_GET_OUSR_CNT, true, &ServerCore::OnGroupCount},
        {OV_CCMD_GRP_GET_OUSR_LIST2, true, &ServerCore::OnGroupList2},
        {OV_CCMD_SENDTO_USR, true, &ServerCore::OnSendToUsers},
        {OV_CCMD_SENDTO_GRP, true, &ServerCore::OnSendToGroup},
        {OV_CCMD_REQUEST_PTP, true, &ServerCore::OnPtpRequest},
        {OV_CCMD_REPLY_BUDDY_AUTH, true, &ServerCore::OnBuddyAuthReply},
        {OV_CCMD_ONLINE_STAT, false, &ServerCore::OnOnlineStat},
    };
    for (const auto& c : kCommands) {
        if (c.code == code)
            return &c;
    }
    return nullptr;
}

bool ServerCore::FromSelf(const Endpoint& from, uint32_t localIp) const {
    if (from.port != config_.listen.port)
        return false;
    return from.ip == config_.listen.ip || (localIp != 0 && from.ip == localIp);
}

void ServerCore::OnDatagram(const Endpoint& from, std::string_view datagram, uint32_t localIp) {
    ++datagrams_;
    int64_t now = clock_.NowMs();
    if (datagram.size() < wire::kServerAckSize ||
        wire::LoadU16(datagram.data()) != wire::kVersion) {
        ++dropped_;
        log_.Dropped(now, from.ToString(), "too short or not version 1");
        return;
    }
    // Our own datagrams come back only with a forged source: answering would start a loop.
    if (FromSelf(from, localIp)) {
        ++dropped_;
        log_.Dropped(now, from.ToString(), "sent from the server's own address");
        return;
    }
    uint16_t command = wire::LoadU16(datagram.data() + 2);
    if (command == OV_CCMD_ACK) {
        if (datagram.size() != wire::kClientAckSize) {
            ++dropped_;
            log_.Dropped(now, from.ToString(), "acknowledgement of the wrong length");
            return;
        }
        uint32_t seq = wire::LoadU32(datagram.data() + 4);
        uint32_t pin = wire::LoadU32(datagram.data() + 8);
        uint32_t loginId = wire::LoadU32(datagram.data() + 12);
        // Only the session's own credentials count, and show the client is alive.
        if (Session* s = Authenticate(pin, loginId, from)) {
            s->lastSeenMs = now;
            transport_.OnAck(from, seq, pin, loginId, now);
        }
        return;
    }
    Request r;
    wire::Reader reader(datagram);
    if (!wire::ReadRequestHeader(reader, &r.header)) {
        ++dropped_;
        log_.Dropped(now, from.ToString(), "shorter than a request header");
        return;
    }
    r.from = from;
    r.localIp = localIp;
    r.body = wire::Reader(datagram.data() + wire::kRequestHeaderSize,
                          datagram.size() - wire::kRequestHeaderSize);
    const Command* cmd = FindCommand(r.header.nCommand);
    if (cmd && !req::WellFormed(r.header.nCommand, r.body, config_.maxRecipients)) {
        // Not what any client sends (a reply of another server parses as a command, too):
        // dropped before anything, the acknowledgement included, goes back.
        ++dropped_;
        char why[64];
        std::snprintf(why, sizeof why, "body of command 0x%X of the wrong form", r.header.nCommand);
        log_.Dropped(now, from.ToString(), why);
        return;
    }
    if (r.header.nPin != 0)
        r.session = Authenticate(r.header.nPin, r.header.nLoginID, from);
    // Commands that need no session are answered once, the same for everybody.
    bool authenticated = r.session != nullptr && cmd && cmd->needsLogin;
    // A message is acknowledged once it is stored: a client that got the acknowledgement
    // never sends it again, so it must survive the server being killed the moment after.
    r.ackDue = authenticated && cmd->code == OV_CCMD_SENDTO_USR;
    if (!transport_.AcceptCommand(from, r.header, datagram, now, authenticated, !r.ackDue))
        return;
    if (r.ackDue)
        r.fingerprint = Reliability::Fingerprint(datagram);
    if (!cmd) {
        ++dropped_;
        char why[64];
        std::snprintf(why, sizeof why, "unknown command 0x%X", r.header.nCommand);
        log_.Dropped(now, from.ToString(), why);
        return;
    }
    if (cmd->needsLogin && !r.session) {
        ++dropped_;
        ReplyError(r, OV_ERR_UNKNOWN);  // once: nobody's session is behind it
        return;
    }
    if (r.session)
        r.session->lastSeenMs = now;
    ++executed_;
    (this->*cmd->handler)(r);
    Acknowledge(r);
}

void ServerCore::Acknowledge(Request& r) {
    if (!r.ackDue)
        return;
    r.ackDue = false;
    transport_.Acknowledge(r.from, r.header.nPacketSeq);
}

void ServerCore::Reply(const Request& r, const std::string& body) {
    int64_t now = clock_.NowMs();
    // Looked up again: the reply may come after the session that asked has ended.
    const Command* cmd = FindCommand(r.header.nCommand);
    if (cmd && cmd->needsLogin &&
        sessions_.Authenticate(r.header.nPin, r.header.nLoginID, r.from)) {
        transport_.Send(r.from, r.header.nCommand, r.header.nCmdSeqNum, body, now);
    } else {
        transport_.SendOnce(r.from, r.header.nCommand, r.header.nCmdSeqNum, body, now);
    }
}

void ServerCore::ReplyError(const Request& r, uint16_t error) {
    if (auto body = reply::ErrorOnly(r.header.nCommand, error))
        Reply(r, *body);
}

void ServerCore::Notify(const Session& to, uint16_t command, const std::string& body,
                        Reliability::Done done) {
    if (to.owner != 0) {
        // Served by another server, which sends it. Notices whose acknowledgement matters
        // are stored and go by their own events instead.
        ClusterEvent e = Event(ClusterEvent::kDirect);
        e.pin = to.pin;
        e.command = command;
        e.bytes = body;
        Publish(e);
        return;
    }
    transport_.Send(to.endpoint, command, 0, body, clock_.NowMs(), std::move(done));
}

void ServerCore::Malformed(const Request& r) {
    ++dropped_;
    char why[64];
    std::snprintf(why, sizeof why, "malformed body of command 0x%X", r.header.nCommand);
    log_.Dropped(clock_.NowMs(), r.from.ToString(), why);
    ReplyError(r, OV_ERR_BAD_FIELD);
}

void ServerCore::Restore() {
    int64_t now = clock_.NowMs();
    if (cluster_) {
        store_.RegisterProcess(Self());
        nextProcessCheckMs_ = now;
    }
    std::vector<uint32_t> restored;
    for (const SessionRecord& r : store_.Sessions()) {
        if (r.process != Self()) {
            if (cluster_)
                AddMirror(r);
            continue;
        }
        std::optional<UserRecord> user = store_.FindUser(r.pin);
        if (!user) {
            store_.DeleteSession(r.pin);
            continue;
        }
        Session s = SessionOf(r, *user);
        s.lastSeenMs = now;
        sessions_.Add(std::move(s));
        transport_.Confirm(r.endpoint, r.pin, r.loginId, now);
        // Oldest first, so that the newest stay in the filter.
        std::vector<TakenCommand> taken = store_.TakenCommands(r.pin, 32);
        for (auto it = taken.rbegin(); it != taken.rend(); ++it)
            transport_.Remember(r.endpoint, it->packetSeq, it->fingerprint, now);
        restored.push_back(r.pin);
    }
    if (cluster_)
        RestoreGroups();
    if (!restored.empty())
        log_.Printf("%zu sessions taken up from the last run", restored.size());
    for (uint32_t pin : restored) {
        if (const Session* s = sessions_.Find(pin))
            DeliverWaiting(*s);
    }
}

void ServerCore::Tick() {
    int64_t now = clock_.NowMs();
    transport_.Tick(now);
    pending_.ForgetOlderThan(now - config_.sessionTimeoutMs);
    if (now >= nextExpiryCheckMs_) {
        for (uint32_t pin : sessions_.Expired(now, config_.sessionTimeoutMs)) {
            EndSession(pin, EndReason::kExpired);
        }
        nextExpiryCheckMs_ = now + 1000;
    }
    if (cluster_ && now >= nextProcessCheckMs_) {
        CheckProcesses();
        nextProcessCheckMs_ = now + config_.processCheckMs;
    }
}

int64_t ServerCore::NextDeadline() const {
    int64_t next = transport_.NextDeadline();
    if (sessions_.LocalCount() > 0 || pending_.Size() > 0)
        next = std::min(next, nextExpiryCheckMs_);
    if (cluster_)
        next = std::min(next, nextProcessCheckMs_);
    return next;
}

CoreStats ServerCore::Stats() const {
    CoreStats s;
    s.datagrams = datagrams_;
    s.dropped = dropped_;
    s.executed = executed_;
    s.sessions = sessions_.LocalCount();
    s.peakSessions = sessions_.Peak();
    s.groups = groups_.Count();
    s.pendingLogins = pending_.Size();
    s.confirmedAddresses = transport_.ConfirmedCount();
    s.otherAddresses = transport_.AddressCount();
    s.outstanding = transport_.Outstanding();
    s.outstandingBytes = transport_.OutstandingBytes();
    s.transport = transport_.Stats();
    return s;
}

uint32_t ServerCore::NextLoginId() {
    uint32_t id = 0;
    while (id == 0)
        id = config_.random();
    return id;
}

Session* ServerCore::Authenticate(uint32_t pin, uint32_t loginId, const Endpoint& from) {
    if (pin == 0)
        return nullptr;
    if (Session* s = sessions_.Authenticate(pin, loginId, from))
        return s;
    std::optional<Session> pending = pending_.Take(pin, loginId, from);
    if (!pending)
        return nullptr;
    StartSession(std::move(*pending));
    return sessions_.Authenticate(pin, loginId, from);
}

void ServerCore::StartSession(Session s) {
    uint32_t pin = s.pin;
    Endpoint at = s.endpoint;
    if (const Session* old = sessions_.Find(pin)) {
        // One served elsewhere ends there, when its server hears of this one.
        if (old->owner != 0)
            DropMirror(pin, false);
        else
            EndSession(pin, EndReason::kReplaced);
    }
    // The client behind this address now speaks for another account: the old one is over.
    if (Session* other = sessions_.FindByEndpoint(at))
        EndSession(other->pin, EndReason::kOtherLogin);
    s.lastSeenMs = clock_.NowMs();
    store_.SetTerminal(pin, s.terminal);
    store_.DeleteSession(pin);  // what an earlier session had executed is not this one's
    const SessionRecord record{pin, s.loginId, at, s.status, s.terminal, Self()};
    store_.SaveSession(record);
    const Session& live = sessions_.Add(std::move(s));
    transport_.Confirm(at, pin, live.loginId, clock_.NowMs());
    Publish(SessionStarted(record));
    log_.Printf("session start: PIN %u (%s) at %s, status %u", pin, live.profile.userName.c_str(),
                at.ToString().c_str(), live.status);
    if (live.VisibleStatus() != OV_ONLINE_STATUS_OFFLINE)
        TellWatchers(pin, live.VisibleStatus());
    DeliverWaiting(live);
}

void ServerCore::EndSession(uint32_t pin, EndReason reason) {
    Session* s = sessions_.FindLocal(pin);
    if (!s)
        return;
    // Leaving a group may end it; work on a copy of the list.
    std::vector<uint32_t> groups = s->groups;
    for (uint32_t id : groups) {
        if (Group* g = groups_.Find(id))
            LeaveGroup(*g, *s);
    }
    uint32_t visible = s->VisibleStatus();
    log_.Printf("session end: PIN %u (%s) at %s, %s", pin, s->profile.userName.c_str(),
                s->endpoint.ToString().c_str(), ReasonText(static_cast<int>(reason)));
    Endpoint at = s->endpoint;
    ClusterEvent ended = Event(ClusterEvent::kSessionEnd);
    ended.pin = pin;
    ended.loginId = s->loginId;
    ended.status = visible;
    ended.flag = reason == EndReason::kReplaced || reason == EndReason::kElsewhere;
    sessions_.Remove(pin);
    // The row is the new session's already when the user logged in at another server.
    if (reason != EndReason::kElsewhere)
        store_.DeleteSession(pin);
    Publish(ended);
    // What was on its way to the session is given up (stored messages stay stored).
    transport_.Unconfirm(at);
    // A replaced session is followed at once by the new one's status.
    if (!ended.flag && visible != OV_ONLINE_STATUS_OFFLINE) {
        TellWatchers(pin, OV_ONLINE_STATUS_OFFLINE);
    }
}

void ServerCore::TellWatchers(uint32_t pin, uint32_t visibleStatus) {
    std::string body = reply::StatusChange(pin, visibleStatus);
    for (uint32_t owner : store_.Watchers(pin)) {
        if (owner == pin)
            continue;
        if (const Session* w = sessions_.FindLocal(owner))
            Notify(*w, OV_SCMD_BUDDY_STATUS, body);
    }
}

void ServerCore::TellGroupMembers(const Session& s, uint32_t visibleStatus) {
    std::vector<uint32_t> told;
    std::string body = reply::StatusChange(s.pin, visibleStatus);
    for (uint32_t id : s.groups) {
        const Group* g = groups_.Find(id);
        if (!g)
            continue;
        for (uint32_t member : g->members) {
            if (member == s.pin || std::find(told.begin(), told.end(), member) != told.end()) {
                continue;
            }
            told.push_back(member);
            if (const Session* m = sessions_.FindLocal(member))
                Notify(*m, OV_SCMD_USR_STATUS, body);
        }
    }
}

void ServerCore::LeaveGroup(Group& group, Session& s) {
    uint16_t type = group.type;
    uint32_t id = group.id;
    s.groups.erase(std::remove(s.groups.begin(), s.groups.end(), id), s.groups.end());
    // One who entered invisible and is so still leaves as unseen as they came.
    auto& unseen = group.unannounced;
    bool wasUnseen = std::find(unseen.begin(), unseen.end(), s.pin) != unseen.end();
    unseen.erase(std::remove(unseen.begin(), unseen.end(), s.pin), unseen.end());
    bool tell = !wasUnseen || s.VisibleStatus() != OV_ONLINE_STATUS_OFFLINE;
    if (!groups_.Leave(group, s.pin))
        return;
    if (s.owner == 0 && cluster_) {
        store_.RemoveGroupMember(Self(), id, s.pin);
        ClusterEvent left = Event(ClusterEvent::kGroupLeave);
        left.group = id;
        left.pin = s.pin;
        left.flag = tell;
        Publish(left);
    }
    const Group* rest = groups_.Find(id);  // gone when s was the last member
    if (!rest || !tell)
        return;
    std::string leave = reply::GroupUserLeave(type, id, s.pin);
    uint32_t visible = VisibleMembers(*rest);
    for (uint32_t member : rest->members) {
        if (const Session* m = sessions_.FindLocal(member)) {
            Notify(*m, OV_SCMD_GRP_USR_LEAVE, leave);
            Notify(*m, OV_SCMD_GRP_OUSR_CNT,
                   reply::GroupOnlineCount(type, id, MembersShownTo(member, visible)));
        }
    }
}

void ServerCore::DeliverWaiting(const Session& s) {
    // Stored messages go in batches, oldest first: a large mailbox is neither read nor sent
    // at once, and the next batch waits until this one is acknowledged or given up.
    uint64_t generation = ++waitingGeneration_;
    waitingDeliveries_[s.pin] = WaitingDelivery{generation, s.loginId, 0, 0};
    SendWaitingBatch(s.pin, generation);
    for (const BuddyRequest& req : store_.UndeliveredRequestsFor(s.pin))
        SendRequest(s, req);
    for (const BuddyAnswer& a : store_.AnswersFor(s.pin))
        SendStoredAnswer(s, a);
}

void ServerCore::SendRequest(const Session& to, const BuddyRequest& req) {
    uint32_t from = req.fromPin, target = req.toPin;
    if (to.owner != 0) {
        ClusterEvent e = Event(ClusterEvent::kBuddyRequest);
        e.pin = from;
        e.target = target;
        return Publish(e);
    }
    Notify(to, OV_SCMD_ADD_BUDDY_REQUEST, reply::AddBuddyRequest(ProfileOf(from), req.message),
           [this, from, target](bool acked) {
               if (acked)
                   store_.MarkRequestDelivered(from, target);
           });
}

void ServerCore::SendStoredAnswer(const Session& to, const BuddyAnswer& a) {
    int64_t id = a.id;
    if (to.owner != 0) {
        ClusterEvent e = Event(ClusterEvent::kBuddyAnswer);
        e.pin = a.requesterPin;
        e.id = id;
        return Publish(e);
    }
    Notify(to, OV_SCMD_ADD_BUDDY_ACCEPT,
           reply::AddBuddyAnswer(ProfileOf(a.answererPin), a.accepted), [this, id](bool acked) {
               if (acked)
                   store_.DeleteAnswer(id);
           });
}

void ServerCore::SendWaitingBatch(uint32_t pin, uint64_t generation) {
    for (;;) {
        auto it = waitingDeliveries_.find(pin);
        if (it == waitingDeliveries_.end() || it->second.generation != generation)
            return;  // a newer login has its own delivery
        WaitingDelivery& w = it->second;
        const Session* s = sessions_.Find(pin);
        std::vector<StoredMessage> batch;
        if (s && s->loginId == w.loginId)
            batch = store_.MessagesFor(pin, w.lastId, config_.waitingBatch);
        if (batch.empty()) {
            waitingDeliveries_.erase(it);
            return;
        }
        w.lastId = batch.back().id;
        // One count held for the loop, so that a message settled at once (the client's
        // queue is full) does not start the next batch in the middle of this one.
        w.inFlight = 1;
        for (const StoredMessage& m : batch) {
            ++w.inFlight;
            if (!DeliverStored(*s, m,
                               [this, pin, generation] { WaitingSettled(pin, generation); })) {
                --w.inFlight;  // on its way already, from an earlier login
            }
        }
        if (--w.inFlight != 0)
            return;
    }
}

void ServerCore::WaitingSettled(uint32_t pin, uint64_t generation) {
    auto it = waitingDeliveries_.find(pin);
    if (it == waitingDeliveries_.end() || it->second.generation != generation)
        return;
    if (--it->second.inFlight == 0)
        SendWaitingBatch(pin, generation);
}

PublicProfile ServerCore::ProfileOf(uint32_t pin) {
    if (const Session* s = sessions_.Find(pin))
        return s->profile;
    if (auto u = store_.FindUser(pin))
        return PublicProfile::From(*u);
    PublicProfile p;
    p.pin = pin;
    return p;
}

uint32_t ServerCore::VisibleStatusOf(uint32_t pin) {
    const Session* s = sessions_.Find(pin);
    return s ? s->VisibleStatus() : uint32_t{OV_ONLINE_STATUS_OFFLINE};
}

bool ServerCore::SharesGroup(uint32_t a, uint32_t b) {
    const Session* sa = sessions_.Find(a);
    if (!sa)
        return false;
    for (uint32_t id : sa->groups) {
        const Group* g = groups_.Find(id);
        if (g && g->HasMember(b))
            return true;
    }
    return false;
}

}  // namespace ov::server
