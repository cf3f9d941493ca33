// Accounts and sessions: handshake, registration, login, password change, user information,
// session expiry and the online statistics.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

using AccountTest = ServerFixture;

body::User Named(const std::string& name, const std::string& password) {
    body::User u;
    u.mask = OV_UFLD_PASSWORD | (name.empty() ? 0u : uint32_t{OV_UFLD_USERNAME});
    u.userName = name;
    u.password = password;
    return u;
}

TEST_F(AccountTest, HandshakeNamesThisServer) {
    TestClient& c = NewClient();
    auto list = decode::Handshake(Ask(c, OV_CCMD_HANDSHACK_SERVER));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->error, OV_ERR_NONE);
    ASSERT_EQ(list->servers.size(), 1u);
    EXPECT_EQ(list->servers[0].first, "127.0.0.1");
    EXPECT_EQ(list->servers[0].second, server->Port());
}

TEST_F(AccountTest, RegistrationAssignsPinsAndChecksNames) {
    TestClient& c = NewClient();
    auto reg = [&](const body::User& u) {
        return *decode::RegisterReply(Ask(c, OV_CCMD_USR_REGISTER, body::Register(u)));
    };
    auto first = reg(Named("alice", "pw"));
    EXPECT_EQ(first.error, OV_ERR_NONE);
    EXPECT_EQ(first.pin, 10001u);
    EXPECT_EQ(first.name, "alice");
    // Without a name the PIN in decimal is the login name.
    auto second = reg(Named("", "pw"));
    EXPECT_EQ(second.pin, 10002u);
    EXPECT_EQ(second.name, "10002");
    EXPECT_EQ(reg(Named("alice", "other")).error, OV_ERR_USR_EXIST);
    for (const char* bad : {"Alice", "12345", "a b", "ali:ce"}) {
        auto r = reg(Named(bad, "pw"));
        EXPECT_EQ(r.error, OV_ERR_BAD_USRNAME) << bad;
        EXPECT_EQ(r.pin, 0u);
    }
    EXPECT_EQ(reg(Named("john.doe-2_x", "pw")).error, OV_ERR_NONE);
    EXPECT_EQ(reg(Named("nopass", "")).error, OV_ERR_BAD_FIELD);
}

TEST_F(AccountTest, LoginByPinOrNameReportsTerminalAndAddress) {
    Account a = Register("alice");
    TestClient& c = NewClient();
    auto login = [&](uint32_t pin, const std::string& name, const std::string& pw,
                     uint32_t terminal) {
        c.pin = 0;
        c.loginId = 0;
        return *decode::LoginReply(Ask(
            c, OV_CCMD_USR_LOGIN, body::Login(pin, name, pw, OV_ONLINE_STATUS_ONLINE, terminal)));
    };
    EXPECT_EQ(login(a.pin, "", "wrong", 5).error, OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(login(0, "nobody", a.password, 5).error, OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(login(99999, "", a.password, 5).error, OV_ERR_BAD_USR_OR_PASSWD);
    auto byPin = login(a.pin, "", a.password, 77);
    EXPECT_EQ(byPin.error, OV_ERR_NONE);
    EXPECT_EQ(byPin.pin, a.pin);
    EXPECT_EQ(byPin.terminal, 0u);         // first login
    EXPECT_EQ(byPin.realIp, 0x0100007Fu);  // 127.0.0.1, bytes in network order
    EXPECT_NE(byPin.loginId, 0u);
    // The login counts once the client speaks with it.
    c.pin = byPin.pin;
    c.loginId = byPin.loginId;
    c.Send(OV_CCMD_KEEP_ALIVE);
    ASSERT_TRUE(c.WaitAck(c.LastPacketSeq()));
    EXPECT_TRUE(log.Contains("session start: PIN 10001"));
    auto byName = login(0, "alice", a.password, 78);
    EXPECT_EQ(byName.pin, a.pin);
    EXPECT_EQ(byName.terminal, 77u);  // the previous login's terminal
}

TEST_F(AccountTest, PasswordChangeChecksTheOldPassword) {
    Account a = Register("alice");
    TestClient& c = NewClient();  // not logged in: the wizard works by name
    auto change = [&](uint32_t pin, const std::string& name, const std::string& oldPw,
                      const std::string& newPw) {
        return *decode::ErrorAndId(
            Ask(c, OV_CCMD_USR_PASSWORD, body::ChangePassword(pin, name, oldPw, newPw)));
    };
    // Neither the error nor the id tells a wrong password from an unknown account.
    using Answer = std::pair<uint16_t, uint32_t>;
    EXPECT_EQ(change(0, "alice", "wrong", "new1"), Answer(OV_ERR_BAD_USR_OR_PASSWD, 0));
    EXPECT_EQ(change(0, "nobody", a.password, "new1"), Answer(OV_ERR_BAD_USR_OR_PASSWD, 0));
    EXPECT_EQ(change(0, "alice", a.password, ""), Answer(OV_ERR_BAD_FIELD, a.pin));
    EXPECT_EQ(change(0, "alice", a.password, "new1"), Answer(OV_ERR_NONE, a.pin));
    EXPECT_EQ(change(a.pin, "", "new1", "new2").first, OV_ERR_NONE);
    Account old = a;
    TestClient& d = NewClient();
    auto refused =
        decode::LoginReply(Ask(d, OV_CCMD_USR_LOGIN, body::Login(a.pin, "", old.password)));
    EXPECT_EQ(refused->error, OV_ERR_BAD_USR_OR_PASSWD);
    a.password = "new2";
    Login(d, a);
}

TEST_F(AccountTest, UserInfoHonoursPrivacyModes) {
    Account alice, bob, carol;
    TestClient& a = Online("alice", OV_UMODE_HIDE_USR_INFO | OV_UMODE_HIDE_EMAIL, &alice);
    TestClient& b = Online("bob", 0, &bob);
    TestClient& c = Online("carol", 0, &carol);
    body::User put;
    put.mask = OV_UFLD_NICKNAME | OV_UFLD_FIRSTNAME | OV_UFLD_EMAIL | OV_UFLD_MODE | OV_UFLD_ABOUT |
               OV_UFLD_USERNAME;
    put.userName = "renamed";  // a login name does not change
    put.nickName = "Ally";
    put.firstName = "Alice";
    put.email = "a@example.org";
    put.mode = OV_UMODE_HIDE_USR_INFO | OV_UMODE_HIDE_EMAIL;
    auto stored = decode::ErrorAndId(Ask(a, OV_CCMD_USR_PUT_INFO, body::PutInfo(put, "about me")));
    EXPECT_EQ(stored->first, OV_ERR_NONE);
    // Alice trusts Bob: he is in her tree.
    Ask(a, OV_CCMD_BUDDY_ADD, body::BuddyAdd(bob.pin, 1, 0, "", "Bob"));

    uint16_t error = 0;
    auto own =
        decode::UserInfoReply(Ask(a, OV_CCMD_USR_GET_INFO, body::GetInfo(alice.pin, "")), &error);
    ASSERT_TRUE(own);
    EXPECT_EQ(error, OV_ERR_NONE);
    EXPECT_STREQ(own->sUserName, "alice");
    EXPECT_STREQ(own->sEMail, "a@example.org");  // the owner sees it
    EXPECT_STREQ(own->sAbout, "about me");
    EXPECT_EQ(own->nMask & OV_UFLD_PASSWORD, 0u);

    auto buddy =
        decode::UserInfoReply(Ask(b, OV_CCMD_USR_GET_INFO, body::GetInfo(0, "alice")), &error);
    EXPECT_EQ(error, OV_ERR_NONE);
    EXPECT_STREQ(buddy->sFirstName, "Alice");
    EXPECT_STREQ(buddy->sEMail, "");  // hidden from everyone else
    EXPECT_EQ(buddy->nMask & OV_UFLD_EMAIL, 0u);

    auto stranger =
        decode::UserInfoReply(Ask(c, OV_CCMD_USR_GET_INFO, body::GetInfo(alice.pin, "")), &error);
    EXPECT_EQ(error, OV_ERR_USR_HIDE_USR_INFO);
    ASSERT_TRUE(stranger);
    EXPECT_STREQ(stranger->sNickName, "Ally");  // public fields still come
    EXPECT_EQ(stranger->nIcon, 7u);
    EXPECT_STREQ(stranger->sFirstName, "");
    EXPECT_STREQ(stranger->sAbout, "");

    std::string missing = Ask(c, OV_CCMD_USR_GET_INFO, body::GetInfo(0, "nobody"));
    EXPECT_EQ(missing.size(), 2u);
    EXPECT_EQ(decode::UserInfoReply(missing, &error)->nMask, 0u);
    EXPECT_EQ(error, OV_ERR_USR_NOT_EXIST);
}

TEST_F(AccountTest, SilentSessionsEndAfterThreeMinutesAsIfLoggedOut) {
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob");
    Ask(b, OV_CCMD_BUDDY_ADD, body::BuddyAdd(alice.pin, 1, 0, "", "Alice"));
    Ask(a, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_SITE, 0, "example.com"));
    Ask(b, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_SITE, 0, "example.com"));
    // Keep-alives keep both alive past three minutes.
    for (int i = 0; i < 5; ++i) {
        Advance(45'000);
        a.Send(OV_CCMD_KEEP_ALIVE);
        b.Send(OV_CCMD_KEEP_ALIVE);
        ASSERT_TRUE(a.WaitAck(a.LastPacketSeq()));
        ASSERT_TRUE(b.WaitAck(b.LastPacketSeq()));
    }
    EXPECT_EQ(server->Stats().sessions, 2u);
    // Alice goes silent; Bob does not.
    for (int i = 0; i < 4; ++i) {
        Advance(45'000);
        b.Send(OV_CCMD_KEEP_ALIVE);
        ASSERT_TRUE(b.WaitAck(b.LastPacketSeq()));
    }
    auto status = b.WaitNotice(OV_SCMD_BUDDY_STATUS);
    ASSERT_TRUE(status);
    EXPECT_EQ(decode::Status(status->body),
              std::make_pair(alice.pin, uint32_t{OV_ONLINE_STATUS_OFFLINE}));
    auto left = b.WaitNotice(OV_SCMD_GRP_USR_LEAVE);
    ASSERT_TRUE(left);
    EXPECT_EQ(decode::GroupU32(left->body)->value, alice.pin);
    EXPECT_EQ(decode::ErrorAndId(Ask(a, OV_CCMD_USR_PUT_INFO, body::PutInfo({}, "")))->first,
              OV_ERR_UNKNOWN);
    EXPECT_TRUE(log.Contains("session end: PIN " + std::to_string(alice.pin)));
}

TEST_F(AccountTest, LogoutEndsTheSessionAndStatisticsCountIt) {
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob");
    Ask(b, OV_CCMD_BUDDY_ADD, body::BuddyAdd(alice.pin, 1, 0, "", "Alice"));
    std::string stat = Ask(b, OV_CCMD_ONLINE_STAT);
    ASSERT_EQ(stat.size(), 10u);
    EXPECT_EQ(ov::wire::LoadU32(stat.data() + 2), 2u);
    a.Send(OV_CCMD_USR_LOGOUT);
    auto offline = b.WaitNotice(OV_SCMD_BUDDY_STATUS);
    ASSERT_TRUE(offline);
    EXPECT_EQ(decode::Status(offline->body)->second, uint32_t{OV_ONLINE_STATUS_OFFLINE});
    stat = Ask(b, OV_CCMD_ONLINE_STAT);
    EXPECT_EQ(ov::wire::LoadU32(stat.data() + 2), 1u);  // online now
    EXPECT_EQ(ov::wire::LoadU32(stat.data() + 6), 2u);  // most ever
    EXPECT_TRUE(log.Contains("session end: PIN " + std::to_string(alice.pin)));
}

TEST_F(AccountTest, ALoginEndsTheEarlierSessionOfTheAccountAndOfTheAddress) {
    Account alice, bob;
    TestClient& first = Online("alice", 0, &alice);
    bob = Register("bob");
    TestClient& second = NewClient();
    Login(second, alice);  // the same account elsewhere
    EXPECT_EQ(decode::ErrorAndId(Ask(first, OV_CCMD_USR_PUT_INFO, body::PutInfo({}, "")))->first,
              OV_ERR_UNKNOWN);
    // The same client logs in as Bob: Alice's session there is over, so nothing for Alice
    // can reach Bob's client.
    Login(second, bob);
    EXPECT_EQ(server->Stats().sessions, 1u);
    EXPECT_TRUE(log.Contains("another user logged in from the same address"));
}

}  // namespace
}  // namespace ovt
