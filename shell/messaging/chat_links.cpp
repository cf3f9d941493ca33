#include "shell/messaging/chat_links.h"

#include <algorithm>

namespace ov::shell {

namespace {

constexpr const char* kPrefixes[] = {"http://", "https://", "mailto:",   "ftp://", "www.",
                                     "ftp.",    "bbs.",     "telnet://", "news://"};

// Letters and digits of the ASCII range only: a Chinese character right after an address
// ends it.
bool InLink(QChar c) {
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
        return true;
    return u < 0x80 && QStringLiteral("_@~:/.-&").contains(c);
}

}  // namespace

std::optional<TextSpan> NameSpanAt(const QString& line, int pos) {
    if (pos < 0 || pos >= line.size())
        return std::nullopt;
    const int open = line.lastIndexOf(QLatin1Char('<'), pos);
    if (open < 0)
        return std::nullopt;
    const int close = line.indexOf(QLatin1Char('>'), open);
    if (close < pos)
        return std::nullopt;
    return TextSpan{open, close - open + 1};
}

QList<TextSpan> FindLinks(const QString& line) {
    QList<TextSpan> found;
    for (const char* prefix : kPrefixes) {
        const QString p = QString::fromLatin1(prefix);
        for (int at = line.indexOf(p); at >= 0; at = line.indexOf(p, at + 1)) {
            int end = at + p.size();
            while (end < line.size() && InLink(line[end]))
                ++end;
            const TextSpan span{at, end - at};
            const bool inside = std::any_of(found.begin(), found.end(), [&](const TextSpan& s) {
                return s.Contains(span.start);
            });
            if (inside)
                continue;
            // A longer link found later swallows the shorter ones inside it.
            found.removeIf([&](const TextSpan& s) { return span.Contains(s.start); });
            found.push_back(span);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const TextSpan& a, const TextSpan& b) { return a.start < b.start; });
    return found;
}

std::optional<TextSpan> LinkAt(const QString& line, int pos) {
    for (const TextSpan& span : FindLinks(line))
        if (span.Contains(pos))
            return span;
    return std::nullopt;
}

QString LinkTarget(const QString& link) {
    if (link.startsWith(QLatin1String("www.")) || link.startsWith(QLatin1String("bbs.")))
        return QStringLiteral("http://") + link;
    if (link.startsWith(QLatin1String("ftp.")))
        return QStringLiteral("ftp://") + link;
    return link;
}

}  // namespace ov::shell
