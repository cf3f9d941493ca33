// Messages between users, what is kept for offline users, the refusals, and point-to-point
// requests.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class MessageTest : public ServerFixture {
protected:
    uint16_t SendTo(TestClient& from, const std::vector<uint32_t>& to, const std::string& text,
                    uint32_t type = OV_MSGT_SAVE) {
        auto r =
            decode::ErrorOnly(Ask(from, OV_CCMD_SENDTO_USR, body::SendToUsers(type, text, to)));
        EXPECT_TRUE(r);
        return r ? *r : 0xFFFF;
    }
    std::optional<decode::Message> Received(TestClient& c) {
        auto n = c.WaitNotice(OV_SCMD_MESSAGE);
        if (!n)
            return std::nullopt;
        return decode::MessageNotice(n->body);
    }
};

TEST_F(MessageTest, MessagesGoBothWaysWithTheServersTime) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    EXPECT_EQ(SendTo(a, {bob.pin}, "hello bob", 0), OV_ERR_NONE);
    auto m = Received(b);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->from, alice.pin);
    EXPECT_EQ(m->groupType, 0u);
    EXPECT_EQ(m->to, bob.pin);
    EXPECT_EQ(m->component, uint32_t{OV_COMPONENT_MESSAGER});
    EXPECT_EQ(m->text, "hello bob");
    EXPECT_EQ(m->sent, clock.WallSeconds());
    EXPECT_EQ(SendTo(b, {alice.pin}, "hi alice"), OV_ERR_NONE);
    EXPECT_EQ(Received(a)->text, "hi alice");
    // 512 bytes is the most; one more is refused and nothing is delivered.
    EXPECT_EQ(SendTo(a, {bob.pin}, std::string(512, 'x')), OV_ERR_NONE);
    EXPECT_EQ(Received(b)->text.size(), 512u);
    EXPECT_EQ(SendTo(a, {bob.pin}, std::string(513, 'x')), OV_ERR_BAD_FIELD);
    EXPECT_EQ(SendTo(a, {}, "nobody"), OV_ERR_BAD_FIELD);
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
}

TEST_F(MessageTest, SavedMessageReachesAnOfflineUserAtTheNextLoginExactlyOnce) {
    Account bob = Register("bob");
    TestClient& a = Online("alice");
    EXPECT_EQ(SendTo(a, {bob.pin}, "while you were away"), OV_ERR_NONE);
    uint32_t sent = clock.WallSeconds();
    // Without OV_MSGT_SAVE an offline user is an error and nothing is kept.
    EXPECT_EQ(SendTo(a, {bob.pin}, "chat line", 0), OV_ERR_USR_NOT_EXIST);
    EXPECT_EQ(SendTo(a, {99999}, "nobody", OV_MSGT_SAVE), OV_ERR_USR_NOT_EXIST);
    Advance(60'000);
    TestClient& b = NewClient();
    Login(b, bob);
    auto m = Received(b);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, "while you were away");
    EXPECT_EQ(m->sent, sent);  // the time it was sent, not delivered
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
    TestClient& b2 = NewClient();
    Login(b2, bob);
    b2.Sync();
    EXPECT_TRUE(b2.Take(OV_SCMD_MESSAGE).empty());
}

TEST_F(MessageTest, SavedMessageThatIsNeverAcknowledgedIsKept) {
    Account bob;
    TestClient& a = Online("alice");
    TestClient& b = Online("bob", 0, &bob);
    b.autoAck = false;  // the client has died
    EXPECT_EQ(SendTo(a, {bob.pin}, "keep me"), OV_ERR_NONE);
    ASSERT_TRUE(Received(b));
    for (int i = 0; i < 30; ++i)
        Advance(1000);  // given up
    TestClient& b2 = NewClient();
    Login(b2, bob);
    auto m = Received(b2);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, "keep me");
}

TEST_F(MessageTest, RefusedByBlackListAndPrivacyModes) {
    Account alice, quiet, shy, friendly;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& q = Online("quiet", OV_UMODE_NO_STRONGER_MSG, &quiet);
    TestClient& s = Online("shy", OV_UMODE_NO_GROUP_USER_MSG, &shy);
    TestClient& f = Online("friendly", 0, &friendly);
    f.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(alice.pin, ""));
    f.Sync();
    EXPECT_EQ(SendTo(a, {friendly.pin}, "x"), OV_ERR_MSG_DENY);
    EXPECT_EQ(SendTo(a, {quiet.pin}, "x"), OV_ERR_MSG_DENY);  // a stranger
    Ask(q, OV_CCMD_BUDDY_ADD, body::BuddyAdd(alice.pin, 1, 0, "", "Alice"));
    EXPECT_EQ(SendTo(a, {quiet.pin}, "now a buddy"), OV_ERR_NONE);
    // Shy refuses strangers met in a group, not strangers elsewhere.
    EXPECT_EQ(SendTo(a, {shy.pin}, "x"), OV_ERR_NONE);
    Ask(a, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_URL, 0, "example.com/page"));
    Ask(s, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_URL, 0, "example.com/page"));
    EXPECT_EQ(SendTo(a, {shy.pin}, "x"), OV_ERR_MSG_DENY);
    // Several recipients: each gets what it may; the reply names the failure.
    EXPECT_EQ(SendTo(a, {quiet.pin, friendly.pin}, "to both"), OV_ERR_MSG_DENY);
    q.Sync();
    auto got = q.Take(OV_SCMD_MESSAGE);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(decode::MessageNotice(got[1].body)->text, "to both");
    f.Sync();
    EXPECT_TRUE(f.Take(OV_SCMD_MESSAGE).empty());
}

TEST_F(MessageTest, PointToPointRequestIsForwardedToAnOnlineTarget) {
    Account alice, bob, carol;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    carol = Register("carol");
    auto ptp = [&](uint32_t to, uint32_t ip) {
        return decode::ErrorOnly(Ask(a, OV_CCMD_REQUEST_PTP, body::Ptp(to, ip, 4321, "file.txt")));
    };
    EXPECT_EQ(ptp(bob.pin, 0x0200A8C0), OV_ERR_NONE);
    auto n = b.WaitNotice(OV_SCMD_PTP_REQUEST);
    ASSERT_TRUE(n);
    auto p = decode::Ptp(n->body);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->from, alice.pin);
    EXPECT_EQ(p->userName, "alice");
    EXPECT_EQ(p->nickName, "nick-alice");
    EXPECT_EQ(p->component, uint32_t{OV_COMPONENT_FILE});
    EXPECT_EQ(p->ip, 0x0200A8C0u);
    EXPECT_EQ(p->port, 4321u);
    EXPECT_EQ(p->message, "file.txt");
    // Without an address of its own, the sender's address as the server sees it.
    EXPECT_EQ(ptp(bob.pin, 0), OV_ERR_NONE);
    EXPECT_EQ(decode::Ptp(b.WaitNotice(OV_SCMD_PTP_REQUEST)->body)->ip, 0x0100007Fu);
    EXPECT_EQ(ptp(carol.pin, 1), OV_ERR_USR_NOT_EXIST);  // offline
    EXPECT_EQ(ptp(99999, 1), OV_ERR_USR_NOT_EXIST);
}

}  // namespace
}  // namespace ovt
