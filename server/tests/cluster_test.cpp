// Two servers on one PostgreSQL database, each with clients of its own: messages, statuses,
// groups and add-buddy requests cross between them; a user who logs in at the other server
// leaves the first; a server that goes is noticed, and its users are offline everywhere.
// On SQLite there is only ever one server: these tests skip themselves.
#include <chrono>
#include <functional>
#include <thread>

#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class ClusterTest : public ServerFixture {
protected:
    ClusterTest() { config.processCheckMs = 100; }
    void SetUp() override {
        if (!TestDatabase::OnPostgres())
            GTEST_SKIP() << "several servers need PostgreSQL";
        ServerFixture::SetUp();
        other = std::make_unique<ov::server::Server>(config, &clock, &otherLog.log);
        std::string error;
        ASSERT_TRUE(other->Start(&error)) << error;
    }
    void TearDown() override {
        if (other) {
            other->Stop();
            other->Join();
        }
        ServerFixture::TearDown();
    }

    TestClient& OtherClient() {
        clients.push_back(std::make_unique<TestClient>(other->Port()));
        return *clients.back();
    }
    // A new user logged in at the other server.
    TestClient& OnlineThere(const std::string& name, Account* account) {
        *account = Register(name, 0, "nick-" + name);
        TestClient& c = OtherClient();
        Login(c, *account);
        return c;
    }

    // Events between servers take their own time: waits (bounded) until a server's state
    // shows what the test needs.
    static bool Until(ov::server::Server& s,
                      const std::function<bool(ov::server::ServerCore&)>& ok) {
        for (int i = 0; i < 300; ++i) {
            bool done = false;
            s.Call([&](ov::server::ServerCore& core) { done = ok(core); });
            if (done)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    static bool Sees(ov::server::Server& s, uint32_t pin, uint32_t status) {
        return Until(s, [&](ov::server::ServerCore& core) {
            const ov::server::Session* session =
                const_cast<ov::server::Sessions&>(core.SessionTable()).Find(pin);
            return session && session->status == status;
        });
    }
    static bool SeesNone(ov::server::Server& s, uint32_t pin) {
        return Until(s, [&](ov::server::ServerCore& core) {
            return !const_cast<ov::server::Sessions&>(core.SessionTable()).Find(pin);
        });
    }

    decode::Roster Enter(TestClient& c, const std::string& name) {
        auto r = decode::EnterReply(
            Ask(c, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_SITE, 0, name)));
        return r ? *r : decode::Roster{};
    }

    // The next message's text, past the server's add-buddy notices.
    static std::string NextText(TestClient& c) {
        for (int i = 0; i < 5; ++i) {
            auto p = c.WaitNotice(OV_SCMD_MESSAGE);
            if (!p)
                break;
            auto m = decode::MessageNotice(p->body);
            if (m && m->component != OV_COMPONENT_ADD_BUDDY_NOTICE)
                return m->text;
        }
        return "(none)";
    }

    // Waits (bounded) for the status notice that says pin is now status, past earlier ones.
    static bool StatusArrives(TestClient& c, uint32_t pin, uint32_t status) {
        for (int i = 0; i < 4; ++i) {
            auto n = c.WaitNotice(OV_SCMD_BUDDY_STATUS);
            if (!n)
                return false;
            if (decode::Status(n->body) == std::make_pair(pin, status))
                return true;
        }
        return false;
    }

    RecordingLog otherLog;
    std::unique_ptr<ov::server::Server> other;
};

TEST_F(ClusterTest, UsersOfTwoServersTalkSeeEachOtherAndShareAGroup) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = OnlineThere("bob", &bob);
    ASSERT_TRUE(Sees(*server, bob.pin, OV_ONLINE_STATUS_ONLINE));
    ASSERT_TRUE(Sees(*other, alice.pin, OV_ONLINE_STATUS_ONLINE));

    // A buddy at the other server shows online in the tree, and changes are told.
    Ask(a, OV_CCMD_BUDDY_ADD, body::BuddyAdd(bob.pin, 1, 0, "", "Bobby"));
    auto tree = decode::BuddyReply(Ask(a, OV_CCMD_BUDDY_GET_LST));
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->nodes.size(), 1u);
    EXPECT_EQ(tree->nodes[0].status, uint32_t{OV_ONLINE_STATUS_ONLINE});
    b.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_AWAY));
    EXPECT_TRUE(StatusArrives(a, bob.pin, OV_ONLINE_STATUS_AWAY));
    // bob was told of alice adding him, through the store and his own server.
    auto notice = b.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(notice);
    EXPECT_EQ(decode::MessageNotice(notice->body)->component, OV_COMPONENT_ADD_BUDDY_NOTICE);

    // Messages both ways, unsaved and saved.
    EXPECT_EQ(
        decode::ErrorOnly(Ask(a, OV_CCMD_SENDTO_USR, body::SendToUsers(0, "hi bob", {bob.pin}))),
        OV_ERR_NONE);
    auto toBob = b.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(toBob);
    EXPECT_EQ(decode::MessageNotice(toBob->body)->text, "hi bob");
    EXPECT_EQ(decode::MessageNotice(toBob->body)->from, alice.pin);
    EXPECT_EQ(decode::ErrorOnly(Ask(b, OV_CCMD_SENDTO_USR,
                                    body::SendToUsers(OV_MSGT_SAVE, "hi alice", {alice.pin}))),
              OV_ERR_NONE);
    auto toAlice = a.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(toAlice);
    EXPECT_EQ(decode::MessageNotice(toAlice->body)->text, "hi alice");
    // A point-to-point request reaches the other server's user.
    EXPECT_EQ(decode::ErrorOnly(Ask(a, OV_CCMD_REQUEST_PTP, body::Ptp(bob.pin, 0, 4000, "call"))),
              OV_ERR_NONE);
    auto ptp = b.WaitNotice(OV_SCMD_PTP_REQUEST);
    ASSERT_TRUE(ptp);
    EXPECT_EQ(decode::Ptp(ptp->body)->from, alice.pin);

    // One group with one ID; each hears of the other and of what is said in it.
    auto first = Enter(a, "pageroom.example");
    ASSERT_EQ(first.error, OV_ERR_NONE);
    ASSERT_TRUE(
        Until(*other, [&](ov::server::ServerCore& core) { return core.Stats().groups == 1; }));
    auto second = Enter(b, "pageroom.example");
    EXPECT_EQ(second.id, first.id);
    EXPECT_EQ(second.online, 2u);
    auto entered = a.WaitNotice(OV_SCMD_GRP_USR_ENTER);
    ASSERT_TRUE(entered);
    EXPECT_EQ(decode::UserEnter(entered->body)->users[0].pin, bob.pin);
    auto roster = decode::ListReply(
        Ask(b, OV_CCMD_GRP_GET_OUSR_LIST, body::GroupRef(OV_GT_SITE, first.id, "")));
    ASSERT_TRUE(roster);
    EXPECT_EQ(roster->users.size(), 2u);
    EXPECT_EQ(decode::ErrorOnly(Ask(b, OV_CCMD_SENDTO_GRP,
                                    body::SendToGroup(OV_GT_SITE, first.id, "hello room"))),
              OV_ERR_NONE);
    auto said = a.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(said);
    EXPECT_EQ(decode::MessageNotice(said->body)->text, "hello room");
    EXPECT_EQ(decode::MessageNotice(said->body)->to, first.id);
    b.Send(OV_CCMD_GRP_USR_LEAVE, body::GroupRef(OV_GT_SITE, first.id, ""));
    auto left2 = a.WaitNotice(OV_SCMD_GRP_USR_LEAVE);
    ASSERT_TRUE(left2);

    // The online count covers both servers.
    std::string stat = Ask(a, OV_CCMD_ONLINE_STAT);
    ASSERT_EQ(stat.size(), 10u);
    EXPECT_EQ(ov::wire::LoadU32(stat.data() + 2), 2u);

    // bob logs out: alice sees him go.
    b.Send(OV_CCMD_USR_LOGOUT);
    EXPECT_TRUE(StatusArrives(a, bob.pin, OV_ONLINE_STATUS_OFFLINE));
    EXPECT_TRUE(SeesNone(*server, bob.pin));
}

TEST_F(ClusterTest, ALoginAtTheOtherServerEndsTheSessionAtTheFirst) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = OnlineThere("bob", &bob);
    Ask(b, OV_CCMD_BUDDY_ADD, body::BuddyAdd(alice.pin, 1, 0, "", ""));
    ASSERT_TRUE(Sees(*other, alice.pin, OV_ONLINE_STATUS_ONLINE));
    // alice moves to the other server, as her client does when the first stops answering.
    a.SetServerPort(other->Port());
    Login(a, alice);
    EXPECT_TRUE(Until(*server, [&](ov::server::ServerCore& core) {
        return core.Stats().sessions == 0 &&
               const_cast<ov::server::Sessions&>(core.SessionTable()).Find(alice.pin) &&
               const_cast<ov::server::Sessions&>(core.SessionTable()).Find(alice.pin)->owner != 0;
    }));
    EXPECT_TRUE(log.Contains("logged in again at another server"));
    // She is still online for bob (no offline notice in between), and messages reach her there.
    b.Sync();
    for (const Packet& p : b.Take(OV_SCMD_BUDDY_STATUS))
        EXPECT_NE(decode::Status(p.body)->second, uint32_t{OV_ONLINE_STATUS_OFFLINE});
    EXPECT_EQ(decode::ErrorOnly(
                  Ask(b, OV_CCMD_SENDTO_USR, body::SendToUsers(0, "still there?", {alice.pin}))),
              OV_ERR_NONE);
    EXPECT_EQ(NextText(a), "still there?");
}

TEST_F(ClusterTest, AnAddBuddyRequestAndItsAnswerCrossServers) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    Account asks = Register("carol", OV_UMODE_BUDDY_AUTH);
    (void)asks;
    bob = Register("bob", OV_UMODE_BUDDY_AUTH, "nick-bob");
    TestClient& b = OtherClient();
    Login(b, bob);
    ASSERT_TRUE(Sees(*server, bob.pin, OV_ONLINE_STATUS_ONLINE));
    auto asked = decode::ErrorAndId(
        Ask(a, OV_CCMD_BUDDY_ADD, body::BuddyAdd(bob.pin, 1, 0, "may I?", "Bob")));
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->first, OV_ERR_BUDDY_AUTH);
    auto request = b.WaitNotice(OV_SCMD_ADD_BUDDY_REQUEST);
    ASSERT_TRUE(request);
    EXPECT_EQ(decode::BuddyRequest(request->body)->user.pin, alice.pin);
    b.Send(OV_CCMD_REPLY_BUDDY_AUTH, body::BuddyAuthReply(alice.pin, true));
    auto answer = a.WaitNotice(OV_SCMD_ADD_BUDDY_ACCEPT);
    ASSERT_TRUE(answer);
    EXPECT_EQ(decode::BuddyAnswer(answer->body)->user.pin, bob.pin);
    auto tree = decode::BuddyReply(Ask(a, OV_CCMD_BUDDY_GET_LST));
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->nodes.size(), 1u);
    EXPECT_EQ(tree->nodes[0].id, bob.pin);
}

TEST_F(ClusterTest, AServerThatGoesIsNoticedAndItsUsersAreOffline) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = OnlineThere("bob", &bob);
    (void)b;
    Ask(a, OV_CCMD_BUDDY_ADD, body::BuddyAdd(bob.pin, 1, 0, "", ""));
    ASSERT_TRUE(Sees(*server, bob.pin, OV_ONLINE_STATUS_ONLINE));
    // The other server's connection to the database ends with it, as in a crash: nothing
    // is said on the way out.
    other->Stop();
    other->Join();
    other.reset();
    // A look for servers that have gone (on protocol time) finds it.
    EXPECT_TRUE(Until(*server, [&](ov::server::ServerCore& core) {
        clock.Advance(config.processCheckMs);
        core.Tick();
        return !const_cast<ov::server::Sessions&>(core.SessionTable()).Find(bob.pin);
    }));
    EXPECT_TRUE(StatusArrives(a, bob.pin, OV_ONLINE_STATUS_OFFLINE));
    // A saved message to bob waits for his next login, wherever that is.
    EXPECT_EQ(decode::ErrorOnly(
                  Ask(a, OV_CCMD_SENDTO_USR, body::SendToUsers(OV_MSGT_SAVE, "later", {bob.pin}))),
              OV_ERR_NONE);
    TestClient& b2 = NewClient();
    Login(b2, bob);
    EXPECT_EQ(NextText(b2), "later");
}

TEST_F(ClusterTest, AServerThatStartsLaterKnowsWhoIsOnlineAndInWhichGroup) {
    Account alice, bob, carol;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = OnlineThere("bob", &bob);
    auto room = Enter(a, "late.example");
    ASSERT_TRUE(
        Until(*other, [&](ov::server::ServerCore& core) { return core.Stats().groups == 1; }));
    EXPECT_EQ(Enter(b, "late.example").online, 2u);
    // Registrations at both servers at once each get a PIN of their own.
    TestClient r1(server->Port()), r2(other->Port());
    body::User u;
    u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
    u.password = "pw";
    u.userName = "x1";
    uint16_t s1 = r1.Send(OV_CCMD_USR_REGISTER, body::Register(u));
    u.userName = "x2";
    uint16_t s2 = r2.Send(OV_CCMD_USR_REGISTER, body::Register(u));
    auto x1 = decode::RegisterReply(r1.WaitReply(OV_CCMD_USR_REGISTER, s1).value_or(""));
    auto x2 = decode::RegisterReply(r2.WaitReply(OV_CCMD_USR_REGISTER, s2).value_or(""));
    ASSERT_TRUE(x1 && x2);
    EXPECT_EQ(x1->error, OV_ERR_NONE);
    EXPECT_EQ(x2->error, OV_ERR_NONE);
    EXPECT_NE(x1->pin, x2->pin);
    carol = Register("carol");

    ov::server::Server third(config, &clock, &otherLog.log);
    std::string error;
    ASSERT_TRUE(third.Start(&error)) << error;
    TestClient c(third.Port());
    Login(c, carol);
    auto entered = Enter(c, "late.example");
    EXPECT_EQ(entered.id, room.id);
    EXPECT_EQ(entered.online, 3u);
    auto roster = decode::ListReply(
        Ask(c, OV_CCMD_GRP_GET_OUSR_LIST, body::GroupRef(OV_GT_SITE, room.id, "")));
    ASSERT_TRUE(roster);
    ASSERT_EQ(roster->users.size(), 3u);
    EXPECT_EQ(roster->users[0].pin, alice.pin);
    EXPECT_EQ(roster->users[1].pin, bob.pin);
    Ask(c, OV_CCMD_BUDDY_ADD, body::BuddyAdd(bob.pin, 1, 0, "", ""));
    auto tree = decode::BuddyReply(Ask(c, OV_CCMD_BUDDY_GET_LST));
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->nodes.size(), 1u);
    EXPECT_EQ(tree->nodes[0].status, uint32_t{OV_ONLINE_STATUS_ONLINE});
    // And the others hear of carol, after bob.
    ASSERT_TRUE(a.WaitNotice(OV_SCMD_GRP_USR_ENTER));
    auto toAlice = a.WaitNotice(OV_SCMD_GRP_USR_ENTER);
    ASSERT_TRUE(toAlice);
    EXPECT_EQ(decode::UserEnter(toAlice->body)->users[0].pin, carol.pin);
    third.Stop();
    third.Join();
}

}  // namespace
}  // namespace ovt
