// The user directory: search by fields, and online users in pages of twenty.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

using SearchTest = ServerFixture;

TEST_F(SearchTest, FindsByFieldsAndListsOnlineUsersInPages) {
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    for (int i = 0; i < 25; ++i)
        Online("user" + std::to_string(i));
    Register("offline");
    TestClient& hidden = Online("hidden");
    hidden.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_INVISIBLE));
    hidden.Sync();
    auto search2 = [&](const body::User& u, uint32_t online, uint32_t start) {
        return *decode::Search2Reply(Ask(a, OV_CCMD_USR_SEARCH2, body::Search2(u, online, start)));
    };
    body::User none;
    auto page1 = search2(none, 1, 0);
    EXPECT_EQ(page1.error, OV_ERR_NONE);
    EXPECT_EQ(page1.users.size(), 20u);
    EXPECT_EQ(page1.more, 1u);
    auto page2 = search2(none, 1, 20);
    EXPECT_EQ(page2.users.size(), 6u);  // 26 visible online users in all
    EXPECT_EQ(page2.more, 0u);
    for (const auto& u : page2.users) {
        EXPECT_NE(u.userName, "hidden");
        EXPECT_EQ(u.status, uint32_t{OV_ONLINE_STATUS_ONLINE});
    }
    body::User byPin;
    byPin.mask = OV_UFLD_PIN;
    byPin.pin = alice.pin;
    auto one = search2(byPin, 0, 0);
    ASSERT_EQ(one.users.size(), 1u);
    EXPECT_EQ(one.users[0].userName, "alice");
    body::User byNick;
    byNick.mask = OV_UFLD_NICKNAME;
    byNick.nickName = "user1";  // user1 and user10 .. user19
    EXPECT_EQ(search2(byNick, 0, 0).users.size(), 11u);
    body::User byName;
    byName.mask = OV_UFLD_USERNAME;
    byName.userName = "offline";
    auto off = search2(byName, 0, 0);
    ASSERT_EQ(off.users.size(), 1u);
    EXPECT_EQ(off.users[0].status, uint32_t{OV_ONLINE_STATUS_OFFLINE});
    EXPECT_EQ(search2(byName, 1, 0).error, OV_ERR_NO_MATCH);  // not online
    // By e-mail address, unless its owner hides it.
    body::User mail;
    mail.mask = OV_UFLD_EMAIL | OV_UFLD_MODE;
    mail.email = "alice@example.org";
    Ask(a, OV_CCMD_USR_PUT_INFO, body::PutInfo(mail, ""));
    body::User byMail;
    byMail.mask = OV_UFLD_EMAIL;
    byMail.email = "alice@example.org";
    auto found = search2(byMail, 0, 0);
    ASSERT_EQ(found.users.size(), 1u);
    EXPECT_EQ(found.users[0].pin, alice.pin);
    mail.mode = OV_UMODE_HIDE_EMAIL;
    Ask(a, OV_CCMD_USR_PUT_INFO, body::PutInfo(mail, ""));
    EXPECT_EQ(search2(byMail, 0, 0).error, OV_ERR_NO_MATCH);
    byName.userName = "nobody";
    EXPECT_EQ(search2(byName, 0, 0).error, OV_ERR_NO_MATCH);
    byNick.nickName = "zzz";
    auto old = decode::SearchReply(Ask(a, OV_CCMD_USR_SEARCH, body::Search(byNick)));
    EXPECT_EQ(old->error, OV_ERR_NO_MATCH);
    byNick.nickName = "nick-alice";
    old = decode::SearchReply(Ask(a, OV_CCMD_USR_SEARCH, body::Search(byNick)));
    ASSERT_EQ(old->users.size(), 1u);
    EXPECT_EQ(old->users[0].pin, alice.pin);
}

}  // namespace
}  // namespace ovt
