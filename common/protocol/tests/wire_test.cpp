// Text and payload fields at their limits, and the readers' refusal of what does not fit.
#include "common/protocol/wire.h"

#include <gtest/gtest.h>

#include "common/protocol/vocabulary.h"

using namespace ov::wire;

namespace {
std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
}  // namespace

TEST(WireText, CutsAtTheFieldSizeCountingTheZero) {
    Writer w;
    w.Text("abcdefghijklmnopqrst", OV_USERNAME_SIZE);  // 20 characters
    EXPECT_EQ(w.Bytes(), std::string("\x11\x00", 2) + "abcdefghijklmnop" + std::string(1, '\0'));
    Writer exact;
    exact.Text("abcdefghijklmnop", OV_USERNAME_SIZE);  // 16: the same bytes
    EXPECT_EQ(exact.Bytes(), w.Bytes());
    Writer shorter;
    shorter.Text("abc", OV_USERNAME_SIZE);
    EXPECT_EQ(Hex(shorter.Bytes()),
              "0400616263"
              "00");

    // A record's text: present with its bit, even when empty; absent without.
    char empty[OV_USERNAME_SIZE] = {};
    Writer rec;
    rec.RecordText(empty, sizeof empty, true);
    rec.RecordText(empty, sizeof empty, false);
    EXPECT_EQ(Hex(rec.Bytes()),
              "0100"
              "00"
              "0000");
    // A field without any zero is still cut to n - 1.
    char full[4] = {'w', 'x', 'y', 'z'};
    Writer unterminated;
    unterminated.RecordText(full, sizeof full, true);
    EXPECT_EQ(Hex(unterminated.Bytes()),
              "0400777879"
              "00");
}

TEST(WireText, ReaderChecksLengthsAndForcesTheZero) {
    // L = 4 with no zero at the end: the last byte is forced to zero.
    std::string body = std::string("\x04\x00", 2) + "abcd" + "tail";
    Reader r(body);
    char field[OV_USERNAME_SIZE];
    ASSERT_TRUE(r.Text(field, sizeof field));
    EXPECT_STREQ(field, "abc");
    EXPECT_EQ(r.Remaining(), 4u);

    const std::string tooLongBytes = std::string("\x12\x00", 2) + std::string(18, 'x');
    Reader tooLong(tooLongBytes);
    EXPECT_FALSE(tooLong.Text(field, sizeof field));  // 18 > 17: malformed
    const std::string cutBytes = std::string("\x05\x00", 2) + "abc";
    Reader cut(cutBytes);
    EXPECT_FALSE(cut.Text(field, sizeof field));
    EXPECT_EQ(cut.Offset(), 0u);
    const std::string zeroBytes("\x00\x00", 2);
    Reader zero(zeroBytes);
    std::string s = "old";
    ASSERT_TRUE(zero.Text(&s, OV_USERNAME_SIZE));
    EXPECT_EQ(s, "");
    const std::string oneByte(1, '\x01');
    Reader one(oneByte);
    EXPECT_FALSE(one.Text(&s, OV_USERNAME_SIZE));
}

TEST(WirePayload, CarriesBytesWithATrailingZeroAndRefusesOversize) {
    Writer w;
    ASSERT_TRUE(w.Payload("hello"));
    EXPECT_EQ(Hex(w.Bytes()),
              "0600"
              "68656c6c6f"
              "00");
    Reader r(w.Bytes());
    std::string out;
    ASSERT_TRUE(r.Payload(&out));
    EXPECT_EQ(out, "hello");
    EXPECT_EQ(r.Remaining(), 0u);

    Writer big;
    EXPECT_FALSE(big.Payload(std::string(kMaxPayload + 1, 'x')));
    EXPECT_EQ(big.Size(), 0u);
    EXPECT_TRUE(big.Payload(std::string(kMaxPayload, 'x')));

    const std::string zeroLengthBytes("\x00\x00", 2);
    Reader zeroLength(zeroLengthBytes);
    EXPECT_FALSE(zeroLength.Payload(&out));
}

TEST(WireHeaders, LayoutAndAcknowledgements) {
    Writer w;
    WriteRequestHeader(w, RequestHeader{1, 0x102, 1001, 10001, 0xDEADBEEF, 1001});
    EXPECT_EQ(Hex(w.Bytes()),
              "0100"
              "0201"
              "e9030000"
              "11270000"
              "efbeadde"
              "e903");
    ASSERT_EQ(w.Size(), kRequestHeaderSize);
    Reader r(w.Bytes());
    RequestHeader h;
    ASSERT_TRUE(ReadRequestHeader(r, &h));
    EXPECT_EQ(h.nLoginID, 0xDEADBEEFu);

    EXPECT_EQ(Hex(ServerAck(1001)),
              "0100"
              "0100"
              "e9030000");
    EXPECT_EQ(Hex(ClientAck(7, 10001, 5)),
              "0100"
              "0100"
              "07000000"
              "11270000"
              "05000000");
    const std::string nine(9, '\0');
    Reader shortHeader(nine);
    ServerHeader sh;
    EXPECT_FALSE(ReadServerHeader(shortHeader, &sh));
}
