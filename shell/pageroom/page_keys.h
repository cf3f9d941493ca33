// Which web addresses put a tab into Pageroom groups, and the groups' names: the site key
// (the host, with a first path segment that starts with "~", a personal home directory on a
// shared host) and the page key (the address without its scheme). "http://" and "https://"
// addresses qualify (the scheme in any case), so the two forms of one page meet in one group;
// the keys keep the address's own case.
//
//   if (std::optional<PageKeys> k = PageKeysOf(url)) join(k->site, k->page); else leave();
#pragma once

#include <QString>
#include <optional>

namespace ov::shell {

struct PageKeys {
    QString site;
    QString page;
    friend bool operator==(const PageKeys&, const PageKeys&) = default;
};

// Nothing for an address that does not qualify: shorter than 10 characters, another scheme,
// the host 127.0.0.1, or a site key without a dot.
std::optional<PageKeys> PageKeysOf(const QString& address);

}  // namespace ov::shell
