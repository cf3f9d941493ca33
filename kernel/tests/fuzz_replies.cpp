// Every byte after a server header comes from the network. Input: u16 packet code, one byte
// choosing the error argument, then the body. Beyond the sanitizers' checks, the events must
// have the declared shape, lists as many records as their count says, and every text must end
// inside its field.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/interfaces/ovkernel.h"
#include "kernel/reply_handlers.h"

namespace {

[[noreturn]] void Fail(const char* what, uint16_t code) {
    std::fprintf(stderr, "packet 0x%x: %s\n", code, what);
    std::abort();
}

// What a byte-array argument holds: records of one type (a list when countArg is set) or a text.
enum class Holds { Users, Nodes, Servers, Text };

struct BytesArg {
    DISPID dispid;
    size_t arg;
    Holds holds;
    int countArg;  // the argument giving the number of records, or -1 for one record or a text
};

constexpr BytesArg kBytesArgs[] = {
    {OV_DISPID_ON_HANDSHAKE_SERVER_REPLY, 3, Holds::Servers, 2},
    {OV_DISPID_ON_REGISTER_USER_REPLY, 3, Holds::Text, -1},
    {OV_DISPID_ON_SEARCH_USER_REPLY, 3, Holds::Users, 2},
    {OV_DISPID_ON_REQUEST_USER_INFO_REPLY, 2, Holds::Users, -1},
    {OV_DISPID_ON_SEARCH_USER_REPLY2, 4, Holds::Users, 3},
    {OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY, 3, Holds::Nodes, 2},
    {OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2, 5, Holds::Nodes, 4},
    {OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY, 3, Holds::Users, 2},
    {OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2, 5, Holds::Users, 4},
    {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY, 6, Holds::Users, 5},
    {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2, 7, Holds::Users, 6},
    {OV_DISPID_ON_ADD_BUDDY_REQUEST, 0, Holds::Text, -1},
    {OV_DISPID_ON_ADD_BUDDY_REQUEST, 1, Holds::Users, -1},
    {OV_DISPID_ON_ADD_BUDDY_ACCEPT, 1, Holds::Users, -1},
    {OV_DISPID_ON_USER_ENTER_GROUP, 2, Holds::Users, -1},
    {OV_DISPID_ON_ADD_BUDDY_NOTICE, 0, Holds::Users, -1},
    {OV_DISPID_ON_USER_MESSAGE_RECEIVED, 4, Holds::Text, -1},
    {OV_DISPID_ON_GROUP_MESSAGE_RECEIVED, 5, Holds::Text, -1},
    {OV_DISPID_ON_USER_SYSTEM_MESSAGE_RECEIVED, 3, Holds::Text, -1},
    {OV_DISPID_ON_GROUP_SYSTEM_MESSAGE_RECEIVED, 4, Holds::Text, -1},
    {OV_DISPID_ON_PTP_CONNECTION_REQUEST, 1, Holds::Text, -1},
    {OV_DISPID_ON_PTP_CONNECTION_REQUEST, 2, Holds::Text, -1},
    {OV_DISPID_ON_PTP_CONNECTION_REQUEST, 7, Holds::Text, -1},
};

// A text field of a record must end inside the field: the sanitizers do not see a text that
// runs on into the next field of the same record.
template <size_t N>
void CheckField(const char (&field)[N], uint16_t code) {
    if (!std::memchr(field, 0, N))
        Fail("text runs past its field", code);
}

template <typename Record>
std::vector<Record> Records(const std::string& bytes, uint16_t code) {
    if (bytes.size() % sizeof(Record) != 0)
        Fail("partial record", code);
    std::vector<Record> out(bytes.size() / sizeof(Record));
    if (!out.empty())
        std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

size_t CheckBytes(const EventArg& a, Holds holds, uint16_t code) {
    switch (holds) {
        case Holds::Text:
            if (a.bytes.find('\0') != std::string::npos)
                Fail("text holds its zero", code);
            if (a.bytes.size() >= OV_MSG_SIZE)
                Fail("text longer than any field", code);
            return 0;
        case Holds::Servers: {
            auto list = Records<OV_SERVER_INFO>(a.bytes, code);
            for (const auto& s : list)
                CheckField(s.sServerAddr, code);
            return list.size();
        }
        case Holds::Nodes: {
            auto list = Records<OV_BUDDY_TREE_NODE>(a.bytes, code);
            for (const auto& n : list) {
                CheckField(n.sDisplayName, code);
                CheckField(n.sUserName, code);
                CheckField(n.sNickName, code);
                if (n.bIsBuddyGroup != (n.nBuddyNodeID < OV_FIRST_USER_PIN ? 1 : 0))
                    Fail("group flag disagrees with the node identifier", code);
            }
            return list.size();
        }
        case Holds::Users: {
            auto list = Records<OV_USER_INFO>(a.bytes, code);
            for (const auto& u : list) {
                CheckField(u.sUserName, code);
                CheckField(u.sPassword, code);
                CheckField(u.sNickName, code);
                CheckField(u.sFirstName, code);
                CheckField(u.sLastName, code);
                CheckField(u.sEMail, code);
                CheckField(u.sEMail1, code);
                CheckField(u.sEMail2, code);
                CheckField(u.sPhone, code);
                CheckField(u.sMobile, code);
                CheckField(u.sHomepage, code);
                CheckField(u.sAbout, code);
            }
            return list.size();
        }
    }
    return 0;
}

void CheckEvent(const KernelEvent& e, uint16_t code) {
    const OVServiceEventInfo* info = FindOVServiceEvent(e.dispid);
    if (!info)
        Fail("unknown event", code);
    if (info->args.size() != e.args.size())
        Fail("wrong argument count", code);
    for (size_t i = 0; i < e.args.size(); ++i) {
        const EventArg& a = e.args[i];
        const char want = a.kind == EventArg::Kind::Long   ? 'L'
                          : a.kind == EventArg::Kind::Bool ? 'B'
                                                           : 'V';
        if (info->args[i] != want)
            Fail("wrong argument kind", code);
        if (a.kind == EventArg::Kind::Bool && a.value != VARIANT_TRUE && a.value != VARIANT_FALSE)
            Fail("bad VARIANT_BOOL", code);
        if (a.kind != EventArg::Kind::Bytes && !a.bytes.empty())
            Fail("bytes on a number", code);
    }
    for (const BytesArg& b : kBytesArgs) {
        if (b.dispid != e.dispid)
            continue;
        const size_t records = CheckBytes(e.args[b.arg], b.holds, code);
        if (b.countArg < 0)
            continue;
        const int32_t count = e.args[b.countArg].value;
        if (count < 0 || count > 500)
            Fail("count outside the caps", code);
        if (records != static_cast<size_t>(count))
            Fail("list size disagrees with its count", code);
    }
}

}  // namespace

// The message notification's head: from-PIN, group type, to, component ID and code.
constexpr size_t kMessageHead = 18;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint16_t code = static_cast<uint16_t>(data[0] | (data[1] << 8));
    // Selector bits 0-1: the error argument. Bit 2: what follows an 18-byte head is a message
    // text, wrapped here as T(513) and a sent time, so that the add-buddy notice parser is
    // reached without the fuzzer having to keep a length field in step with the text.
    static constexpr OVErrorCodeEnum kErrors[] = {OV_ERR_NONE, OV_ERR_NONE, OV_ERR_TIME_OUT,
                                                  OV_ERR_USER_CANCELED};
    const OVErrorCodeEnum error = kErrors[data[2] & 3];
    std::vector<uint8_t> wire(data + 3, data + size);
    if ((data[2] & 4) && wire.size() >= kMessageHead && wire.size() - kMessageHead < OV_MSG_SIZE) {
        const size_t textLen = wire.size() - kMessageHead + 1;
        wire.insert(wire.begin() + kMessageHead,
                    {static_cast<uint8_t>(textLen), static_cast<uint8_t>(textLen >> 8)});
        wire.insert(wire.end(), {0, 0x10, 0x20, 0x30, 0x40});  // the zero, then the time
    }
    // Exactly as large as the body, so that a read past it is caught.
    const std::vector<uint8_t> body(wire.begin(), wire.end());

    std::vector<KernelEvent> events;
    ReplyEffects effects;
    // A reply that did not arrive must not look at the body it is given here; a notification
    // reads its body whatever the error argument says.
    const bool ok = HandleReply(code, 1, error, body.data(), body.size(), &events, &effects);

    if (ok == events.empty())
        Fail("result disagrees with the events", code);
    if (!HasReplyHandler(code) && ok)
        Fail("events for a code without handler", code);
    if (effects.loginAccepted && (code != OV_CCMD_USR_LOGIN || !ok || error != OV_ERR_NONE))
        Fail("login accepted by something else", code);
    for (const KernelEvent& e : events)
        CheckEvent(e, code);
    return 0;
}
