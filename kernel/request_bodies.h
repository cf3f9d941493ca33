// The bodies of the commands the client sends, byte for byte. Texts are code page 936 bytes;
// records are raw OV_USER_INFO bytes. Each function appends one body to the writer.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ov::kernel {

using wire::Writer;

// A record from the bytes of a VARIANT: copied into a zero-filled record, never read past
// the given length (a shorter array leaves the rest zero).
OV_USER_INFO UserInfoFromBytes(std::string_view bytes);

void BodyRegisterUser(Writer& w, const OV_USER_INFO& u);
void BodyLogin(Writer& w, uint32_t pin, std::string_view userName, std::string_view password,
               uint32_t localIp, uint32_t onlineStatus, uint32_t terminalId,
               const uint32_t* components, uint16_t componentCount);
void BodySearchUser(Writer& w, const OV_USER_INFO& u);
void BodyChangePassword(Writer& w, uint32_t pin, std::string_view userName,
                        std::string_view oldPassword, std::string_view newPassword);
void BodyOnlineStatus(Writer& w, uint32_t onlineStatus);
void BodyPutUserInfo(Writer& w, const OV_USER_INFO& u);
void BodyGetUserInfo(Writer& w, uint32_t pin, std::string_view userName);
void BodySearchUser2(Writer& w, const OV_USER_INFO& u, uint32_t online, uint32_t start);
// A count and that many u32 identifiers (ids holds count * 4 little-endian bytes).
void BodyIdList(Writer& w, uint16_t count, std::string_view ids);
// A user (message may be empty: then absent) or a group (message always absent).
void BodyBuddyAdd(Writer& w, uint32_t nodeId, uint32_t parentGroupId, uint32_t mode,
                  std::string_view message, bool isGroup, std::string_view displayName);
void BodyBuddyUpdate(Writer& w, uint32_t nodeId, uint32_t parentGroupId, uint32_t mode,
                     std::string_view displayName);
void BodyBlackListAdd(Writer& w, uint32_t pin, std::string_view userName);
void BodyGroupRef(Writer& w, uint16_t groupType, uint32_t groupId, std::string_view groupName);
void BodyEnterGroup(Writer& w, uint16_t groupType, uint32_t groupId, std::string_view groupName,
                    std::string_view password);
void BodyGroupList(Writer& w, uint16_t groupType, uint32_t start, uint32_t count);
// The three bodies with a payload field return false (nothing usable written) when the
// payload is too long for its 16-bit length.
bool BodySendToUsers(Writer& w, uint32_t msgType, uint32_t componentId, uint32_t componentCode,
                     std::string_view message, uint32_t recipientCount, std::string_view pins);
bool BodySendToGroup(Writer& w, uint32_t msgType, uint32_t componentId, uint32_t componentCode,
                     uint16_t groupType, uint32_t groupId, std::string_view message);
bool BodyRequestPtp(Writer& w, uint32_t pin, uint32_t componentId, uint32_t componentCode,
                    uint32_t myIp, uint16_t myPort, std::string_view message);
void BodyReplyBuddyAuth(Writer& w, uint32_t toPin, uint8_t accept);

}  // namespace ov::kernel
