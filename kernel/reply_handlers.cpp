#include "kernel/reply_handlers.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "common/interfaces/ovkernel.h"
#include "common/protocol/wire.h"

namespace {

using ov::wire::Reader;

// List counts above these are read as the cap; the entries past it are ignored.
constexpr uint16_t kMaxServers = 400;
constexpr uint16_t kMaxBuddyNodes = 400;
constexpr uint16_t kMaxSearchUsers = 100;
constexpr uint16_t kMaxGroupUsers = 100;
constexpr uint16_t kMaxBlackListUsers = 500;

// Which fields of OV_USER_INFO each kind of entry carries.
constexpr uint32_t kSearchMask =
    OV_UFLD_LOCATION | OV_UFLD_AGERANGE | OV_UFLD_SEX | OV_UFLD_ICON | OV_UFLD_MODE;
constexpr uint32_t kBlackListMask = OV_UFLD_AGERANGE | OV_UFLD_SEX | OV_UFLD_ICON;
constexpr uint32_t kGroupUserMask = kBlackListMask | OV_UFLD_MODE | OV_UFLD_ONLINE_STATUS;
constexpr uint32_t kNoticeMask = OV_UFLD_PIN | OV_UFLD_USERNAME | OV_UFLD_NICKNAME | kGroupUserMask;
static_assert(kSearchMask == 0x3700 && kBlackListMask == 0x1600);
static_assert(kGroupUserMask == 0x04003600 && kNoticeMask == 0x0400360B);

// ---------------------------------------------------------------------------------------
// Records and event arguments

// Records travel as their raw bytes, padding included, so every byte starts at zero.
template <typename Record>
Record Zeroed() {
    Record rec;
    std::memset(&rec, 0, sizeof rec);
    return rec;
}

template <typename Record>
void AppendRecord(std::string* out, const Record& rec) {
    out->append(reinterpret_cast<const char*>(&rec), sizeof rec);
}

template <typename Record>
EventArg RecordArg(const Record& rec) {
    std::string bytes;
    AppendRecord(&bytes, rec);
    return EventArg::Bytes(std::move(bytes));
}

// Unsigned wire numbers are raised as longs with the same 32 bits.
EventArg Num(uint32_t v) {
    return EventArg::Long(static_cast<int32_t>(v));
}

OVErrorCodeEnum ServerError(uint16_t v) {
    return static_cast<OVErrorCodeEnum>(v);
}

// The position of the OVListFlagEnum argument in the partial-list events, or -1.
int ListFlagArg(DISPID id) {
    switch (id) {
        case OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2:
        case OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2:
            return 3;
        case OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2:
            return 5;
        default:
            return -1;
    }
}

// One reply or notification being handled.
struct Packet {
    uint16_t seq;
    Reader body;
    std::vector<KernelEvent>* events;
    ReplyEffects* effects;

    EventArg Seq() const { return EventArg::Long(seq); }
    void Raise(DISPID id, std::vector<EventArg> args) { events->push_back({id, std::move(args)}); }
};

// A reply event that carries nothing but its sequence number and error: other numbers 0,
// list flags OV_LISTFLAG_BAD, flags false, byte arrays empty. Built from the event's declared
// arguments so that it always has the shape the sinks expect.
void RaiseEmpty(Packet& p, DISPID id, OVErrorCodeEnum error) {
    const OVServiceEventInfo* info = FindOVServiceEvent(id);
    std::vector<EventArg> args;
    for (size_t i = 0; i < info->args.size(); ++i) {
        if (i == 0) {
            args.push_back(p.Seq());
        } else if (i == 1) {
            args.push_back(EventArg::Long(error));
        } else if (info->args[i] == 'B') {
            args.push_back(EventArg::Bool(false));
        } else if (info->args[i] == 'V') {
            args.push_back(EventArg::Bytes({}));
        } else {
            const bool flag = static_cast<int>(i) == ListFlagArg(id);
            args.push_back(EventArg::Long(flag ? OV_LISTFLAG_BAD : 0));
        }
    }
    p.Raise(id, std::move(args));
}

// ---------------------------------------------------------------------------------------
// List entries

bool ReadServerEntry(Reader& r, OV_SERVER_INFO* s) {
    return r.Text(s->sServerAddr, sizeof s->sServerAddr) && r.U16(&s->nServerPort);
}

bool ReadBuddyEntry(Reader& r, OV_BUDDY_TREE_NODE* n) {
    if (!r.U32(&n->nBuddyNodeID) || !r.U32(&n->nParentBuddyGroupID) || !r.U32(&n->nBuddyNodeMode) ||
        !r.Text(n->sDisplayName, sizeof n->sDisplayName) ||
        !r.Text(n->sUserName, sizeof n->sUserName) || !r.Text(n->sNickName, sizeof n->sNickName) ||
        !r.U32(&n->nIcon) || !r.U8(&n->nAgeRange) || !r.U8(&n->nSex) || !r.U32(&n->nOnlineStatus))
        return false;
    n->bIsBuddyGroup = n->nBuddyNodeID < OV_FIRST_USER_PIN ? 1 : 0;
    return true;
}

// The user list entries flag the names only when the server sent some.
void AddNameBits(OV_USER_INFO* u) {
    if (u->sUserName[0] != 0)
        u->nMask |= OV_UFLD_USERNAME;
    if (u->sNickName[0] != 0)
        u->nMask |= OV_UFLD_NICKNAME;
}

// PIN, names, icon, age range and sex: the black-list entry, and the head of the add-buddy
// notifications and of the group-user entry. Sets no mask bits.
bool ReadUserBrief(Reader& r, OV_USER_INFO* u) {
    return r.U32(&u->nPin) && r.Text(u->sUserName, sizeof u->sUserName) &&
           r.Text(u->sNickName, sizeof u->sNickName) && r.U32(&u->nIcon) && r.U8(&u->nAgeRange) &&
           r.U8(&u->nSex);
}

bool ReadSearchEntry(Reader& r, OV_USER_INFO* u) {
    if (!r.U32(&u->nPin) || !r.Text(u->sUserName, sizeof u->sUserName) ||
        !r.Text(u->sNickName, sizeof u->sNickName) || !r.U32(&u->nLocation) ||
        !r.U8(&u->nAgeRange) || !r.U8(&u->nSex) || !r.U32(&u->nIcon) || !r.U32(&u->nMode))
        return false;
    u->nMask = kSearchMask;
    AddNameBits(u);
    return true;
}

// The status is kept but, as the server means it, not flagged in the mask.
bool ReadSearch2Entry(Reader& r, OV_USER_INFO* u) {
    return ReadSearchEntry(r, u) && r.U32(&u->nOnlineStatus);
}

bool ReadBlackListEntry(Reader& r, OV_USER_INFO* u) {
    if (!ReadUserBrief(r, u))
        return false;
    u->nMask = kBlackListMask;
    AddNameBits(u);
    return true;
}

bool ReadGroupUserEntry(Reader& r, OV_USER_INFO* u) {
    if (!ReadUserBrief(r, u) || !r.U32(&u->nMode) || !r.U32(&u->nOnlineStatus))
        return false;
    u->nMask = kGroupUserMask;
    return true;
}

bool ReadGroupUserListEntry(Reader& r, OV_USER_INFO* u) {
    if (!ReadGroupUserEntry(r, u))
        return false;
    AddNameBits(u);
    return true;
}

bool ReadFullUserEntry(Reader& r, OV_USER_INFO* u) {
    return r.U32(&u->nPin) && r.U32(&u->nMask) && r.Text(u->sUserName, sizeof u->sUserName) &&
           r.Text(u->sNickName, sizeof u->sNickName) &&
           r.Text(u->sFirstName, sizeof u->sFirstName) &&
           r.Text(u->sLastName, sizeof u->sLastName) && r.Text(u->sEMail, sizeof u->sEMail) &&
           r.U16(&u->nLanguage) && r.U32(&u->nLocation) && r.U8(&u->nAgeRange) && r.U8(&u->nSex) &&
           r.U8(&u->nCareer) && r.U32(&u->nIcon) && r.U32(&u->nMode) && r.U16(&u->nAge) &&
           r.U16(&u->nLanguage1) && r.U16(&u->nLanguage2) && r.U16(&u->nLanguage3) &&
           r.Text(u->sEMail1, sizeof u->sEMail1) && r.Text(u->sEMail2, sizeof u->sEMail2) &&
           r.Text(u->sPhone, sizeof u->sPhone) && r.Text(u->sMobile, sizeof u->sMobile) &&
           r.Text(u->sHomepage, sizeof u->sHomepage) && r.Text(u->sAbout, sizeof u->sAbout);
}

// count entries, capped, as records back to back. Fails if any entry is cut off.
template <typename Record>
bool ReadList(Reader& r, uint16_t* count, uint16_t cap, bool (*readEntry)(Reader&, Record*),
              std::string* out) {
    *count = std::min(*count, cap);
    for (uint16_t i = 0; i < *count; ++i) {
        Record rec = Zeroed<Record>();
        if (!readEntry(r, &rec))
            return false;
        AppendRecord(out, rec);
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Add-buddy notice: a system message whose text is "PIN name icon age-range sex mode
// status:nick name", read as "%d %s %u %d %d %u %u" would read it. The scanner hands the name
// over as a view and the caller cuts it to its field: the text comes from the network, and a
// name of any length must not run into the fields after it.

class NoticeScanner {
public:
    explicit NoticeScanner(std::string_view text) : text_(text) {}

    // A decimal number with an optional sign, kept to 32 bits as a long would be.
    bool Number(uint32_t* v) {
        SkipSpace();
        size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-'))
            negative = text_[p++] == '-';
        if (p >= text_.size() || !IsDigit(text_[p]))
            return false;
        uint32_t value = 0;
        for (; p < text_.size() && IsDigit(text_[p]); ++p)
            value = value * 10 + static_cast<uint32_t>(text_[p] - '0');
        *v = negative ? 0u - value : value;
        pos_ = p;
        return true;
    }

    // A run of non-blank characters, of any length: the caller cuts it to its field.
    bool Word(std::string_view* w) {
        SkipSpace();
        const size_t start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_]))
            ++pos_;
        *w = text_.substr(start, pos_ - start);
        return !w->empty();
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// Copies at most field size - 1 characters; the record is zero-filled, so the text ends.
template <size_t N>
void CopyCut(char (&field)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
}

bool ParseAddBuddyNotice(std::string_view text, OV_USER_INFO* u) {
    NoticeScanner scan(text);
    std::string_view name;
    uint32_t ageRange = 0, sex = 0;
    if (!scan.Number(&u->nPin) || !scan.Word(&name) || !scan.Number(&u->nIcon) ||
        !scan.Number(&ageRange) || !scan.Number(&sex) || !scan.Number(&u->nMode) ||
        !scan.Number(&u->nOnlineStatus))
        return false;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    u->nMask = kNoticeMask;
    CopyCut(u->sUserName, name);
    CopyCut(u->sNickName, text.substr(colon + 1));
    u->nAgeRange = static_cast<uint8_t>(ageRange);
    u->nSex = static_cast<uint8_t>(sex);
    return true;
}

// ---------------------------------------------------------------------------------------
// Replies. Each runs only for a packet that arrived; the dispatcher has checked its length.

bool OnHandshakeServer(Packet& p) {
    uint16_t error, count;
    if (!p.body.U16(&error) || !p.body.U16(&count))
        return false;
    if (error != OV_ERR_NONE) {
        RaiseEmpty(p, OV_DISPID_ON_HANDSHAKE_SERVER_REPLY, ServerError(error));
        return true;
    }
    std::string servers;
    if (!ReadList(p.body, &count, kMaxServers, ReadServerEntry, &servers))
        return false;
    p.Raise(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY,
            {p.Seq(), EventArg::Long(error), Num(count), EventArg::Bytes(std::move(servers))});
    return true;
}

bool OnRegisterUser(Packet& p) {
    uint16_t error;
    uint32_t pin;
    if (!p.body.U16(&error) || !p.body.U32(&pin))
        return false;
    // A refusal may stop before the name.
    if (error != OV_ERR_NONE) {
        RaiseEmpty(p, OV_DISPID_ON_REGISTER_USER_REPLY, ServerError(error));
        return true;
    }
    std::string name;
    if (!p.body.Text(&name, OV_USERNAME_SIZE))
        return false;
    p.Raise(OV_DISPID_ON_REGISTER_USER_REPLY,
            {p.Seq(), EventArg::Long(error), Num(pin), EventArg::Bytes(std::move(name))});
    return true;
}

bool OnLogin(Packet& p) {
    uint16_t error;
    uint32_t terminal, pin, loginId, realIp;
    if (!p.body.U16(&error) || !p.body.U32(&terminal) || !p.body.U32(&pin) ||
        !p.body.U32(&loginId) || !p.body.U32(&realIp))
        return false;
    if (error == OV_ERR_NONE && p.effects)
        *p.effects = {true, pin, loginId};
    p.Raise(OV_DISPID_ON_LOGIN_REPLY,
            {p.Seq(), EventArg::Long(error), Num(terminal), Num(pin), Num(realIp)});
    return true;
}

bool OnSearchUser(Packet& p) {
    uint16_t error, count;
    std::string users;
    if (!p.body.U16(&error) || !p.body.U16(&count) ||
        !ReadList(p.body, &count, kMaxSearchUsers, ReadSearchEntry, &users))
        return false;
    p.Raise(OV_DISPID_ON_SEARCH_USER_REPLY,
            {p.Seq(), EventArg::Long(error), Num(count), EventArg::Bytes(std::move(users))});
    return true;
}

// A reply that carries only the server's error (and, for some, bytes nobody reads).
bool RaiseErrorOnly(Packet& p, DISPID id) {
    uint16_t error;
    if (!p.body.U16(&error))
        return false;
    p.Raise(id, {p.Seq(), EventArg::Long(error)});
    return true;
}

bool OnChangePassword(Packet& p) {
    return RaiseErrorOnly(p, OV_DISPID_ON_CHANGE_PASSWORD_REPLY);
}
bool OnUpdateSelfUserInfo(Packet& p) {
    return RaiseErrorOnly(p, OV_DISPID_ON_UPDATE_SELF_USER_INFO_REPLY);
}
bool OnSendToUser(Packet& p) {
    return RaiseErrorOnly(p, OV_DISPID_ON_SEND_TO_USER_REPLY);
}
bool OnSendToGroup(Packet& p) {
    return RaiseErrorOnly(p, OV_DISPID_ON_SEND_TO_GROUP_REPLY);
}
bool OnRequestPTPConnection(Packet& p) {
    return RaiseErrorOnly(p, OV_DISPID_ON_REQUEST_PTP_CONNECTION_REPLY);
}

bool OnRequestUserInfo(Packet& p) {
    uint16_t error;
    if (!p.body.U16(&error))
        return false;
    // A user who hides the information still comes with the entry; other refusals give a
    // record with nothing flagged.
    OV_USER_INFO user = Zeroed<OV_USER_INFO>();
    if (error == OV_ERR_NONE || error == OV_ERR_USR_HIDE_USR_INFO) {
        if (!ReadFullUserEntry(p.body, &user))
            return false;
    }
    p.Raise(OV_DISPID_ON_REQUEST_USER_INFO_REPLY,
            {p.Seq(), EventArg::Long(error), RecordArg(user)});
    return true;
}

bool OnSearchUser2(Packet& p) {
    uint16_t error, more, count;
    std::string users;
    if (!p.body.U16(&error) || !p.body.U16(&more) || !p.body.U16(&count) ||
        !ReadList(p.body, &count, kMaxSearchUsers, ReadSearch2Entry, &users))
        return false;
    p.Raise(OV_DISPID_ON_SEARCH_USER_REPLY2,
            {p.Seq(), EventArg::Long(error), EventArg::Bool(more != 0), Num(count),
             EventArg::Bytes(std::move(users))});
    return true;
}

bool OnRequestBuddyTree(Packet& p) {
    uint16_t error, count;
    if (!p.body.U16(&error) || !p.body.U16(&count))
        return false;
    // The client treats a failed buddy tree like one that never came.
    if (error != OV_ERR_NONE) {
        RaiseEmpty(p, OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY, OV_ERR_TIME_OUT);
        return true;
    }
    std::string nodes;
    if (!ReadList(p.body, &count, kMaxBuddyNodes, ReadBuddyEntry, &nodes))
        return false;
    p.Raise(OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY,
            {p.Seq(), EventArg::Long(OV_ERR_NONE), Num(count), EventArg::Bytes(std::move(nodes))});
    return true;
}

// The partial-list replies: u16 error, total, list flag and count, then the entries.
template <typename Record>
bool RaisePartialList(Packet& p, DISPID id, uint16_t cap, bool (*readEntry)(Reader&, Record*)) {
    uint16_t error, total, flag, count;
    if (!p.body.U16(&error) || !p.body.U16(&total) || !p.body.U16(&flag) || !p.body.U16(&count))
        return false;
    if (error != OV_ERR_NONE) {
        RaiseEmpty(p, id, ServerError(error));
        return true;
    }
    std::string records;
    if (!ReadList(p.body, &count, cap, readEntry, &records))
        return false;
    p.Raise(id, {p.Seq(), EventArg::Long(error), Num(total), Num(flag), Num(count),
                 EventArg::Bytes(std::move(records))});
    return true;
}

bool OnRequestBuddyTree2(Packet& p) {
    return RaisePartialList(p, OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2, kMaxBuddyNodes,
                            ReadBuddyEntry);
}

bool OnRequestBlackList2(Packet& p) {
    return RaisePartialList(p, OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2, kMaxBlackListUsers,
                            ReadBlackListEntry);
}

// One reply answers both the user and the group form of the command; the client listens to
// the one it sent.
bool RaiseNodeReply(Packet& p, DISPID userEvent, DISPID groupEvent) {
    uint16_t error;
    uint32_t id;
    if (!p.body.U16(&error) || !p.body.U32(&id))
        return false;
    p.Raise(userEvent, {p.Seq(), EventArg::Long(error), Num(id)});
    p.Raise(groupEvent, {p.Seq(), EventArg::Long(error), Num(id)});
    return true;
}

bool OnAddBuddyNode(Packet& p) {
    return RaiseNodeReply(p, OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY,
                          OV_DISPID_ON_ADD_GROUP_TO_BUDDY_TREE_REPLY);
}

bool OnUpdateBuddyNode(Packet& p) {
    return RaiseNodeReply(p, OV_DISPID_ON_UPDATE_BUDDY_USER_INFO_REPLY,
                          OV_DISPID_ON_UPDATE_BUDDY_GROUP_INFO_REPLY);
}

bool OnRequestBlackList(Packet& p) {
    uint16_t error, count;
    std::string users;
    if (!p.body.U16(&error) || !p.body.U16(&count) ||
        !ReadList(p.body, &count, kMaxBlackListUsers, ReadBlackListEntry, &users))
        return false;
    p.Raise(OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY,
            {p.Seq(), EventArg::Long(error), Num(count), EventArg::Bytes(std::move(users))});
    return true;
}

bool OnEnterGroup(Packet& p) {
    uint16_t error, type;
    uint32_t id, online, mode;
    if (!p.body.U16(&error) || !p.body.U16(&type) || !p.body.U32(&id) || !p.body.U32(&online) ||
        !p.body.U32(&mode))
        return false;
    p.Raise(OV_DISPID_ON_ENTER_GROUP_REPLY,
            {p.Seq(), EventArg::Long(error), Num(type), Num(id), Num(online), Num(mode)});
    return true;
}

// The group online-user lists; the second form adds a list flag before the count.
bool RaiseGroupUserList(Packet& p, DISPID id, bool withFlag) {
    uint16_t error, type, online, flag = 0, count;
    uint32_t group;
    if (!p.body.U16(&error) || !p.body.U16(&type) || !p.body.U32(&group) || !p.body.U16(&online) ||
        (withFlag && !p.body.U16(&flag)) || !p.body.U16(&count))
        return false;
    if (error != OV_ERR_NONE) {
        RaiseEmpty(p, id, ServerError(error));
        return true;
    }
    std::string users;
    if (!ReadList(p.body, &count, kMaxGroupUsers, ReadGroupUserListEntry, &users))
        return false;
    std::vector<EventArg> args{p.Seq(), EventArg::Long(error), Num(type), Num(group), Num(online)};
    if (withFlag)
        args.push_back(Num(flag));
    args.push_back(Num(count));
    args.push_back(EventArg::Bytes(std::move(users)));
    p.Raise(id, std::move(args));
    return true;
}

bool OnRequestGroupOnlineUserList(Packet& p) {
    return RaiseGroupUserList(p, OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY, false);
}

bool OnRequestGroupOnlineUserList2(Packet& p) {
    return RaiseGroupUserList(p, OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2, true);
}

bool OnRequestGroupOnlineUserCount(Packet& p) {
    uint16_t error, type;
    uint32_t id, online;
    if (!p.body.U16(&error) || !p.body.U16(&type) || !p.body.U32(&id) || !p.body.U32(&online))
        return false;
    p.Raise(OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_CNT_REPLY,
            {p.Seq(), EventArg::Long(error), Num(type), Num(id), Num(online)});
    return true;
}

bool OnRequestOnlineUserStat(Packet& p) {
    uint16_t error;
    uint32_t online, most;
    if (!p.body.U16(&error) || !p.body.U32(&online) || !p.body.U32(&most))
        return false;
    p.Raise(OV_DISPID_ON_REQUEST_ONLINE_USER_STAT_REPLY,
            {p.Seq(), EventArg::Long(error), Num(online), Num(most)});
    return true;
}

// ---------------------------------------------------------------------------------------
// Server notifications: no sequence number, no error.

bool OnAddBuddyRequest(Packet& p) {
    OV_USER_INFO user = Zeroed<OV_USER_INFO>();
    std::string message;
    if (!ReadUserBrief(p.body, &user) || !p.body.Text(&message, OV_MSG_SIZE))
        return false;
    p.Raise(OV_DISPID_ON_ADD_BUDDY_REQUEST, {EventArg::Bytes(std::move(message)), RecordArg(user)});
    return true;
}

bool OnAddBuddyAccept(Packet& p) {
    OV_USER_INFO user = Zeroed<OV_USER_INFO>();
    uint8_t accepted;
    if (!ReadUserBrief(p.body, &user) || !p.body.U8(&accepted))
        return false;
    p.Raise(OV_DISPID_ON_ADD_BUDDY_ACCEPT,
            {EventArg::Long(accepted != 0 ? OV_BUDDY_ACCEPT : OV_BUDDY_DENY), RecordArg(user)});
    return true;
}

// u32 PIN, u32 new status.
bool RaiseStatus(Packet& p, DISPID id) {
    uint32_t pin, status;
    if (!p.body.U32(&pin) || !p.body.U32(&status))
        return false;
    p.Raise(id, {Num(pin), Num(status)});
    return true;
}

bool OnBuddyStatus(Packet& p) {
    return RaiseStatus(p, OV_DISPID_ON_BUDDY_STATUS_CHANGED);
}
bool OnUserStatus(Packet& p) {
    return RaiseStatus(p, OV_DISPID_ON_USER_STATUS_CHANGED);
}

bool OnUserEnterGroup(Packet& p) {
    uint16_t type;
    uint32_t group;
    OV_USER_INFO user = Zeroed<OV_USER_INFO>();
    if (!p.body.U16(&type) || !p.body.U32(&group) || !ReadGroupUserEntry(p.body, &user))
        return false;
    p.Raise(OV_DISPID_ON_USER_ENTER_GROUP, {Num(type), Num(group), RecordArg(user)});
    return true;
}

// u16 group type, u32 group ID, u32 value (a PIN or a count).
bool RaiseGroupValue(Packet& p, DISPID id) {
    uint16_t type;
    uint32_t group, value;
    if (!p.body.U16(&type) || !p.body.U32(&group) || !p.body.U32(&value))
        return false;
    p.Raise(id, {Num(type), Num(group), Num(value)});
    return true;
}

bool OnUserLeaveGroup(Packet& p) {
    return RaiseGroupValue(p, OV_DISPID_ON_USER_LEAVE_GROUP);
}
bool OnGroupOnlineUserChanged(Packet& p) {
    return RaiseGroupValue(p, OV_DISPID_ON_GROUP_ONLINE_USER_CHANGED);
}

bool OnMessage(Packet& p) {
    uint32_t from, to, component, componentCode, sentTime;
    uint16_t type;
    std::string text;
    if (!p.body.U32(&from) || !p.body.U16(&type) || !p.body.U32(&to) || !p.body.U32(&component) ||
        !p.body.U32(&componentCode) || !p.body.Text(&text, OV_MSG_SIZE) || !p.body.U32(&sentTime))
        return false;
    if (from == 0)
        return false;

    if (from == OV_SYSTEM_PIN && component == OV_COMPONENT_ADD_BUDDY_NOTICE) {
        OV_USER_INFO user = Zeroed<OV_USER_INFO>();
        if (!ParseAddBuddyNotice(text, &user))
            return false;
        p.Raise(OV_DISPID_ON_ADD_BUDDY_NOTICE, {RecordArg(user)});
        return true;
    }
    EventArg message = EventArg::Bytes(std::move(text));
    if (from == OV_SYSTEM_PIN && type == 0) {
        p.Raise(OV_DISPID_ON_USER_SYSTEM_MESSAGE_RECEIVED,
                {Num(to), Num(component), Num(componentCode), std::move(message), Num(sentTime)});
    } else if (from == OV_SYSTEM_PIN) {
        p.Raise(OV_DISPID_ON_GROUP_SYSTEM_MESSAGE_RECEIVED,
                {Num(type), Num(to), Num(component), Num(componentCode), std::move(message),
                 Num(sentTime)});
    } else if (type == 0) {
        p.Raise(OV_DISPID_ON_USER_MESSAGE_RECEIVED,
                {Num(from), Num(to), Num(component), Num(componentCode), std::move(message),
                 Num(sentTime)});
    } else {
        p.Raise(OV_DISPID_ON_GROUP_MESSAGE_RECEIVED,
                {Num(from), Num(type), Num(to), Num(component), Num(componentCode),
                 std::move(message), Num(sentTime)});
    }
    return true;
}

bool OnPTPRequest(Packet& p) {
    uint32_t from, component, componentCode, ip;
    uint16_t port;
    std::string name, nick, message;
    if (!p.body.U32(&from) || !p.body.Text(&name, OV_USERNAME_SIZE) ||
        !p.body.Text(&nick, OV_NICKNAME_SIZE) || !p.body.U32(&component) ||
        !p.body.U32(&componentCode) || !p.body.U32(&ip) || !p.body.U16(&port) ||
        !p.body.Text(&message, OV_MSG_SIZE))
        return false;
    p.Raise(OV_DISPID_ON_PTP_CONNECTION_REQUEST,
            {Num(from), EventArg::Bytes(std::move(name)), EventArg::Bytes(std::move(nick)),
             Num(component), Num(componentCode), Num(ip), Num(port),
             EventArg::Bytes(std::move(message))});
    return true;
}

// ---------------------------------------------------------------------------------------
// The table

enum class Length { AtLeast, Exactly };

struct HandlerEntry {
    uint16_t code;
    Length rule;
    size_t length;
    bool (*handle)(Packet&);
    // The events of a reply, raised empty with the error when it did not arrive. None for a
    // notification, which always has a body to read.
    DISPID replyEvents[2];

    bool IsNotification() const { return replyEvents[0] == 0; }
};

constexpr Length kMin = Length::AtLeast;
constexpr Length kExact = Length::Exactly;

// clang-format off
const HandlerEntry kHandlers[] = {
    // Replies: a missing one raises its events empty.
    {OV_CCMD_HANDSHACK_SERVER,   kMin,   4,  OnHandshakeServer,
        {OV_DISPID_ON_HANDSHAKE_SERVER_REPLY}},
    {OV_CCMD_USR_REGISTER,       kMin,   6,  OnRegisterUser,
        {OV_DISPID_ON_REGISTER_USER_REPLY}},
    {OV_CCMD_USR_LOGIN,          kExact, 18, OnLogin,
        {OV_DISPID_ON_LOGIN_REPLY}},
    {OV_CCMD_USR_SEARCH,         kMin,   4,  OnSearchUser,
        {OV_DISPID_ON_SEARCH_USER_REPLY}},
    {OV_CCMD_USR_PASSWORD,       kExact, 6,  OnChangePassword,
        {OV_DISPID_ON_CHANGE_PASSWORD_REPLY}},
    {OV_CCMD_USR_PUT_INFO,       kExact, 6,  OnUpdateSelfUserInfo,
        {OV_DISPID_ON_UPDATE_SELF_USER_INFO_REPLY}},
    {OV_CCMD_USR_GET_INFO,       kMin,   2,  OnRequestUserInfo,
        {OV_DISPID_ON_REQUEST_USER_INFO_REPLY}},
    {OV_CCMD_USR_SEARCH2,        kMin,   6,  OnSearchUser2,
        {OV_DISPID_ON_SEARCH_USER_REPLY2}},
    {OV_CCMD_BUDDY_GET_LST,      kMin,   4,  OnRequestBuddyTree,
        {OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY}},
    {OV_CCMD_BUDDY_GET_LST2,     kMin,   8,  OnRequestBuddyTree2,
        {OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2}},
    {OV_CCMD_BUDDY_ADD,          kExact, 6,  OnAddBuddyNode,
        {OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY, OV_DISPID_ON_ADD_GROUP_TO_BUDDY_TREE_REPLY}},
    {OV_CCMD_BUDDY_UPD,          kExact, 6,  OnUpdateBuddyNode,
        {OV_DISPID_ON_UPDATE_BUDDY_USER_INFO_REPLY, OV_DISPID_ON_UPDATE_BUDDY_GROUP_INFO_REPLY}},
    {OV_CCMD_BLACKLST_GET,       kMin,   4,  OnRequestBlackList,
        {OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY}},
    {OV_CCMD_BLACKLST_GET2,      kMin,   8,  OnRequestBlackList2,
        {OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2}},
    {OV_CCMD_GRP_USR_ENTER,      kExact, 16, OnEnterGroup,
        {OV_DISPID_ON_ENTER_GROUP_REPLY}},
    {OV_CCMD_GRP_GET_OUSR_LIST,  kMin,   12, OnRequestGroupOnlineUserList,
        {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY}},
    {OV_CCMD_GRP_GET_OUSR_CNT,   kExact, 12, OnRequestGroupOnlineUserCount,
        {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_CNT_REPLY}},
    {OV_CCMD_GRP_GET_OUSR_LIST2, kMin,   14, OnRequestGroupOnlineUserList2,
        {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2}},
    {OV_CCMD_SENDTO_USR,         kExact, 2,  OnSendToUser,
        {OV_DISPID_ON_SEND_TO_USER_REPLY}},
    {OV_CCMD_SENDTO_GRP,         kExact, 2,  OnSendToGroup,
        {OV_DISPID_ON_SEND_TO_GROUP_REPLY}},
    {OV_CCMD_REQUEST_PTP,        kExact, 2,  OnRequestPTPConnection,
        {OV_DISPID_ON_REQUEST_PTP_CONNECTION_REPLY}},
    {OV_CCMD_ONLINE_STAT,        kExact, 10, OnRequestOnlineUserStat,
        {OV_DISPID_ON_REQUEST_ONLINE_USER_STAT_REPLY}},
    // Notifications.
    {OV_SCMD_ADD_BUDDY_REQUEST,  kMin,   4,  OnAddBuddyRequest,        {}},
    {OV_SCMD_ADD_BUDDY_ACCEPT,   kMin,   4,  OnAddBuddyAccept,         {}},
    {OV_SCMD_BUDDY_STATUS,       kExact, 8,  OnBuddyStatus,            {}},
    {OV_SCMD_GRP_USR_ENTER,      kMin,   6,  OnUserEnterGroup,         {}},
    {OV_SCMD_GRP_USR_LEAVE,      kExact, 10, OnUserLeaveGroup,         {}},
    {OV_SCMD_GRP_OUSR_CNT,       kExact, 10, OnGroupOnlineUserChanged, {}},
    {OV_SCMD_USR_STATUS,         kExact, 8,  OnUserStatus,             {}},
    {OV_SCMD_MESSAGE,            kMin,   18, OnMessage,                {}},
    {OV_SCMD_PTP_REQUEST,        kMin,   4,  OnPTPRequest,             {}},
};
// clang-format on
static_assert(std::size(kHandlers) == 31);

const HandlerEntry* FindHandler(uint16_t code) {
    for (const HandlerEntry& h : kHandlers)
        if (h.code == code)
            return &h;
    return nullptr;
}

}  // namespace

bool HasReplyHandler(uint16_t code) {
    return FindHandler(code) != nullptr;
}

bool HandleReply(uint16_t code, uint16_t cmdSeqNum, OVErrorCodeEnum error, const uint8_t* body,
                 size_t len, std::vector<KernelEvent>* events, ReplyEffects* effects) {
    if (effects)
        *effects = {};
    const HandlerEntry* h = FindHandler(code);
    if (!h || !events)
        return false;

    Packet p{cmdSeqNum, Reader(body, len), events, effects};
    if (error != OV_ERR_NONE && !h->IsNotification()) {
        for (DISPID id : h->replyEvents)
            if (id != 0)
                RaiseEmpty(p, id, error);
        return true;
    }
    const size_t size = p.body.Remaining();  // 0 for a null body, whatever len says
    if (size < h->length || (h->rule == Length::Exactly && size != h->length))
        return false;

    const size_t before = events->size();
    if (!h->handle(p)) {
        events->resize(before);
        if (effects)
            *effects = {};
        return false;
    }
    return true;
}
