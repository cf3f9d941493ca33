// Handshake, accounts, login and logout, status, user information and online statistics.
#include <algorithm>

#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

namespace {

// Login names: digits, lower-case letters, '-', '_' and '.', not digits only (an all-digit
// name would read as a PIN, and PINs are the names of accounts registered without one).
bool ValidUserName(const std::string& name) {
    if (name.empty() || name.size() >= OV_USERNAME_SIZE)
        return false;
    bool allDigits = true;
    for (char c : name) {
        bool digit = c >= '0' && c <= '9';
        bool ok = digit || (c >= 'a' && c <= 'z') || c == '-' || c == '_' || c == '.';
        if (!ok)
            return false;
        allDigits = allDigits && digit;
    }
    return !allDigits;
}

constexpr uint32_t kPublicMask = OV_UFLD_PIN | OV_UFLD_USERNAME | OV_UFLD_NICKNAME |
                                 OV_UFLD_LOCATION | OV_UFLD_AGERANGE | OV_UFLD_SEX | OV_UFLD_ICON |
                                 OV_UFLD_MODE;
constexpr uint32_t kFullMask = kPublicMask | OV_UFLD_FIRSTNAME | OV_UFLD_LASTNAME | OV_UFLD_EMAIL |
                               OV_UFLD_LANGUAGE | OV_UFLD_CAREER | OV_UFLD_LANGUAGE1 |
                               OV_UFLD_LANGUAGE2 | OV_UFLD_LANGUAGE3 | OV_UFLD_AGE |
                               OV_UFLD_EMAIL1 | OV_UFLD_EMAIL2 | OV_UFLD_PHONE | OV_UFLD_MOBILE |
                               OV_UFLD_HOMEPAGE | OV_UFLD_ABOUT;

}  // namespace

void ServerCore::OnHandshake(Request& r) {
    std::vector<reply::ServerAddress> servers = config_.servers;
    if (servers.empty()) {
        Endpoint own = config_.listen;
        // Listening on every address: name the one this client reached.
        if (own.ip == 0)
            own.ip = r.localIp ? r.localIp : 0x7F000001;
        servers.push_back({own.Address(), own.port});
    }
    Reply(r, reply::Handshake(servers));
}

void ServerCore::OnRegister(Request& r) {
    req::UserFields f;
    if (!req::DecodeRegister(r.body, &f))
        return Malformed(r);
    auto fail = [&](uint16_t error) { Reply(r, reply::Register(error, 0, {})); };
    if (!f.userName.empty() && !ValidUserName(f.userName))
        return fail(OV_ERR_BAD_USRNAME);
    if (f.password.empty())
        return fail(OV_ERR_BAD_FIELD);
    if (!f.userName.empty() && store_.UserNameExists(f.userName))
        return fail(OV_ERR_USR_EXIST);
    if (!limits_.AllowRegistration(r.from.ip)) {
        log_.Printf("registration from %s refused: too many from this address",
                    r.from.ToString().c_str());
        return fail(OV_ERR_BANNED);
    }
    auto hash = std::make_shared<std::string>();
    auto hasher = hasher_;
    auto password = std::make_shared<std::string>(f.password);
    Request answer = Detached(r);
    bool queued = pool_->Submit([hasher, hash, password] { *hash = hasher->Hash(*password); },
                                [this, answer, f, hash] { FinishRegister(answer, f, *hash); });
    if (!queued)
        fail(OV_ERR_UNKNOWN);
}

void ServerCore::FinishRegister(const Request& r, const req::UserFields& f,
                                const std::string& hash) {
    auto fail = [&](uint16_t error) { Reply(r, reply::Register(error, 0, {})); };
    if (hash.empty())
        return fail(OV_ERR_UNKNOWN);
    // Another registration may have taken the name while this one was hashed.
    if (!f.userName.empty() && store_.UserNameExists(f.userName))
        return fail(OV_ERR_USR_EXIST);
    UserRecord u;
    u.userName = f.userName;
    u.nickName = f.nickName;
    u.firstName = f.firstName;
    u.lastName = f.lastName;
    u.email = f.email;
    u.language = f.language;
    u.location = f.location;
    u.ageRange = f.ageRange;
    u.sex = f.sex;
    u.career = f.career;
    u.icon = f.icon;
    u.mode = f.mode;
    if (store_.CreateUser(&u, hash) == 0)
        return fail(OV_ERR_UNKNOWN);
    log_.Printf("registered PIN %u as %s from %s", u.pin, u.userName.c_str(),
                r.from.ToString().c_str());
    Reply(r, reply::Register(OV_ERR_NONE, u.pin, u.userName));
}

void ServerCore::OnLogin(Request& r) {
    req::Login login;
    if (!req::DecodeLogin(r.body, &login))
        return Malformed(r);
    std::optional<UserRecord> user =
        login.pin != 0 ? store_.FindUser(login.pin) : store_.FindUserByName(login.userName);
    auto job = std::make_shared<PasswordJob>();
    job->command = OV_CCMD_USR_LOGIN;
    job->account = AccountKey(user, login.pin, login.userName);
    job->pin = user ? user->pin : 0;
    job->password = login.password;
    job->login = std::move(login);
    StartPasswordCheck(r, std::move(job));
}

void ServerCore::FinishLogin(const Request& r, const UserRecord& user, const req::Login& login) {
    // The session starts when the client speaks with the new login ID from this address (a
    // command, or its acknowledgement of a datagram): a login with a forged source ends
    // nobody's session and makes nothing be sent there.
    uint32_t status =
        login.status == OV_ONLINE_STATUS_OFFLINE ? uint32_t{OV_ONLINE_STATUS_ONLINE} : login.status;
    Session s =
        SessionOf(SessionRecord{user.pin, NextLoginId(), r.from, status, login.terminal}, user);
    uint32_t loginId = s.loginId;
    pending_.Add(std::move(s), clock_.NowMs());
    // Twice: a client acknowledges the first copy before reading it, the second with the
    // login ID it has just read - which starts the session even when the client says nothing
    // more. Whoever else is at the address acknowledges with something else.
    transport_.SendOnce(
        r.from, r.header.nCommand, r.header.nCmdSeqNum,
        reply::Login(OV_ERR_NONE, user.terminal, user.pin, loginId, r.from.WireIp()),
        clock_.NowMs(), 2);
}

void ServerCore::OnLogout(Request& r) {
    EndSession(r.session->pin, EndReason::kLogout);
}

void ServerCore::OnKeepAlive(Request&) {
    // Authentication has refreshed the session already; there is nothing to answer.
}

void ServerCore::OnStatus(Request& r) {
    uint32_t status = 0;
    if (!req::DecodeStatus(r.body, &status))
        return Malformed(r);
    Session& s = *r.session;
    uint32_t before = s.VisibleStatus();
    uint32_t was = s.status;
    s.status = status;
    store_.SetSessionStatus(s.pin, status);
    uint32_t after = s.VisibleStatus();
    if (status != was) {
        ClusterEvent changed = Event(ClusterEvent::kStatus);
        changed.pin = s.pin;
        changed.status = status;
        changed.before = before;
        Publish(changed);
    }
    if (after == before)
        return;
    TellWatchers(s.pin, after);
    TellGroupMembers(s, after);
}

void ServerCore::OnChangePassword(Request& r) {
    req::ChangePassword c;
    if (!req::DecodeChangePassword(r.body, &c))
        return Malformed(r);
    std::optional<UserRecord> user =
        c.pin != 0 ? store_.FindUser(c.pin) : store_.FindUserByName(c.userName);
    auto job = std::make_shared<PasswordJob>();
    job->command = OV_CCMD_USR_PASSWORD;
    job->account = AccountKey(user, c.pin, c.userName);
    job->pin = user ? user->pin : 0;
    job->password = std::move(c.oldPassword);
    job->newPassword = std::move(c.newPassword);
    StartPasswordCheck(r, std::move(job));
}

void ServerCore::OnGetInfo(Request& r) {
    req::GetInfo g;
    if (!req::DecodeGetInfo(r.body, &g))
        return Malformed(r);
    std::optional<UserRecord> user =
        g.pin != 0 ? store_.FindUser(g.pin) : store_.FindUserByName(g.userName);
    if (!user)
        return ReplyError(r, OV_ERR_USR_NOT_EXIST);
    uint32_t asker = r.session->pin;
    bool self = asker == user->pin;
    uint32_t mask = kFullMask;
    uint16_t error = OV_ERR_NONE;
    if (!self && (user->mode & OV_UMODE_HIDE_USR_INFO) && !store_.InBuddyTree(user->pin, asker)) {
        error = OV_ERR_USR_HIDE_USR_INFO;
        mask = kPublicMask;
    }
    // The owner still sees the address, or editing the profile would wipe it.
    if (!self && (user->mode & OV_UMODE_HIDE_EMAIL))
        mask &= ~uint32_t{OV_UFLD_EMAIL};
    Reply(r, reply::UserInfo(error, *user, mask));
}

void ServerCore::OnPutInfo(Request& r) {
    req::UserFields f;
    if (!req::DecodePutInfo(r.body, &f))
        return Malformed(r);
    Session& s = *r.session;
    std::optional<UserRecord> user = store_.FindUser(s.pin);
    if (!user)
        return Reply(r, reply::ErrorAndId(OV_ERR_UNKNOWN, s.pin));
    UserRecord& u = *user;
    // The login name and the password are not changed here.
    if (f.Has(OV_UFLD_NICKNAME))
        u.nickName = f.nickName;
    if (f.Has(OV_UFLD_FIRSTNAME))
        u.firstName = f.firstName;
    if (f.Has(OV_UFLD_LASTNAME))
        u.lastName = f.lastName;
    if (f.Has(OV_UFLD_EMAIL))
        u.email = f.email;
    if (f.Has(OV_UFLD_LANGUAGE))
        u.language = f.language;
    if (f.Has(OV_UFLD_LOCATION))
        u.location = f.location;
    if (f.Has(OV_UFLD_AGERANGE))
        u.ageRange = f.ageRange;
    if (f.Has(OV_UFLD_SEX))
        u.sex = f.sex;
    if (f.Has(OV_UFLD_CAREER))
        u.career = f.career;
    if (f.Has(OV_UFLD_ICON))
        u.icon = f.icon;
    if (f.Has(OV_UFLD_MODE))
        u.mode = f.mode;
    if (f.Has(OV_UFLD_AGE))
        u.age = f.age;
    if (f.Has(OV_UFLD_LANGUAGE1))
        u.language1 = f.language1;
    if (f.Has(OV_UFLD_LANGUAGE2))
        u.language2 = f.language2;
    if (f.Has(OV_UFLD_LANGUAGE3))
        u.language3 = f.language3;
    if (f.Has(OV_UFLD_EMAIL1))
        u.email1 = f.email1;
    if (f.Has(OV_UFLD_EMAIL2))
        u.email2 = f.email2;
    if (f.Has(OV_UFLD_PHONE))
        u.phone = f.phone;
    if (f.Has(OV_UFLD_MOBILE))
        u.mobile = f.mobile;
    if (f.Has(OV_UFLD_HOMEPAGE))
        u.homepage = f.homepage;
    if (f.Has(OV_UFLD_ABOUT))
        u.about = f.about;
    if (!store_.UpdateProfile(u))
        return Reply(r, reply::ErrorAndId(OV_ERR_UNKNOWN, s.pin));
    s.profile = PublicProfile::From(u);
    Reply(r, reply::ErrorAndId(OV_ERR_NONE, s.pin));
    ClusterEvent changed = Event(ClusterEvent::kProfile);
    changed.pin = s.pin;
    Publish(changed);
}

void ServerCore::OnOnlineStat(Request& r) {
    Reply(r, reply::OnlineStat(OV_ERR_NONE, static_cast<uint32_t>(sessions_.Count()),
                               static_cast<uint32_t>(sessions_.Peak())));
}

}  // namespace ov::server
