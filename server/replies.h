// Encoding of the bodies the server sends: replies (after the 10-byte header that carries the
// request's nCmdSeqNum) and notifications, laid out exactly as the client reads them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/protocol/wire.h"
#include "server/profile.h"
#include "server/store.h"

namespace ov::server::reply {

// The body that answers `command` with nothing but an error, of the length the client
// requires; nullopt for commands the client expects no reply to.
std::optional<std::string> ErrorOnly(uint16_t command, uint16_t error);

struct ServerAddress {
    std::string host;
    uint16_t port = 0;
};
std::string Handshake(const std::vector<ServerAddress>& servers);
std::string Register(uint16_t error, uint32_t pin, std::string_view userName);
std::string Login(uint16_t error, uint32_t terminal, uint32_t pin, uint32_t loginId,
                  uint32_t realIp);
// 0x105, 0x107, 0x204, 0x205: u16 error and a u32.
std::string ErrorAndId(uint16_t error, uint32_t id);
std::string OnlineStat(uint16_t error, uint32_t online, uint32_t mostOnline);

// The full user entry of 0x108; fields whose bit is clear in mask go out empty.
std::string UserInfo(uint16_t error, const UserRecord& user, uint32_t mask);

// List entries, appended to a writer.
void SearchEntry(wire::Writer& w, const PublicProfile& p);
void Search2Entry(wire::Writer& w, const PublicProfile& p, uint32_t status);
void BlackListEntry(wire::Writer& w, const PublicProfile& p);
void GroupUserEntry(wire::Writer& w, const PublicProfile& p, uint32_t status);
// A user node carries the buddy's public fields and status; a group node only its own.
void BuddyEntry(wire::Writer& w, const BuddyNode& node, const PublicProfile* buddy,
                uint32_t status);

// Lists: entries already encoded back to back.
std::string List(uint16_t error, uint16_t count, std::string_view entries);  // 0x104/0x201/0x301
std::string ListPart(uint16_t error, uint16_t total, uint16_t flag, uint16_t count,
                     std::string_view entries);  // 0x202, 0x302
std::string Search2(uint16_t error, bool more, uint16_t count, std::string_view entries);

std::string EnterGroup(uint16_t error, uint16_t type, uint32_t id, uint32_t online, uint32_t mode);
std::string GroupCount(uint16_t error, uint16_t type, uint32_t id, uint32_t online);
std::string GroupList(uint16_t error, uint16_t type, uint32_t id, uint16_t online, uint16_t count,
                      std::string_view entries);  // 0x406
std::string GroupListPart(uint16_t error, uint16_t type, uint32_t id, uint16_t online,
                          uint16_t flag, uint16_t count, std::string_view entries);  // 0x411

// Notifications.
std::string Message(uint32_t fromPin, uint16_t groupType, uint32_t toId, uint32_t componentId,
                    uint32_t componentCode, std::string_view text, uint32_t sentTime);  // 0x801
// The text of the add-buddy notice that travels in a system message (component 0x10000000).
std::string AddBuddyNoticeText(const PublicProfile& p, uint32_t status);
std::string AddBuddyRequest(const PublicProfile& from, std::string_view message);  // 0x601
std::string AddBuddyAnswer(const PublicProfile& from, bool accepted);              // 0x602
std::string StatusChange(uint32_t pin, uint32_t status);                           // 0x603, 0x707
std::string GroupUserEnter(uint16_t type, uint32_t id, const PublicProfile& p,
                           uint32_t status);                                // 0x701
std::string GroupUserLeave(uint16_t type, uint32_t id, uint32_t pin);       // 0x702
std::string GroupOnlineCount(uint16_t type, uint32_t id, uint32_t online);  // 0x706
std::string PtpRequest(const PublicProfile& from, uint32_t componentId, uint32_t componentCode,
                       uint32_t ip, uint16_t port, std::string_view message);  // 0x802

}  // namespace ov::server::reply
