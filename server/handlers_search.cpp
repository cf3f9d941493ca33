// The user directory: 0x104 (one list) and 0x109 (pages of 20, optionally online users only).
#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

namespace {

constexpr size_t kSearchCap = 100;  // the most one 0x104 reply carries
constexpr size_t kPageSize = 20;

constexpr uint32_t kCriteria = OV_UFLD_PIN | OV_UFLD_USERNAME | OV_UFLD_NICKNAME |
                               OV_UFLD_FIRSTNAME | OV_UFLD_LASTNAME | OV_UFLD_EMAIL |
                               OV_UFLD_LANGUAGE | OV_UFLD_LOCATION | OV_UFLD_AGERANGE |
                               OV_UFLD_SEX | OV_UFLD_CAREER;

// The request's fields as a query; an empty text criterion is no criterion.
SearchQuery ToQuery(const req::UserFields& f, bool withPin, uint32_t viewer) {
    SearchQuery q;
    q.viewer = viewer;
    q.mask = f.mask & kCriteria;
    if (!withPin)
        q.mask &= ~uint32_t{OV_UFLD_PIN};
    q.pin = f.pin;
    q.userName = f.userName;
    q.nickName = f.nickName;
    q.firstName = f.firstName;
    q.lastName = f.lastName;
    q.email = f.email;
    q.language = f.language;
    q.location = f.location;
    q.ageRange = f.ageRange;
    q.sex = f.sex;
    q.career = f.career;
    if (q.userName.empty())
        q.mask &= ~uint32_t{OV_UFLD_USERNAME};
    if (q.nickName.empty())
        q.mask &= ~uint32_t{OV_UFLD_NICKNAME};
    if (q.firstName.empty())
        q.mask &= ~uint32_t{OV_UFLD_FIRSTNAME};
    if (q.lastName.empty())
        q.mask &= ~uint32_t{OV_UFLD_LASTNAME};
    if (q.email.empty())
        q.mask &= ~uint32_t{OV_UFLD_EMAIL};
    return q;
}

}  // namespace

void ServerCore::OnSearch(Request& r) {
    req::Search s;
    if (!req::DecodeSearch(r.body, &s))
        return Malformed(r);
    bool more = false;
    std::vector<uint32_t> pins =
        store_.Search(ToQuery(s.fields, false, r.session->pin), 0, kSearchCap, &more);
    if (pins.empty())
        return Reply(r, reply::List(OV_ERR_NO_MATCH, 0, {}));
    wire::Writer w;
    for (uint32_t pin : pins)
        reply::SearchEntry(w, ProfileOf(pin));
    Reply(r, reply::List(OV_ERR_NONE, static_cast<uint16_t>(pins.size()), w.Bytes()));
}

void ServerCore::OnSearch2(Request& r) {
    req::Search s;
    if (!req::DecodeSearch2(r.body, &s))
        return Malformed(r);
    SearchQuery q = ToQuery(s.fields, true, r.session->pin);
    bool more = false;
    std::vector<uint32_t> pins = s.online != 0 ? SearchOnline(q, s.start, kPageSize, &more)
                                               : store_.Search(q, s.start, kPageSize, &more);
    if (pins.empty())
        return Reply(r, reply::Search2(OV_ERR_NO_MATCH, false, 0, {}));
    wire::Writer w;
    for (uint32_t pin : pins)
        reply::Search2Entry(w, ProfileOf(pin), VisibleStatusOf(pin));
    Reply(r, reply::Search2(OV_ERR_NONE, more, static_cast<uint16_t>(pins.size()), w.Bytes()));
}

std::vector<uint32_t> ServerCore::SearchOnline(const SearchQuery& q, size_t start, size_t limit,
                                               bool* more) {
    std::vector<uint32_t> page;
    size_t matched = 0;
    *more = false;
    for (const auto& [pin, session] : sessions_.All()) {
        // Invisible users are not listed as online.
        if (session.VisibleStatus() == OV_ONLINE_STATUS_OFFLINE)
            continue;
        if (q.mask != 0) {
            SearchQuery one = q;
            if ((one.mask & OV_UFLD_PIN) && one.pin != pin)
                continue;
            one.mask |= OV_UFLD_PIN;
            one.pin = pin;
            bool ignored = false;
            if (store_.Search(one, 0, 1, &ignored).empty())
                continue;
        }
        if (matched++ < start)
            continue;
        if (page.size() == limit) {
            *more = true;
            break;
        }
        page.push_back(pin);
    }
    return page;
}

}  // namespace ov::server
