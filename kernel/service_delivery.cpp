// COVService: sequence numbers, the in-flight slot and its queue, acknowledgements,
// retransmission, keep-alive, reply time-outs and cancelling.
#include <optional>

#include "common/protocol/wire.h"
#include "kernel/service.h"

namespace ov::kernel {

namespace {
constexpr uint16_t kRetryLimit = 6;
constexpr uint16_t kKeepAliveRetryLimit = 10;
constexpr DWORD kRetransmitPollMs = 1000;
constexpr DWORD kKeepAliveMs = 45000;
constexpr DWORD kReplyCheckMs = 10000;
constexpr uint32_t kReplyTimeoutSeconds = 60;
}  // namespace

uint16_t COVService::NextCmdSeqNum() {
    if (static_cast<int16_t>(cmdSeq_) < 30001)
        ++cmdSeq_;
    else
        cmdSeq_ = 100;
    return cmdSeq_;
}

bool COVService::Transmit(PendingCommand& cmd) {
    cmd.packetSeq = ++packetSeq_;
    wire::StoreU32(cmd.packet.Data() + wire::kPacketSeqOffset, cmd.packetSeq);
    cmd.packetId = 0;
    if (socket_)
        socket_->SendTo(serverHost_, serverPort_, cmd.packet.Variant(), &cmd.packetId);
    return cmd.packetId != 0;
}

LONG COVService::Submit(uint16_t command, uint16_t replyCode, const std::string& body,
                        bool urgent) {
    CriticalSectionLock lock(cs_);
    auto cmd = std::make_unique<PendingCommand>();
    cmd->command = command;
    cmd->replyCode = replyCode;
    cmd->cmdSeqNum = NextCmdSeqNum();
    wire::Writer w;
    wire::WriteRequestHeader(
        w, wire::RequestHeader{wire::kVersion, command, 0, currentPin_, loginId_, cmd->cmdSeqNum});
    w.Raw(body);
    cmd->packet = CByteArrayVariant(w.Bytes());
    cmd->created = cmd->lastSent = clock_->Now();
    const LONG seq = cmd->cmdSeqNum;

    // While the slot is empty between an acknowledgement and the next send, commands still
    // wait: whoever emptied the slot sends the queue's first next, so the server sees the
    // commands in the order they were given.
    if (inFlight_ || !queue_.empty()) {
        if (urgent)
            queue_.push_front(std::move(cmd));
        else
            queue_.push_back(std::move(cmd));
        return seq;
    }
    if (!Transmit(*cmd))
        return 0;  // refused at once: nothing was sent, nothing is raised
    inFlight_ = std::move(cmd);
    Signal(&Session::inFlight, true);
    return seq;
}

void COVService::AwaitReply(PendingCommand& cmd) {
    awaited_.push_back(AwaitedReply{cmd.command, cmd.replyCode, cmd.cmdSeqNum, clock_->Now()});
    cmd.replyRegistered = true;
    Signal(&Session::awaitingReply, true);
}

void COVService::OnSocketSendProgress(LONG packetId, LONG, LONG size, bool complete) {
    if (!complete)
        return;
    CriticalSectionLock lock(cs_);
    if (inFlight_ && inFlight_->packetId == packetId && inFlight_->replyCode != 0 &&
        !inFlight_->replyRegistered)
        AwaitReply(*inFlight_);
    // Raised with the lock held: the one event that is.
    Raise(OV_DISPID_ON_SOCKET_DATA_SENT, {EventArg::Long(size)});
}

void COVService::Acknowledge(uint32_t packetSeq) {
    std::unique_ptr<PendingCommand> cmd;
    uint32_t ackTime = 0, pin = 0, status = 0;
    {
        CriticalSectionLock lock(cs_);
        if (!inFlight_ || inFlight_->packetSeq != packetSeq)
            return;
        cmd = std::move(inFlight_);
        // The acknowledgement can overtake the socket's word that the datagram went out; the
        // datagram evidently did, and its reply is awaited from whichever comes first.
        if (cmd->replyCode != 0 && !cmd->replyRegistered)
            AwaitReply(*cmd);
        if (cmd->command == OV_CCMD_KEEP_ALIVE)
            keepAliveFailures_ = 0;
        roundTrips_[roundTripIndex_] = clock_->Now() - cmd->created;
        roundTripIndex_ = (roundTripIndex_ + 1) % 10;
        for (uint32_t t : roundTrips_)
            ackTime += t;
        pin = currentPin_;
        status = onlineStatus_;
    }
    if (cmd->command != OV_CCMD_KEEP_ALIVE) {
        Raise(OV_DISPID_ON_COMMAND_SEND,
              {EventArg::Long(cmd->cmdSeqNum), EventArg::Long(cmd->command),
               EventArg::Long(OV_ERR_NONE)});
        Raise(OV_DISPID_ON_COMMAND_SENT, {EventArg::Long(cmd->cmdSeqNum)});
    }
    if (cmd->command == OV_CCMD_USR_STATUS && pin != 0)
        Raise(OV_DISPID_ON_USER_STATUS_CHANGED, {EventArg::Long(static_cast<int32_t>(pin)),
                                                 EventArg::Long(static_cast<int32_t>(status))});
    Raise(OV_DISPID_ON_SERVER_ACK_TIME, {EventArg::Long(static_cast<int32_t>(ackTime))});
    cmd.reset();
    SendNextQueued();
}

void COVService::SendNextQueued() {
    std::vector<std::unique_ptr<PendingCommand>> refused;
    {
        CriticalSectionLock lock(cs_);
        while (!inFlight_ && !queue_.empty()) {
            std::unique_ptr<PendingCommand> next = std::move(queue_.front());
            queue_.pop_front();
            if (Transmit(*next)) {
                inFlight_ = std::move(next);
                Signal(&Session::inFlight, true);
                break;
            }
            refused.push_back(std::move(next));
        }
        if (!inFlight_ && queue_.empty())
            Signal(&Session::inFlight, false);
    }
    for (const auto& cmd : refused)
        GiveUp(*cmd, OV_ERR_TIME_OUT);
}

void COVService::GiveUp(const PendingCommand& cmd, OVErrorCodeEnum error) {
    if (cmd.command == OV_CCMD_KEEP_ALIVE) {
        bool lost = false;
        {
            CriticalSectionLock lock(cs_);
            if (++keepAliveFailures_ >= 2) {
                keepAliveFailures_ = 0;
                Signal(&Session::online, false);
                lost = true;
            }
        }
        if (lost)
            Raise(OV_DISPID_ON_CONNECTION_LOST, {});
        return;
    }
    Raise(OV_DISPID_ON_COMMAND_SEND,
          {EventArg::Long(cmd.cmdSeqNum), EventArg::Long(cmd.command), EventArg::Long(error)});
    Raise(OV_DISPID_ON_COMMAND_SEND_ERROR, {EventArg::Long(cmd.cmdSeqNum), EventArg::Long(error)});
}

void COVService::RetransmissionThread(const Session& s) {
    const HANDLE outer[2] = {s.stop, s.inFlight};
    for (;;) {
        if (s.clock->Wait(2, outer, INFINITE) != WAIT_OBJECT_0 + 1)
            return;
        for (;;) {
            if (s.clock->Wait(1, &s.stop, kRetransmitPollMs) != WAIT_TIMEOUT)
                return;
            std::unique_ptr<PendingCommand> expired;
            {
                CriticalSectionLock lock(cs_);
                if (!inFlight_) {
                    ResetEvent(s.inFlight);
                    break;
                }
                PendingCommand& cmd = *inFlight_;
                uint32_t now = s.clock->Now();
                if (now - cmd.lastSent > uint32_t{cmd.retries} + 1) {
                    uint16_t limit =
                        cmd.command == OV_CCMD_KEEP_ALIVE ? kKeepAliveRetryLimit : kRetryLimit;
                    if (cmd.retries >= limit) {
                        ResetEvent(s.inFlight);
                        expired = std::move(inFlight_);
                    } else {
                        ++cmd.retries;
                        cmd.lastSent = now;
                        cmd.packetId = 0;
                        // The same datagram again, byte for byte.
                        if (socket_)
                            socket_->SendTo(serverHost_, serverPort_, cmd.packet.Variant(),
                                            &cmd.packetId);
                    }
                }
            }
            if (expired) {
                {
                    CriticalSectionLock lock(cs_);
                    for (auto it = awaited_.begin(); it != awaited_.end(); ++it) {
                        if (it->cmdSeqNum == expired->cmdSeqNum) {
                            awaited_.erase(it);
                            if (awaited_.empty())
                                Signal(&Session::awaitingReply, false);
                            break;
                        }
                    }
                }
                GiveUp(*expired, OV_ERR_TIME_OUT);
                expired.reset();
                SendNextQueued();
            }
        }
    }
}

bool COVService::KeepAlivePending() const {
    if (inFlight_ && inFlight_->command == OV_CCMD_KEEP_ALIVE)
        return true;
    for (const auto& q : queue_)
        if (q->command == OV_CCMD_KEEP_ALIVE)
            return true;
    return false;
}

void COVService::KeepAliveThread(const Session& s) {
    const HANDLE outer[2] = {s.stop, s.online};
    for (;;) {
        if (s.clock->Wait(2, outer, INFINITE) != WAIT_OBJECT_0 + 1)
            return;
        for (;;) {
            if (s.clock->Wait(1, &s.stop, kKeepAliveMs) != WAIT_TIMEOUT)
                return;
            if (WaitForSingleObject(s.online, 0) != WAIT_OBJECT_0)
                break;
            bool due;
            {
                CriticalSectionLock lock(cs_);
                // One keep-alive at a time: while one is still trying, a second would only
                // count the same silence twice (and report the connection lost twice).
                due = currentPin_ != 0 && !KeepAlivePending();
            }
            if (due)
                Submit(OV_CCMD_KEEP_ALIVE, 0, std::string(), true);
        }
    }
}

void COVService::ReplyTimeoutThread(const Session& s) {
    const HANDLE outer[2] = {s.stop, s.awaitingReply};
    for (;;) {
        if (s.clock->Wait(2, outer, INFINITE) != WAIT_OBJECT_0 + 1)
            return;
        for (;;) {
            if (s.clock->Wait(1, &s.stop, kReplyCheckMs) != WAIT_TIMEOUT)
                return;
            if (WaitForSingleObject(s.awaitingReply, 0) != WAIT_OBJECT_0)
                break;
            for (;;) {
                std::optional<AwaitedReply> old;
                {
                    CriticalSectionLock lock(cs_);
                    uint32_t now = s.clock->Now();
                    for (const auto& a : awaited_) {
                        if (now - a.registered > kReplyTimeoutSeconds) {
                            old = a;
                            break;
                        }
                    }
                }
                if (!old)
                    break;
                Dispatch(old->replyCode, old->cmdSeqNum, OV_ERR_TIME_OUT, nullptr, 0);
            }
        }
    }
}

HRESULT COVService::CancelCommand(LONG nCmdSeqNum, LONG* pbOK) {
    if (pbOK == nullptr)
        return E_POINTER;
    *pbOK = 1;
    std::unique_ptr<PendingCommand> cancelled;
    bool wasInFlight = false;
    std::optional<AwaitedReply> reply;
    {
        CriticalSectionLock lock(cs_);
        if (inFlight_ && inFlight_->cmdSeqNum == nCmdSeqNum) {
            cancelled = std::move(inFlight_);
            wasInFlight = true;
        } else {
            for (auto it = queue_.begin(); it != queue_.end(); ++it) {
                if ((*it)->cmdSeqNum == nCmdSeqNum) {
                    cancelled = std::move(*it);
                    queue_.erase(it);
                    break;
                }
            }
            if (!cancelled) {
                for (const auto& a : awaited_) {
                    if (a.cmdSeqNum == nCmdSeqNum) {
                        reply = a;
                        break;
                    }
                }
            }
        }
    }
    if (cancelled) {
        GiveUp(*cancelled, OV_ERR_USER_CANCELED);
        cancelled.reset();
        if (wasInFlight) {
            {
                CriticalSectionLock lock(cs_);
                if (!inFlight_)
                    Signal(&Session::inFlight, false);
            }
            SendNextQueued();
        }
    } else if (reply) {
        // The dispatcher removes it and raises the reply event with the cancel error.
        Dispatch(reply->replyCode, reply->cmdSeqNum, OV_ERR_USER_CANCELED, nullptr, 0);
    } else {
        *pbOK = 0;
    }
    return S_OK;
}

HRESULT COVService::CancelAllCommands(LONG* pbOK) {
    if (pbOK == nullptr)
        return E_POINTER;
    std::vector<std::unique_ptr<PendingCommand>> commands;
    std::vector<AwaitedReply> replies;
    {
        CriticalSectionLock lock(cs_);
        if (inFlight_) {
            commands.push_back(std::move(inFlight_));
            Signal(&Session::inFlight, false);
        }
        for (auto& q : queue_)
            commands.push_back(std::move(q));
        queue_.clear();
        replies.assign(awaited_.begin(), awaited_.end());
    }
    *pbOK = commands.empty() && replies.empty() ? 0 : 1;
    for (const auto& cmd : commands)
        GiveUp(*cmd, OV_ERR_USER_CANCELED);
    // Each dispatch removes its awaited reply, as an arrived reply would.
    for (const auto& r : replies)
        Dispatch(r.replyCode, r.cmdSeqNum, OV_ERR_USER_CANCELED, nullptr, 0);
    return S_OK;
}

}  // namespace ov::kernel
