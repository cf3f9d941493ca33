#include "server/requests.h"

#include "common/protocol/vocabulary.h"

namespace ov::server::req {

namespace {

// A text that is present only with its bit; an absent one arrives as length 0 anyway, so
// the bit decides only whether the value counts.
bool MaskedText(wire::Reader& r, std::string* out, size_t size, const UserFields& f, uint32_t bit) {
    if (!r.Text(out, size))
        return false;
    if (!f.Has(bit))
        out->clear();
    return true;
}

bool CommonUserHead(wire::Reader& r, UserFields* f, bool withPassword) {
    if (!MaskedText(r, &f->userName, OV_USERNAME_SIZE, *f, OV_UFLD_USERNAME))
        return false;
    if (withPassword && !MaskedText(r, &f->password, OV_PASSWORD_SIZE, *f, OV_UFLD_PASSWORD)) {
        return false;
    }
    return MaskedText(r, &f->nickName, OV_NICKNAME_SIZE, *f, OV_UFLD_NICKNAME) &&
           MaskedText(r, &f->firstName, OV_FIRSTNAME_SIZE, *f, OV_UFLD_FIRSTNAME) &&
           MaskedText(r, &f->lastName, OV_LASTNAME_SIZE, *f, OV_UFLD_LASTNAME) &&
           MaskedText(r, &f->email, OV_EMAIL_SIZE, *f, OV_UFLD_EMAIL) && r.U16(&f->language) &&
           r.U32(&f->location) && r.U8(&f->ageRange) && r.U8(&f->sex) && r.U8(&f->career);
}

}  // namespace

bool DecodeRegister(wire::Reader& r, UserFields* f) {
    return r.U32(&f->mask) && CommonUserHead(r, f, true) && r.U32(&f->icon) && r.U32(&f->mode);
}

bool DecodePutInfo(wire::Reader& r, UserFields* f) {
    return r.U32(&f->mask) && CommonUserHead(r, f, false) && r.U32(&f->icon) && r.U32(&f->mode) &&
           r.U16(&f->age) && r.U16(&f->language1) && r.U16(&f->language2) && r.U16(&f->language3) &&
           MaskedText(r, &f->email1, OV_EMAIL_SIZE, *f, OV_UFLD_EMAIL1) &&
           MaskedText(r, &f->email2, OV_EMAIL_SIZE, *f, OV_UFLD_EMAIL2) &&
           MaskedText(r, &f->phone, OV_PHONE_SIZE, *f, OV_UFLD_PHONE) &&
           MaskedText(r, &f->mobile, OV_MOBILE_SIZE, *f, OV_UFLD_MOBILE) &&
           MaskedText(r, &f->homepage, OV_HOMEPAGE_SIZE, *f, OV_UFLD_HOMEPAGE) &&
           MaskedText(r, &f->about, OV_ABOUT_SIZE, *f, OV_UFLD_ABOUT);
}

bool DecodeSearch(wire::Reader& r, Search* out) {
    return r.U32(&out->fields.mask) && CommonUserHead(r, &out->fields, false);
}

bool DecodeSearch2(wire::Reader& r, Search* out) {
    return r.U32(&out->fields.mask) && r.U32(&out->fields.pin) &&
           CommonUserHead(r, &out->fields, false) && r.U32(&out->online) && r.U32(&out->start);
}

bool DecodeLogin(wire::Reader& r, Login* out) {
    uint16_t count = 0;
    if (!(r.U32(&out->pin) && r.Text(&out->userName, OV_USERNAME_SIZE) &&
          r.Text(&out->password, OV_PASSWORD_SIZE) && r.U32(&out->localIp) &&
          r.U16(&out->clientCode) && r.U32(&out->status) && r.U32(&out->terminal) &&
          r.U16(&count))) {
        return false;
    }
    if (count > OV_MAX_COMPONENTS || r.Remaining() < size_t{count} * 4)
        return false;
    out->components.resize(count);
    for (auto& id : out->components)
        r.U32(&id);
    return true;
}

bool DecodeChangePassword(wire::Reader& r, ChangePassword* out) {
    return r.U32(&out->pin) && r.Text(&out->userName, OV_USERNAME_SIZE) &&
           r.Text(&out->oldPassword, OV_PASSWORD_SIZE) &&
           r.Text(&out->newPassword, OV_PASSWORD_SIZE);
}

bool DecodeStatus(wire::Reader& r, uint32_t* status) {
    return r.U32(status);
}

bool DecodeGetInfo(wire::Reader& r, GetInfo* out) {
    return r.U32(&out->mask) && r.U32(&out->pin) && r.Text(&out->userName, OV_USERNAME_SIZE);
}

bool DecodeIdList(wire::Reader& r, std::vector<uint32_t>* ids) {
    uint16_t count = 0;
    if (!r.U16(&count) || r.Remaining() < size_t{count} * 4)
        return false;
    ids->resize(count);
    for (auto& id : *ids)
        r.U32(&id);
    return true;
}

bool DecodeBuddyAdd(wire::Reader& r, BuddyNodeChange* out) {
    return r.U32(&out->id) && r.U32(&out->parent) && r.U32(&out->mode) &&
           r.Text(&out->message, OV_MSG_SIZE) && r.Text(&out->displayName, OV_DISPLAYNAME_SIZE);
}

bool DecodeBuddyUpdate(wire::Reader& r, BuddyNodeChange* out) {
    return r.U32(&out->id) && r.U32(&out->parent) && r.U32(&out->mode) &&
           r.Text(&out->displayName, OV_DISPLAYNAME_SIZE);
}

bool DecodeBlackListAdd(wire::Reader& r, BlackListAdd* out) {
    return r.U32(&out->pin) && r.Text(&out->userName, OV_USERNAME_SIZE);
}

bool DecodeGroupRef(wire::Reader& r, GroupRef* out) {
    return r.U16(&out->type) && r.U32(&out->id) && r.Text(&out->name, OV_G_NAME_SIZE);
}

bool DecodeGroupEnter(wire::Reader& r, GroupRef* out) {
    return DecodeGroupRef(r, out) && r.Text(&out->password, OV_G_PASSWD_SIZE);
}

bool DecodeSendToUsers(wire::Reader& r, SendToUsers* out, size_t maxRecipients) {
    uint32_t count = 0;
    if (!(r.U32(&out->msgType) && r.U32(&out->componentId) && r.U32(&out->componentCode) &&
          r.Payload(&out->message) && r.U32(&count))) {
        return false;
    }
    if (count > maxRecipients || r.Remaining() < size_t{count} * 4)
        return false;
    out->recipients.resize(count);
    for (auto& pin : out->recipients)
        r.U32(&pin);
    return true;
}

bool DecodeSendToGroup(wire::Reader& r, SendToGroup* out) {
    return r.U32(&out->msgType) && r.U32(&out->componentId) && r.U32(&out->componentCode) &&
           r.U16(&out->groupType) && r.U32(&out->groupId) && r.Payload(&out->message);
}

bool DecodePtpRequest(wire::Reader& r, PtpRequest* out) {
    return r.U32(&out->pin) && r.U32(&out->componentId) && r.U32(&out->componentCode) &&
           r.U32(&out->ip) && r.U16(&out->port) && r.Payload(&out->message);
}

bool DecodeBuddyAuthReply(wire::Reader& r, BuddyAuthReply* out) {
    return r.U32(&out->requesterPin) && r.U8(&out->accept);
}

namespace {
template <typename T, typename Decode>
bool Exactly(wire::Reader r, Decode decode) {
    T out{};
    return decode(r, &out) && r.Remaining() == 0;
}
}  // namespace

bool WellFormed(uint16_t command, const wire::Reader& body, size_t maxRecipients) {
    switch (command) {
        case OV_CCMD_KEEP_ALIVE:
        case OV_CCMD_HANDSHACK_SERVER:
        case OV_CCMD_USR_LOGOUT:
        case OV_CCMD_BUDDY_GET_LST:
        case OV_CCMD_BUDDY_GET_LST2:
        case OV_CCMD_BLACKLST_GET:
        case OV_CCMD_BLACKLST_GET2:
        case OV_CCMD_ONLINE_STAT:
            return body.Remaining() == 0;
        case OV_CCMD_USR_REGISTER:
            return Exactly<UserFields>(body, DecodeRegister);
        case OV_CCMD_USR_PUT_INFO:
            return Exactly<UserFields>(body, DecodePutInfo);
        case OV_CCMD_USR_SEARCH:
            return Exactly<Search>(body, DecodeSearch);
        case OV_CCMD_USR_SEARCH2:
            return Exactly<Search>(body, DecodeSearch2);
        case OV_CCMD_USR_LOGIN:
            return Exactly<Login>(body, DecodeLogin);
        case OV_CCMD_USR_PASSWORD:
            return Exactly<ChangePassword>(body, DecodeChangePassword);
        case OV_CCMD_USR_STATUS:
            return Exactly<uint32_t>(body, DecodeStatus);
        case OV_CCMD_USR_GET_INFO:
            return Exactly<GetInfo>(body, DecodeGetInfo);
        case OV_CCMD_BUDDY_DEL:
        case OV_CCMD_BLACKLST_DEL:
            return Exactly<std::vector<uint32_t>>(body, DecodeIdList);
        case OV_CCMD_BUDDY_ADD:
            return Exactly<BuddyNodeChange>(body, DecodeBuddyAdd);
        case OV_CCMD_BUDDY_UPD:
            return Exactly<BuddyNodeChange>(body, DecodeBuddyUpdate);
        case OV_CCMD_BLACKLST_ADD:
            return Exactly<BlackListAdd>(body, DecodeBlackListAdd);
        case OV_CCMD_GRP_USR_ENTER:
            return Exactly<GroupRef>(body, DecodeGroupEnter);
        case OV_CCMD_GRP_USR_LEAVE:
        case OV_CCMD_GRP_GET_OUSR_LIST:
        case OV_CCMD_GRP_GET_OUSR_CNT:
        case OV_CCMD_GRP_GET_OUSR_LIST2:
            return Exactly<GroupRef>(body, DecodeGroupRef);
        case OV_CCMD_SENDTO_USR:
            return Exactly<SendToUsers>(body, [&](wire::Reader& r, SendToUsers* out) {
                return DecodeSendToUsers(r, out, maxRecipients);
            });
        case OV_CCMD_SENDTO_GRP:
            return Exactly<SendToGroup>(body, DecodeSendToGroup);
        case OV_CCMD_REQUEST_PTP:
            return Exactly<PtpRequest>(body, DecodePtpRequest);
        case OV_CCMD_REPLY_BUDDY_AUTH:
            return Exactly<BuddyAuthReply>(body, DecodeBuddyAuthReply);
        default:
            return false;
    }
}

}  // namespace ov::server::req
