// Which addresses qualify and the keys they give.
#include <gtest/gtest.h>

#include "shell/pageroom/page_keys.h"

namespace ov::shell {
namespace {

TEST(PageKeys, SiteAndPageKeys) {
    EXPECT_EQ(PageKeysOf("http://www.example.com/a/b.html?x=1"),
              (PageKeys{"www.example.com", "www.example.com/a/b.html?x=1"}));
    EXPECT_EQ(PageKeysOf("http://www.example.com"),
              (PageKeys{"www.example.com", "www.example.com"}));
    // A personal directory on a shared host is a site of its own, with or without more path.
    EXPECT_EQ(PageKeysOf("http://host.edu/~ann/cv.html"),
              (PageKeys{"host.edu/~ann", "host.edu/~ann/cv.html"}));
    EXPECT_EQ(PageKeysOf("http://host.edu/~ann"), (PageKeys{"host.edu/~ann", "host.edu/~ann"}));
    EXPECT_EQ(PageKeysOf("http://host.edu/x~ann/"), (PageKeys{"host.edu", "host.edu/x~ann/"}));
    // The scheme in any case; the keys keep theirs, so case makes another group.
    EXPECT_EQ(PageKeysOf("HTTP://Example.COM/Page"), (PageKeys{"Example.COM", "Example.COM/Page"}));
    EXPECT_NE(PageKeysOf("http://example.com/Page"), PageKeysOf("http://example.com/page"));
    // Secure addresses meet the plain ones.
    EXPECT_EQ(PageKeysOf("https://example.com/a"), PageKeysOf("http://example.com/a"));
    EXPECT_EQ(PageKeysOf("HTTPS://127.0.0.2/p"), (PageKeys{"127.0.0.2", "127.0.0.2/p"}));
}

TEST(PageKeys, AddressesThatDoNotQualify) {
    for (const char* address : {"http://127.0.0.1/", "HTTP://127.0.0.1", "http://localhost/page",
                                "http://intranet", "ftp://example.com/file", "about:blank",
                                "chrome://newtab/", "file:///etc/hosts", "http://ab", ""}) {
        EXPECT_FALSE(PageKeysOf(address)) << address;
    }
    // Ten characters are enough; a port makes another host than the bare local one.
    EXPECT_EQ(PageKeysOf("http://a.b"), (PageKeys{"a.b", "a.b"}));
    EXPECT_TRUE(PageKeysOf("http://127.0.0.1:8080/x"));
}

}  // namespace
}  // namespace ov::shell
