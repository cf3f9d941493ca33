// Decoding of the bodies of client commands. Every decoder checks each field against what
// remains of the body and fails, leaving the output unspecified, when one does not fit or a
// text is longer than its field. The decoders ignore bytes after the last field; WellFormed
// tells whether a body is exactly what its command defines, before anything is answered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/protocol/wire.h"

namespace ov::server::req {

// 0x101 register, 0x107 put info (which adds the fields from nAge on), and the record part
// of 0x104 / 0x109 searches. Texts are present only with their mask bit.
struct UserFields {
    uint32_t mask = 0;
    uint32_t pin = 0;  // 0x109 only
    std::string userName, password, nickName, firstName, lastName, email;
    uint16_t language = 0;
    uint32_t location = 0;
    uint8_t ageRange = 0, sex = 0, career = 0;
    uint32_t icon = 0, mode = 0;
    uint16_t age = 0, language1 = 0, language2 = 0, language3 = 0;
    std::string email1, email2, phone, mobile, homepage, about;
    bool Has(uint32_t bit) const { return (mask & bit) != 0; }
};
bool DecodeRegister(wire::Reader& r, UserFields* out);
bool DecodePutInfo(wire::Reader& r, UserFields* out);

struct Search {
    UserFields fields;
    uint32_t online = 0;  // 0x109 only
    uint32_t start = 0;   // 0x109 only
};
bool DecodeSearch(wire::Reader& r, Search* out);   // 0x104
bool DecodeSearch2(wire::Reader& r, Search* out);  // 0x109

struct Login {
    uint32_t pin = 0;
    std::string userName, password;
    uint32_t localIp = 0;
    uint16_t clientCode = 0;
    uint32_t status = 0;
    uint32_t terminal = 0;
    std::vector<uint32_t> components;
};
bool DecodeLogin(wire::Reader& r, Login* out);

struct ChangePassword {
    uint32_t pin = 0;
    std::string userName, oldPassword, newPassword;
};
bool DecodeChangePassword(wire::Reader& r, ChangePassword* out);

bool DecodeStatus(wire::Reader& r, uint32_t* status);

struct GetInfo {
    uint32_t mask = 0;
    uint32_t pin = 0;
    std::string userName;
};
bool DecodeGetInfo(wire::Reader& r, GetInfo* out);

// 0x203 (node identifiers) and 0x304 (PINs): u16 count and the u32 values.
bool DecodeIdList(wire::Reader& r, std::vector<uint32_t>* ids);

struct BuddyNodeChange {
    uint32_t id = 0;
    uint32_t parent = 0;
    uint32_t mode = 0;
    std::string message;  // 0x204 only; empty when absent
    std::string displayName;
};
bool DecodeBuddyAdd(wire::Reader& r, BuddyNodeChange* out);     // 0x204
bool DecodeBuddyUpdate(wire::Reader& r, BuddyNodeChange* out);  // 0x205

struct BlackListAdd {
    uint32_t pin = 0;
    std::string userName;
};
bool DecodeBlackListAdd(wire::Reader& r, BlackListAdd* out);

// 0x404, 0x406, 0x407, 0x411; 0x403 adds the password.
struct GroupRef {
    uint16_t type = 0;
    uint32_t id = 0;
    std::string name;
    std::string password;
};
bool DecodeGroupRef(wire::Reader& r, GroupRef* out);
bool DecodeGroupEnter(wire::Reader& r, GroupRef* out);

struct SendToUsers {
    uint32_t msgType = 0;
    uint32_t componentId = 0;
    uint32_t componentCode = 0;
    std::string message;
    std::vector<uint32_t> recipients;
};
// Fails when more than maxRecipients are named.
bool DecodeSendToUsers(wire::Reader& r, SendToUsers* out, size_t maxRecipients);

struct SendToGroup {
    uint32_t msgType = 0;
    uint32_t componentId = 0;
    uint32_t componentCode = 0;
    uint16_t groupType = 0;
    uint32_t groupId = 0;
    std::string message;
};
bool DecodeSendToGroup(wire::Reader& r, SendToGroup* out);

struct PtpRequest {
    uint32_t pin = 0;
    uint32_t componentId = 0;
    uint32_t componentCode = 0;
    uint32_t ip = 0;
    uint16_t port = 0;
    std::string message;
};
bool DecodePtpRequest(wire::Reader& r, PtpRequest* out);

struct BuddyAuthReply {
    uint32_t requesterPin = 0;
    uint8_t accept = 0;
};
bool DecodeBuddyAuthReply(wire::Reader& r, BuddyAuthReply* out);

// True when body decodes as the command's body with no byte left over (commands without a
// body: empty). Unknown commands are not well formed.
bool WellFormed(uint16_t command, const wire::Reader& body, size_t maxRecipients);

}  // namespace ov::server::req
