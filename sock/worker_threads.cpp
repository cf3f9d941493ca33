// COVSocket: the receive-watch, send, connect and resolve threads.
#include <cerrno>

#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

namespace {

// How long one wait for readiness lasts before the thread looks at its events again.
constexpr int kSelectTimeoutMs = 5000;

}  // namespace

void COVSocket::ReceiveWatchThread(SocketRef socket) {
    for (;;) {
        if (WaitForMultipleObjects(2, receiveWaitSet_, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;  // stop
        Readiness r = WaitReadable(socket->Fd(), kSelectTimeoutMs);
        if (Stopped())
            break;
        if (r == Readiness::kFailed) {
            ResetEvent(receiveArmed_);  // watching pauses until a member arms it again
            continue;
        }
        if (r == Readiness::kTimedOut)
            continue;  // still armed: wait again
        ResetEvent(receiveArmed_);
        Fire(listening_ ? OVSOCK_DISPID_ON_CONNECTION_REQUEST : OVSOCK_DISPID_ON_DATA_AVAILABLE);
    }
    SetEvent(receiveIdle_);
}

void COVSocket::SendThread(SocketRef socket) {
    for (;;) {
        if (WaitForMultipleObjects(2, sendWaitSet_, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            break;  // stop
        LONG id = 0;
        LONG sent = 0;
        LONG size = 0;
        {
            CriticalSectionLock lock(lock_);
            if (sendQueue_.empty()) {
                ResetEvent(sendPending_);
                continue;
            }
            const SendQueueEntry& head = sendQueue_.front();
            id = head.packetId;
            sent = static_cast<LONG>(head.bytesSent);
            size = static_cast<LONG>(head.data.Size());
        }
        Fire(OVSOCK_DISPID_ON_SEND_PROGRESS, id, sent, size, VARIANT_FALSE);
        if (Stopped())
            break;

        // Most packets fit into the socket at once. A wait for writability before each one
        // would cost as much as the send itself, so it is made only when the socket cannot
        // take the packet now; what goes out, and when, is the same.
        if (SendStep(*socket, id, false) == StepResult::kDone)
            continue;
        Readiness r;
        while ((r = WaitWritable(socket->Fd(), kSelectTimeoutMs)) == Readiness::kTimedOut &&
               !Stopped()) {
        }
        if (Stopped())
            break;
        if (r == Readiness::kFailed) {
            ResetEvent(sendPending_);  // sending pauses until the next Send or SendTo
            continue;
        }
        SendStep(*socket, id, true);
    }
    SetEvent(sendIdle_);
}

void COVSocket::ConnectThread(SocketRef socket, std::string host, LONG port) {
    sockaddr_in address{};
    // A failed look-up has told its failure through its own events.
    if (ResolveAddress(host, port, true, LookupEvents(), &address)) {
        Fire(OVSOCK_DISPID_ON_CONNECT_START);
        if (sock::Connect(socket->Fd(), address) == 0) {
            Fire(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED);
            SetEvent(receiveArmed_);
        } else if (!Stopped()) {  // a connect that Close cut short is not reported
            SetSocketErrorFromErrno(errno);
            Fire(OVSOCK_DISPID_ON_CONNECT_FAILED);
        }
    }
    SetEvent(connectIdle_);
}

void COVSocket::ResolveThread(std::string host) {
    sockaddr_in address{};
    ResolveAddress(host, 0, true, LookupEvents(), &address);
    SetEvent(resolveIdle_);
}

}  // namespace ov::sock
