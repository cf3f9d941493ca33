#include "platform/text/cp936.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace ov {
namespace {

using namespace std::string_literals;

const std::string kNihaoGbk = "\xC4\xE3\xBA\xC3";
const std::u16string kNihao16 = u"\u4F60\u597D";
const std::string kNihao8 = "\xE4\xBD\xA0\xE5\xA5\xBD";

TEST(Cp936, KnownTextConvertsExactlyBothWays) {
    EXPECT_EQ(Utf16ToCp936(kNihao16), kNihaoGbk);
    EXPECT_EQ(Utf8ToCp936(kNihao8), kNihaoGbk);
    EXPECT_EQ(Cp936ToUtf16(kNihaoGbk), kNihao16);
    EXPECT_EQ(Cp936ToUtf8(kNihaoGbk), kNihao8);
    // A trail byte equal to '\\' must not be taken for ASCII.
    EXPECT_EQ(Cp936ToUtf16("\xD5\x5C"), u"\u8AA0");
    // Code page 936 extends GBK with the euro sign at 0x80.
    EXPECT_EQ(Cp936ToUtf16("\x80"), u"\u20AC");
    EXPECT_EQ(Utf16ToCp936(u"\u20AC"), "\x80");
    EXPECT_EQ(Cp936ToUtf16({}), u"");
    EXPECT_EQ(Utf16ToCp936({}), "");
}

TEST(Cp936, AsciiAndEmbeddedNulPassUnchanged) {
    std::string ascii;
    std::u16string ascii16;
    for (int c = 0; c < 0x80; ++c) {
        ascii.push_back(static_cast<char>(c));
        ascii16.push_back(static_cast<char16_t>(c));
    }
    EXPECT_EQ(Cp936ToUtf16(ascii), ascii16);
    EXPECT_EQ(Utf16ToCp936(ascii16), ascii);

    const std::string mixed = "a\0"s + kNihaoGbk + "\0\0b"s;
    const std::u16string mixed16 = u"a\0"s + kNihao16 + u"\0\0b"s;
    EXPECT_EQ(Cp936ToUtf16(mixed), mixed16);
    EXPECT_EQ(Utf16ToCp936(mixed16), mixed);
}

TEST(Cp936, CharactersOutsideCp936BecomeOneQuestionMarkEach) {
    // An emoji is a surrogate pair but one character, so one '?'.
    EXPECT_EQ(Utf16ToCp936(u"a\U0001F600z"), "a?z");
    EXPECT_EQ(Utf8ToCp936("a\xF0\x9F\x98\x80z"), "a?z");
    // Hangul is not in GBK; the text around it must survive.
    EXPECT_EQ(Utf16ToCp936(u"\uD55C" + kNihao16 + u"\uD55C"), "?" + kNihaoGbk + "?");
    // Lone surrogates, including one cut off by the end of the text.
    EXPECT_EQ(Utf16ToCp936(u"x\xDC00y"), "x?y");
    EXPECT_EQ(Utf16ToCp936(u"\xD800\xD800" + kNihao16 + u"\xD800"), "??" + kNihaoGbk + "?");
    // Invalid UTF-8 gives one '?' per bad byte.
    EXPECT_EQ(Utf8ToCp936("\xE4\xBDz"), "??z");
}

TEST(Cp936, InvalidBytesDecodeToOneReplacementPerByte) {
    EXPECT_EQ(Cp936ToUtf16("ab\xC4"), u"ab\uFFFD");  // lead byte cut off by the end
    EXPECT_EQ(Cp936ToUtf8("ab\xC4"), "ab\xEF\xBF\xBD");
    EXPECT_EQ(Cp936ToUtf16("\xFF\xFFz"), u"\uFFFD\uFFFDz");
    // A byte that cannot trail is read afresh, and a bad byte never swallows the next lead.
    EXPECT_EQ(Cp936ToUtf16("\xC4\x7F"), u"\uFFFD\x7F");
    EXPECT_EQ(Cp936ToUtf16("\xFF\xC4\xE3"), u"\uFFFD\u4F60");
}

TEST(Cp936, LongTextConvertsCompletely) {
    std::u16string text16, back16;
    std::string gbk;
    for (int i = 0; i < 40000; ++i) {  // 200000 bytes, with a failure every few characters
        text16 += kNihao16 + u"ab\U0001F600";
        back16 += kNihao16 + u"ab?";
        gbk += kNihaoGbk + "ab?";
    }
    EXPECT_EQ(Utf16ToCp936(text16), gbk);
    EXPECT_EQ(Cp936ToUtf16(gbk + "\xFF"), back16 + u"\uFFFD");
}

TEST(Cp936, ConcurrentConversionsStayIndependent) {
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            // Good and bad input mixed, so that converter state leaking between threads shows.
            const std::string gbk = std::to_string(t) + kNihaoGbk + std::string(t + 1, '\xFF');
            const std::u16string text =
                std::u16string(1, u'0' + t) + kNihao16 + std::u16string(t + 1, u'\uFFFD');
            for (int i = 0; i < 500; ++i) {
                failures[t] += Cp936ToUtf16(gbk) != text;
                failures[t] +=
                    Utf16ToCp936(text) != std::to_string(t) + kNihaoGbk + std::string(t + 1, '?');
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    }
}

TEST(Utf8, BoundaryCodePointsRoundTrip) {
    const std::u16string text = u"\u007F\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF";
    const std::string utf8 =
        "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"
        "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(Utf16ToUtf8(text), utf8);
    EXPECT_EQ(Utf8ToUtf16(utf8), text);
}

TEST(Utf8, InvalidInputGivesOneReplacementPerBadByte) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"\xE4\xBD", u"\uFFFD\uFFFD"},                      // truncated at the end
        {"\xE4\xBDz", u"\uFFFD\uFFFDz"},                    // truncated before ASCII
        {"\x80\xBF", u"\uFFFD\uFFFD"},                      // stray continuation bytes
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong, three bytes
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xC3\xE4\xBD\xA0", u"\uFFFD\u4F60"},              // resynchronises on a lead byte
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(Utf8ToUtf16(in), out) << testing::PrintToString(in);
    }
    // Lone surrogates on the way to UTF-8.
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\xD800\U0001F600"), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace ov
