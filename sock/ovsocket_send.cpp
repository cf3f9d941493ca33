// COVSocket: queuing packets. The bytes go out on the send thread (send_step.cpp).
#include "platform/text/cp936.h"
#include "sock/ovsocket.h"

namespace ov::sock {

LONG COVSocket::NextPacketId() {
    ++nextPacketId_;
    if (nextPacketId_ < 100 || nextPacketId_ > 100000)
        nextPacketId_ = 100;
    return nextPacketId_;
}

LONG COVSocket::Enqueue(SendQueueEntry entry) {
    LONG id = 0;
    {
        CriticalSectionLock lock(lock_);
        id = entry.packetId = NextPacketId();
        sendQueue_.push_back(std::move(entry));
    }
    // Set after the entry is in: the send thread clears it only under the lock, when it
    // finds the queue empty, so no packet is left waiting unnoticed.
    SetEvent(sendPending_);
    return id;
}

HRESULT COVSocket::Send(VARIANT Data, LONG* pnPacketID) {
    if (pnPacketID == nullptr)
        return E_POINTER;
    *pnPacketID = 0;
    if (!DataSocket())
        return S_OK;
    SendQueueEntry entry;
    entry.data = Data;  // anything but a one-dimensional byte array is an empty packet
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
        entry.host = std::move(host);
        entry.port = nPort;
        entry.data = Data;
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
