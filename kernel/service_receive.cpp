// COVService: the receive path (acknowledge, filter duplicates, dispatch) and the reply
// dispatcher that real packets, time-outs and cancellations share.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "common/protocol/wire.h"
#include "kernel/reply_handlers.h"
#include "kernel/server_address.h"
#include "kernel/service.h"

namespace ov::kernel {

namespace {
constexpr size_t kRecentLimit = 200;
constexpr size_t kRecentKeep = 150;
}  // namespace

bool COVService::FromServer(BSTR host, LONG port) {
    const std::string sender = Bstr(host).ToCp936();
    const std::optional<uint32_t> senderIp = ParseIPv4(sender);
    LookUpServerName();
    CriticalSectionLock lock(cs_);
    if (serverPort_ == 0 || port != serverPort_)
        return false;
    if (serverIp_)
        return senderIp == serverIp_;
    // A server name that did not resolve here can only be matched by its text (a relay may
    // name a sender that way).
    const std::string server = serverAddress_.ToCp936();
    return !server.empty() && std::equal(server.begin(), server.end(), sender.begin(), sender.end(),
                                         [](char a, char b) {
                                             return std::tolower(static_cast<unsigned char>(a)) ==
                                                    std::tolower(static_cast<unsigned char>(b));
                                         });
}

void COVService::LookUpServerName() {
    std::string name;
    uint32_t handshake = 0;
    {
        CriticalSectionLock lock(cs_);
        if (serverLookedUp_)
            return;
        name = serverAddress_.ToCp936();
        handshake = handshakes_;
    }
    const std::optional<uint32_t> ip = ResolveIPv4(name);  // outside the lock: it may take a while
    CriticalSectionLock lock(cs_);
    if (handshake != handshakes_)
        return;  // another server was named meanwhile; its own datagrams look it up
    serverLookedUp_ = true;
    serverIp_ = ip;
    if (ip)
        serverHost_ = Bstr::FromUtf8(DottedIPv4(*ip));
}

void COVService::OnSocketDataAvailable() {
    ComPtr<IOVSocket> socket;
    {
        CriticalSectionLock lock(cs_);
        socket = socket_;
    }
    if (!socket)
        return;
    Bstr host;
    LONG port = 0;
    Variant data;
    VARIANT_BOOL ok = VARIANT_FALSE;
    socket->ReceiveFrom(host.Out(), &port, &data, &ok);
    if (!ok)
        return;
    // Read, so that the socket goes on receiving, and dropped unless the server sent it:
    // whoever else learns the port must not get a word in, nor an acknowledgement out.
    if (!FromServer(host, port))
        return;

    CByteArrayVariant datagram(data);
    const uint8_t* p = datagram.Data();
    const size_t n = datagram.Size();
    Raise(OV_DISPID_ON_SOCKET_DATA_RECEIVED, {EventArg::Long(static_cast<int32_t>(n))});
    if (n < wire::kServerAckSize || wire::LoadU16(p) != wire::kVersion)
        return;

    const uint16_t command = wire::LoadU16(p + 2);
    const uint32_t packetSeq = wire::LoadU32(p + 4);
    if (command == OV_CCMD_ACK) {
        if (n == wire::kServerAckSize)
            Acknowledge(packetSeq);
        return;
    }
    if (n < wire::kServerHeaderSize)
        return;

    {
        CriticalSectionLock lock(cs_);
        // Every copy is acknowledged, duplicates included, so the server stops resending.
        if (socket_) {
            CByteArrayVariant ack(wire::ClientAck(packetSeq, currentPin_, loginId_));
            LONG id = 0;
            socket_->SendTo(host, port, ack.Variant(), &id);
        }
        if (std::find(recentPackets_.begin(), recentPackets_.end(), packetSeq) !=
            recentPackets_.end())
            return;
        recentPackets_.push_back(packetSeq);
        if (recentPackets_.size() > kRecentLimit)
            recentPackets_.erase(recentPackets_.begin(),
                                 recentPackets_.begin() + (recentPackets_.size() - kRecentKeep));
    }
    // Handlers run and events are raised with no lock held.
    Dispatch(command, wire::LoadU16(p + 8), OV_ERR_NONE, p + wire::kServerHeaderSize,
             n - wire::kServerHeaderSize);
}

void COVService::Dispatch(uint16_t code, uint16_t cmdSeqNum, OVErrorCodeEnum error,
                          const uint8_t* body, size_t length) {
    bool asked = false;  // the reply answers a login this client has in progress
    {
        CriticalSectionLock lock(cs_);
        bool awaited = false;
        for (auto it = awaited_.begin(); it != awaited_.end(); ++it) {
            if (it->cmdSeqNum == cmdSeqNum) {
                asked = it->command == OV_CCMD_USR_LOGIN;
                awaited_.erase(it);
                if (awaited_.empty())
                    Signal(&Session::awaitingReply, false);
                awaited = true;
                break;
            }
        }
        // A reply can beat its command's acknowledgement and the socket's word that it went
        // out: nothing is left to await for that command then.
        if (!awaited && inFlight_ && inFlight_->cmdSeqNum == cmdSeqNum) {
            inFlight_->replyRegistered = true;
            asked = inFlight_->command == OV_CCMD_USR_LOGIN;
        }
        for (const auto& queued : queue_)
            asked =
                asked || (queued->cmdSeqNum == cmdSeqNum && queued->command == OV_CCMD_USR_LOGIN);
    }
    // Anyone who knows an account's password can log in with this client's address as the
    // source: the server's reply to that must not make this client speak as that account.
    if (code == OV_CCMD_USR_LOGIN && !asked)
        return;
    std::vector<KernelEvent> events;
    ReplyEffects effects;
    HandleReply(code, cmdSeqNum, error, body, length, &events, &effects);
    if (effects.loginAccepted) {
        CriticalSectionLock lock(cs_);
        currentPin_ = effects.pin;
        loginId_ = effects.loginId;
        Signal(&Session::online, true);
    }
    for (const auto& e : events)
        Raise(e);
}

}  // namespace ov::kernel
