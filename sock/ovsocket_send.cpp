// COVSocket: queuing packets. The bytes go out on the send thread (send_step.cpp).
#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/text/cp936.h"
#include "sock/ovsocket.h"

namespace ov::sock {

namespace {

// Buffers kept for the next packets: enough for a burst of commands or a gated stream, and
// none so large that an idle socket would hold much memory.
constexpr size_t kSpareBuffers = 8;
constexpr size_t kLargestSpareBuffer = 64 << 10;

}  // namespace

std::vector<BYTE> COVSocket::CopyPayload(const VARIANT& data) {
    // Anything but a one-dimensional byte array is an empty packet.
    std::string_view payload = ByteArrayPayload(data).value_or(std::string_view());
    std::vector<BYTE> buffer;
    if (payload.empty())
        return buffer;
    {
        std::lock_guard<std::mutex> guard(spareMutex_);
        if (!spareBuffers_.empty()) {
            buffer = std::move(spareBuffers_.back());
            spareBuffers_.pop_back();
        }
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(payload.data());
    buffer.assign(bytes, bytes + payload.size());
    return buffer;
}

void COVSocket::RecycleBuffer(std::vector<BYTE> buffer) {
    if (buffer.capacity() == 0 || buffer.capacity() > kLargestSpareBuffer)
        return;
    std::lock_guard<std::mutex> guard(spareMutex_);
    if (spareBuffers_.size() < kSpareBuffers)
        spareBuffers_.push_back(std::move(buffer));
}

LONG COVSocket::NextPacketId() {
    ++nextPacketId_;
    if (nextPacketId_ < 100 || nextPacketId_ > 100000)
        nextPacketId_ = 100;
    return nextPacketId_;
}

void COVSocket::SendEarly(SendQueueEntry* entry) {
    // After Close the object has no send thread to report, so nothing goes out either.
    if (!entry->addressed || !entry->hasAddress || entry->toRelay || socketType_ != OVSOCK_UDP ||
        Stopped())
        return;
    SocketRef socket = DataSocket();
    if (!socket)
        return;
    ssize_t n = SendDatagram(socket->Fd(), entry->data.data(), entry->data.size(), entry->address,
                             MSG_DONTWAIT);
    if (n >= 0 && static_cast<size_t>(n) == entry->data.size()) {
        entry->sentEarly = true;
        entry->bytesSent = entry->data.size();
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        // Reported by the send thread as a failed send; not tried again, as an error a
        // datagram socket reports once (an earlier datagram refused) is gone after this.
        entry->sentEarly = true;
        entry->earlyError = errno;
    }
}

LONG COVSocket::Enqueue(SendQueueEntry entry) {
    LONG id = 0;
    {
        CriticalSectionLock lock(lock_);
        id = entry.packetId = NextPacketId();
        // Sending held no lock of the caller's beyond ours: a datagram that has nothing
        // before it needs no hand-off to the send thread to leave. The lock is held during
        // the send as in the send step, so the queue's order is the wire's.
        if (sendQueue_.empty())
            SendEarly(&entry);
        sendQueue_.push_back(std::move(entry));
    }
    // Raised after the entry is in: the send thread clears it only under the lock, when it
    // finds the queue empty, so no packet is left waiting unnoticed.
    sendWake_.Raise(kSendPending);
    return id;
}

HRESULT COVSocket::Send(VARIANT Data, LONG* pnPacketID) {
    if (pnPacketID == nullptr)
        return E_POINTER;
    *pnPacketID = 0;
    if (!DataSocket())
        return S_OK;
    SendQueueEntry entry;
    entry.data = CopyPayload(Data);
    *pnPacketID = Enqueue(std::move(entry));
    return S_OK;
}

HRESULT COVSocket::SendTo(BSTR bstrHostAddress, LONG nPort, VARIANT Data, LONG* pnPacketID) {
    if (pnPacketID == nullptr)
        return E_POINTER;
    *pnPacketID = 0;
    if (!DataSocket())
        return S_OK;
    SendQueueEntry entry;
    entry.addressed = VARIANT_TRUE;
    std::string host = ToCp936(bstrHostAddress);
    if (AccessType() == OVSOCK_ACCESS_DIRECT) {
        // A literal is read once here rather than at each attempt; a name is looked up when
        // the packet is sent, as the resolver's answer may change meanwhile.
        if (auto literal = ParseDottedIPv4(host)) {
            entry.hasAddress = true;
            entry.address.sin_family = AF_INET;
            entry.address.sin_port = htons(static_cast<uint16_t>(nPort));  // as ResolveAddress
            entry.address.sin_addr.s_addr = *literal;
        }
        entry.host = std::move(host);
        entry.port = nPort;
        entry.data = CopyPayload(Data);
    } else {
        // Through the proxy the datagram goes to its relay, its destination in a header.
        // The relay is looked up when the datagram is sent: the first send step may be the
        // one that makes the association.
        entry.toRelay = true;
        entry.data = WrapDatagramForProxy(host, nPort, Data);
    }
    *pnPacketID = Enqueue(std::move(entry));
    return S_OK;
}

HRESULT COVSocket::SendString(BSTR bstrString, LONG* pnPacketID) {
    if (pnPacketID == nullptr)
        return E_POINTER;
    CByteArrayVariant bytes(ToCp936(bstrString));
    return static_cast<IOVSocket*>(this)->Send(bytes.Variant(), pnPacketID);
}

HRESULT COVSocket::SendStringTo(BSTR bstrHostAddress, LONG nPort, BSTR bstrString,
                                LONG* pnPacketID) {
    if (pnPacketID == nullptr)
        return E_POINTER;
    CByteArrayVariant bytes(ToCp936(bstrString));
    return static_cast<IOVSocket*>(this)->SendTo(bstrHostAddress, nPort, bytes.Variant(),
                                                 pnPacketID);
}

HRESULT COVSocket::ClearSendQueue() {
    std::deque<SendQueueEntry> dropped;
    {
        CriticalSectionLock lock(lock_);
        dropped.swap(sendQueue_);
    }
    return S_OK;  // no event for the dropped packets
}

HRESULT COVSocket::get_SendQueuePacketsCount(LONG* pnCount) {
    if (pnCount == nullptr)
        return E_POINTER;
    CriticalSectionLock lock(lock_);
    *pnCount = static_cast<LONG>(sendQueue_.size());
    return S_OK;
}

}  // namespace ov::sock
