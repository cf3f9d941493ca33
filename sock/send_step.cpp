// COVSocket: the send step - one attempt to send the head of the queue.
#include <sys/socket.h>
#include <algorithm>

#include <cerrno>

#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

COVSocket::StepResult COVSocket::SendStep(const SocketHandle& socket, LONG reportedId,
                                          bool mayBlock) {
    // A failed negotiation sends the packet at hand unaddressed, which fails on a datagram
    // socket and so ends in OnSendError.
    bool proxyFailed = false;
    if (AccessType() == OVSOCK_ACCESS_SOCKS5 && !proxyNegotiated_)
        proxyFailed = !NegotiateProxy();

    enum class Outcome { kFailed, kComplete, kPartial };
    Outcome outcome = Outcome::kPartial;
    LONG id = 0;
    LONG size = 0;
    SendQueueEntry finished;  // freed once the lock is released
    {
        CriticalSectionLock lock(lock_);
        if (sendQueue_.empty()) {
            sendWake_.Clear(kSendPending);
            return StepResult::kDone;
        }
        SendQueueEntry& head = sendQueue_.front();
        // ClearSendQueue ran since the report: the new head is reported first, so that every
        // packet's attempts follow a progress event of its own.
        if (head.packetId != reportedId)
            return StepResult::kDone;
        id = head.packetId;
        size = static_cast<LONG>(head.data.size());
        ssize_t n = -1;
        size_t remaining = 0;
        if (head.sentEarly) {
            // SendTo sent it already: this step only reports how that went.
            remaining = head.data.size();
            n = head.earlyError == 0 ? static_cast<ssize_t>(remaining) : -1;
            if (head.earlyError != 0)
                SetSocketErrorFromErrno(head.earlyError);
        } else {
            const size_t offset = std::min(head.bytesSent, head.data.size());
            remaining = head.data.size() - offset;
            const BYTE* bytes = head.data.data() + offset;
            const int flags = mayBlock ? 0 : MSG_DONTWAIT;
            bool wouldBlock = false;
            // The lock stays held during the send itself: Send and ClearSendQueue wait for it.
            if (head.addressed && !proxyFailed) {
                if (head.toRelay) {
                    head.host = remoteHost_.ToCp936();
                    head.port = remotePort_;
                }
                sockaddr_in to = head.address;
                if (head.hasAddress || ResolveAddress(head.host, head.port, true, {}, &to)) {
                    n = SendDatagram(socket.Fd(), bytes, remaining, to, flags);
                    wouldBlock = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
                }
            } else {
                n = SendStream(socket.Fd(), bytes, remaining, flags);
                wouldBlock = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
                if (!mayBlock && n >= 0 && static_cast<size_t>(n) < remaining) {
                    // The socket took part of it: the rest goes out as the one blocking send
                    // of the step would have sent it.
                    ssize_t rest = SendStream(socket.Fd(), bytes + n, remaining - n, 0);
                    n = rest < 0 ? rest : n + rest;
                }
            }
            if (wouldBlock && !mayBlock)
                return StepResult::kWouldBlock;
        }
        if (n < 0) {
            outcome = Outcome::kFailed;
            finished = std::move(head);
            sendQueue_.pop_front();
            // The packets behind wait for the next Send or SendTo.
            sendWake_.Clear(kSendPending);
        } else if (static_cast<size_t>(n) == remaining) {
            outcome = Outcome::kComplete;
            finished = std::move(head);
            sendQueue_.pop_front();
            // Nothing left: the thread sleeps after the events rather than taking the lock
            // once more to find that out. A packet queued meanwhile raises the flag again.
            if (sendQueue_.empty())
                sendWake_.Clear(kSendPending);
        } else {
            // The next pass of the send thread reports progress again and sends the rest.
            outcome = Outcome::kPartial;
            head.bytesSent += static_cast<size_t>(n);
        }
    }
    switch (outcome) {
        case Outcome::kFailed:
            // A send that Close cut short drops its packet as silently as the rest of the queue.
            if (!Stopped())
                Fire(OVSOCK_DISPID_ON_SEND_ERROR, id);
            break;
        case Outcome::kComplete:
            Fire(OVSOCK_DISPID_ON_SEND_PROGRESS, id, size, size, VARIANT_TRUE);
            break;
        case Outcome::kPartial:
            break;
    }
    RecycleBuffer(std::move(finished.data));
    return StepResult::kDone;
}

}  // namespace ov::sock
