// The connection's records byte for byte, and the replies gathered from arbitrary reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "transfer/file_trans_records.h"
#include "transfer/reply_reader.h"

namespace ov::transfer {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<uint8_t>(v));
    return out;
}

TEST(FileTransRecords, RequestsAreLittleEndianKindThenArgument) {
    const RequestBytes data = EncodeRequest({RequestKind::kData, 0x01020304});
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), Bytes({2, 0, 0, 0, 4, 3, 2, 1}));

    FileTransRequest request;
    ASSERT_EQ(DecodeRequest(Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), &request),
              RecordResult::kOk);
    EXPECT_EQ(request.kind, RequestKind::kInfo);
    EXPECT_EQ(request.argument, 0xFFFFFFFFu);

    EXPECT_EQ(DecodeRequest(Bytes({3, 0, 0, 0, 0, 0, 0, 0}), &request), RecordResult::kUnknownKind);
    EXPECT_EQ(DecodeRequest(Bytes({0, 0, 0, 0, 0, 0, 0}), &request), RecordResult::kWrongSize);
    EXPECT_EQ(DecodeRequest(Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0}), &request),
              RecordResult::kWrongSize);
}

TEST(FileTransRecords, CountReplyLayoutAndZeroTail) {
    const ReplyBytes reply = EncodeCountReply(3, 0xA0B0C0D0);
    std::vector<uint8_t> expected =
        Bytes({0, 0, 0, 0, 8, 0, 0, 0, 3, 0, 0, 0, 0xD0, 0xC0, 0xB0, 0xA0});
    expected.resize(kReplySize, 0);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.end()), expected);

    FileTransReply decoded;
    ASSERT_EQ(DecodeReply(reply, &decoded), RecordResult::kOk);
    EXPECT_EQ(decoded.kind, ReplyKind::kCount);
    EXPECT_EQ(decoded.file_count, 3u);
    EXPECT_EQ(decoded.total_size, 0xA0B0C0D0u);
}

TEST(FileTransRecords, InfoReplyLayoutAndNameField) {
    const auto reply = EncodeInfoReply("a.txt", 0x00010203);
    ASSERT_TRUE(reply);
    std::vector<uint8_t> expected = Bytes({1, 0, 0, 0, 0x2C, 0, 0, 0, 'a', '.', 't', 'x', 't'});
    expected.resize(48, 0);
    for (int b : {3, 2, 1, 0})
        expected.push_back(static_cast<uint8_t>(b));
    EXPECT_EQ(std::vector<uint8_t>(reply->begin(), reply->end()), expected);

    FileTransReply decoded;
    ASSERT_EQ(DecodeReply(*reply, &decoded), RecordResult::kOk);
    EXPECT_EQ(decoded.kind, ReplyKind::kInfo);
    EXPECT_EQ(decoded.name, "a.txt");
    EXPECT_EQ(decoded.file_size, 0x00010203u);

    // 39 bytes is the longest name; the 40th byte must stay the terminator.
    const std::string longest(39, 'n');
    ASSERT_TRUE(EncodeInfoReply(longest, 1));
    ASSERT_EQ(DecodeReply(*EncodeInfoReply(longest, 1), &decoded), RecordResult::kOk);
    EXPECT_EQ(decoded.name, longest);
    EXPECT_FALSE(EncodeInfoReply(std::string(40, 'n'), 1));
    EXPECT_FALSE(EncodeInfoReply(std::string("a\0b", 3), 1));
}

TEST(FileTransRecords, MalformedRepliesAreRefused) {
    FileTransReply decoded;
    ReplyBytes bad = EncodeCountReply(1, 1);
    bad[4] = 44;  // count kind with the info length
    EXPECT_EQ(DecodeReply(bad, &decoded), RecordResult::kWrongPayloadLength);

    bad = *EncodeInfoReply("x", 1);
    bad[4] = 8;
    EXPECT_EQ(DecodeReply(bad, &decoded), RecordResult::kWrongPayloadLength);

    bad = *EncodeInfoReply("x", 1);
    for (std::size_t i = 8; i < 48; ++i)
        bad[i] = 'x';  // no terminator inside the field
    EXPECT_EQ(DecodeReply(bad, &decoded), RecordResult::kNameNotTerminated);

    bad = EncodeCountReply(1, 1);
    bad[0] = 2;  // data is never answered with a record
    EXPECT_EQ(DecodeReply(bad, &decoded), RecordResult::kUnknownKind);

    const ReplyBytes good = EncodeCountReply(1, 1);
    EXPECT_EQ(DecodeReply(std::span(good).first(51), &decoded), RecordResult::kWrongSize);
    std::vector<uint8_t> longer(good.begin(), good.end());
    longer.push_back(0);
    EXPECT_EQ(DecodeReply(longer, &decoded), RecordResult::kWrongSize);
}

// Two replies arriving in two reads split at every possible point, then all in one read with
// trailing data: each comes out whole, once, and the trailing bytes are left to the caller.
TEST(ReplyReader, SplitAndJoinedReads) {
    const ReplyBytes first = EncodeCountReply(2, 300);
    const ReplyBytes second = *EncodeInfoReply("b.bin", 200);
    std::vector<uint8_t> stream(first.begin(), first.end());
    stream.insert(stream.end(), second.begin(), second.end());

    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        ReplyReader reader;
        std::vector<ReplyBytes> got;
        for (auto piece : {std::span(stream).first(cut), std::span(stream).subspan(cut)}) {
            std::span<const uint8_t> rest = piece;
            while (auto reply = reader.Take(&rest))
                got.push_back(*reply);
            EXPECT_TRUE(rest.empty());
        }
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], first);
        EXPECT_EQ(got[1], second);
        EXPECT_EQ(reader.pending(), 0u);
    }

    std::vector<uint8_t> joined = stream;
    joined.insert(joined.end(), {0xDE, 0xAD});
    ReplyReader reader;
    std::span<const uint8_t> rest = joined;
    EXPECT_EQ(reader.Take(&rest), first);
    EXPECT_EQ(reader.Take(&rest), second);
    ASSERT_EQ(rest.size(), 2u);  // not swallowed: the caller decides what they are
    EXPECT_EQ(rest[0], 0xDE);
}

TEST(ReplyReader, ByteAtATimeAndReset) {
    const ReplyBytes reply = EncodeCountReply(7, 8);
    ReplyReader reader;
    for (std::size_t i = 0; i + 1 < reply.size(); ++i) {
        std::span<const uint8_t> one = std::span(reply).subspan(i, 1);
        EXPECT_FALSE(reader.Take(&one));
        EXPECT_TRUE(one.empty());
    }
    EXPECT_EQ(reader.pending(), kReplySize - 1);
    std::span<const uint8_t> empty;
    EXPECT_FALSE(reader.Take(&empty));
    std::span<const uint8_t> last = std::span(reply).last(1);
    EXPECT_EQ(reader.Take(&last), reply);

    std::span<const uint8_t> half = std::span(reply).first(20);
    EXPECT_FALSE(reader.Take(&half));
    reader.Reset();
    std::span<const uint8_t> whole = reply;
    EXPECT_EQ(reader.Take(&whole), reply);  // the stale half is gone
}

}  // namespace
}  // namespace ov::transfer
