#include "server/replies.h"

#include <cstdio>

#include "common/protocol/vocabulary.h"

namespace ov::server::reply {

using wire::Writer;

std::optional<std::string> ErrorOnly(uint16_t command, uint16_t error) {
    Writer w;
    w.U16(error);
    // Zeros after the error, as many as the client's reader wants at least (or exactly).
    size_t zeros = 0;
    switch (command) {
        case OV_CCMD_HANDSHACK_SERVER:
            zeros = 2;
            break;
        case OV_CCMD_USR_REGISTER:
            zeros = 6;
            break;  // PIN and an absent name
        case OV_CCMD_USR_LOGIN:
            zeros = 16;
            break;
        case OV_CCMD_USR_SEARCH:
            zeros = 2;
            break;
        case OV_CCMD_USR_PASSWORD:
        case OV_CCMD_USR_PUT_INFO:
            zeros = 4;
            break;
        case OV_CCMD_USR_GET_INFO:
            zeros = 0;
            break;
        case OV_CCMD_USR_SEARCH2:
            zeros = 4;
            break;
        case OV_CCMD_BUDDY_GET_LST:
            zeros = 2;
            break;
        case OV_CCMD_BUDDY_ADD:
        case OV_CCMD_BUDDY_UPD:
            zeros = 4;
            break;
        case OV_CCMD_BLACKLST_GET:
            zeros = 2;
            break;
        case OV_CCMD_BUDDY_GET_LST2:
        case OV_CCMD_BLACKLST_GET2:
            w.U16(0);
            w.U16(static_cast<uint16_t>(OV_LISTFLAG_BAD));
            w.U16(0);
            return w.Bytes();
        case OV_CCMD_GRP_USR_ENTER:
            zeros = 14;
            break;
        case OV_CCMD_GRP_GET_OUSR_LIST:
            zeros = 10;
            break;
        case OV_CCMD_GRP_GET_OUSR_CNT:
            zeros = 10;
            break;
        case OV_CCMD_GRP_GET_OUSR_LIST2:
            w.U16(0);  // type
            w.U32(0);  // ID
            w.U16(0);  // online
            w.U16(static_cast<uint16_t>(OV_LISTFLAG_BAD));
            w.U16(0);
            return w.Bytes();
        case OV_CCMD_SENDTO_USR:
        case OV_CCMD_SENDTO_GRP:
        case OV_CCMD_REQUEST_PTP:
            zeros = 0;
            break;
        case OV_CCMD_ONLINE_STAT:
            zeros = 8;
            break;
        default:
            return std::nullopt;
    }
    w.Raw(std::string(zeros, '\0'));
    return w.Bytes();
}

std::string Handshake(const std::vector<ServerAddress>& servers) {
    Writer w;
    w.U16(OV_ERR_NONE);
    w.U16(static_cast<uint16_t>(servers.size()));
    for (const auto& s : servers) {
        w.Text(s.host, OV_SERVER_ADDR_SIZE);
        w.U16(s.port);
    }
    return w.Bytes();
}

std::string Register(uint16_t error, uint32_t pin, std::string_view userName) {
    Writer w;
    w.U16(error);
    w.U32(pin);
    if (error == OV_ERR_NONE) {
        w.Text(userName, OV_USERNAME_SIZE);
    } else {
        w.AbsentText();
    }
    return w.Bytes();
}

std::string Login(uint16_t error, uint32_t terminal, uint32_t pin, uint32_t loginId,
                  uint32_t realIp) {
    Writer w;
    w.U16(error);
    w.U32(terminal);
    w.U32(pin);
    w.U32(loginId);
    w.U32(realIp);
    return w.Bytes();
}

std::string ErrorAndId(uint16_t error, uint32_t id) {
    Writer w;
    w.U16(error);
    w.U32(id);
    return w.Bytes();
}

std::string OnlineStat(uint16_t error, uint32_t online, uint32_t mostOnline) {
    Writer w;
    w.U16(error);
    w.U32(online);
    w.U32(mostOnline);
    return w.Bytes();
}

namespace {
void MaskedText(Writer& w, const std::string& text, size_t size, uint32_t mask, uint32_t bit) {
    if (mask & bit) {
        w.Text(text, size);
    } else {
        w.AbsentText();
    }
}
}  // namespace

std::string UserInfo(uint16_t error, const UserRecord& u, uint32_t mask) {
    Writer w;
    w.U16(error);
    w.U32(u.pin);
    w.U32(mask);
    MaskedText(w, u.userName, OV_USERNAME_SIZE, mask, OV_UFLD_USERNAME);
    MaskedText(w, u.nickName, OV_NICKNAME_SIZE, mask, OV_UFLD_NICKNAME);
    MaskedText(w, u.firstName, OV_FIRSTNAME_SIZE, mask, OV_UFLD_FIRSTNAME);
    MaskedText(w, u.lastName, OV_LASTNAME_SIZE, mask, OV_UFLD_LASTNAME);
    MaskedText(w, u.email, OV_EMAIL_SIZE, mask, OV_UFLD_EMAIL);
    auto num = [&](uint32_t bit, uint32_t value) { return (mask & bit) ? value : 0; };
    w.U16(static_cast<uint16_t>(num(OV_UFLD_LANGUAGE, u.language)));
    w.U32(num(OV_UFLD_LOCATION, u.location));
    w.U8(static_cast<uint8_t>(num(OV_UFLD_AGERANGE, u.ageRange)));
    w.U8(static_cast<uint8_t>(num(OV_UFLD_SEX, u.sex)));
    w.U8(static_cast<uint8_t>(num(OV_UFLD_CAREER, u.career)));
    w.U32(num(OV_UFLD_ICON, u.icon));
    w.U32(num(OV_UFLD_MODE, u.mode));
    w.U16(static_cast<uint16_t>(num(OV_UFLD_AGE, u.age)));
    w.U16(static_cast<uint16_t>(num(OV_UFLD_LANGUAGE1, u.language1)));
    w.U16(static_cast<uint16_t>(num(OV_UFLD_LANGUAGE2, u.language2)));
    w.U16(static_cast<uint16_t>(num(OV_UFLD_LANGUAGE3, u.language3)));
    MaskedText(w, u.email1, OV_EMAIL_SIZE, mask, OV_UFLD_EMAIL1);
    MaskedText(w, u.email2, OV_EMAIL_SIZE, mask, OV_UFLD_EMAIL2);
    MaskedText(w, u.phone, OV_PHONE_SIZE, mask, OV_UFLD_PHONE);
    MaskedText(w, u.mobile, OV_MOBILE_SIZE, mask, OV_UFLD_MOBILE);
    MaskedText(w, u.homepage, OV_HOMEPAGE_SIZE, mask, OV_UFLD_HOMEPAGE);
    MaskedText(w, u.about, OV_ABOUT_SIZE, mask, OV_UFLD_ABOUT);
    return w.Bytes();
}

void SearchEntry(Writer& w, const PublicProfile& p) {
    w.U32(p.pin);
    w.Text(p.userName, OV_USERNAME_SIZE);
    w.Text(p.nickName, OV_NICKNAME_SIZE);
    w.U32(p.location);
    w.U8(p.ageRange);
    w.U8(p.sex);
    w.U32(p.icon);
    w.U32(p.mode);
}

void Search2Entry(Writer& w, const PublicProfile& p, uint32_t status) {
    SearchEntry(w, p);
    w.U32(status);
}

void BlackListEntry(Writer& w, const PublicProfile& p) {
    w.U32(p.pin);
    w.Text(p.userName, OV_USERNAME_SIZE);
    w.Text(p.nickName, OV_NICKNAME_SIZE);
    w.U32(p.icon);
    w.U8(p.ageRange);
    w.U8(p.sex);
}

void GroupUserEntry(Writer& w, const PublicProfile& p, uint32_t status) {
    BlackListEntry(w, p);
    w.U32(p.mode);
    w.U32(status);
}

void BuddyEntry(Writer& w, const BuddyNode& node, const PublicProfile* buddy, uint32_t status) {
    w.U32(node.id);
    w.U32(node.parent);
    w.U32(node.mode);
    w.Text(node.displayName, OV_DISPLAYNAME_SIZE);
    if (buddy) {
        w.Text(buddy->userName, OV_USERNAME_SIZE);
        w.Text(buddy->nickName, OV_NICKNAME_SIZE);
        w.U32(buddy->icon);
        w.U8(buddy->ageRange);
        w.U8(buddy->sex);
    } else {
        w.AbsentText();
        w.AbsentText();
        w.U32(0);
        w.U8(0);
        w.U8(0);
    }
    w.U32(status);
}

std::string List(uint16_t error, uint16_t count, std::string_view entries) {
    Writer w;
    w.U16(error);
    w.U16(count);
    w.Raw(entries);
    return w.Bytes();
}

std::string ListPart(uint16_t error, uint16_t total, uint16_t flag, uint16_t count,
                     std::string_view entries) {
    Writer w;
    w.U16(error);
    w.U16(total);
    w.U16(flag);
    w.U16(count);
    w.Raw(entries);
    return w.Bytes();
}

std::string Search2(uint16_t error, bool more, uint16_t count, std::string_view entries) {
    Writer w;
    w.U16(error);
    w.U16(more ? 1 : 0);
    w.U16(count);
    w.Raw(entries);
    return w.Bytes();
}

std::string EnterGroup(uint16_t error, uint16_t type, uint32_t id, uint32_t online, uint32_t mode) {
    Writer w;
    w.U16(error);
    w.U16(type);
    w.U32(id);
    w.U32(online);
    w.U32(mode);
    return w.Bytes();
}

std::string GroupCount(uint16_t error, uint16_t type, uint32_t id, uint32_t online) {
    Writer w;
    w.U16(error);
    w.U16(type);
    w.U32(id);
    w.U32(online);
    return w.Bytes();
}

std::string GroupList(uint16_t error, uint16_t type, uint32_t id, uint16_t online, uint16_t count,
                      std::string_view entries) {
    Writer w;
    w.U16(error);
    w.U16(type);
    w.U32(id);
    w.U16(online);
    w.U16(count);
    w.Raw(entries);
    return w.Bytes();
}

std::string GroupListPart(uint16_t error, uint16_t type, uint32_t id, uint16_t online,
                          uint16_t flag, uint16_t count, std::string_view entries) {
    Writer w;
    w.U16(error);
    w.U16(type);
    w.U32(id);
    w.U16(online);
    w.U16(flag);
    w.U16(count);
    w.Raw(entries);
    return w.Bytes();
}

std::string Message(uint32_t fromPin, uint16_t groupType, uint32_t toId, uint32_t componentId,
                    uint32_t componentCode, std::string_view text, uint32_t sentTime) {
    Writer w;
    w.U32(fromPin);
    w.U16(groupType);
    w.U32(toId);
    w.U32(componentId);
    w.U32(componentCode);
    w.Text(text, OV_MSG_SIZE);
    w.U32(sentTime);
    return w.Bytes();
}

std::string AddBuddyNoticeText(const PublicProfile& p, uint32_t status) {
    // Read back with "%d %s %u %d %d %u %u" and the nick name after the first colon. A user
    // name never holds a space (registration allows none), so the fields stay apart.
    char head[160];
    std::snprintf(head, sizeof head, "%d %s %u %d %d %u %u:", static_cast<int>(p.pin),
                  p.userName.empty() ? "-" : p.userName.c_str(), p.icon, p.ageRange, p.sex, p.mode,
                  status);
    return std::string(head) + p.nickName;
}

std::string AddBuddyRequest(const PublicProfile& from, std::string_view message) {
    Writer w;
    w.U32(from.pin);
    w.Text(from.userName, OV_USERNAME_SIZE);
    w.Text(from.nickName, OV_NICKNAME_SIZE);
    w.U32(from.icon);
    w.U8(from.ageRange);
    w.U8(from.sex);
    w.Text(message, OV_MSG_SIZE);
    return w.Bytes();
}

std::string AddBuddyAnswer(const PublicProfile& from, bool accepted) {
    Writer w;
    w.U32(from.pin);
    w.Text(from.userName, OV_USERNAME_SIZE);
    w.Text(from.nickName, OV_NICKNAME_SIZE);
    w.U32(from.icon);
    w.U8(from.ageRange);
    w.U8(from.sex);
    w.U8(accepted ? 1 : 0);
    return w.Bytes();
}

std::string StatusChange(uint32_t pin, uint32_t status) {
    Writer w;
    w.U32(pin);
    w.U32(status);
    return w.Bytes();
}

std::string GroupUserEnter(uint16_t type, uint32_t id, const PublicProfile& p, uint32_t status) {
    Writer w;
    w.U16(type);
    w.U32(id);
    GroupUserEntry(w, p, status);
    return w.Bytes();
}

std::string GroupUserLeave(uint16_t type, uint32_t id, uint32_t pin) {
    Writer w;
    w.U16(type);
    w.U32(id);
    w.U32(pin);
    return w.Bytes();
}

std::string GroupOnlineCount(uint16_t type, uint32_t id, uint32_t online) {
    Writer w;
    w.U16(type);
    w.U32(id);
    w.U32(online);
    return w.Bytes();
}

std::string PtpRequest(const PublicProfile& from, uint32_t componentId, uint32_t componentCode,
                       uint32_t ip, uint16_t port, std::string_view message) {
    Writer w;
    w.U32(from.pin);
    w.Text(from.userName, OV_USERNAME_SIZE);
    w.Text(from.nickName, OV_NICKNAME_SIZE);
    w.U32(componentId);
    w.U32(componentCode);
    w.U32(ip);
    w.U16(port);
    w.Text(message, OV_MSG_SIZE);
    return w.Bytes();
}

}  // namespace ov::server::reply
