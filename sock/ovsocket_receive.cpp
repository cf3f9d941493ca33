// COVSocket: reading what arrived, and asking for readiness.
#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/text/cp936.h"
#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

namespace {

// Receive asks for at least this much, even with nothing pending.
constexpr size_t kMinimumRead = 10;
// The largest datagram there is. Datagrams whose size is not known before the read (one
// that arrives while Receive waits, any that ReceiveFrom takes) are read into a buffer this
// size, so none is cut short and its rest dropped.
constexpr size_t kLargestDatagram = 65536;

bool IsConnectionLoss(DWORD code) {
    return code == OVSOCK_ERR_CONNABORTED || code == OVSOCK_ERR_CONNRESET ||
           code == OVSOCK_ERR_TIMEDOUT;
}

// Hands bytes to a caller's out VARIANT.
void GiveBytes(CByteArrayVariant bytes, VARIANT* out) {
    VariantClear(out);
    bytes.Detach(out);
}

// The out values of a ReceiveFrom that got nothing.
void GiveNoSender(BSTR* host, LONG* port, VARIANT* data) {
    *host = Bstr::FromUtf8("  ").Detach();
    *port = 0;
    GiveBytes(CByteArrayVariant(), data);
}

// The sender's address as dotted text, made straight into the BSTR: dotted text is ASCII,
// which code page 936 keeps as it is.
BSTR DottedText(in_addr_t address) {
    const std::string text = FormatDottedIPv4(address);
    OLECHAR wide[INET_ADDRSTRLEN];
    for (size_t i = 0; i < text.size(); ++i)
        wide[i] = static_cast<OLECHAR>(text[i]);
    return SysAllocStringLen(wide, static_cast<UINT>(text.size()));
}

}  // namespace

HRESULT COVSocket::Receive(VARIANT* pvData, VARIANT_BOOL* pbResult) {
    if (pvData == nullptr || pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    SocketRef socket = DataSocket();
    if (!socket)
        return S_OK;
    // The watch is armed again once the pending bytes are read, not before: armed earlier it
    // would report the very bytes this call is about to take, and a caller answering that
    // report with another Receive would block on a stream with nothing left.
    const bool tcp = socketType_ == OVSOCK_TCP;
    int pending = 0;
    if (::ioctl(socket->Fd(), FIONREAD, &pending) != 0) {
        SetSocketErrorFromErrno(errno);
        GiveBytes(CByteArrayVariant(), pvData);
        DisarmReceive();
        return S_OK;
    }
    size_t want = std::max(static_cast<size_t>(std::max(pending, 0)), kMinimumRead);
    if (!tcp && pending == 0)
        want = kLargestDatagram;
    CByteArrayVariant buffer;
    if (!buffer.Resize(want)) {
        SetSocketError(OVSOCK_ERR_NOBUFS);
        GiveBytes(CByteArrayVariant(), pvData);
        ArmReceive();
        return S_OK;
    }
    // With nothing pending this waits for data.
    ssize_t got = sock::Recv(socket->Fd(), buffer.Data(), want, 0);
    int err = errno;
    if (got > 0) {
        buffer.Resize(static_cast<size_t>(got));
        GiveBytes(std::move(buffer), pvData);
        *pbResult = VARIANT_TRUE;
        ArmReceive();
        return S_OK;
    }
    GiveBytes(CByteArrayVariant(), pvData);
    if (Stopped()) {
        // Close cancelled the call: a failure of its own, no connection event.
        SetSocketError(OVSOCK_ERR_INTR);
        DisarmReceive();
        return S_OK;
    }
    if (got == 0) {
        if (tcp) {
            // The peer closed the connection.
            DisarmReceive();  // first, so no readiness report follows the event
            Fire(OVSOCK_DISPID_ON_CONNECTION_CLOSED);
        } else {
            ArmReceive();  // an empty datagram: watching goes on
        }
        return S_OK;
    }
    DWORD code = WinsockErrorFromErrno(err);
    SetSocketError(code);
    if (tcp && IsConnectionLoss(code)) {
        ArmReceive();
        Fire(OVSOCK_DISPID_ON_CONNECTION_CLOSED);
    } else {
        DisarmReceive();
    }
    return S_OK;
}

HRESULT COVSocket::ReceiveFrom(BSTR* pbstrHostAddress, LONG* pnPort, VARIANT* pvData,
                               VARIANT_BOOL* pbResult) {
    if (pbstrHostAddress == nullptr || pnPort == nullptr || pvData == nullptr ||
        pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    SocketRef socket = DataSocket();
    if (!socket)
        return S_OK;
    const int fd = socket->Fd();
    const bool tcp = socketType_ == OVSOCK_TCP;

    sockaddr_in sender{};
    ssize_t got = -1;
    int err = 0;
    const BYTE* datagram = nullptr;
    if (!tcp) {
        // One call that does not wait takes the next datagram whole, or finds none. It reads
        // what a pending count and a read of that count would, an empty datagram included
        // (whose count of 0 would otherwise leave it blocking those behind it), in one call.
        thread_local std::vector<BYTE> largest(kLargestDatagram);
        datagram = largest.data();
        got = sock::RecvFrom(fd, largest.data(), largest.size(), MSG_DONTWAIT, &sender);
        err = errno;
        if (got < 0 && (err == EAGAIN || err == EWOULDBLOCK)) {
            GiveNoSender(pbstrHostAddress, pnPort, pvData);  // nothing pending
            ArmReceive();
            return S_OK;
        }
        // Straight from the thread's buffer to the caller's array, unless the relay's header
        // is to come off first.
        if (got >= 0 && !(proxyNegotiated_ && AccessType() == OVSOCK_ACCESS_SOCKS5)) {
            if (!CByteArrayVariant::GiveCopy(datagram, static_cast<size_t>(got), pvData)) {
                SetSocketError(OVSOCK_ERR_NOBUFS);
                GiveNoSender(pbstrHostAddress, pnPort, pvData);
                ArmReceive();
                return S_OK;
            }
            *pbstrHostAddress = DottedText(sender.sin_addr.s_addr);
            *pnPort = ntohs(sender.sin_port);
            *pbResult = VARIANT_TRUE;
            ArmReceive();
            return S_OK;
        }
    }
    CByteArrayVariant buffer;
    if (tcp) {
        int pending = 0;
        if (::ioctl(fd, FIONREAD, &pending) != 0)
            SetSocketErrorFromErrno(errno);
        if (pending <= 0 || !buffer.Resize(static_cast<size_t>(pending))) {
            GiveNoSender(pbstrHostAddress, pnPort, pvData);
            ArmReceive();
            return S_OK;
        }
        got = sock::RecvFrom(fd, buffer.Data(), buffer.Size(), 0, &sender);
        err = errno;
    } else if (got >= 0) {
        buffer = CByteArrayVariant(datagram, static_cast<size_t>(got));
    }
    if (got < 0) {
        DWORD code = WinsockErrorFromErrno(Stopped() ? EINTR : err);
        SetSocketError(code);
        GiveNoSender(pbstrHostAddress, pnPort, pvData);
        if (tcp && IsConnectionLoss(code))
            Fire(OVSOCK_DISPID_ON_CONNECTION_CLOSED);
        else
            ArmReceive();
        return S_OK;
    }
    buffer.Resize(static_cast<size_t>(got));
    std::string senderText;
    // Only the relay's datagrams carry the header; a stream through the proxy is the
    // target's own bytes.
    if (!tcp && proxyNegotiated_ && AccessType() == OVSOCK_ACCESS_SOCKS5 &&
        !UnwrapDatagramFromProxy(&buffer, &sender, &senderText)) {
        // Cut off inside its header: it names no sender and holds no data of its own.
        SetSocketError(OVSOCK_ERR_MSGSIZE);
        GiveNoSender(pbstrHostAddress, pnPort, pvData);
        ArmReceive();
        return S_OK;
    }
    GiveBytes(std::move(buffer), pvData);
    if (senderText.empty())
        senderText = FormatDottedIPv4(sender.sin_addr.s_addr);
    *pbstrHostAddress = Bstr::FromCp936(senderText).Detach();
    *pnPort = ntohs(sender.sin_port);
    *pbResult = VARIANT_TRUE;
    ArmReceive();
    return S_OK;
}

HRESULT COVSocket::ReceiveString(BSTR* pbstrString, VARIANT_BOOL* pbResult) {
    if (pbstrString == nullptr || pbResult == nullptr)
        return E_POINTER;
    Variant data;
    HRESULT hr = static_cast<IOVSocket*>(this)->Receive(&data, pbResult);
    if (FAILED(hr))
        return hr;
    CByteArrayVariant bytes(data);
    std::string_view text = bytes.View();
    *pbstrString = Bstr::FromCp936(text.substr(0, text.find('\0'))).Detach();
    return S_OK;
}

HRESULT COVSocket::ReceiveStringFrom(BSTR* pbstrHostAddress, LONG* pnPort, BSTR* pbstrString,
                                     VARIANT_BOOL* pbResult) {
    if (pbstrString == nullptr || pbResult == nullptr)
        return E_POINTER;
    Variant data;
    HRESULT hr =
        static_cast<IOVSocket*>(this)->ReceiveFrom(pbstrHostAddress, pnPort, &data, pbResult);
    if (FAILED(hr))
        return hr;
    CByteArrayVariant bytes(data);
    std::string_view text = bytes.View();
    *pbstrString = Bstr::FromCp936(text.substr(0, text.find('\0'))).Detach();
    return S_OK;
}

HRESULT COVSocket::get_Readable(VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    SocketRef socket = DataSocket();
    *pbResult =
        socket && WaitReadable(socket->Fd(), 0) == Readiness::kReady ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT COVSocket::get_Writeable(VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    SocketRef socket = DataSocket();
    *pbResult =
        socket && WaitWritable(socket->Fd(), 0) == Readiness::kReady ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

}  // namespace ov::sock
