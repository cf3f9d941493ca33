#include "kernel/request_bodies.h"

#include <algorithm>
#include <cstring>

namespace ov::kernel {

namespace {
bool Has(const OV_USER_INFO& u, uint32_t bit) {
    return (u.nMask & bit) != 0;
}

// The text fields and numbers that register, search and put-info share.
void NamesAndEmail(Writer& w, const OV_USER_INFO& u, bool withPassword) {
    w.RecordText(u.sUserName, sizeof u.sUserName, Has(u, OV_UFLD_USERNAME));
    if (withPassword)
        w.RecordText(u.sPassword, sizeof u.sPassword, Has(u, OV_UFLD_PASSWORD));
    w.RecordText(u.sNickName, sizeof u.sNickName, Has(u, OV_UFLD_NICKNAME));
    w.RecordText(u.sFirstName, sizeof u.sFirstName, Has(u, OV_UFLD_FIRSTNAME));
    w.RecordText(u.sLastName, sizeof u.sLastName, Has(u, OV_UFLD_LASTNAME));
    w.RecordText(u.sEMail, sizeof u.sEMail, Has(u, OV_UFLD_EMAIL));
}

void LanguageToCareer(Writer& w, const OV_USER_INFO& u) {
    w.U16(u.nLanguage);
    w.U32(u.nLocation);
    w.U8(u.nAgeRange);
    w.U8(u.nSex);
    w.U8(u.nCareer);
}
}  // namespace

OV_USER_INFO UserInfoFromBytes(std::string_view bytes) {
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    std::memcpy(&u, bytes.data(), std::min(bytes.size(), sizeof u));
    return u;
}

void BodyRegisterUser(Writer& w, const OV_USER_INFO& u) {
    w.U32(u.nMask);
    NamesAndEmail(w, u, true);
    LanguageToCareer(w, u);
    w.U32(u.nIcon);
    w.U32(u.nMode);
}

void BodyLogin(Writer& w, uint32_t pin, std::string_view userName, std::string_view password,
               uint32_t localIp, uint32_t onlineStatus, uint32_t terminalId,
               const uint32_t* components, uint16_t componentCount) {
    w.U32(pin);
    w.Text(userName, OV_USERNAME_SIZE);
    w.Text(password, OV_PASSWORD_SIZE);
    w.U32(localIp);
    w.U16(OV_CLIENT_CODE);
    w.U32(onlineStatus);
    w.U32(terminalId);
    w.U16(componentCount);
    for (uint16_t i = 0; i < componentCount; ++i)
        w.U32(components[i]);
}

void BodySearchUser(Writer& w, const OV_USER_INFO& u) {
    w.U32(u.nMask);
    NamesAndEmail(w, u, false);
    LanguageToCareer(w, u);
}

void BodyChangePassword(Writer& w, uint32_t pin, std::string_view userName,
                        std::string_view oldPassword, std::string_view newPassword) {
    w.U32(pin);
    w.Text(userName, OV_USERNAME_SIZE);
    w.Text(oldPassword, OV_PASSWORD_SIZE);
    w.Text(newPassword, OV_PASSWORD_SIZE);
}

void BodyOnlineStatus(Writer& w, uint32_t onlineStatus) {
    w.U32(onlineStatus);
}

void BodyPutUserInfo(Writer& w, const OV_USER_INFO& u) {
    w.U32(u.nMask);
    NamesAndEmail(w, u, false);
    LanguageToCareer(w, u);
    w.U32(u.nIcon);
    w.U32(u.nMode);
    w.U16(u.nAge);
    w.U16(u.nLanguage1);
    w.U16(u.nLanguage2);
    w.U16(u.nLanguage3);
    w.RecordText(u.sEMail1, sizeof u.sEMail1, Has(u, OV_UFLD_EMAIL1));
    w.RecordText(u.sEMail2, sizeof u.sEMail2, Has(u, OV_UFLD_EMAIL2));
    w.RecordText(u.sPhone, sizeof u.sPhone, Has(u, OV_UFLD_PHONE));
    w.RecordText(u.sMobile, sizeof u.sMobile, Has(u, OV_UFLD_MOBILE));
    w.RecordText(u.sHomepage, sizeof u.sHomepage, Has(u, OV_UFLD_HOMEPAGE));
    w.RecordText(u.sAbout, sizeof u.sAbout, Has(u, OV_UFLD_ABOUT));
}

void BodyGetUserInfo(Writer& w, uint32_t pin, std::string_view userName) {
    w.U32(0xFFFFFFFF);
    w.U32(pin);
    w.Text(userName, OV_USERNAME_SIZE);
}

void BodySearchUser2(Writer& w, const OV_USER_INFO& u, uint32_t online, uint32_t start) {
    w.U32(u.nMask);
    w.U32(u.nPin);
    NamesAndEmail(w, u, false);
    LanguageToCareer(w, u);
    w.U32(online);
    w.U32(start);
}

void BodyIdList(Writer& w, uint16_t count, std::string_view ids) {
    w.U16(count);
    w.Raw(ids);
}

void BodyBuddyAdd(Writer& w, uint32_t nodeId, uint32_t parentGroupId, uint32_t mode,
                  std::string_view message, bool isGroup, std::string_view displayName) {
    w.U32(nodeId);
    w.U32(parentGroupId);
    w.U32(mode);
    if (isGroup || message.empty())
        w.AbsentText();
    else
        w.Text(message, OV_MSG_SIZE);
    w.Text(displayName, OV_DISPLAYNAME_SIZE);
}

void BodyBuddyUpdate(Writer& w, uint32_t nodeId, uint32_t parentGroupId, uint32_t mode,
                     std::string_view displayName) {
    w.U32(nodeId);
    w.U32(parentGroupId);
    w.U32(mode);
    w.Text(displayName, OV_DISPLAYNAME_SIZE);
}

void BodyBlackListAdd(Writer& w, uint32_t pin, std::string_view userName) {
    w.U32(pin);
    w.Text(userName, OV_USERNAME_SIZE);
}

void BodyGroupRef(Writer& w, uint16_t groupType, uint32_t groupId, std::string_view groupName) {
    w.U16(groupType);
    w.U32(groupId);
    w.Text(groupName, OV_G_NAME_SIZE);
}

void BodyEnterGroup(Writer& w, uint16_t groupType, uint32_t groupId, std::string_view groupName,
                    std::string_view password) {
    BodyGroupRef(w, groupType, groupId, groupName);
    w.Text(password, OV_G_PASSWD_SIZE);
}

void BodyGroupList(Writer& w, uint16_t groupType, uint32_t start, uint32_t count) {
    w.U16(groupType);
    w.U32(start);
    w.U32(count);
}

bool BodySendToUsers(Writer& w, uint32_t msgType, uint32_t componentId, uint32_t componentCode,
                     std::string_view message, uint32_t recipientCount, std::string_view pins) {
    w.U32(msgType);
    w.U32(componentId);
    w.U32(componentCode);
    if (!w.Payload(message))
        return false;
    w.U32(recipientCount);
    w.Raw(pins);
    return true;
}

bool BodySendToGroup(Writer& w, uint32_t msgType, uint32_t componentId, uint32_t componentCode,
                     uint16_t groupType, uint32_t groupId, std::string_view message) {
    w.U32(msgType);
    w.U32(componentId);
    w.U32(componentCode);
    w.U16(groupType);
    w.U32(groupId);
    return w.Payload(message);
}

bool BodyRequestPtp(Writer& w, uint32_t pin, uint32_t componentId, uint32_t componentCode,
                    uint32_t myIp, uint16_t myPort, std::string_view message) {
    w.U32(pin);
    w.U32(componentId);
    w.U32(componentCode);
    w.U32(myIp);
    w.U16(myPort);
    return w.Payload(message);
}

void BodyReplyBuddyAuth(Writer& w, uint32_t toPin, uint8_t accept) {
    w.U32(toPin);
    w.U8(accept);
}

}  // namespace ov::kernel
