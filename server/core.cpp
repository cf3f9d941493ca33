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
                                        "another user logged in from the same address"};
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
      transport_(TransportConfig(config), std::move(transmit)) {
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

void ServerCore::OnDatagram(const Endpoint& from, std::string_view datagram, uint32_t localIp) {
    ++datagrams_;
    int64_t now = clock_.NowMs();
    if (datagram.size() < wire::kServerAckSize ||
        wire::LoadU16(datagram.data()) != wire::kVersion) {
        ++dropped_;
        log_.Dropped(now, from.ToString(), "too short or not version 1");
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
        transport_.OnAck(from, seq, now);
        // An acknowledgement with the session's credentials shows the client is alive.
        uint32_t pin = wire::LoadU32(datagram.data() + 8);
        uint32_t loginId = wire::LoadU32(datagram.data() + 12);
        if (Session* s = sessions_.Authenticate(pin, loginId, from))
            s->lastSeenMs = now;
        return;
    }
    Request r;
    wire::Reader reader(datagram);
    if (!wire::ReadRequestHeader(reader, &r.header)) {
        ++dropped_;
        log_.Dropped(now, from.ToString(), "shorter than a request header");
        return;
    }
    if (!transport_.AcceptCommand(from, r.header.nPacketSeq, datagram, now))
        return;
    r.from = from;
    r.localIp = localIp;
    r.body = wire::Reader(datagram.data() + wire::kRequestHeaderSize,
                          datagram.size() - wire::kRequestHeaderSize);
    const Command* cmd = FindCommand(r.header.nCommand);
    if (!cmd) {
        ++dropped_;
        char why[64];
        std::snprintf(why, sizeof why, "unknown command 0x%X", r.header.nCommand);
        log_.Dropped(now, from.ToString(), why);
        return;
    }
    if (cmd->needsLogin) {
        r.session = sessions_.Authenticate(r.header.nPin, r.header.nLoginID, from);
        if (!r.session) {
            ++dropped_;
            ReplyError(r, OV_ERR_UNKNOWN);
            return;
        }
        r.session->lastSeenMs = now;
    }
    ++executed_;
    (this->*cmd->handler)(r);
}

void ServerCore::Reply(const Request& r, const std::string& body) {
    transport_.Send(r.from, r.header.nCommand, r.header.nCmdSeqNum, body, clock_.NowMs());
}

void ServerCore::ReplyError(const Request& r, uint16_t error) {
    if (auto body = reply::ErrorOnly(r.header.nCommand, error))
        Reply(r, *body);
}

void ServerCore::Notify(const Session& to, uint16_t command, const std::string& body,
                        Reliability::Done done) {
    transport_.Send(to.endpoint, command, 0, body, clock_.NowMs(), std::move(done));
}

void ServerCore::Malformed(const Request& r) {
    ++dropped_;
    char why[64];
    std::snprintf(why, sizeof why, "malformed body of command 0x%X", r.header.nCommand);
    log_.Dropped(clock_.NowMs(), r.from.ToString(), why);
    ReplyError(r, OV_ERR_BAD_FIELD);
}

void ServerCore::Tick() {
    int64_t now = clock_.NowMs();
    transport_.Tick(now);
    if (now >= nextExpiryCheckMs_) {
        for (uint32_t pin : sessions_.Expired(now, config_.sessionTimeoutMs)) {
            EndSession(pin, EndReason::kExpired);
        }
        nextExpiryCheckMs_ = now + 1000;
    }
}

int64_t ServerCore::NextDeadline() const {
    int64_t next = transport_.NextDeadline();
    if (sessions_.Count() > 0)
        next = std::min(next, nextExpiryCheckMs_);
    return next;
}

CoreStats ServerCore::Stats() const {
    CoreStats s;
    s.datagrams = datagrams_;
    s.dropped = dropped_;
    s.executed = executed_;
    s.sessions = sessions_.Count();
    s.peakSessions = sessions_.Peak();
    s.groups = groups_.Count();
    s.transport = transport_.Stats();
    return s;
}

uint32_t ServerCore::NextLoginId() {
    uint32_t id = 0;
    while (id == 0)
        id = config_.random();
    return id;
}

void ServerCore::EndSession(uint32_t pin, EndReason reason) {
    Session* s = sessions_.Find(pin);
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
    sessions_.Remove(pin);
    // A replaced session is followed at once by the new one's status.
    if (reason != EndReason::kReplaced && visible != OV_ONLINE_STATUS_OFFLINE) {
        TellWatchers(pin, OV_ONLINE_STATUS_OFFLINE);
    }
}

void ServerCore::TellWatchers(uint32_t pin, uint32_t visibleStatus) {
    std::string body = reply::StatusChange(pin, visibleStatus);
    for (uint32_t owner : store_.Watchers(pin)) {
        if (owner == pin)
            continue;
        if (const Session* w = sessions_.Find(owner))
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
            if (const Session* m = sessions_.Find(member))
                Notify(*m, OV_SCMD_USR_STATUS, body);
        }
    }
}

void ServerCore::LeaveGroup(Group& group, Session& s) {
    uint16_t type = group.type;
    uint32_t id = group.id;
    s.groups.erase(std::remove(s.groups.begin(), s.groups.end(), id), s.groups.end());
    if (!groups_.Leave(group, s.pin))
        return;
    const Group* rest = groups_.Find(id);  // gone when s was the last member
    if (!rest)
        return;
    std::string leave = reply::GroupUserLeave(type, id, s.pin);
    std::string count =
        reply::GroupOnlineCount(type, id, static_cast<uint32_t>(rest->members.size()));
    for (uint32_t member : rest->members) {
        if (const Session* m = sessions_.Find(member)) {
            Notify(*m, OV_SCMD_GRP_USR_LEAVE, leave);
            Notify(*m, OV_SCMD_GRP_OUSR_CNT, count);
        }
    }
}

void ServerCore::DeliverWaiting(const Session& s) {
    for (const StoredMessage& m : store_.MessagesFor(s.pin))
        DeliverStored(s, m, true);
    for (const BuddyRequest& req : store_.UndeliveredRequestsFor(s.pin)) {
        uint32_t from = req.fromPin, to = req.toPin;
        Notify(s, OV_SCMD_ADD_BUDDY_REQUEST, reply::AddBuddyRequest(ProfileOf(from), req.message),
               [this, from, to](bool acked) {
                   if (acked)
                       store_.MarkRequestDelivered(from, to);
               });
    }
    for (const BuddyAnswer& a : store_.AnswersFor(s.pin)) {
        int64_t id = a.id;
        Notify(s, OV_SCMD_ADD_BUDDY_ACCEPT,
               reply::AddBuddyAnswer(ProfileOf(a.answererPin), a.accepted), [this, id](bool acked) {
                   if (acked)
                       store_.DeleteAnswer(id);
               });
    }
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
