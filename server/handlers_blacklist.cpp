// Black lists: whom a user refuses messages and buddy requests from.
#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

namespace {
constexpr size_t kBlackListPart = 12;  // entries per 0x302 part
}

std::vector<std::string> ServerCore::BlackListEntries(uint32_t owner) {
    std::vector<uint32_t> pins = store_.BlackList(owner);
    if (pins.size() > config_.maxBlackList)
        pins.resize(config_.maxBlackList);
    std::vector<std::string> entries;
    entries.reserve(pins.size());
    for (uint32_t pin : pins) {
        wire::Writer w;
        reply::BlackListEntry(w, ProfileOf(pin));
        entries.push_back(std::move(w.Bytes()));
    }
    return entries;
}

void ServerCore::OnBlackListGet(Request& r) {
    std::vector<std::string> entries = BlackListEntries(r.session->pin);
    std::string joined;
    for (const auto& e : entries)
        joined += e;
    Reply(r, reply::List(OV_ERR_NONE, static_cast<uint16_t>(entries.size()), joined));
}

void ServerCore::OnBlackListGet2(Request& r) {
    std::vector<std::string> entries = BlackListEntries(r.session->pin);
    auto total = static_cast<uint16_t>(entries.size());
    ReplyInParts(r, entries, kBlackListPart,
                 [&](uint16_t flag, uint16_t count, const std::string& e) {
                     return reply::ListPart(OV_ERR_NONE, total, flag, count, e);
                 });
}

void ServerCore::OnBlackListAdd(Request& r) {
    req::BlackListAdd a;
    if (!req::DecodeBlackListAdd(r.body, &a))
        return Malformed(r);
    uint32_t owner = r.session->pin;
    std::optional<UserRecord> user =
        a.pin != 0 ? store_.FindUser(a.pin) : store_.FindUserByName(a.userName);
    // No reply exists for this command; what cannot be done is only logged.
    if (!user || user->pin == owner) {
        log_.Printf("PIN %u: black list entry %u (%s) refused: no such other user", owner, a.pin,
                    a.userName.c_str());
        return;
    }
    if (!store_.IsBlackListed(owner, user->pin) &&
        store_.BlackListCount(owner) >= config_.maxBlackList) {
        log_.Printf("PIN %u: black list is full", owner);
        return;
    }
    store_.AddToBlackList(owner, user->pin);
}

void ServerCore::OnBlackListDelete(Request& r) {
    std::vector<uint32_t> pins;
    if (!req::DecodeIdList(r.body, &pins))
        return Malformed(r);
    for (uint32_t pin : pins)
        store_.RemoveFromBlackList(r.session->pin, pin);
}

}  // namespace ov::server
