// The transport rules on their own, with a recorded transmit and explicit times: numbering,
// the growing retransmission interval and its bound, the window that keeps order, the
// duplicate filter, and what an address without a session can make the server send.
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
    // A command as a client sends it: header (with this packet and command number) and body.
    static std::string Command(uint32_t packetSeq, uint16_t cmdSeq, size_t bodySize = 0,
                               char fill = 0x11) {
        ov::wire::Writer w;
        ov::wire::WriteRequestHeader(
            w, ov::wire::RequestHeader{ov::wire::kVersion, 0x105, packetSeq, 0, 0, cmdSeq});
        w.Raw(std::string(bodySize, fill));
        return std::move(w.Bytes());
    }
    static ov::wire::RequestHeader Header(const std::string& datagram) {
        ov::wire::Reader r(datagram);
        ov::wire::RequestHeader h;
        ov::wire::ReadRequestHeader(r, &h);
        return h;
    }
    size_t BytesSent() const {
        size_t n = 0;
        for (const Sent& s : sent)
            n += s.bytes.size();
        return n;
    }
    std::vector<Sent> sent;
    Endpoint a{0x7F000001, 4000};
    Endpoint b{0x7F000001, 4001};
};

TEST_F(ReliabilityTest, RetransmitsAtGrowingIntervalsUntilGivenUp) {
    Reliability r = Make();
    r.Confirm(a, 10001, 77, 0);
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
    EXPECT_EQ(r.OutstandingBytes(), 0u);
}

TEST_F(ReliabilityTest, OnlyTheSessionsOwnAcknowledgementCounts) {
    Reliability r = Make();
    r.Confirm(a, 10001, 77, 0);
    r.Confirm(b, 10002, 88, 0);
    int outcome = -1;
    r.Send(a, OV_SCMD_MESSAGE, 7, "x", 0, [&](bool acked) { outcome = acked; });
    EXPECT_EQ(ov::wire::LoadU16(sent[0].bytes.data() + 8), 7u);  // nCmdSeqNum
    EXPECT_FALSE(r.OnAck(b, 500, 10002, 88, 10));                // another address cannot
    EXPECT_FALSE(r.OnAck(a, 501, 10001, 77, 10));                // nor another number
    EXPECT_FALSE(r.OnAck(a, 500, 0, 0, 10));                     // nor a forged one
    EXPECT_FALSE(r.OnAck(a, 500, 10001, 78, 10));
    EXPECT_EQ(outcome, -1);
    EXPECT_TRUE(r.OnAck(a, 500, 10001, 77, 10));
    EXPECT_EQ(outcome, 1);
    EXPECT_FALSE(r.OnAck(a, 500, 10001, 77, 20));  // once only
    r.Tick(60'000);
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(ReliabilityTest, WindowKeepsOrderAndReleasesOnAckOrGiveUp) {
    ReliabilityConfig c;
    c.windowPerPeer = 2;
    c.maxTransmissions = 1;
    Reliability r = Make(c);
    r.Confirm(a, 1, 1, 0);
    r.Confirm(b, 2, 2, 0);
    for (int i = 0; i < 5; ++i)
        r.Send(a, OV_SCMD_MESSAGE, 0, std::string(1, char('a' + i)), 0);
    r.Send(b, OV_SCMD_MESSAGE, 0, "other", 0);  // another client is not held up
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].to, b);
    r.OnAck(a, sent[0].Seq(), 1, 1, 1);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].bytes.back(), 'c');
    r.Tick(1000);  // 'b' and b's datagram are given up: 'd' takes the free place
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[4].bytes.back(), 'd');
    r.Tick(1001);  // 'c' is given up: 'e' follows
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[5].bytes.back(), 'e');
}

TEST_F(ReliabilityTest, EndingASessionGivesUpWhatWasOnItsWay) {
    ReliabilityConfig c;
    c.windowPerPeer = 1;
    Reliability r = Make(c);
    r.Confirm(a, 1, 1, 0);
    std::vector<int> outcomes;
    for (int i = 0; i < 3; ++i)
        r.Send(a, OV_SCMD_MESSAGE, 0, "m", 0, [&](bool acked) { outcomes.push_back(acked); });
    r.Unconfirm(a);
    EXPECT_EQ(outcomes, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(r.Outstanding(), 0u);
    size_t before = sent.size();
    r.Tick(60'000);
    EXPECT_EQ(sent.size(), before);
    // Nothing is kept for an address without a session.
    int late = -1;
    r.Send(a, OV_SCMD_MESSAGE, 0, "m", 0, [&](bool acked) { late = acked; });
    EXPECT_EQ(late, 0);
    EXPECT_EQ(sent.size(), before);
}

TEST_F(ReliabilityTest, OutstandingDatagramsAreBoundedOverAllAddresses) {
    ReliabilityConfig c;
    c.maxOutstanding = 3;
    c.maxOutstandingBytes = 1000;
    Reliability r = Make(c);
    r.Confirm(a, 1, 1, 0);
    r.Confirm(b, 2, 2, 0);
    int givenUp = 0;
    auto count = [&](bool acked) { givenUp += !acked; };
    r.Send(a, OV_SCMD_MESSAGE, 0, "1", 0, count);
    r.Send(b, OV_SCMD_MESSAGE, 0, "2", 0, count);
    r.Send(a, OV_SCMD_MESSAGE, 0, "3", 0, count);
    r.Send(b, OV_SCMD_MESSAGE, 0, "4", 0, count);  // a fourth: refused
    EXPECT_EQ(givenUp, 1);
    r.OnAck(a, sent[0].Seq(), 1, 1, 1);
    r.Send(b, OV_SCMD_MESSAGE, 0, std::string(990, 'x'), 1, count);  // too many bytes
    EXPECT_EQ(givenUp, 2);
    EXPECT_EQ(r.Outstanding(), 2u);
}

TEST_F(ReliabilityTest, DuplicatesAreAckedButNotTakenTwice) {
    Reliability r = Make();
    r.Confirm(a, 1, 1, 0);
    r.Confirm(b, 2, 2, 0);
    std::string cmd = Command(1001, 5, 4, 0x11);
    std::string other = Command(1001, 6, 4, 0x22);
    auto take = [&](const Endpoint& from, const std::string& d, int64_t t) {
        return r.AcceptCommand(from, Header(d), d, t, true);
    };
    EXPECT_TRUE(take(a, cmd, 0));
    EXPECT_FALSE(take(a, cmd, 5'000));   // retransmission
    EXPECT_TRUE(take(b, cmd, 5'000));    // another client
    EXPECT_TRUE(take(a, other, 6'000));  // a restarted client's new command
    EXPECT_FALSE(take(a, other, 7'000));
    EXPECT_TRUE(take(a, other, 7'000 + 60'001));  // long after: new again
    // Every one of them was acknowledged with the 8-byte acknowledgement.
    ASSERT_EQ(sent.size(), 6u);
    for (const Sent& s : sent)
        EXPECT_EQ(s.bytes, ov::wire::ServerAck(1001));
    EXPECT_EQ(r.Stats().duplicates, 2u);
}

TEST_F(ReliabilityTest, WithoutASessionAReplyGoesOnceAndAgainOnlyForARetransmission) {
    Reliability r = Make();
    std::string handshake = Command(9, 3);  // 18 bytes, no body
    ASSERT_TRUE(r.AcceptCommand(a, Header(handshake), handshake, 0, false));
    r.SendOnce(a, 0x105, 3, std::string(18, 'r'), 0);  // 28 bytes: with the ack, 2 x 18
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].bytes, ov::wire::ServerAck(9));
    EXPECT_EQ(sent[1].bytes.size(), 28u);
    r.Tick(1);
    r.Tick(30'000);  // never retransmitted
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_EQ(r.Outstanding(), 0u);
    // The command again (its reply was lost): the ack and the very same reply, once.
    EXPECT_FALSE(r.AcceptCommand(a, Header(handshake), handshake, 31'000, false));
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].bytes, sent[1].bytes);
    // A reply bigger than twice what the address sent is not sent at all.
    std::string other = Command(10, 4);
    ASSERT_TRUE(r.AcceptCommand(a, Header(other), other, 32'000, false));
    r.SendOnce(a, 0x105, 4, std::string(100, 'r'), 32'000);
    EXPECT_EQ(sent.size(), 5u);  // the ack only
    EXPECT_EQ(r.Stats().throttled, 1u);
    // Nor can anything be sent to an address that never sent anything.
    r.SendOnce(b, 0x105, 4, "r", 32'000);
    EXPECT_EQ(sent.size(), 5u);
    size_t in = 3 * handshake.size();
    EXPECT_LE(BytesSent(), 2 * in);
}

TEST_F(ReliabilityTest, AFloodOfAddressesCostsABoundedTableAndLocksNobodyOut) {
    ReliabilityConfig c;
    c.maxAddresses = 100;
    Reliability r = Make(c);
    std::string cmd = Command(1, 1);
    for (uint32_t i = 0; i < 10'000; ++i) {
        Endpoint forged{0x7F000000 + (i >> 8), static_cast<uint16_t>(1000 + (i & 0xFF))};
        r.AcceptCommand(forged, Header(cmd), cmd, i, false);
    }
    EXPECT_EQ(r.AddressCount(), 100u);
    EXPECT_EQ(r.AddressesEvicted(), 9'900u);
    // A real client arriving now is heard, and its retransmission still recognised.
    EXPECT_TRUE(r.AcceptCommand(a, Header(cmd), cmd, 20'000, false));
    EXPECT_FALSE(r.AcceptCommand(a, Header(cmd), cmd, 20'001, false));
    // An authenticated command is filtered by the session's own record, which the flood of
    // unauthenticated commands from the same address cannot push out.
    r.Confirm(b, 5, 5, 0);
    std::string mine = Command(77, 77, 4);
    EXPECT_TRUE(r.AcceptCommand(b, Header(mine), mine, 20'002, true));
    for (uint32_t i = 0; i < 200; ++i) {
        std::string spoofed = Command(100 + i, 1);
        r.AcceptCommand(b, Header(spoofed), spoofed, 20'003, false);
    }
    EXPECT_FALSE(r.AcceptCommand(b, Header(mine), mine, 20'004, true));
    // Quiet addresses are forgotten.
    r.Tick(20'005);
    r.Tick(20'005 + c.addressIdleMs + 10'000);
    EXPECT_EQ(r.AddressCount(), 0u);
}

}  // namespace
