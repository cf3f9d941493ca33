// The transport duties over a real loopback socket: acknowledgements, duplicates executed
// once, retransmission of unacknowledged datagrams in protocol time, and bad datagrams
// dropped without harm.
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

using TransportTest = ServerFixture;

TEST_F(TransportTest, EveryCommandIsAckedAndARetransmissionRunsOnce) {
    TestClient& c = NewClient();
    body::User u;
    u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
    u.userName = "dup";
    u.password = "pw";
    uint16_t seq = c.Send(OV_CCMD_USR_REGISTER, body::Register(u));
    uint32_t packet = c.LastPacketSeq();
    c.Resend();  // duplicated on the way
    ASSERT_TRUE(c.WaitAck(packet));
    auto first = c.WaitReply(OV_CCMD_USR_REGISTER, seq);
    ASSERT_TRUE(first);
    EXPECT_EQ(decode::RegisterReply(*first)->error, OV_ERR_NONE);
    c.Sync();
    // Acknowledged twice, answered once: a second execution would have said "name taken".
    EXPECT_EQ(std::count(c.acks.begin(), c.acks.end(), packet), 2);
    EXPECT_TRUE(c.Take(OV_CCMD_USR_REGISTER).empty());
}

TEST_F(TransportTest, DuplicatedMessageIsDeliveredOnce) {
    Account bob;
    TestClient& alice = Online("alice");
    TestClient& b = Online("bob", 0, &bob);
    uint16_t seq = alice.Send(OV_CCMD_SENDTO_USR, body::SendToUsers(0, "hello", {bob.pin}));
    alice.Resend();
    alice.Resend();
    ASSERT_TRUE(alice.WaitReply(OV_CCMD_SENDTO_USR, seq));
    ASSERT_TRUE(b.WaitNotice(OV_SCMD_MESSAGE));
    alice.Sync();
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
    EXPECT_TRUE(alice.Take(OV_CCMD_SENDTO_USR).empty());
}

TEST_F(TransportTest, UnacknowledgedDatagramsAreSentAgainThenGivenUp) {
    Account bob;
    TestClient& alice = Online("alice");
    TestClient& b = Online("bob", 0, &bob);
    b.autoAck = false;
    ASSERT_EQ(
        decode::ErrorOnly(Ask(alice, OV_CCMD_SENDTO_USR, body::SendToUsers(0, "hi", {bob.pin}))),
        OV_ERR_NONE);
    auto first = b.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(first);
    // Nothing more without protocol time passing.
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
    int copies = 0;
    for (int i = 0; i < 25; ++i) {
        Advance(1000);
        b.Sync();
        for (const Packet& p : b.Take(OV_SCMD_MESSAGE)) {
            EXPECT_EQ(p.packetSeq, first->packetSeq);  // the same number every time
            EXPECT_EQ(p.body, first->body);
            ++copies;
        }
    }
    EXPECT_EQ(copies, 6);  // seven transmissions in all, the last at 21 s
    Advance(10'000);       // given up at 28 s
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
    EXPECT_GE(server->Stats().transport.givenUp, 1u);
}

TEST_F(TransportTest, AckedDatagramIsNotSentAgain) {
    Account bob;
    TestClient& alice = Online("alice");
    TestClient& b = Online("bob", 0, &bob);
    Ask(alice, OV_CCMD_SENDTO_USR, body::SendToUsers(0, "hi", {bob.pin}));
    ASSERT_TRUE(b.WaitNotice(OV_SCMD_MESSAGE));
    b.Sync();  // our acknowledgement reached the server before its handshake reply came
    Advance(10'000);
    b.Sync();
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
}

TEST_F(TransportTest, BadDatagramsAreDroppedAndTheServerGoesOn) {
    TestClient& c = NewClient();
    c.SendRaw(std::string("\x02\x00\x04\x00\x01\x00\x00\x00", 8) + std::string(10, '\0'));  // v2
    c.SendRaw(std::string(7, '\x01'));                                                      // short
    c.SendRaw(std::string("\x01\x00\x04\x00\x05\x00\x00\x00\x00", 9));       // 9 bytes, no ack
    c.SendRaw(std::string("\x01\x00\x01\x00\x05\x00\x00\x00\x00\x00", 10));  // ack of 10
    // Bodies other than their command defines: cut short, too long, a handshake with a body.
    c.Send(OV_CCMD_USR_LOGIN, "\x01\x02");
    c.Send(OV_CCMD_USR_LOGIN, body::Login(10001, "", "pw") + "x");
    c.Send(OV_CCMD_HANDSHACK_SERVER, std::string(10, '\0'));
    c.Sync();
    EXPECT_EQ(c.acks.size(), 1u);  // only the well-formed handshake of Sync was acknowledged
    EXPECT_TRUE(c.Take(OV_CCMD_USR_LOGIN).empty());
    EXPECT_TRUE(log.Contains("dropped datagram"));
    EXPECT_GE(server->Stats().dropped, 7u);
}

TEST_F(TransportTest, CommandsOfNoLiveSessionAreRefused) {
    Account bob;
    TestClient& b = Online("bob", 0, &bob);
    TestClient& stranger = NewClient();
    // Wrong login ID, then the right credentials from another address.
    stranger.pin = bob.pin;
    stranger.loginId = b.loginId + 1;
    EXPECT_EQ(
        decode::Search2Reply(Ask(stranger, OV_CCMD_USR_SEARCH2, body::Search2({}, 1, 0)))->error,
        OV_ERR_UNKNOWN);
    stranger.loginId = b.loginId;
    auto refused = decode::Buddy2Reply(Ask(stranger, OV_CCMD_BUDDY_GET_LST2));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->error, OV_ERR_UNKNOWN);
    EXPECT_EQ(refused->flag, OV_LISTFLAG_BAD);
    EXPECT_EQ(decode::EnterReply(
                  Ask(stranger, OV_CCMD_GRP_USR_ENTER, body::GroupEnter(OV_GT_SITE, 0, "x.com")))
                  ->error,
              OV_ERR_UNKNOWN);
    // Commands without a reply are acknowledged and do nothing.
    stranger.Send(OV_CCMD_USR_LOGOUT);
    ASSERT_TRUE(stranger.WaitAck(stranger.LastPacketSeq()));
    EXPECT_EQ(decode::Search2Reply(Ask(b, OV_CCMD_USR_SEARCH2, body::Search2({}, 1, 0)))->error,
              OV_ERR_NONE);
}

}  // namespace
}  // namespace ovt
