#include "common/text_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace ov {
namespace {

using namespace std::string_literals;

TEST(TextEscape, EscapesOnlyBackslashNulAndLineBreaks) {
    EXPECT_EQ(EscapeText("a\\b"), "a\\\\b");
    EXPECT_EQ(EscapeText("a\0b"s), "a\\0b");
    EXPECT_EQ(EscapeText("line1\r\nline2\n"), "line1\\r\\nline2\\n");
    EXPECT_EQ(EscapeText(""), "");
    // Tabs, quotes and high bytes are left alone.
    EXPECT_EQ(EscapeText("\t\"'0nr\x80\xFF"), "\t\"'0nr\x80\xFF");
}

TEST(TextEscape, RoundTripsEveryByteValue) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    const std::string escaped = EscapeText(all);
    EXPECT_EQ(escaped.find('\0'), std::string::npos);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(escaped.find('\r'), std::string::npos);
    EXPECT_EQ(escaped.size(), all.size() + 4);
    EXPECT_EQ(UnescapeText(escaped), all);

    // Each byte doubled, so that neighbouring escapes cannot mask each other.
    for (int b = 0; b < 256; ++b) {
        const std::string two(2, static_cast<char>(b));
        EXPECT_EQ(UnescapeText(EscapeText(two)), two) << b;
    }
}

TEST(TextEscape, UnescapeTakesOtherEscapedCharactersLiterally) {
    EXPECT_EQ(UnescapeText("\\t\\x\\\"\\N"), "tx\"N");
    EXPECT_EQ(UnescapeText("\\\\n"), "\\n");  // an escaped backslash, then a plain 'n'
    EXPECT_EQ(UnescapeText("\\\\\\n"), "\\\n");
    EXPECT_EQ(UnescapeText("\\0\\r\\n"), "\0\r\n"s);
    EXPECT_EQ(UnescapeText("\\\xC4"), "\xC4");
}

TEST(TextEscape, TrailingLoneBackslashIsKept) {
    EXPECT_EQ(UnescapeText("\\"), "\\");
    EXPECT_EQ(UnescapeText("abc\\\\\\"), "abc\\\\");
    EXPECT_EQ(UnescapeText(""), "");
}

TEST(TextEscape, GbkTrailByte5CSurvives) {
    // U+8AA0 is D5 5C in CP936: its trail byte is '\\' and gets escaped like any other.
    const std::string gbk = "\xD5\x5C\xC4\xE3\xD5\x5C";
    EXPECT_EQ(EscapeText(gbk), "\xD5\\\\\xC4\xE3\xD5\\\\");
    EXPECT_EQ(UnescapeText(EscapeText(gbk)), gbk);
}

}  // namespace
}  // namespace ov
