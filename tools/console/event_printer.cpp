#include "tools/console/event_printer.h"

#include <cstdio>
#include <cstring>

#include "common/byte_array_variant.h"
#include "platform/text/cp936.h"
#include "tools/console/console_line.h"

namespace ov::console {

namespace {

// The record type a byte-array argument carries, by event.
enum class Carried { Text, UserInfo, BuddyNode, Server };

Carried CarriedBy(DISPID dispid, size_t argIndex) {
    switch (dispid) {
        case OV_DISPID_ON_SEARCH_USER_REPLY:
        case OV_DISPID_ON_REQUEST_USER_INFO_REPLY:
        case OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY:
        case OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY:
        case OV_DISPID_ON_ADD_BUDDY_ACCEPT:
        case OV_DISPID_ON_USER_ENTER_GROUP:
        case OV_DISPID_ON_ADD_BUDDY_NOTICE:
        case OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2:
        case OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2:
        case OV_DISPID_ON_SEARCH_USER_REPLY2:
            return Carried::UserInfo;
        case OV_DISPID_ON_ADD_BUDDY_REQUEST:
            return argIndex == 1 ? Carried::UserInfo : Carried::Text;
        case OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY:
        case OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2:
            return Carried::BuddyNode;
        case OV_DISPID_ON_HANDSHAKE_SERVER_REPLY:
            return Carried::Server;
        default:
            return Carried::Text;
    }
}

std::string Field(const char* field, size_t size) {
    const void* zero = std::memchr(field, 0, size);
    size_t len = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : size;
    return "\"" + ov::Cp936ToUtf8(std::string_view(field, len)) + "\"";
}

template <class Record>
std::vector<Record> Records(std::string_view bytes) {
    std::vector<Record> out(bytes.size() / sizeof(Record));
    if (!out.empty())
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(Record));
    return out;
}

std::string Describe(const OV_USER_INFO& u) {
    return "  record nMask=" + std::to_string(u.nMask) + " nPin=" + std::to_string(u.nPin) +
           " sUserName=" + Field(u.sUserName, sizeof u.sUserName) +
           " sNickName=" + Field(u.sNickName, sizeof u.sNickName) +
           " nIcon=" + std::to_string(u.nIcon) + " nMode=" + std::to_string(u.nMode) +
           " nOnlineStatus=" + std::to_string(u.nOnlineStatus);
}

std::string Describe(const OV_BUDDY_TREE_NODE& n) {
    return "  record bIsBuddyGroup=" + std::to_string(n.bIsBuddyGroup) +
           " nBuddyNodeID=" + std::to_string(n.nBuddyNodeID) +
           " sDisplayName=" + Field(n.sDisplayName, sizeof n.sDisplayName) +
           " sUserName=" + Field(n.sUserName, sizeof n.sUserName) +
           " nParentBuddyGroupID=" + std::to_string(n.nParentBuddyGroupID) +
           " nOnlineStatus=" + std::to_string(n.nOnlineStatus);
}

std::string Describe(const OV_SERVER_INFO& s) {
    return "  record sServerAddr=" + Field(s.sServerAddr, sizeof s.sServerAddr) +
           " nServerPort=" + std::to_string(s.nServerPort);
}

}  // namespace

std::string FormatEvent(const KernelEvent& event) {
    const OVServiceEventInfo* info = FindOVServiceEvent(event.dispid);
    std::string line =
        "event " + (info ? std::string(info->name) : "Unknown" + std::to_string(event.dispid));
    for (const EventArg& a : event.args)
        line += " " + (a.kind == EventArg::Kind::Bytes ? "hex:" + HexOf(a.bytes)
                                                       : std::to_string(a.value));
    return line;
}

std::vector<std::string> DecodeEvent(const KernelEvent& event) {
    std::vector<std::string> lines;
    for (size_t index = 0; index < event.args.size(); ++index) {
        const EventArg& a = event.args[index];
        if (a.kind != EventArg::Kind::Bytes)
            continue;
        switch (CarriedBy(event.dispid, index)) {
            case Carried::UserInfo:
                for (const auto& r : Records<OV_USER_INFO>(a.bytes))
                    lines.push_back(Describe(r));
                break;
            case Carried::BuddyNode:
                for (const auto& r : Records<OV_BUDDY_TREE_NODE>(a.bytes))
                    lines.push_back(Describe(r));
                break;
            case Carried::Server:
                for (const auto& r : Records<OV_SERVER_INFO>(a.bytes))
                    lines.push_back(Describe(r));
                break;
            case Carried::Text:
                lines.push_back("  text \"" + ov::Cp936ToUtf8(a.bytes) + "\"");
                break;
        }
    }
    return lines;
}

void LineWriter::Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    write_(line);
}

void EventPrinter::OnServiceEvent(const KernelEvent& event) {
    std::string text = FormatEvent(event);
    if (decode_)
        for (const auto& l : DecodeEvent(event))
            text += "\n" + l;
    out_->Write(text);
}

void EventPrinter::OnEventRefused(DISPID dispid, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    out_->Write("error event " + std::to_string(dispid) + " refused: " + code);
}

}  // namespace ov::console
