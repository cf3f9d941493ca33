// Buddy trees, the authorisation rules for adding a buddy, black lists, and the status
// notifications buddies get.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class BuddyTest : public ServerFixture {
protected:
    uint16_t Add(TestClient& c, uint32_t id, const std::string& message = "",
                 const std::string& display = "shown", uint32_t parent = 1) {
        auto r = decode::ErrorAndId(
            Ask(c, OV_CCMD_BUDDY_ADD, body::BuddyAdd(id, parent, 0, message, display)));
        EXPECT_TRUE(r);
        EXPECT_EQ(r ? r->second : 0, id);
        return r ? r->first : 0xFFFF;
    }
    decode::Tree Tree(TestClient& c) { return *decode::BuddyReply(Ask(c, OV_CCMD_BUDDY_GET_LST)); }
};

TEST_F(BuddyTest, TreeKeepsGroupsAndUsersAndMovesUsersOfADeletedGroup) {
    Account bob, carol;
    TestClient& a = Online("alice");
    Online("bob", 0, &bob);
    carol = Register("carol");
    EXPECT_EQ(Add(a, 5, "", "Friends", 0), OV_ERR_NONE);  // a group
    EXPECT_EQ(Add(a, bob.pin, "", "Bobby", 5), OV_ERR_NONE);
    EXPECT_EQ(Add(a, carol.pin, "", "Caz", 9), OV_ERR_BUDDY_GRP_NOT_EXIST);
    EXPECT_EQ(Add(a, carol.pin, "", "Caz", 1), OV_ERR_NONE);
    EXPECT_EQ(Add(a, 99999), OV_ERR_USR_NOT_EXIST);
    EXPECT_EQ(Add(a, a.pin), OV_ERR_BAD_FIELD);

    decode::Tree t = Tree(a);
    EXPECT_EQ(t.error, OV_ERR_NONE);
    ASSERT_EQ(t.nodes.size(), 3u);
    EXPECT_EQ(t.nodes[0].id, 5u);
    EXPECT_EQ(t.nodes[0].display, "Friends");
    EXPECT_EQ(t.nodes[1].id, bob.pin);
    EXPECT_EQ(t.nodes[1].parent, 5u);
    EXPECT_EQ(t.nodes[1].display, "Bobby");
    EXPECT_EQ(t.nodes[1].userName, "bob");
    EXPECT_EQ(t.nodes[1].nickName, "nick-bob");
    EXPECT_EQ(t.nodes[1].icon, 7u);
    EXPECT_EQ(t.nodes[1].status, uint32_t{OV_ONLINE_STATUS_ONLINE});
    EXPECT_EQ(t.nodes[2].status, uint32_t{OV_ONLINE_STATUS_OFFLINE});

    auto upd = decode::ErrorAndId(Ask(a, OV_CCMD_BUDDY_UPD, body::BuddyUpdate(bob.pin, 1, 0, "B")));
    EXPECT_EQ(upd->first, OV_ERR_NONE);
    EXPECT_EQ(decode::ErrorAndId(Ask(a, OV_CCMD_BUDDY_UPD, body::BuddyUpdate(7, 0, 0, "x")))->first,
              OV_ERR_BUDDY_GRP_NOT_EXIST);
    Ask(a, OV_CCMD_BUDDY_UPD, body::BuddyUpdate(bob.pin, 5, 0, "B"));
    a.Send(OV_CCMD_BUDDY_DEL, body::IdList({5}));  // the group goes, Bob moves to group 1
    t = Tree(a);
    ASSERT_EQ(t.nodes.size(), 2u);
    EXPECT_EQ(t.nodes[0].id, bob.pin);
    EXPECT_EQ(t.nodes[0].parent, 1u);
    EXPECT_EQ(t.nodes[0].display, "B");
    a.Send(OV_CCMD_BUDDY_DEL, body::IdList({bob.pin, carol.pin}));
    EXPECT_TRUE(Tree(a).nodes.empty());
}

TEST_F(BuddyTest, LargeTreeComesInPartsOfTwelve) {
    TestClient& a = Online("alice");
    for (uint32_t g = 2; g < 2 + 30; ++g)
        ASSERT_EQ(Add(a, g, "", "g" + std::to_string(g), 0), 0);
    uint16_t seq = a.Send(OV_CCMD_BUDDY_GET_LST2);
    std::vector<uint16_t> flags, counts;
    std::vector<uint32_t> ids;
    for (int part = 0; part < 3; ++part) {
        auto body = a.WaitReply(OV_CCMD_BUDDY_GET_LST2, seq);
        ASSERT_TRUE(body);
        auto t = decode::Buddy2Reply(*body);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->total, 30u);
        flags.push_back(t->flag);
        counts.push_back(static_cast<uint16_t>(t->nodes.size()));
        for (const auto& n : t->nodes)
            ids.push_back(n.id);
    }
    EXPECT_EQ(flags, (std::vector<uint16_t>{OV_LISTFLAG_HEAD, OV_LISTFLAG_BODY, OV_LISTFLAG_TAIL}));
    EXPECT_EQ(counts, (std::vector<uint16_t>{12, 12, 6}));
    ASSERT_EQ(ids.size(), 30u);
    EXPECT_EQ(ids.front(), 2u);
    EXPECT_EQ(ids.back(), 31u);
    // A small tree is one part flagged ALL.
    TestClient& b = Online("bob");
    auto small = decode::Buddy2Reply(Ask(b, OV_CCMD_BUDDY_GET_LST2));
    EXPECT_EQ(small->flag, OV_LISTFLAG_ALL);
    EXPECT_EQ(small->total, 0u);
}

TEST_F(BuddyTest, AddingWithoutAuthorisationSendsTheNotice) {
    Account alice, bob;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob", 0, &bob);
    EXPECT_EQ(Add(a, bob.pin), OV_ERR_NONE);
    auto notice = b.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(notice);
    auto m = decode::MessageNotice(notice->body);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->from, OV_SYSTEM_PIN);
    EXPECT_EQ(m->groupType, 0u);
    EXPECT_EQ(m->to, bob.pin);
    EXPECT_EQ(m->component, OV_COMPONENT_ADD_BUDDY_NOTICE);
    auto n = decode::AddBuddyNotice(m->text);
    ASSERT_TRUE(n) << m->text;
    EXPECT_EQ(n->pin, static_cast<int>(alice.pin));
    EXPECT_EQ(n->userName, "alice");
    EXPECT_EQ(n->nickName, "nick-alice");
    EXPECT_EQ(n->icon, 7u);
    EXPECT_EQ(n->status, uint32_t{OV_ONLINE_STATUS_ONLINE});
    // Offline, the notice waits for the next login.
    Account carol = Register("carol");
    EXPECT_EQ(Add(a, carol.pin), OV_ERR_NONE);
    TestClient& c = NewClient();
    Login(c, carol);
    auto later = c.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(later);
    EXPECT_EQ(decode::MessageNotice(later->body)->component, OV_COMPONENT_ADD_BUDDY_NOTICE);
}

TEST_F(BuddyTest, TargetModesDenyOrAskForAuthorisation) {
    Account deny, auth, picky;
    TestClient& a = Online("alice");
    Online("deny", OV_UMODE_BUDDY_DENY, &deny);
    TestClient& t = Online("auth", OV_UMODE_BUDDY_AUTH, &auth);
    TestClient& p = Online("picky", 0, &picky);
    EXPECT_EQ(Add(a, deny.pin), OV_ERR_BUDDY_DENY);
    p.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(0, "alice"));
    p.Sync();
    EXPECT_EQ(Add(a, picky.pin), OV_ERR_BUDDY_DENY);
    EXPECT_EQ(Add(a, auth.pin), OV_ERR_ADD_BUDDY_NOMSG);
    EXPECT_EQ(Add(a, auth.pin, "it's me"), OV_ERR_BUDDY_AUTH);
    EXPECT_TRUE(Tree(a).nodes.empty());  // not before the answer
    auto request = t.WaitNotice(OV_SCMD_ADD_BUDDY_REQUEST);
    ASSERT_TRUE(request);
    auto r = decode::BuddyRequest(request->body);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->user.pin, a.pin);
    EXPECT_EQ(r->user.userName, "alice");
    EXPECT_EQ(r->message, "it's me");

    // An answer to a request nobody made changes nothing.
    p.Send(OV_CCMD_REPLY_BUDDY_AUTH, body::BuddyAuthReply(a.pin, true));
    p.Sync();
    t.Send(OV_CCMD_REPLY_BUDDY_AUTH, body::BuddyAuthReply(a.pin, true));
    auto answer = a.WaitNotice(OV_SCMD_ADD_BUDDY_ACCEPT);
    ASSERT_TRUE(answer);
    auto ans = decode::BuddyAnswer(answer->body);
    EXPECT_EQ(ans->user.pin, auth.pin);
    EXPECT_EQ(ans->accepted, 1u);
    decode::Tree tree = Tree(a);
    ASSERT_EQ(tree.nodes.size(), 1u);
    EXPECT_EQ(tree.nodes[0].id, auth.pin);
    EXPECT_EQ(tree.nodes[0].display, "shown");
    a.Sync();
    EXPECT_TRUE(a.Take(OV_SCMD_ADD_BUDDY_ACCEPT).empty());
    // The one who said yes has the asker as a buddy too, in the default group.
    decode::Tree theirs = Tree(t);
    ASSERT_EQ(theirs.nodes.size(), 1u);
    EXPECT_EQ(theirs.nodes[0].id, a.pin);
    EXPECT_EQ(theirs.nodes[0].parent, 1u);
}

TEST_F(BuddyTest, RefusalAndOfflineRequestsAndAnswersWaitForLogin) {
    Account auth;
    auth = Register("auth", OV_UMODE_BUDDY_AUTH);
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    EXPECT_EQ(Add(a, auth.pin, "hello"), OV_ERR_BUDDY_AUTH);
    a.Send(OV_CCMD_USR_LOGOUT);
    a.Sync();
    // The target logs in later and finds the request, once.
    TestClient& t = NewClient();
    Login(t, auth);
    auto request = t.WaitNotice(OV_SCMD_ADD_BUDDY_REQUEST);
    ASSERT_TRUE(request);
    EXPECT_EQ(decode::BuddyRequest(request->body)->message, "hello");
    t.Send(OV_CCMD_REPLY_BUDDY_AUTH, body::BuddyAuthReply(alice.pin, false));
    t.Sync();
    TestClient& t2 = NewClient();
    Login(t2, auth);
    t2.Sync();
    EXPECT_TRUE(t2.Take(OV_SCMD_ADD_BUDDY_REQUEST).empty());
    // The requester, offline when refused, hears it at the next login.
    TestClient& a2 = NewClient();
    Login(a2, alice);
    auto answer = a2.WaitNotice(OV_SCMD_ADD_BUDDY_ACCEPT);
    ASSERT_TRUE(answer);
    EXPECT_EQ(decode::BuddyAnswer(answer->body)->accepted, 0u);
    EXPECT_TRUE(Tree(a2).nodes.empty());
    a2.Sync();
    TestClient& a3 = NewClient();
    Login(a3, alice);
    a3.Sync();
    EXPECT_TRUE(a3.Take(OV_SCMD_ADD_BUDDY_ACCEPT).empty());
}

TEST_F(BuddyTest, BlackListAddsRemovesAndComesInParts) {
    TestClient& a = Online("alice");
    std::vector<Account> others;
    for (int i = 0; i < 14; ++i)
        others.push_back(Register("u" + std::to_string(i)));
    for (const auto& o : others)
        a.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(o.pin, ""));
    a.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(0, "u0"));      // already there
    a.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(0, "nobody"));  // no such user
    a.Send(OV_CCMD_BLACKLST_ADD, body::BlackListAdd(a.pin, ""));    // not oneself
    auto list = decode::BlackListReply(Ask(a, OV_CCMD_BLACKLST_GET));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->users.size(), 14u);
    EXPECT_EQ(list->users[0].pin, others[0].pin);
    EXPECT_EQ(list->users[0].userName, "u0");
    uint16_t seq = a.Send(OV_CCMD_BLACKLST_GET2);
    auto head = decode::BlackList2Reply(*a.WaitReply(OV_CCMD_BLACKLST_GET2, seq));
    auto tail = decode::BlackList2Reply(*a.WaitReply(OV_CCMD_BLACKLST_GET2, seq));
    EXPECT_EQ(head->flag, OV_LISTFLAG_HEAD);
    EXPECT_EQ(head->users.size(), 12u);
    EXPECT_EQ(tail->flag, OV_LISTFLAG_TAIL);
    EXPECT_EQ(tail->total, 14u);
    a.Send(OV_CCMD_BLACKLST_DEL, body::IdList({others[0].pin, others[1].pin}));
    EXPECT_EQ(decode::BlackListReply(Ask(a, OV_CCMD_BLACKLST_GET))->users.size(), 12u);
}

TEST_F(BuddyTest, WatchersSeeStatusChangesWithInvisibleShownAsOffline) {
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& b = Online("bob");
    Add(b, alice.pin);
    auto status = [&]() {
        auto n = b.WaitNotice(OV_SCMD_BUDDY_STATUS);
        EXPECT_TRUE(n);
        return n ? decode::Status(n->body)->second : 0xDEADu;
    };
    a.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_AWAY));
    EXPECT_EQ(status(), uint32_t{OV_ONLINE_STATUS_AWAY});
    a.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_INVISIBLE));
    EXPECT_EQ(status(), uint32_t{OV_ONLINE_STATUS_OFFLINE});
    EXPECT_EQ(Tree(b).nodes[0].status, uint32_t{OV_ONLINE_STATUS_OFFLINE});
    // Logging out while invisible tells nobody anything new; logging in invisible neither.
    a.Send(OV_CCMD_USR_LOGOUT);
    a.Sync();
    TestClient& a2 = NewClient();
    Login(a2, alice, OV_ONLINE_STATUS_INVISIBLE);
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_BUDDY_STATUS).empty());
    a2.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_ONLINE));
    EXPECT_EQ(status(), uint32_t{OV_ONLINE_STATUS_ONLINE});
    // Only users whose tree holds Alice are told.
    TestClient& c = Online("carol");
    a2.Send(OV_CCMD_USR_STATUS, body::U32(OV_ONLINE_STATUS_DND));
    EXPECT_EQ(status(), uint32_t{OV_ONLINE_STATUS_DND});
    c.Sync();
    EXPECT_TRUE(c.Take(OV_SCMD_BUDDY_STATUS).empty());
}

}  // namespace
}  // namespace ovt
