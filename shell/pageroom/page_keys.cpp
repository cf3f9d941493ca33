#include "shell/pageroom/page_keys.h"

namespace ov::shell {

std::optional<PageKeys> PageKeysOf(const QString& address) {
    qsizetype scheme = 0;
    if (address.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive))
        scheme = 7;
    else if (address.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive))
        scheme = 8;
    if (scheme == 0 || address.size() < 10)
        return std::nullopt;
    // The host ends at the first "/" after its first character; a "~" segment stays with it.
    qsizetype end = address.indexOf(QLatin1Char('/'), scheme + 1);
    if (end >= 0 && end + 1 < address.size() && address[end + 1] == QLatin1Char('~'))
        end = address.indexOf(QLatin1Char('/'), end + 1);
    PageKeys keys;
    keys.site = end < 0 ? address.mid(scheme) : address.mid(scheme, end - scheme);
    keys.page = address.mid(scheme);
    if (keys.site.compare(QStringLiteral("127.0.0.1"), Qt::CaseInsensitive) == 0 ||
        !keys.site.contains(QLatin1Char('.')))
        return std::nullopt;
    return keys;
}

}  // namespace ov::shell
