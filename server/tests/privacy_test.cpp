// What strangers can learn: hidden details are not searchable, and an invisible user looks
// offline to point-to-point requests, chat messages and group rosters.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class PrivacyTest : public ServerFixture {
protected:
    // alice hides her details; her first and last name and e-mail are set.
    void SetUpAlice() {
        a_ = &Online("alice", OV_UMODE_HIDE_USR_INFO, &alice);
        body::User info;
        info.mask =
            OV_UFLD_FIRSTNAME | OV_UFLD_LASTNAME | OV_UFLD_EMAIL | OV_UFLD_MODE | OV_UFLD_NICKNAME;
        info.nickName = "nick-alice";
        info.firstName = "Secretia";
        info.lastName = "Hiddenberg";
        info.email = "alice@example.org";
        info.mode = OV_UMODE_HIDE_USR_INFO;
        Ask(*a_, OV_CCMD_USR_PUT_INFO, body::PutInfo(info, ""));
    }
    // PINs found by one search of each kind (0x104, 0x109, 0x109 among online users).
    std::vector<std::vector<uint32_t>> FoundBy(TestClient& c, const body::User& q) {
        std::vector<std::vector<uint32_t>> out;
        auto pins = [](const std::optional<decode::UserList>& l) {
            std::vector<uint32_t> p;
            if (l) {
                for (const auto& u : l->users)
                    p.push_back(u.pin);
            }
            return p;
        };
        out.push_back(pins(decode::SearchReply(Ask(c, OV_CCMD_USR_SEARCH, body::Search(q)))));
        out.push_back(
            pins(decode::Search2Reply(Ask(c, OV_CCMD_USR_SEARCH2, body::Search2(q, 0, 0)))));
        out.push_back(
            pins(decode::Search2Reply(Ask(c, OV_CCMD_USR_SEARCH2, body::Search2(q, 1, 0)))));
        return out;
    }
    Account alice;
    TestClient* a_ = nullptr;
};

TEST_F(PrivacyTest, HiddenDetailsAreNotMatchedForStrangersButNamesAre) {
    SetUpAlice();
    Account bob, carol;
    TestClient& stranger = Online("bob", 0, &bob);
    TestClient& buddy = Online("carol", 0, &carol);
    Ask(*a_, OV_CCMD_BUDDY_ADD, body::BuddyAdd(carol.pin, 1, 0, "", "Carol"));
    const std::vector<std::vector<uint32_t>> nobody(3), justAlice(3, {alice.pin});

    body::User q;
    // A stranger probing substrings of the hidden names finds nothing, in any search.
    for (const char* part : {"S", "Secret", "Secretia"}) {
        q.mask = OV_UFLD_FIRSTNAME;
        q.firstName = part;
        EXPECT_EQ(FoundBy(stranger, q), nobody) << part;
    }
    q.mask = OV_UFLD_LASTNAME;
    q.lastName = "berg";
    EXPECT_EQ(FoundBy(stranger, q), nobody);
    q.mask = OV_UFLD_EMAIL;
    q.email = "alice@example.org";
    EXPECT_EQ(FoundBy(stranger, q), nobody);
    // Combined with a name criterion the hidden field still does not count.
    q.mask = OV_UFLD_USERNAME | OV_UFLD_FIRSTNAME;
    q.userName = "alice";
    q.firstName = "Secretia";
    EXPECT_EQ(FoundBy(stranger, q), nobody);
    // PIN, login name and nickname find her.
    q = {};
    q.mask = OV_UFLD_USERNAME;
    q.userName = "alice";
    EXPECT_EQ(FoundBy(stranger, q), justAlice);
    q.mask = OV_UFLD_NICKNAME;
    q.nickName = "nick-alice";
    EXPECT_EQ(FoundBy(stranger, q), justAlice);
    q.mask = OV_UFLD_PIN;
    q.pin = alice.pin;
    EXPECT_EQ(FoundBy(stranger, q)[1], justAlice[1]);  // 0x104 has no PIN criterion
    // A user in her buddy tree, and she herself, find her by her first name.
    q = {};
    q.mask = OV_UFLD_FIRSTNAME;
    q.firstName = "cretia";
    EXPECT_EQ(FoundBy(buddy, q), justAlice);
    EXPECT_EQ(FoundBy(*a_, q), justAlice);
}

TEST_F(PrivacyTest, AnInvisibleUserLooksOfflineToRequestsAndChatButGetsSavedMessages) {
    Account alice, bob, carol;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    carol = Register("carol");
    b.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_INVISIBLE));
    b.Sync();
    auto send = [&](uint32_t to, uint32_t type) {
        return *decode::ErrorOnly(
            Ask(a, OV_CCMD_SENDTO_USR, body::SendToUsers(type, "hi", std::vector<uint32_t>{to})));
    };
    auto ptp = [&](uint32_t to) {
        return *decode::ErrorOnly(Ask(a, OV_CCMD_REQUEST_PTP, body::Ptp(to, 1, 4321, "f")));
    };
    // The answers for bob are those for carol, who is offline.
    EXPECT_EQ(ptp(bob.pin), ptp(carol.pin));
    EXPECT_EQ(ptp(bob.pin), OV_ERR_USR_NOT_EXIST);
    EXPECT_EQ(send(bob.pin, 0), send(carol.pin, 0));
    EXPECT_EQ(send(bob.pin, OV_MSGT_SAVE), send(carol.pin, OV_MSGT_SAVE));
    EXPECT_EQ(send(bob.pin, OV_MSGT_SAVE), OV_ERR_NONE);
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_PTP_REQUEST).empty());
    auto got = b.Take(OV_SCMD_MESSAGE);
    ASSERT_EQ(got.size(), 2u);  // the two saved ones, at once
    // Visible again, bob gets what others send.
    b.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_AWAY));
    b.Sync();
    EXPECT_EQ(ptp(bob.pin), OV_ERR_NONE);
    EXPECT_EQ(send(bob.pin, 0), OV_ERR_NONE);
}

TEST_F(PrivacyTest, GroupRostersAndEnterNoticesLeaveInvisibleMembersOut) {
    Account alice, bob, carol;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    b.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_INVISIBLE));
    b.Sync();
    auto enter = [&](TestClient& c) {
        return *decode::EnterReply(
            Ask(c, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_SITE, 0, "example.com")));
    };
    auto site = enter(a);
    auto own = enter(b);
    EXPECT_EQ(own.error, OV_ERR_NONE);
    EXPECT_EQ(own.id, site.id);
    a.Sync();
    EXPECT_TRUE(a.Take(OV_SCMD_GRP_USR_ENTER).empty());
    TestClient& c = Online("carol", 0, &carol);
    enter(c);
    auto pinsOf = [](const std::vector<decode::Entry>& users) {
        std::vector<uint32_t> p;
        for (const auto& u : users)
            p.push_back(u.pin);
        return p;
    };
    auto list = decode::ListReply(
        Ask(c, OV_CCMD_GRP_GET_OUSR_LIST, body::GroupRef(OV_GT_SITE, site.id, "")));
    EXPECT_EQ(pinsOf(list->users), (std::vector<uint32_t>{alice.pin, carol.pin}));
    EXPECT_EQ(list->online, 2u);
    auto list2 = decode::List2Reply(
        Ask(c, OV_CCMD_GRP_GET_OUSR_LIST2, body::GroupRef(OV_GT_SITE, site.id, "")));
    EXPECT_EQ(pinsOf(list2->users), (std::vector<uint32_t>{alice.pin, carol.pin}));
    // Bob himself sees the others, and himself.
    auto mine = decode::ListReply(
        Ask(b, OV_CCMD_GRP_GET_OUSR_LIST, body::GroupRef(OV_GT_SITE, site.id, "")));
    EXPECT_EQ(pinsOf(mine->users), (std::vector<uint32_t>{alice.pin, bob.pin, carol.pin}));
    // His leaving is not announced either; carol's is.
    b.Send(OV_CCMD_GRP_USR_LEAVE, body::GroupRef(OV_GT_SITE, site.id, ""));
    b.Sync();
    a.Sync();
    a.Take(OV_SCMD_GRP_USR_ENTER);
    EXPECT_TRUE(a.Take(OV_SCMD_GRP_USR_LEAVE).empty());
}

}  // namespace
}  // namespace ovt
