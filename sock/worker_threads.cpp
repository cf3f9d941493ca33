// COVSocket: the receive-watch, send, connect and resolve threads.
#include <cerrno>

#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

namespace {

// How long one wait for readiness lasts before the thread looks at its flags again.
constexpr int kSelectTimeoutMs = 5000;

}  // namespace

void COVSocket::ReceiveWatchThread(SocketRef socket) {
    for (;;) {
        if (receiveWake_.WaitAny(kStop | kArmed) & kStop)
            break;
        Readiness r = WaitReadable(socket->Fd(), kSelectTimeoutMs);
        if (Stopped())
            break;
        if (r == Readiness::kFailed) {
            DisarmReceive();  // watching pauses until a member arms it again
            continue;
        }
        if (r == Readiness::kTimedOut)
            continue;  // still armed: wait again
        DisarmReceive();
        Fire(listening_ ? OVSOCK_DISPID_ON_CONNECTION_REQUEST : OVSOCK_DISPID_ON_DATA_AVAILABLE);
    }
}

void COVSocket::SendThread(SocketRef socket) {
    for (;;) {
        if (sendWake_.WaitAny(kStop | kSendPending) & kStop)
            break;
        LONG id = 0;
        LONG sent = 0;
        LONG size = 0;
        {
            CriticalSectionLock lock(lock_);
            if (sendQueue_.empty()) {
                sendWake_.Clear(kSendPending);
                continue;
            }
            const SendQueueEntry& head = sendQueue_.front();
            id = head.packetId;
            // A datagram SendTo sent early is reported as the attempt it stands for.
            sent = head.sentEarly ? 0 : static_cast<LONG>(head.bytesSent);
            size = static_cast<LONG>(head.data.size());
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
            sendWake_.Clear(kSendPending);  // sending pauses until the next Send or SendTo
            continue;
        }
        SendStep(*socket, id, true);
    }
}

void COVSocket::ConnectThread(std::shared_ptr<WorkerLink> link, SocketRef socket, std::string host,
                              LONG port) {
    sockaddr_in address{};
    // A failed look-up has told its failure through its own events.
    if (ResolveAddress(host, port, true, LookupEvents(link), &address)) {
        if (ComPtr<COVSocket> self = link->Pin()) {
            self->Fire(OVSOCK_DISPID_ON_CONNECT_START);
            self.Reset();  // the object may go while the connect waits
            // Close shuts the socket down, which cuts a connect in progress short; one that
            // Close came before is not begun, and one that got through before the shutdown
            // could reach it is undone.
            int rc = -1;
            int err = EINTR;
            if (!link->stopped) {
                rc = sock::Connect(socket->Fd(), address);
                err = errno;
            }
            if (link->stopped) {
                if (rc == 0)
                    socket->Shutdown();
                rc = -1;
                err = EINTR;
            }
            // A connect cut short by Close ends in OnConnectFailed as any other: whoever saw
            // OnConnectStart hears how it ended, unless the object is gone.
            if ((self = link->Pin())) {
                if (rc == 0) {
                    self->Fire(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED);
                    self->ArmReceive();
                } else {
                    SetSocketErrorFromErrno(err);
                    self->Fire(OVSOCK_DISPID_ON_CONNECT_FAILED);
                }
            }
        }
    }
    link->connecting = false;
}

void COVSocket::ResolveThread(std::shared_ptr<WorkerLink> link, std::string host) {
    sockaddr_in address{};
    ResolveAddress(host, 0, true, LookupEvents(link), &address);
    link->resolving = false;
}

}  // namespace ov::sock
