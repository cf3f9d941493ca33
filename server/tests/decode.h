// Reading the server's bodies the way the client's kernel reads them: lengths checked,
// text fields no longer than their destination. A body that fails here would be dropped
// by a real client.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ovt::decode {

struct Login {
    uint16_t error;
    uint32_t terminal, pin, loginId, realIp;
};
std::optional<Login> LoginReply(const std::string& body);  // exactly 18 bytes

struct Registered {
    uint16_t error;
    uint32_t pin;
    std::string name;
};
std::optional<Registered> RegisterReply(const std::string& body);

// u16 error then exactly a u32 (0x105, 0x107, 0x204, 0x205).
std::optional<std::pair<uint16_t, uint32_t>> ErrorAndId(const std::string& body);
// Exactly a u16 error (0x501, 0x502, 0x503).
std::optional<uint16_t> ErrorOnly(const std::string& body);

struct Entry {  // one user of a list, whichever list it came from
    uint32_t pin = 0;
    std::string userName, nickName;
    uint32_t location = 0, icon = 0, mode = 0, status = 0;
    uint8_t ageRange = 0, sex = 0;
};
struct UserList {
    uint16_t error = 0;
    uint16_t more = 0;   // 0x109
    uint16_t total = 0;  // parts
    uint16_t flag = 0;   // parts
    std::vector<Entry> users;
};
std::optional<UserList> SearchReply(const std::string& body);      // 0x104
std::optional<UserList> Search2Reply(const std::string& body);     // 0x109
std::optional<UserList> BlackListReply(const std::string& body);   // 0x301
std::optional<UserList> BlackList2Reply(const std::string& body);  // 0x302

struct Node {
    uint32_t id, parent, mode;
    std::string display, userName, nickName;
    uint32_t icon;
    uint8_t ageRange, sex;
    uint32_t status;
};
struct Tree {
    uint16_t error = 0, total = 0, flag = 0;
    std::vector<Node> nodes;
};
std::optional<Tree> BuddyReply(const std::string& body);   // 0x201
std::optional<Tree> Buddy2Reply(const std::string& body);  // 0x202

std::optional<OV_USER_INFO> UserInfoReply(const std::string& body, uint16_t* error);  // 0x108

struct Roster {
    uint16_t error = 0, type = 0;
    uint32_t id = 0;
    uint32_t online = 0;
    uint16_t flag = 0;
    std::vector<Entry> users;
};
std::optional<Roster> EnterReply(const std::string& body);  // 0x403, exactly 16 (mode in flag)
std::optional<Roster> ListReply(const std::string& body);   // 0x406
std::optional<Roster> List2Reply(const std::string& body);  // 0x411
std::optional<Roster> CountReply(const std::string& body);  // 0x407, exactly 12
std::optional<Roster> UserEnter(const std::string& body);   // 0x701: one user

struct Message {
    uint32_t from;
    uint16_t groupType;
    uint32_t to;
    uint32_t component, code;
    std::string text;
    uint32_t sent;
};
std::optional<Message> MessageNotice(const std::string& body);  // 0x801

struct Requester {
    Entry user;
    std::string message;   // 0x601
    uint8_t accepted = 0;  // 0x602
};
std::optional<Requester> BuddyRequest(const std::string& body);  // 0x601
std::optional<Requester> BuddyAnswer(const std::string& body);   // 0x602

// Exactly 8 bytes: PIN and status (0x603, 0x707).
std::optional<std::pair<uint32_t, uint32_t>> Status(const std::string& body);
// Exactly 10 bytes: type, group ID, a u32 (0x702 PIN, 0x706 count).
struct GroupValue {
    uint16_t type;
    uint32_t id, value;
};
std::optional<GroupValue> GroupU32(const std::string& body);

struct PtpNotice {
    uint32_t from;
    std::string userName, nickName;
    uint32_t component, code, ip;
    uint16_t port;
    std::string message;
};
std::optional<PtpNotice> Ptp(const std::string& body);  // 0x802

struct ServerList {
    uint16_t error;
    std::vector<std::pair<std::string, uint16_t>> servers;
};
std::optional<ServerList> Handshake(const std::string& body);

// The add-buddy notice text: "%d %s %u %d %d %u %u:%s".
struct Notice {
    int pin;
    std::string userName;
    unsigned icon;
    int ageRange, sex;
    unsigned mode, status;
    std::string nickName;
};
std::optional<Notice> AddBuddyNotice(const std::string& text);

}  // namespace ovt::decode

namespace ovt::decode {
// Whether a client would accept this body of a server datagram with this packet code
// (an unknown code counts as unreadable).
bool Readable(uint16_t command, const std::string& body);
}  // namespace ovt::decode
