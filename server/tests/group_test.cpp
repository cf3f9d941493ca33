// Pageroom groups: made on first enter, found by ID across types, rosters and counts,
// notifications to members, group messages, capacity, and leaving.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class GroupTest : public ServerFixture {
protected:
    decode::Roster Enter(TestClient& c, uint16_t type, const std::string& name, uint32_t id = 0) {
        std::string body = Ask(c, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(type, id, name));
        EXPECT_EQ(body.size(), 16u);
        auto r = decode::EnterReply(body);
        return r ? *r : decode::Roster{};
    }
};

TEST_F(GroupTest, FirstEnterMakesTheGroupAndMembersHearOfEachOther) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    auto site = Enter(a, OV_GT_SITE, "example.com");
    EXPECT_EQ(site.error, OV_ERR_NONE);
    EXPECT_EQ(site.type, uint32_t{OV_GT_SITE});
    EXPECT_NE(site.id, 0u);
    EXPECT_EQ(site.online, 1u);
    // The page group of the same name is another group, with another ID.
    auto page = Enter(a, OV_GT_URL, "example.com");
    EXPECT_NE(page.id, site.id);
    auto again = Enter(b, OV_GT_SITE, "example.com");
    EXPECT_EQ(again.id, site.id);
    EXPECT_EQ(again.online, 2u);

    auto entered = a.WaitNotice(OV_SCMD_GRP_USR_ENTER);
    ASSERT_TRUE(entered);
    auto who = decode::UserEnter(entered->body);
    ASSERT_TRUE(who);
    EXPECT_EQ(who->id, site.id);
    EXPECT_EQ(who->users[0].pin, bob.pin);
    EXPECT_EQ(who->users[0].userName, "bob");
    EXPECT_EQ(who->users[0].status, uint32_t{OV_ONLINE_STATUS_ONLINE});
    auto count = a.WaitNotice(OV_SCMD_GRP_OUSR_CNT);
    EXPECT_EQ(decode::GroupU32(count->body)->value, 2u);

    auto list = decode::ListReply(
        Ask(b, OV_CCMD_GRP_GET_OUSR_LIST, body::GroupRef(OV_GT_SITE, site.id, "")));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->online, 2u);
    ASSERT_EQ(list->users.size(), 2u);
    EXPECT_EQ(list->users[0].pin, alice.pin);
    auto list2 = decode::List2Reply(
        Ask(b, OV_CCMD_GRP_GET_OUSR_LIST2, body::GroupRef(OV_GT_SITE, 0, "example.com")));
    EXPECT_EQ(list2->flag, OV_LISTFLAG_ALL);
    EXPECT_EQ(list2->users.size(), 2u);
    auto cnt = decode::CountReply(
        Ask(b, OV_CCMD_GRP_GET_OUSR_CNT, body::GroupRef(OV_GT_URL, page.id, "")));
    EXPECT_EQ(cnt->online, 1u);
    EXPECT_EQ(cnt->type, uint32_t{OV_GT_URL});
    auto none = decode::CountReply(
        Ask(b, OV_CCMD_GRP_GET_OUSR_CNT, body::GroupRef(OV_GT_URL, 0, "nowhere")));
    EXPECT_EQ(none->error, OV_ERR_GRP_NOT_EXIST);
    EXPECT_EQ(Enter(b, OV_GT_CHAT, "chat").error, OV_ERR_GRPT_NOT_EXIST);
}

TEST_F(GroupTest, MessagesReachOtherMembersWithTheGroupsOwnTypeAndId) {
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob");
    TestClient& c = Online("carol");
    auto page = Enter(a, OV_GT_URL, "example.com/index.html");
    Enter(b, OV_GT_URL, "example.com/index.html");
    // Clients send with the site type whatever the group's type.
    auto reply = decode::ErrorOnly(
        Ask(a, OV_CCMD_SENDTO_GRP, body::SendToGroup(OV_GT_SITE, page.id, "hi all")));
    EXPECT_EQ(reply, OV_ERR_NONE);
    auto m = decode::MessageNotice(b.WaitNotice(OV_SCMD_MESSAGE)->body);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->from, alice.pin);
    EXPECT_EQ(m->groupType, uint32_t{OV_GT_URL});
    EXPECT_EQ(m->to, page.id);
    EXPECT_EQ(m->text, "hi all");
    a.Sync();
    EXPECT_TRUE(a.Take(OV_SCMD_MESSAGE).empty());  // not to the sender
    // Outsiders may not speak; unknown groups do not exist.
    EXPECT_EQ(
        decode::ErrorOnly(Ask(c, OV_CCMD_SENDTO_GRP, body::SendToGroup(OV_GT_SITE, page.id, "x"))),
        OV_ERR_MSG_DENY);
    EXPECT_EQ(
        decode::ErrorOnly(Ask(c, OV_CCMD_SENDTO_GRP, body::SendToGroup(OV_GT_SITE, 4242, "x"))),
        OV_ERR_GRP_NOT_EXIST);
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
}

TEST_F(GroupTest, MembersHearLeavesAndStatusAndTheLastOneEndsTheGroup) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    auto site = Enter(a, OV_GT_SITE, "example.com");
    Enter(a, OV_GT_URL, "example.com/x");
    Enter(b, OV_GT_SITE, "example.com");
    Enter(b, OV_GT_URL, "example.com/x");
    b.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_AWAY));
    auto status = a.WaitNotice(OV_SCMD_USR_STATUS);
    ASSERT_TRUE(status);
    EXPECT_EQ(decode::Status(status->body),
              std::make_pair(bob.pin, uint32_t{OV_ONLINE_STATUS_AWAY}));
    a.Sync();
    EXPECT_TRUE(a.Take(OV_SCMD_USR_STATUS).empty());  // once, though they share two groups

    b.Send(OV_CCMD_GRP_USR_LEAVE, body::GroupRef(OV_GT_SITE, site.id, "example.com"));
    auto left = a.WaitNotice(OV_SCMD_GRP_USR_LEAVE);
    ASSERT_TRUE(left);
    EXPECT_EQ(decode::GroupU32(left->body)->id, site.id);
    EXPECT_EQ(decode::GroupU32(left->body)->value, bob.pin);
    // Logging out leaves the rest.
    b.Send(OV_CCMD_USR_LOGOUT);
    auto leftPage = a.WaitNotice(OV_SCMD_GRP_USR_LEAVE);
    ASSERT_TRUE(leftPage);
    EXPECT_NE(decode::GroupU32(leftPage->body)->id, site.id);
    a.Send(OV_CCMD_GRP_USR_LEAVE, body::GroupRef(OV_GT_SITE, site.id, ""));
    a.Sync();
    EXPECT_EQ(server->Stats().groups, 1u);
    auto gone = decode::CountReply(
        Ask(a, OV_CCMD_GRP_GET_OUSR_CNT, body::GroupRef(OV_GT_SITE, site.id, "")));
    EXPECT_EQ(gone->error, OV_ERR_GRP_NOT_EXIST);
}

class SmallGroupTest : public GroupTest {
protected:
    SmallGroupTest() { config.groupCapacity = 2; }
};

TEST_F(SmallGroupTest, AFullGroupRefusesMore) {
    TestClient& a = Online("alice");
    TestClient& b = Online("bob");
    TestClient& c = Online("carol");
    EXPECT_EQ(Enter(a, OV_GT_SITE, "busy.com").error, OV_ERR_NONE);
    EXPECT_EQ(Enter(b, OV_GT_SITE, "busy.com").error, OV_ERR_NONE);
    EXPECT_EQ(Enter(c, OV_GT_SITE, "busy.com").error, OV_ERR_GRP_TOO_MANY_USRS);
    EXPECT_EQ(Enter(a, OV_GT_SITE, "busy.com").online, 2u);  // a member entering again is fine
}

}  // namespace
}  // namespace ovt
