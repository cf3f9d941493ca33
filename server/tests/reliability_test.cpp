// The transport rules on their own, with a recorded transmit and explicit times: numbering,
// the growing retransmission interval and its bound, the window that keeps order, and the
// duplicate filter.
#include "server/reliability.h"

#include <gtest/gtest.h>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

using ov::server::Endpoint;
using ov::server::Reliability;
using ov::server::ReliabilityConfig;

namespace {

struct Sent {
    Endpoint to;
    std::string bytes;
    uint32_t Seq() const { return ov::wire::LoadU32(bytes.data() + 4); }
};

class ReliabilityTest : public ::testing::Test {
protected:
    Reliability Make(ReliabilityConfig c = {}) {
        c.firstPacketSeq = 500;
        return Reliability(c, [this](const Endpoint& to, std::string_view d) {
            sent.push_back({to, std::string(d)});
        });
    }
    std::vector<Sent> sent;
    Endpoint a{0x7F000001, 4000};
    Endpoint b{0x7F000001, 4001};
};

TEST_F(ReliabilityTest, RetransmitsAtGrowingIntervalsUntilGivenUp) {
    Reliability r = Make();
    int outcome = -1;
    r.Send(a, OV_SCMD_MESSAGE, 0, "body", 0, [&](bool acked) { outcome = acked; });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes.size(), ov::wire::kServerHeaderSize + 4);
    EXPECT_EQ(sent[0].Seq(), 500u);
    // Transmissions at 0, 1, 3, 6, 10, 15, 21 s: each gap one second longer.
    std::vector<int64_t> times;
    for (int64_t t = 0; t <= 40'000; t += 100) {
        size_t before = sent.size();
        r.Tick(t);
        if (sent.size() > before)
            times.push_back(t);
    }
    EXPECT_EQ(times, (std::vector<int64_t>{1000, 3000, 6000, 10000, 15000, 21000}));
    for (const Sent& s : sent)
        EXPECT_EQ(s.bytes, sent[0].bytes);  // the same datagram
    EXPECT_EQ(outcome, 0);                  // given up at 28 s
    EXPECT_EQ(r.Stats().givenUp, 1u);
    EXPECT_EQ(r.Outstanding(), 0u);
}

TEST_F(ReliabilityTest, AckStopsRetransmissionOnlyFromTheRightAddress) {
    Reliability r = Make();
    int outcome = -1;
    r.Send(a, OV_SCMD_MESSAGE, 7, "x", 0, [&](bool acked) { outcome = acked; });
    EXPECT_EQ(ov::wire::LoadU16(sent[0].bytes.data() + 8), 7u);  // nCmdSeqNum
    EXPECT_FALSE(r.OnAck(b, 500, 10));                           // another address cannot
    EXPECT_FALSE(r.OnAck(a, 501, 10));                           // nor another number
    EXPECT_TRUE(r.OnAck(a, 500, 10));
    EXPECT_EQ(outcome, 1);
    EXPECT_FALSE(r.OnAck(a, 500, 20));  // once only
    r.Tick(60'000);
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(ReliabilityTest, WindowKeepsOrderAndReleasesOnAckOrGiveUp) {
    ReliabilityConfig c;
    c.windowPerPeer = 2;
    c.maxTransmissions = 1;
    Reliability r = Make(c);
    for (int i = 0; i < 5; ++i)
        r.Send(a, OV_SCMD_MESSAGE, 0, std::string(1, char('a' + i)), 0);
    r.Send(b, OV_SCMD_MESSAGE, 0, "other", 0);  // another client is not held up
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].to, b);
    r.OnAck(a, sent[0].Seq(), 1);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].bytes.back(), 'c');
    r.Tick(1000);  // 'b' and b's datagram are given up: 'd' takes the free place
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[4].bytes.back(), 'd');
    r.Tick(1001);  // 'c' is given up: 'e' follows
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[5].bytes.back(), 'e');
}

TEST_F(ReliabilityTest, DuplicatesAreAckedButNotTakenTwice) {
    Reliability r = Make();
    std::string cmd = std::string("\x01\x00\x01\x05", 4) + std::string(14, '\x11');
    std::string other = cmd;
    other[17] = 0x22;
    EXPECT_TRUE(r.AcceptCommand(a, 1001, cmd, 0));
    EXPECT_FALSE(r.AcceptCommand(a, 1001, cmd, 5'000));   // retransmission
    EXPECT_TRUE(r.AcceptCommand(b, 1001, cmd, 5'000));    // another client
    EXPECT_TRUE(r.AcceptCommand(a, 1001, other, 6'000));  // a restarted client's new command
    EXPECT_FALSE(r.AcceptCommand(a, 1001, other, 7'000));
    EXPECT_TRUE(r.AcceptCommand(a, 1001, other, 7'000 + 60'001));  // long after: new again
    // Every one of them was acknowledged with the 8-byte acknowledgement.
    ASSERT_EQ(sent.size(), 6u);
    for (const Sent& s : sent)
        EXPECT_EQ(s.bytes, ov::wire::ServerAck(1001));
    EXPECT_EQ(r.Stats().duplicates, 2u);
}

TEST_F(ReliabilityTest, ForgetsIdleAddressesAndBoundsTheirNumber) {
    ReliabilityConfig c;
    c.maxPeers = 2;
    Reliability r = Make(c);
    std::string cmd(18, '\x01');
    EXPECT_TRUE(r.AcceptCommand(a, 1, cmd, 0));
    EXPECT_TRUE(r.AcceptCommand(b, 1, cmd, 0));
    Endpoint third{0x7F000001, 4002};
    EXPECT_FALSE(r.AcceptCommand(third, 1, cmd, 1));  // full, nobody idle yet
    EXPECT_EQ(r.Stats().refused, 1u);
    r.Tick(0);
    r.Tick(c.peerIdleMs + 10'000);
    EXPECT_EQ(r.PeerCount(), 0u);
    EXPECT_TRUE(r.AcceptCommand(third, 1, cmd, c.peerIdleMs + 10'001));
}

}  // namespace
