#include "server/tests/decode.h"

#include <cstdio>
#include <cstring>

namespace ovt::decode {

using ov::wire::Reader;

namespace {

bool SearchEntry(Reader& r, Entry* e, bool withStatus) {
    return r.U32(&e->pin) && r.Text(&e->userName, OV_USERNAME_SIZE) &&
           r.Text(&e->nickName, OV_NICKNAME_SIZE) && r.U32(&e->location) && r.U8(&e->ageRange) &&
           r.U8(&e->sex) && r.U32(&e->icon) && r.U32(&e->mode) &&
           (!withStatus || r.U32(&e->status));
}

bool BlackEntry(Reader& r, Entry* e) {
    return r.U32(&e->pin) && r.Text(&e->userName, OV_USERNAME_SIZE) &&
           r.Text(&e->nickName, OV_NICKNAME_SIZE) && r.U32(&e->icon) && r.U8(&e->ageRange) &&
           r.U8(&e->sex);
}

bool GroupEntry(Reader& r, Entry* e) {
    return BlackEntry(r, e) && r.U32(&e->mode) && r.U32(&e->status);
}

bool BuddyEntry(Reader& r, Node* n) {
    return r.U32(&n->id) && r.U32(&n->parent) && r.U32(&n->mode) &&
           r.Text(&n->display, OV_DISPLAYNAME_SIZE) && r.Text(&n->userName, OV_USERNAME_SIZE) &&
           r.Text(&n->nickName, OV_NICKNAME_SIZE) && r.U32(&n->icon) && r.U8(&n->ageRange) &&
           r.U8(&n->sex) && r.U32(&n->status);
}

template <typename T, typename F>
bool Entries(Reader& r, uint16_t count, std::vector<T>* out, F read) {
    out->resize(count);
    for (auto& e : *out) {
        if (!read(r, &e))
            return false;
    }
    return true;
}

}  // namespace

std::optional<Login> LoginReply(const std::string& body) {
    if (body.size() != 18)
        return std::nullopt;
    Reader r(body);
    Login l{};
    r.U16(&l.error);
    r.U32(&l.terminal);
    r.U32(&l.pin);
    r.U32(&l.loginId);
    r.U32(&l.realIp);
    return l;
}

std::optional<Registered> RegisterReply(const std::string& body) {
    Reader r(body);
    Registered out{};
    if (body.size() < 6 || !r.U16(&out.error) || !r.U32(&out.pin) ||
        !r.Text(&out.name, OV_USERNAME_SIZE)) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::pair<uint16_t, uint32_t>> ErrorAndId(const std::string& body) {
    if (body.size() != 6)
        return std::nullopt;
    return std::make_pair(ov::wire::LoadU16(body.data()), ov::wire::LoadU32(body.data() + 2));
}

std::optional<uint16_t> ErrorOnly(const std::string& body) {
    if (body.size() != 2)
        return std::nullopt;
    return ov::wire::LoadU16(body.data());
}

std::optional<UserList> SearchReply(const std::string& body) {
    Reader r(body);
    UserList l;
    uint16_t count = 0;
    if (!r.U16(&l.error) || !r.U16(&count) || count > 100)
        return std::nullopt;
    if (!Entries(r, count, &l.users,
                 [](Reader& rr, Entry* e) { return SearchEntry(rr, e, false); })) {
        return std::nullopt;
    }
    return l;
}

std::optional<UserList> Search2Reply(const std::string& body) {
    Reader r(body);
    UserList l;
    uint16_t count = 0;
    if (!r.U16(&l.error) || !r.U16(&l.more) || !r.U16(&count) || count > 100) {
        return std::nullopt;
    }
    if (!Entries(r, count, &l.users,
                 [](Reader& rr, Entry* e) { return SearchEntry(rr, e, true); })) {
        return std::nullopt;
    }
    return l;
}

std::optional<UserList> BlackListReply(const std::string& body) {
    Reader r(body);
    UserList l;
    uint16_t count = 0;
    if (!r.U16(&l.error) || !r.U16(&count) || count > 500)
        return std::nullopt;
    if (!Entries(r, count, &l.users, BlackEntry))
        return std::nullopt;
    return l;
}

std::optional<UserList> BlackList2Reply(const std::string& body) {
    Reader r(body);
    UserList l;
    uint16_t count = 0;
    if (!r.U16(&l.error) || !r.U16(&l.total) || !r.U16(&l.flag) || !r.U16(&count) || count > 500) {
        return std::nullopt;
    }
    if (!Entries(r, count, &l.users, BlackEntry))
        return std::nullopt;
    return l;
}

std::optional<Tree> BuddyReply(const std::string& body) {
    Reader r(body);
    Tree t;
    uint16_t count = 0;
    if (!r.U16(&t.error) || !r.U16(&count) || count > 400)
        return std::nullopt;
    if (!Entries(r, count, &t.nodes, BuddyEntry))
        return std::nullopt;
    return t;
}

std::optional<Tree> Buddy2Reply(const std::string& body) {
    Reader r(body);
    Tree t;
    uint16_t count = 0;
    if (!r.U16(&t.error) || !r.U16(&t.total) || !r.U16(&t.flag) || !r.U16(&count) || count > 400) {
        return std::nullopt;
    }
    if (!Entries(r, count, &t.nodes, BuddyEntry))
        return std::nullopt;
    return t;
}

std::optional<OV_USER_INFO> UserInfoReply(const std::string& body, uint16_t* error) {
    Reader r(body);
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    if (!r.U16(error))
        return std::nullopt;
    if (*error != OV_ERR_NONE && *error != OV_ERR_USR_HIDE_USR_INFO)
        return u;
    bool ok = r.U32(&u.nPin) && r.U32(&u.nMask) && r.Text(u.sUserName, sizeof u.sUserName) &&
              r.Text(u.sNickName, sizeof u.sNickName) &&
              r.Text(u.sFirstName, sizeof u.sFirstName) &&
              r.Text(u.sLastName, sizeof u.sLastName) && r.Text(u.sEMail, sizeof u.sEMail) &&
              r.U16(&u.nLanguage) && r.U32(&u.nLocation) && r.U8(&u.nAgeRange) && r.U8(&u.nSex) &&
              r.U8(&u.nCareer) && r.U32(&u.nIcon) && r.U32(&u.nMode) && r.U16(&u.nAge) &&
              r.U16(&u.nLanguage1) && r.U16(&u.nLanguage2) && r.U16(&u.nLanguage3) &&
              r.Text(u.sEMail1, sizeof u.sEMail1) && r.Text(u.sEMail2, sizeof u.sEMail2) &&
              r.Text(u.sPhone, sizeof u.sPhone) && r.Text(u.sMobile, sizeof u.sMobile) &&
              r.Text(u.sHomepage, sizeof u.sHomepage) && r.Text(u.sAbout, sizeof u.sAbout);
    if (!ok)
        return std::nullopt;
    return u;
}

std::optional<Roster> EnterReply(const std::string& body) {
    if (body.size() != 16)
        return std::nullopt;
    Reader r(body);
    Roster g;
    uint32_t mode = 0;
    r.U16(&g.error);
    r.U16(&g.type);
    r.U32(&g.id);
    r.U32(&g.online);
    r.U32(&mode);
    g.flag = static_cast<uint16_t>(mode);
    return g;
}

std::optional<Roster> ListReply(const std::string& body) {
    Reader r(body);
    Roster g;
    uint16_t online = 0, count = 0;
    if (body.size() < 12 || !r.U16(&g.error) || !r.U16(&g.type) || !r.U32(&g.id) ||
        !r.U16(&online) || !r.U16(&count) || count > 100) {
        return std::nullopt;
    }
    g.online = online;
    if (!Entries(r, count, &g.users, GroupEntry))
        return std::nullopt;
    return g;
}

std::optional<Roster> List2Reply(const std::string& body) {
    Reader r(body);
    Roster g;
    uint16_t online = 0, count = 0;
    if (body.size() < 14 || !r.U16(&g.error) || !r.U16(&g.type) || !r.U32(&g.id) ||
        !r.U16(&online) || !r.U16(&g.flag) || !r.U16(&count) || count > 100) {
        return std::nullopt;
    }
    g.online = online;
    if (!Entries(r, count, &g.users, GroupEntry))
        return std::nullopt;
    return g;
}

std::optional<Roster> CountReply(const std::string& body) {
    if (body.size() != 12)
        return std::nullopt;
    Reader r(body);
    Roster g;
    r.U16(&g.error);
    r.U16(&g.type);
    r.U32(&g.id);
    r.U32(&g.online);
    return g;
}

std::optional<Roster> UserEnter(const std::string& body) {
    Reader r(body);
    Roster g;
    Entry e;
    if (body.size() < 6 || !r.U16(&g.type) || !r.U32(&g.id) || !GroupEntry(r, &e)) {
        return std::nullopt;
    }
    g.users.push_back(e);
    return g;
}

std::optional<Message> MessageNotice(const std::string& body) {
    Reader r(body);
    Message m{};
    if (body.size() < 18 || !r.U32(&m.from) || m.from == 0 || !r.U16(&m.groupType) ||
        !r.U32(&m.to) || !r.U32(&m.component) || !r.U32(&m.code) || !r.Text(&m.text, OV_MSG_SIZE) ||
        !r.U32(&m.sent)) {
        return std::nullopt;
    }
    return m;
}

namespace {
bool RequesterHead(Reader& r, Entry* e) {
    return r.U32(&e->pin) && r.Text(&e->userName, OV_USERNAME_SIZE) &&
           r.Text(&e->nickName, OV_NICKNAME_SIZE) && r.U32(&e->icon) && r.U8(&e->ageRange) &&
           r.U8(&e->sex);
}
}  // namespace

std::optional<Requester> BuddyRequest(const std::string& body) {
    Reader r(body);
    Requester q;
    if (!RequesterHead(r, &q.user) || !r.Text(&q.message, OV_MSG_SIZE))
        return std::nullopt;
    return q;
}

std::optional<Requester> BuddyAnswer(const std::string& body) {
    Reader r(body);
    Requester q;
    if (!RequesterHead(r, &q.user) || !r.U8(&q.accepted))
        return std::nullopt;
    return q;
}

std::optional<std::pair<uint32_t, uint32_t>> Status(const std::string& body) {
    if (body.size() != 8)
        return std::nullopt;
    return std::make_pair(ov::wire::LoadU32(body.data()), ov::wire::LoadU32(body.data() + 4));
}

std::optional<GroupValue> GroupU32(const std::string& body) {
    if (body.size() != 10)
        return std::nullopt;
    return GroupValue{ov::wire::LoadU16(body.data()), ov::wire::LoadU32(body.data() + 2),
                      ov::wire::LoadU32(body.data() + 6)};
}

std::optional<PtpNotice> Ptp(const std::string& body) {
    Reader r(body);
    PtpNotice p{};
    if (!r.U32(&p.from) || !r.Text(&p.userName, OV_USERNAME_SIZE) ||
        !r.Text(&p.nickName, OV_NICKNAME_SIZE) || !r.U32(&p.component) || !r.U32(&p.code) ||
        !r.U32(&p.ip) || !r.U16(&p.port) || !r.Text(&p.message, OV_MSG_SIZE)) {
        return std::nullopt;
    }
    return p;
}

std::optional<ServerList> Handshake(const std::string& body) {
    Reader r(body);
    ServerList s{};
    uint16_t count = 0;
    if (!r.U16(&s.error) || !r.U16(&count))
        return std::nullopt;
    for (uint16_t i = 0; i < count; ++i) {
        std::string host;
        uint16_t port = 0;
        if (!r.Text(&host, OV_SERVER_ADDR_SIZE) || !r.U16(&port))
            return std::nullopt;
        s.servers.emplace_back(host, port);
    }
    return s;
}

std::optional<Notice> AddBuddyNotice(const std::string& text) {
    Notice n{};
    char name[64] = {};
    if (std::sscanf(text.c_str(), "%d %63s %u %d %d %u %u", &n.pin, name, &n.icon, &n.ageRange,
                    &n.sex, &n.mode, &n.status) != 7) {
        return std::nullopt;
    }
    size_t colon = text.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    n.userName = name;
    n.nickName = text.substr(colon + 1);
    return n;
}

}  // namespace ovt::decode

namespace ovt::decode {

bool Readable(uint16_t command, const std::string& body) {
    uint16_t error = 0;
    switch (command) {
        case OV_CCMD_HANDSHACK_SERVER:
            return Handshake(body).has_value();
        case OV_CCMD_USR_REGISTER:
            return RegisterReply(body).has_value();
        case OV_CCMD_USR_LOGIN:
            return LoginReply(body).has_value();
        case OV_CCMD_USR_SEARCH:
            return SearchReply(body).has_value();
        case OV_CCMD_USR_PASSWORD:
        case OV_CCMD_USR_PUT_INFO:
        case OV_CCMD_BUDDY_ADD:
        case OV_CCMD_BUDDY_UPD:
            return ErrorAndId(body).has_value();
        case OV_CCMD_USR_GET_INFO:
            return UserInfoReply(body, &error).has_value();
        case OV_CCMD_USR_SEARCH2:
            return Search2Reply(body).has_value();
        case OV_CCMD_BUDDY_GET_LST:
            return BuddyReply(body).has_value();
        case OV_CCMD_BUDDY_GET_LST2:
            return Buddy2Reply(body).has_value();
        case OV_CCMD_BLACKLST_GET:
            return BlackListReply(body).has_value();
        case OV_CCMD_BLACKLST_GET2:
            return BlackList2Reply(body).has_value();
        case OV_CCMD_GRP_USR_ENTER:
            return EnterReply(body).has_value();
        case OV_CCMD_GRP_GET_OUSR_LIST:
            return ListReply(body).has_value();
        case OV_CCMD_GRP_GET_OUSR_CNT:
            return CountReply(body).has_value();
        case OV_CCMD_GRP_GET_OUSR_LIST2:
            return List2Reply(body).has_value();
        case OV_CCMD_SENDTO_USR:
        case OV_CCMD_SENDTO_GRP:
        case OV_CCMD_REQUEST_PTP:
            return ErrorOnly(body).has_value();
        case OV_SCMD_ADD_BUDDY_REQUEST:
            return BuddyRequest(body).has_value();
        case OV_SCMD_ADD_BUDDY_ACCEPT:
            return BuddyAnswer(body).has_value();
        case OV_SCMD_BUDDY_STATUS:
        case OV_SCMD_USR_STATUS:
            return Status(body).has_value();
        case OV_SCMD_GRP_USR_ENTER:
            return UserEnter(body).has_value();
        case OV_SCMD_GRP_USR_LEAVE:
        case OV_SCMD_GRP_OUSR_CNT:
            return GroupU32(body).has_value();
        case OV_SCMD_MESSAGE: {
            auto m = MessageNotice(body);
            if (!m)
                return false;
            if (m->from == OV_SYSTEM_PIN && m->component == OV_COMPONENT_ADD_BUDDY_NOTICE) {
                return AddBuddyNotice(m->text).has_value();
            }
            return true;
        }
        case OV_SCMD_PTP_REQUEST:
            return Ptp(body).has_value();
        case OV_CCMD_ONLINE_STAT:
            return body.size() == 10;
        default:
            return false;
    }
}

}  // namespace ovt::decode
