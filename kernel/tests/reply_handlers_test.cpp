// Reply and notification bodies at their limits: lengths, caps, texts, error paths and the
// records each event hands over.
#include "kernel/reply_handlers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "common/interfaces/ovkernel.h"
#include "common/protocol/wire.h"

namespace {

using namespace std::string_literals;
using ov::wire::Writer;

struct Body {
    Writer w;
    Body& u8(uint8_t v) { return w.U8(v), *this; }
    Body& u16(uint16_t v) { return w.U16(v), *this; }
    Body& u32(uint32_t v) { return w.U32(v), *this; }
    Body& text(std::string_view t, size_t n) { return w.Text(t, n), *this; }
    Body& raw(std::string_view b) { return w.Raw(b), *this; }
    operator std::string() const { return w.Bytes(); }
};

struct Result {
    bool ok = false;
    std::vector<KernelEvent> events;
    ReplyEffects effects;
};

Result Handle(uint16_t code, const std::string& body, OVErrorCodeEnum error = OV_ERR_NONE) {
    Result r;
    r.effects.loginAccepted = true;  // must be reset by every call
    r.ok = HandleReply(code, 7, error, reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                       &r.events, &r.effects);
    EXPECT_EQ(r.ok, !r.events.empty()) << "code " << code;
    return r;
}

std::vector<int32_t> Longs(const KernelEvent& e) {
    std::vector<int32_t> v;
    for (const auto& a : e.args)
        if (a.kind != EventArg::Kind::Bytes)
            v.push_back(a.value);
    return v;
}

template <typename R>
R Record(const EventArg& a, size_t i = 0) {
    R rec;
    EXPECT_GE(a.bytes.size(), (i + 1) * sizeof rec);
    std::memcpy(&rec, a.bytes.data() + i * sizeof rec, sizeof rec);
    return rec;
}

// PIN, user name, nick name, icon 3, age range 2, sex 1.
std::string Brief(uint32_t pin, std::string_view user, std::string_view nick) {
    return Body().u32(pin).text(user, 17).text(nick, 17).u32(3).u8(2).u8(1);
}

std::string BuddyEntry(uint32_t id) {
    return Body()
        .u32(id)
        .u32(5)
        .u32(9)
        .text("disp", 33)
        .text("bob", 17)
        .text("", 17)
        .u32(4)
        .u8(2)
        .u8(1)
        .u32(0xFFFF);
}

std::string SearchEntry(uint32_t pin, std::string_view user) {
    return Body().u32(pin).text(user, 17).text("", 17).u32(86).u8(2).u8(1).u32(3).u32(8);
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

std::string Message(uint32_t from, uint16_t type, uint32_t component, std::string_view text) {
    return Body().u32(from).u16(type).u32(2000).u32(component).u32(11).text(text, 513).u32(
        1700000000);
}

}  // namespace

TEST(ReplyHandlers, MissingRepliesRaiseEmptyEventsOfTheDeclaredShape) {
    int handled = 0;
    for (uint32_t code = 0; code <= 0xFFFF; ++code)
        handled += HasReplyHandler(code);
    EXPECT_EQ(handled, 31);
    EXPECT_FALSE(Handle(OV_CCMD_BUDDY_DEL, Body().u16(0)).ok);

    const uint16_t replies[] = {4,     0x101, 0x102, 0x104, 0x105, 0x107, 0x108, 0x109,
                                0x201, 0x202, 0x204, 0x205, 0x301, 0x302, 0x403, 0x406,
                                0x407, 0x411, 0x501, 0x502, 0x503, 0x901};
    for (uint16_t code : replies) {
        for (OVErrorCodeEnum error : {OV_ERR_TIME_OUT, OV_ERR_USER_CANCELED}) {
            std::vector<KernelEvent> events;
            ReplyEffects effects;
            ASSERT_TRUE(HandleReply(code, 42, error, nullptr, 0, &events, &effects)) << code;
            EXPECT_FALSE(effects.loginAccepted);
            ASSERT_EQ(events.size(), code == 0x204 || code == 0x205 ? 2u : 1u) << code;
            for (const auto& e : events) {
                const OVServiceEventInfo* info = FindOVServiceEvent(e.dispid);
                ASSERT_NE(info, nullptr);
                ASSERT_EQ(e.args.size(), info->args.size()) << info->name;
                EXPECT_EQ(e.args[0].value, 42);
                EXPECT_EQ(e.args[1].value, error);
                // The position of eListFlag in the partial-list events.
                const size_t flagArg =
                    e.dispid == OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2 ? 5
                    : e.dispid == OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2 ||
                            e.dispid == OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2
                        ? 3
                        : 0;
                for (size_t i = 2; i < e.args.size(); ++i) {
                    EXPECT_EQ(e.args[i].value, i == flagArg ? OV_LISTFLAG_BAD : 0)
                        << info->name << " arg " << i;
                    EXPECT_TRUE(e.args[i].bytes.empty());
                }
            }
        }
    }
    // Notifications have no error path: they read their body, here none.
    for (uint16_t code : {0x601, 0x602, 0x603, 0x701, 0x702, 0x706, 0x707, 0x801, 0x802})
        EXPECT_FALSE(Handle(code, "", OV_ERR_TIME_OUT).ok) << code;
}

TEST(ReplyHandlers, LoginReplyIsExactlyEighteenBytes) {
    const std::string body = Body().u16(0).u32(77).u32(123456).u32(0xABCD).u32(0x0100007F);
    Result r = Handle(OV_CCMD_USR_LOGIN, body);
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(Longs(r.events[0]), (std::vector<int32_t>{7, 0, 77, 123456, 0x0100007F}));
    EXPECT_TRUE(r.effects.loginAccepted);
    EXPECT_EQ(r.effects.pin, 123456u);
    EXPECT_EQ(r.effects.loginId, 0xABCDu);

    EXPECT_FALSE(Handle(OV_CCMD_USR_LOGIN, body.substr(0, 17)).ok);
    EXPECT_FALSE(Handle(OV_CCMD_USR_LOGIN, body + "x").ok);
    Result refused = Handle(OV_CCMD_USR_LOGIN, Body().u16(5).raw(body.substr(2)));
    EXPECT_EQ(refused.events.at(0).args[1].value, OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_FALSE(refused.effects.loginAccepted);
}

TEST(ReplyHandlers, FixedLengthRepliesPassNumbersThrough) {
    Result add = Handle(OV_CCMD_BUDDY_ADD, Body().u16(8).u32(999));
    ASSERT_EQ(add.events.size(), 2u);
    EXPECT_EQ(add.events[0].dispid, OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY);
    EXPECT_EQ(add.events[1].dispid, OV_DISPID_ON_ADD_GROUP_TO_BUDDY_TREE_REPLY);
    EXPECT_EQ(Longs(add.events[1]), (std::vector<int32_t>{7, 8, 999}));

    // The group type is 16 bits on the wire and a long in the event: no sign extension.
    Result enter =
        Handle(OV_CCMD_GRP_USR_ENTER, Body().u16(0).u16(0xFFFF).u32(5).u32(6).u32(0x80000000));
    EXPECT_EQ(Longs(enter.events.at(0)), (std::vector<int32_t>{7, 0, 0xFFFF, 5, 6, INT32_MIN}));

    EXPECT_TRUE(Handle(OV_CCMD_USR_PASSWORD, Body().u16(5).u32(0)).ok);
    EXPECT_FALSE(Handle(OV_CCMD_USR_PASSWORD, Body().u16(5)).ok);
    EXPECT_TRUE(Handle(OV_CCMD_SENDTO_USR, Body().u16(24)).ok);
    EXPECT_FALSE(Handle(OV_CCMD_SENDTO_USR, Body().u16(24).u8(0)).ok);
    EXPECT_EQ(Longs(Handle(OV_CCMD_ONLINE_STAT, Body().u16(0).u32(10).u32(20)).events.at(0)),
              (std::vector<int32_t>{7, 0, 10, 20}));
}

TEST(ReplyHandlers, BuddyTreeEntriesAndErrors) {
    const std::string head = Body().u16(0).u16(3);
    Result r =
        Handle(OV_CCMD_BUDDY_GET_LST, head + BuddyEntry(999) + BuddyEntry(1000) + BuddyEntry(1));
    ASSERT_EQ(r.events.size(), 1u);
    const EventArg& nodes = r.events[0].args[3];
    ASSERT_EQ(nodes.bytes.size(), 3 * sizeof(OV_BUDDY_TREE_NODE));
    auto n0 = Record<OV_BUDDY_TREE_NODE>(nodes, 0), n1 = Record<OV_BUDDY_TREE_NODE>(nodes, 1);
    EXPECT_EQ(n0.bIsBuddyGroup, 1);
    EXPECT_EQ(n1.bIsBuddyGroup, 0);
    EXPECT_EQ(n1.nBuddyNodeID, 1000u);
    EXPECT_EQ(n1.nParentBuddyGroupID, 5u);
    EXPECT_STREQ(n1.sDisplayName, "disp");
    EXPECT_STREQ(n1.sUserName, "bob");
    EXPECT_EQ(n1.nOnlineStatus, 0xFFFFu);
    EXPECT_EQ(n1.reserved1[0] | n1.reserved2 | n1.reserved3[2], 0);

    const std::string third = BuddyEntry(1);
    EXPECT_FALSE(Handle(OV_CCMD_BUDDY_GET_LST,
                        head + BuddyEntry(2) + BuddyEntry(3) + third.substr(0, third.size() - 1))
                     .ok);
    // The buddy tree reports any server error as a time-out.
    Result failed = Handle(OV_CCMD_BUDDY_GET_LST, Body().u16(1).u16(0));
    EXPECT_EQ(Longs(failed.events.at(0)), (std::vector<int32_t>{7, OV_ERR_TIME_OUT, 0}));

    Result part = Handle(OV_CCMD_BUDDY_GET_LST2,
                         Body().u16(0).u16(9).u16(OV_LISTFLAG_HEAD).u16(1).raw(BuddyEntry(4)));
    EXPECT_EQ(Longs(part.events.at(0)), (std::vector<int32_t>{7, 0, 9, OV_LISTFLAG_HEAD, 1}));
    Result bad = Handle(OV_CCMD_BUDDY_GET_LST2, Body().u16(2).u16(9).u16(1).u16(1));
    EXPECT_EQ(Longs(bad.events.at(0)), (std::vector<int32_t>{7, 2, 0, OV_LISTFLAG_BAD, 0}));
}

TEST(ReplyHandlers, ListCountsAboveTheCapsAreReadAsTheCap) {
    std::string servers = Body().u16(0).u16(401);
    for (int i = 0; i < 400; ++i)
        servers += Body().text("h" + std::to_string(i), 257).u16(i);
    Result hs = Handle(OV_CCMD_HANDSHACK_SERVER, servers + "junk");
    ASSERT_EQ(hs.events.size(), 1u);
    EXPECT_EQ(hs.events[0].args[2].value, 400);
    auto last = Record<OV_SERVER_INFO>(hs.events[0].args[3], 399);
    EXPECT_STREQ(last.sServerAddr, "h399");
    EXPECT_EQ(last.nServerPort, 399);

    Result search = Handle(OV_CCMD_USR_SEARCH,
                           Body().u16(0).u16(0xFFFF).raw(Repeat(SearchEntry(5000, "x"), 100)));
    EXPECT_EQ(search.events.at(0).args[2].value, 100);
    Result black =
        Handle(OV_CCMD_BLACKLST_GET, Body().u16(0).u16(600).raw(Repeat(Brief(5000, "", "n"), 500)));
    EXPECT_EQ(black.events.at(0).args[2].value, 500);
    EXPECT_FALSE(
        Handle(OV_CCMD_BLACKLST_GET, Body().u16(0).u16(600).raw(Repeat(Brief(5000, "", "n"), 499)))
            .ok);
}

TEST(ReplyHandlers, UserEntriesFlagWhatTheyCarry) {
    Result r = Handle(OV_CCMD_USR_SEARCH2, Body()
                                               .u16(0)
                                               .u16(1)
                                               .u16(2)
                                               .raw(SearchEntry(1001, "alice") + "\0\0\0\0"s)
                                               .raw(SearchEntry(1002, "") + "\x04\0\0\0"s));
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(Longs(r.events[0]), (std::vector<int32_t>{7, 0, VARIANT_TRUE, 2}));
    auto a = Record<OV_USER_INFO>(r.events[0].args[4], 0),
         b = Record<OV_USER_INFO>(r.events[0].args[4], 1);
    EXPECT_EQ(a.nMask, 0x3700u | OV_UFLD_USERNAME);
    EXPECT_STREQ(a.sUserName, "alice");
    EXPECT_EQ(a.nLocation, 86u);
    EXPECT_EQ(a.nMode, 8u);
    EXPECT_EQ(b.nMask, 0x3700u);  // no names, and the status is not flagged
    EXPECT_EQ(b.nOnlineStatus, 4u);

    // A text of 17 bytes fills the field; one of 18 is malformed.
    const std::string full = "\x11\x00"s + "abcdefghijklmnopq";
    Result fits = Handle(OV_CCMD_BLACKLST_GET,
                         Body().u16(0).u16(1).u32(1001).raw(full).text("n", 17).u32(0).u8(0).u8(0));
    auto u = Record<OV_USER_INFO>(fits.events.at(0).args[3]);
    EXPECT_STREQ(u.sUserName, "abcdefghijklmnop");
    EXPECT_EQ(u.nMask, 0x1600u | OV_UFLD_USERNAME | OV_UFLD_NICKNAME);
    EXPECT_FALSE(Handle(OV_CCMD_BLACKLST_GET, Body()
                                                  .u16(0)
                                                  .u16(1)
                                                  .u32(1001)
                                                  .raw("\x12\x00"s + "abcdefghijklmnopqr")
                                                  .text("n", 17)
                                                  .u32(0)
                                                  .u8(0)
                                                  .u8(0))
                     .ok);

    // Entering a group always flags the same fields, names or not.
    Result enter = Handle(OV_SCMD_GRP_USR_ENTER,
                          Body().u16(2).u32(77).raw(Brief(1001, "al", "Al")).u32(1).u32(2));
    EXPECT_EQ(Record<OV_USER_INFO>(enter.events.at(0).args[2]).nMask, 0x04003600u);
    Result list = Handle(OV_CCMD_GRP_GET_OUSR_LIST2, Body()
                                                         .u16(0)
                                                         .u16(2)
                                                         .u32(77)
                                                         .u16(30)
                                                         .u16(3)
                                                         .u16(1)
                                                         .raw(Brief(1001, "al", ""))
                                                         .u32(1)
                                                         .u32(2));
    EXPECT_EQ(Longs(list.events.at(0)), (std::vector<int32_t>{7, 0, 2, 77, 30, 3, 1}));
    EXPECT_EQ(Record<OV_USER_INFO>(list.events[0].args[7]).nMask, 0x04003602u);
    Result refused =
        Handle(OV_CCMD_GRP_GET_OUSR_LIST, Body().u16(16).u16(2).u32(77).u16(30).u16(0));
    EXPECT_EQ(Longs(refused.events.at(0)), (std::vector<int32_t>{7, 16, 0, 0, 0, 0}));
}

TEST(ReplyHandlers, UserInfoAndRegistration) {
    const std::string entry = Body()
                                  .u32(1001)
                                  .u32(0x2000042)
                                  .text("alice", 17)
                                  .text("Al", 17)
                                  .text("", 17)
                                  .text("", 17)
                                  .text("a@b.c", 65)
                                  .u16(1)
                                  .u32(2)
                                  .u8(3)
                                  .u8(4)
                                  .u8(5)
                                  .u32(6)
                                  .u32(7)
                                  .u16(8)
                                  .u16(9)
                                  .u16(10)
                                  .u16(11)
                                  .text("", 65)
                                  .text("", 65)
                                  .text("", 33)
                                  .text("", 33)
                                  .text("", 65)
                                  .text("about me", 257);
    for (uint16_t error : {0, 21}) {
        Result r = Handle(OV_CCMD_USR_GET_INFO, Body().u16(error).raw(entry));
        auto u = Record<OV_USER_INFO>(r.events.at(0).args[2]);
        EXPECT_EQ(u.nMask, 0x2000042u);
        EXPECT_STREQ(u.sEMail, "a@b.c");
        EXPECT_EQ(u.nCareer, 5);
        EXPECT_EQ(u.nLanguage3, 11);
        EXPECT_STREQ(u.sAbout, "about me");
    }
    Result absent = Handle(OV_CCMD_USR_GET_INFO, Body().u16(23));
    EXPECT_EQ(absent.events.at(0).args[2].bytes, std::string(sizeof(OV_USER_INFO), '\0'));
    EXPECT_FALSE(
        Handle(OV_CCMD_USR_GET_INFO, Body().u16(0).raw(entry.substr(0, entry.size() - 1))).ok);

    Result reg = Handle(OV_CCMD_USR_REGISTER, Body().u16(0).u32(1234).text("alice", 17));
    EXPECT_EQ(reg.events.at(0).args[3].bytes, "alice");
    EXPECT_FALSE(Handle(OV_CCMD_USR_REGISTER, Body().u16(0).u32(1234)).ok);
    Result taken = Handle(OV_CCMD_USR_REGISTER, Body().u16(20).u32(1234));
    EXPECT_EQ(Longs(taken.events.at(0)), (std::vector<int32_t>{7, 20, 0}));
    EXPECT_TRUE(taken.events[0].args[3].bytes.empty());
}

TEST(ReplyHandlers, MessagesGoToOneOfFourEvents) {
    Result user = Handle(OV_SCMD_MESSAGE, Message(1001, 0, 19760112, "hi"), OV_ERR_TIME_OUT);
    ASSERT_EQ(user.events.size(), 1u);
    EXPECT_EQ(user.events[0].dispid, OV_DISPID_ON_USER_MESSAGE_RECEIVED);
    EXPECT_EQ(Longs(user.events[0]), (std::vector<int32_t>{1001, 2000, 19760112, 11, 1700000000}));
    EXPECT_EQ(user.events[0].args[4].bytes, "hi");
    EXPECT_EQ(Handle(OV_SCMD_MESSAGE, Message(1001, 3, 5, "x")).events.at(0).dispid,
              OV_DISPID_ON_GROUP_MESSAGE_RECEIVED);
    EXPECT_EQ(Handle(OV_SCMD_MESSAGE, Message(1, 0, 5, "x")).events.at(0).dispid,
              OV_DISPID_ON_USER_SYSTEM_MESSAGE_RECEIVED);
    Result group = Handle(OV_SCMD_MESSAGE, Message(1, 2, 5, "x"));
    EXPECT_EQ(group.events.at(0).dispid, OV_DISPID_ON_GROUP_SYSTEM_MESSAGE_RECEIVED);
    EXPECT_EQ(Longs(group.events[0]), (std::vector<int32_t>{2, 2000, 5, 11, 1700000000}));

    EXPECT_FALSE(Handle(OV_SCMD_MESSAGE, Message(0, 0, 5, "x")).ok);
    const std::string m = Message(1001, 0, 5, "x");
    EXPECT_FALSE(Handle(OV_SCMD_MESSAGE, m.substr(0, m.size() - 1)).ok);  // sent time cut off
}

TEST(ReplyHandlers, AddBuddyNoticeIsParsedFromTheText) {
    Result r = Handle(OV_SCMD_MESSAGE, Message(1, 0, 0x10000000, "1234 alice 3 2 1 0 65535:Ally"));
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].dispid, OV_DISPID_ON_ADD_BUDDY_NOTICE);
    auto u = Record<OV_USER_INFO>(r.events[0].args[0]);
    EXPECT_EQ(u.nMask, 0x0400360Bu);
    EXPECT_EQ(u.nPin, 1234u);
    EXPECT_STREQ(u.sUserName, "alice");
    EXPECT_STREQ(u.sNickName, "Ally");
    EXPECT_EQ(u.nIcon, 3u);
    EXPECT_EQ(u.nAgeRange, 2);
    EXPECT_EQ(u.nSex, 1);
    EXPECT_EQ(u.nMode, 0u);
    EXPECT_EQ(u.nOnlineStatus, 65535u);

    // Names longer than their fields are cut, not copied past them; numbers cut to 8 bits.
    const std::string longName(300, 'n');
    auto cut = Record<OV_USER_INFO>(
        Handle(OV_SCMD_MESSAGE,
               Message(1, 0, 0x10000000, "1 " + longName + " 3 258 -1 0 1:" + longName))
            .events.at(0)
            .args[0]);
    EXPECT_EQ(std::string(cut.sUserName), longName.substr(0, 16));
    EXPECT_EQ(std::string(cut.sNickName), longName.substr(0, 16));
    EXPECT_EQ(cut.nAgeRange, 2);
    EXPECT_EQ(cut.nSex, 0xFF);

    EXPECT_FALSE(Handle(OV_SCMD_MESSAGE, Message(1, 0, 0x10000000, "1234 alice 3 2 1 0 65535")).ok);
    EXPECT_FALSE(Handle(OV_SCMD_MESSAGE, Message(1, 0, 0x10000000, "1234 alice 3 2 1 x:Ally")).ok);
    EXPECT_FALSE(Handle(OV_SCMD_MESSAGE, Message(1, 0, 0x10000000, "")).ok);
}

TEST(ReplyHandlers, BuddyRequestsAndConnectionRequests) {
    Result req = Handle(OV_SCMD_ADD_BUDDY_REQUEST,
                        Body().raw(Brief(1001, "alice", "Al")).text("let me in", 513));
    ASSERT_EQ(req.events.size(), 1u);
    EXPECT_EQ(req.events[0].args[0].bytes, "let me in");
    auto u = Record<OV_USER_INFO>(req.events[0].args[1]);
    EXPECT_EQ(u.nMask, 0u);
    EXPECT_EQ(u.nPin, 1001u);
    EXPECT_STREQ(u.sNickName, "Al");
    EXPECT_EQ(u.nIcon, 3u);
    EXPECT_FALSE(Handle(OV_SCMD_ADD_BUDDY_REQUEST, Brief(1001, "alice", "Al")).ok);

    EXPECT_EQ(Handle(OV_SCMD_ADD_BUDDY_ACCEPT, Body().raw(Brief(1001, "a", "b")).u8(7))
                  .events.at(0)
                  .args[0]
                  .value,
              OV_BUDDY_ACCEPT);
    EXPECT_EQ(Handle(OV_SCMD_ADD_BUDDY_ACCEPT, Body().raw(Brief(1001, "a", "b")).u8(0))
                  .events.at(0)
                  .args[0]
                  .value,
              OV_BUDDY_DENY);

    Result ptp = Handle(OV_SCMD_PTP_REQUEST, Body()
                                                 .u32(1001)
                                                 .text("alice", 17)
                                                 .text("Al", 17)
                                                 .u32(19770101)
                                                 .u32(3)
                                                 .u32(0x0A000001)
                                                 .u16(40000)
                                                 .text("file", 513));
    ASSERT_EQ(ptp.events.size(), 1u);
    EXPECT_EQ(Longs(ptp.events[0]), (std::vector<int32_t>{1001, 19770101, 3, 0x0A000001, 40000}));
    EXPECT_EQ(ptp.events[0].args[1].bytes, "alice");
    EXPECT_EQ(ptp.events[0].args[7].bytes, "file");

    EXPECT_EQ(Longs(Handle(OV_SCMD_GRP_USR_LEAVE, Body().u16(1).u32(2).u32(1001)).events.at(0)),
              (std::vector<int32_t>{1, 2, 1001}));
    EXPECT_FALSE(Handle(OV_SCMD_USR_STATUS, Body().u32(1001).u32(1).u8(0)).ok);
}

namespace {

// Bytes from hexadecimal digits (spaces between fields ignored), so that expected bodies are
// written out by hand.
std::string Unhex(std::string_view hex) {
    std::string digits, out;
    for (char c : hex)
        if (c != ' ')
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

// One group-user entry: PIN 1001, user "al", nick empty but present, icon 3, age range 2,
// sex 1, mode 4, status 0xFFFF.
const std::string kGroupUser = " e9030000 0300616c00 010000 03000000 02 01 04000000 ffff0000";

void ExpectGroupUser(const EventArg& list) {
    ASSERT_EQ(list.bytes.size(), sizeof(OV_USER_INFO));
    auto u = Record<OV_USER_INFO>(list);
    EXPECT_EQ(u.nMask, 0x04003602u);  // the entry's fields and a user name
    EXPECT_EQ(u.nPin, 1001u);
    EXPECT_STREQ(u.sUserName, "al");
    EXPECT_STREQ(u.sNickName, "");
    EXPECT_EQ(u.nIcon, 3u);
    EXPECT_EQ(u.nAgeRange, 2);
    EXPECT_EQ(u.nSex, 1);
    EXPECT_EQ(u.nMode, 4u);
    EXPECT_EQ(u.nOnlineStatus, 0xFFFFu);
}

}  // namespace

TEST(ReplyBytes, GroupOnlineUserLists) {
    // 0x406: error 0, type 2, group 77, 30 online, 1 listed.
    const std::string list = Unhex("0000 0200 4d000000 1e00 0100" + kGroupUser);
    Result r = Handle(0x406, list);
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].dispid, OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY);
    EXPECT_EQ(Longs(r.events[0]), (std::vector<int32_t>{7, 0, 2, 77, 30, 1}));
    ExpectGroupUser(r.events[0].args[6]);
    EXPECT_FALSE(Handle(0x406, list.substr(0, list.size() - 1)).ok);

    // 0x411: the same with a list flag (3, tail) before the count.
    const std::string part = Unhex("0000 0400 05000000 0200 0300 0100" + kGroupUser);
    Result r2 = Handle(0x411, part);
    ASSERT_EQ(r2.events.size(), 1u);
    EXPECT_EQ(r2.events[0].dispid, OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2);
    EXPECT_EQ(Longs(r2.events[0]), (std::vector<int32_t>{7, 0, 4, 5, 2, OV_LISTFLAG_TAIL, 1}));
    ExpectGroupUser(r2.events[0].args[7]);
    EXPECT_FALSE(Handle(0x411, Unhex("0000 0400 05000000 0200 0300")).ok);  // 12 bytes
    Result refused = Handle(0x411, Unhex("1000 0400 05000000 0200 0300 0000"));
    EXPECT_EQ(Longs(refused.events.at(0)),
              (std::vector<int32_t>{7, 16, 0, 0, 0, OV_LISTFLAG_BAD, 0}));
}

TEST(ReplyBytes, GroupAndStatusNotifications) {
    // 0x703 is no packet of this protocol: nothing handles it.
    EXPECT_FALSE(HasReplyHandler(0x703));
    EXPECT_FALSE(Handle(0x703, Unhex("0100 2a000000 10270000")).ok);

    // 0x706: type 1, group 42, 10000 online; exactly 10 bytes.
    Result count = Handle(0x706, Unhex("0100 2a000000 10270000"));
    ASSERT_EQ(count.events.size(), 1u);
    EXPECT_EQ(count.events[0].dispid, OV_DISPID_ON_GROUP_ONLINE_USER_CHANGED);
    EXPECT_EQ(Longs(count.events[0]), (std::vector<int32_t>{1, 42, 10000}));
    EXPECT_FALSE(Handle(0x706, Unhex("0100 2a000000 1027")).ok);
    EXPECT_FALSE(Handle(0x706, Unhex("0100 2a000000 1027000000")).ok);

    // 0x707: PIN 10001 now away (2); exactly 8 bytes.
    Result status = Handle(0x707, Unhex("11270000 02000000"));
    ASSERT_EQ(status.events.size(), 1u);
    EXPECT_EQ(status.events[0].dispid, OV_DISPID_ON_USER_STATUS_CHANGED);
    EXPECT_EQ(Longs(status.events[0]), (std::vector<int32_t>{10001, 2}));
    EXPECT_FALSE(Handle(0x707, Unhex("11270000 020000")).ok);
}
