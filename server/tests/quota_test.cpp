// Limits on what one sender can make the server keep, and the delivery of a full mailbox in
// bounded batches.
#include <unistd.h>

#include <filesystem>
#include <set>

#include "server/store.h"
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class QuotaTest : public ServerFixture {
protected:
    QuotaTest() {
        config.maxWaitingPerRecipient = 4;
        config.maxStoredPerSenderPerDay = 6;
        config.waitingBatch = 3;
    }
    uint16_t SendTo(TestClient& from, const std::vector<uint32_t>& to, const std::string& text,
                    uint32_t type = OV_MSGT_SAVE) {
        auto r =
            decode::ErrorOnly(Ask(from, OV_CCMD_SENDTO_USR, body::SendToUsers(type, text, to)));
        EXPECT_TRUE(r);
        return r ? *r : 0xFFFF;
    }
    // Logs in and takes every message that arrives, acknowledging each.
    std::vector<std::string> Collect(const Account& who) {
        TestClient& c = NewClient();
        Login(c, who);
        std::vector<std::string> texts;
        for (int round = 0; round < 20; ++round) {
            c.Sync();
            auto got = c.Take(OV_SCMD_MESSAGE);
            if (got.empty())
                break;
            for (const auto& p : got)
                texts.push_back(decode::MessageNotice(p.body)->text);
        }
        return texts;
    }
};

TEST_F(QuotaTest, AFullMailboxRefusesFurtherMessagesUntilItIsRead) {
    Account bob = Register("bob"), carol = Register("carol");
    TestClient& a = Online("alice");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(SendTo(a, {bob.pin}, "m" + std::to_string(i)), OV_ERR_NONE);
    EXPECT_EQ(SendTo(a, {bob.pin}, "one too many"), OV_ERR_MSG_DENY);
    // With several recipients the others still get theirs; the reply names the refusal.
    EXPECT_EQ(SendTo(a, {bob.pin, carol.pin}, "both"), OV_ERR_MSG_DENY);
    EXPECT_EQ(Collect(bob), (std::vector<std::string>{"m0", "m1", "m2", "m3"}));
    EXPECT_EQ(Collect(carol), (std::vector<std::string>{"both"}));
    // Read mail makes room again.
    EXPECT_EQ(SendTo(a, {bob.pin}, "after reading"), OV_ERR_NONE);
}

TEST_F(QuotaTest, ASenderMayHaveOnlySoManyMessagesStoredInADay) {
    std::vector<Account> offline;
    for (int i = 0; i < 4; ++i)
        offline.push_back(Register("off" + std::to_string(i)));
    Account alice;
    TestClient& a = Online("alice", 0, &alice);
    TestClient& d = Online("dave");
    Account sam;
    TestClient& s = Online("sam", 0, &sam);
    std::vector<uint32_t> all;
    for (const auto& o : offline)
        all.push_back(o.pin);
    EXPECT_EQ(SendTo(a, all, "first"), OV_ERR_NONE);  // 4 stored
    // Messages delivered at once are not stored and do not count.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(SendTo(a, {sam.pin}, "live"), OV_ERR_NONE);
    s.Sync();
    EXPECT_EQ(s.Take(OV_SCMD_MESSAGE).size(), 5u);
    EXPECT_EQ(SendTo(a, all, "second"), OV_ERR_MSG_DENY);  // 2 more stored, then refused
    // Reading does not give the sender the day's allowance back.
    Collect(offline[0]);
    EXPECT_EQ(SendTo(a, {offline[1].pin}, "third"), OV_ERR_MSG_DENY);
    // Another sender is not affected.
    EXPECT_EQ(SendTo(d, {offline[1].pin}, "from dave"), OV_ERR_NONE);
    // A day later the allowance is back.
    Advance(24 * 3600 * 1000LL + 600'000);
    Login(a, alice);  // the session has expired meanwhile
    EXPECT_EQ(SendTo(a, {offline[1].pin}, "next day"), OV_ERR_NONE);
}

TEST_F(QuotaTest, AMessageThatCouldNotBeDeliveredCountsWhenItIsKept) {
    Account bob;
    TestClient& a = Online("alice");
    TestClient& b = Online("bob", 0, &bob);
    b.autoAck = false;  // never acknowledges: every message falls back to the store
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(SendTo(a, {bob.pin}, "m" + std::to_string(i)), OV_ERR_NONE);
    for (int i = 0; i < 30; ++i)
        Advance(1000);  // all given up
    clients.clear();    // bob's client is gone
    // Only as many as the mailbox holds were kept.
    EXPECT_EQ(Collect(bob), (std::vector<std::string>{"m0", "m1", "m2", "m3"}));
}

class BatchTest : public QuotaTest {
protected:
    BatchTest() {
        config.maxWaitingPerRecipient = 100;
        config.maxStoredPerSenderPerDay = 100;
    }
};

TEST_F(BatchTest, WaitingMessagesComeInBatchesOldestFirstEachOnlyOnceInFlight) {
    Account bob = Register("bob");
    TestClient& a = Online("alice");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(SendTo(a, {bob.pin}, "m" + std::to_string(i)), OV_ERR_NONE);
    TestClient& b = NewClient();
    b.autoAck = false;
    Login(b, bob);
    auto texts = [](const std::vector<Packet>& ps) {
        std::vector<std::string> out;
        for (const auto& p : ps)
            out.push_back(decode::MessageNotice(p.body)->text);
        return out;
    };
    auto ack = [&](const Packet& p) {
        b.SendRaw(ov::wire::ClientAck(p.packetSeq, b.pin, b.loginId));
    };
    // Replies are acknowledged as a client does; messages only where the test says so.
    auto sync = [&] {
        b.Sync();
        for (const auto& p : b.raw) {
            if (p.command != OV_SCMD_MESSAGE || p.cmdSeq != 0)
                ack(p);
        }
    };
    sync();
    auto first = b.Take(OV_SCMD_MESSAGE);
    EXPECT_EQ(texts(first), (std::vector<std::string>{"m0", "m1", "m2"}));
    for (const auto& p : first)
        ack(p);
    sync();
    auto second = b.Take(OV_SCMD_MESSAGE);
    ASSERT_EQ(texts(second), (std::vector<std::string>{"m3", "m4", "m5"}));
    // Two acknowledged, one never: the next batch waits until that one is given up.
    ack(second[0]);
    ack(second[2]);
    sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
    std::vector<std::string> later;
    std::set<uint32_t> seen{second[1].packetSeq};  // retransmissions keep their number
    for (int i = 0; i < 40; ++i) {
        Advance(1000);
        sync();
        for (const auto& p : b.Take(OV_SCMD_MESSAGE)) {
            if (seen.insert(p.packetSeq).second) {
                later.push_back(decode::MessageNotice(p.body)->text);
                ack(p);
            }
        }
    }
    EXPECT_EQ(later, (std::vector<std::string>{"m6", "m7"}));
    // The one given up waits for the next login, alone.
    clients.clear();
    EXPECT_EQ(Collect(bob), (std::vector<std::string>{"m4"}));
}

}  // namespace
}  // namespace ovt

namespace ovt {
namespace {

TEST(MailboxCounts, ADatabaseFromBeforeTheCountsIsCountedWhenOpened) {
    if (TestDatabase::OnPostgres())
        GTEST_SKIP() << "a SQLite file of the first version";
    char name[] = "/tmp/ovserver-counts-XXXXXX";
    std::string dir = mkdtemp(name);
    std::string path = dir + "/server.db";
    std::string error;
    {
        auto store = ov::server::Store::Open(path, &error);
        ASSERT_TRUE(store) << error;
        ov::server::StoredMessage m;
        m.fromPin = 10001;
        m.sentTime = 1'700'000'000;
        for (uint32_t to : {10002u, 10002u, 10003u}) {
            m.toPin = to;
            ASSERT_NE(store->SaveMessage(m), 0);
        }
        // As the first version left it: messages, no counts.
        ASSERT_TRUE(store->Db().Exec(
            "DROP TRIGGER message_kept; DROP TRIGGER message_gone; DROP TABLE mailboxes; "
            "PRAGMA user_version=1"));
    }
    auto store = ov::server::Store::Open(path, &error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->WaitingCount(10002), 2u);
    EXPECT_EQ(store->WaitingCount(10003), 1u);
    store->DeleteMessage(store->MessagesFor(10003).front().id);
    EXPECT_EQ(store->WaitingCount(10003), 0u);
    ov::server::StoredMessage m;
    m.toPin = 10003;
    store->SaveMessage(m);
    EXPECT_EQ(store->WaitingCount(10003), 1u);
    store.reset();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ovt
