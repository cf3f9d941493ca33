// Links and names in chat lines: where they start and end, which one is under a column, and
// what a click opens.
#include "shell/messaging/chat_links.h"

#include <gtest/gtest.h>

namespace ov::shell {
namespace {

QStringList Links(const QString& line) {
    QStringList found;
    for (const TextSpan& s : FindLinks(line))
        found << line.mid(s.start, s.length);
    return found;
}

TEST(ChatLinksTest, EveryPrefixStartsALinkThatEndsAtTheFirstForeignCharacter) {
    const struct {
        const char* line;
        QStringList links;
    } cases[] = {
        {"see http://a.b/c_d-e.html now", {"http://a.b/c_d-e.html"}},
        {"https://x.org/~me/a&b", {"https://x.org/~me/a&b"}},
        {"mail mailto:me@x.org.", {"mailto:me@x.org."}},
        {"ftp://f.x.org/pub ftp.x.org", {"ftp://f.x.org/pub", "ftp.x.org"}},
        {"telnet://bbs.x.org:23 news://n.x", {"telnet://bbs.x.org:23", "news://n.x"}},
        {"www.x.org?a=1", {"www.x.org"}},
        {"http://x.org/a=1", {"http://x.org/a"}},
        {"去www.x.org看看", {"www.x.org"}},
        {"<www.x.org>", {"www.x.org"}},
        {"bbs.x.org, www.y.org", {"bbs.x.org", "www.y.org"}},
        {"no link here: http:/ x", {}},
        {"WWW.x.org", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Links(QString::fromUtf8(c.line)), c.links) << c.line;
}

TEST(ChatLinksTest, ALinkInsideALongerOneIsThatLink) {
    // "www." and "bbs." inside the address of an earlier prefix are no links of their own.
    EXPECT_EQ(Links("http://www.x.org and news://bbs.y.org"),
              (QStringList{"http://www.x.org", "news://bbs.y.org"}));
    const QString line = "go telnet://www.x.org";
    const auto at = LinkAt(line, line.indexOf("x.org"));
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(line.mid(at->start, at->length), "telnet://www.x.org");
}

TEST(ChatLinksTest, TheLinkAndTheNameUnderAColumn) {
    const QString line = "[12:05] <bob> look at www.x.org?a=1 ok";
    const int link = line.indexOf("www");
    EXPECT_EQ(LinkAt(line, link), (TextSpan{link, 9}));
    EXPECT_EQ(LinkAt(line, link + 8), (TextSpan{link, 9}));
    EXPECT_FALSE(LinkAt(line, link + 9).has_value());  // the question mark
    EXPECT_FALSE(LinkAt(line, link - 1).has_value());

    EXPECT_EQ(NameSpanAt(line, 8), (TextSpan{8, 5}));
    EXPECT_EQ(NameSpanAt(line, 12), (TextSpan{8, 5}));
    EXPECT_FALSE(NameSpanAt(line, 13).has_value());
    EXPECT_FALSE(NameSpanAt(line, 3).has_value());
    EXPECT_FALSE(NameSpanAt(line, -1).has_value());
    EXPECT_FALSE(NameSpanAt(line, line.size()).has_value());
    EXPECT_FALSE(NameSpanAt("a < b", 4).has_value());  // never closed
}

TEST(ChatLinksTest, AClickOpensTheAddressWithItsScheme) {
    EXPECT_EQ(LinkTarget("www.x.org"), "http://www.x.org");
    EXPECT_EQ(LinkTarget("bbs.x.org"), "http://bbs.x.org");
    EXPECT_EQ(LinkTarget("ftp.x.org"), "ftp://ftp.x.org");
    EXPECT_EQ(LinkTarget("ftp://ftp.x.org"), "ftp://ftp.x.org");
    EXPECT_EQ(LinkTarget("mailto:a@b"), "mailto:a@b");
    EXPECT_EQ(LinkTarget("https://www.x.org"), "https://www.x.org");
}

}  // namespace
}  // namespace ov::shell
