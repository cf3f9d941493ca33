// The lines servers sharing a database send each other: every kind comes back as it went,
// bytes included, and a line that is not exactly one of ours is refused.
#include "server/cluster_event.h"

#include <gtest/gtest.h>

namespace {

using ov::server::ClusterEvent;
using ov::server::DecodeClusterEvent;

ClusterEvent Full(ClusterEvent::Kind kind) {
    ClusterEvent e;
    e.kind = kind;
    e.origin = 0x7F0000012710ull;
    e.pin = 10001;
    e.loginId = 0xFFFFFFFF;
    e.ip = 0x7F000001;
    e.port = 9999;
    e.status = 2;
    e.before = 1;
    e.terminal = 7;
    e.group = 42;
    e.type = 3;
    e.mode = 5;
    e.command = 0x1002;
    e.target = 10002;
    e.id = 1234567890123;
    e.process = 0x7F0000022711ull;
    e.flag = true;
    e.bytes = std::string("\x00\xb0\xa1 \n\xff", 6);  // code page 936 and control bytes
    return e;
}

TEST(ClusterEvent, EveryKindComesBackWithTheFieldsItCarries) {
    const ClusterEvent::Kind kinds[] = {
        ClusterEvent::kSessionStart, ClusterEvent::kSessionEnd,  ClusterEvent::kStatus,
        ClusterEvent::kProfile,      ClusterEvent::kGroupEnter,  ClusterEvent::kGroupLeave,
        ClusterEvent::kGroupMessage, ClusterEvent::kDirect,      ClusterEvent::kStoredMessage,
        ClusterEvent::kBuddyRequest, ClusterEvent::kBuddyAnswer, ClusterEvent::kProcessGone};
    for (ClusterEvent::Kind kind : kinds) {
        ClusterEvent sent = Full(kind);
        std::string line = Encode(sent);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        auto got = DecodeClusterEvent(line);
        ASSERT_TRUE(got) << line;
        EXPECT_EQ(got->kind, kind);
        EXPECT_EQ(got->origin, sent.origin);
        // What a kind carries arrives; the rest stays at its default.
        EXPECT_EQ(Encode(*got), line);
    }
    auto start = DecodeClusterEvent(Encode(Full(ClusterEvent::kSessionStart)));
    EXPECT_EQ(start->loginId, 0xFFFFFFFFu);
    EXPECT_EQ(start->terminal, 7u);
    EXPECT_TRUE(start->bytes.empty());
    auto message = DecodeClusterEvent(Encode(Full(ClusterEvent::kGroupMessage)));
    EXPECT_EQ(message->bytes, Full(ClusterEvent::kGroupMessage).bytes);
    ClusterEvent empty = Full(ClusterEvent::kDirect);
    empty.bytes.clear();
    EXPECT_EQ(DecodeClusterEvent(Encode(empty))->bytes, "");
}

TEST(ClusterEvent, LinesThatAreNotExactlyOursAreRefused) {
    std::string good = Encode(Full(ClusterEvent::kStatus));  // "ov1 <origin> T 10001 2 1"
    ASSERT_TRUE(DecodeClusterEvent(good));
    const std::string bad[] = {
        "",
        "ov1",
        "ov2 1 T 10001 2 1",       // another version
        "ov1 1 Q 10001 2 1",       // no such kind
        "ov1 1 T 10001 2",         // a field short
        "ov1 1 T 10001 2 1 9",     // a field over
        "ov1 1 T 10001 2 -1",      // not a number
        "ov1 1 T 4294967296 2 1",  // past 32 bits
        "ov1 1 T 10001  2 1",      // an empty field
        "ov1 1 TT 10001 2 1",
        "ov1 x T 10001 2 1",
        "ov1 1 D 10001 4098 x0",   // odd hex
        "ov1 1 D 10001 4098 xzz",  // not hex
        "ov1 1 D 10001 4098 00",   // no marker
        "ov1 1 D 10001 4098 xAB",  // upper case is not how it is written
        "ov1 1 E 10001 5 0 2",     // a flag is 0 or 1
    };
    for (const std::string& line : bad)
        EXPECT_FALSE(DecodeClusterEvent(line)) << line;
}

}  // namespace
