// COVService: the receive path (acknowledge, filter duplicates, dispatch) and the reply
// dispatcher that real packets, time-outs and cancellations share.
#include <algorithm>

#include "common/protocol/wire.h"
#include "kernel/reply_handlers.h"
#include "kernel/service.h"

namespace ov::kernel {

namespace {
constexpr size_t kRecentLimit = 200;
constexpr size_t kRecentKeep = 150;
}  // namespace

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
    Dispatch(command, wire::LoadU16(p + 8), OV_ERR_NONE, p + wire::kServerHeaderSize,
             n - wire::kServerHeaderSize);
}

void COVService::Dispatch(uint16_t code, uint16_t cmdSeqNum, OVErrorCodeEnum error,
                          const uint8_t* body, size_t length) {
    {
        CriticalSectionLock lock(cs_);
        for (auto it = awaited_.begin(); it != awaited_.end(); ++it) {
            if (it->cmdSeqNum == cmdSeqNum) {
                awaited_.erase(it);
                if (awaited_.empty())
                    ResetEvent(awaitingReply_);
                break;
            }
        }
    }
    std::vector<KernelEvent> events;
    ReplyEffects effects;
    HandleReply(code, cmdSeqNum, error, body, length, &events, &effects);
    if (effects.loginAccepted) {
        CriticalSectionLock lock(cs_);
        currentPin_ = effects.pin;
        loginId_ = effects.loginId;
        SetEvent(online_);
    }
    for (const auto& e : events)
        Raise(e);
}

}  // namespace ov::kernel
