#include "transfer/file_sender.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/com/bstr.h"
#include "transfer/data_budget.h"
#include "transfer/socket_object.h"
#include "transfer/transfer_names.h"

namespace ov::transfer {
namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

SenderSelection SelectFiles(TransferFiles& files, const std::vector<std::string>& paths) {
    SenderSelection selection;
    if (paths.empty()) {
        selection.error = SelectionError::kNothing;
        return selection;
    }
    for (const std::string& path : paths) {
        const std::optional<uint64_t> size = files.SizeOf(path);
        SelectionError error = SelectionError::kNone;
        std::optional<uint32_t> total;
        if (!size)
            error = SelectionError::kUnreadable;
        else if (!WireFileSize(*size))
            error = SelectionError::kTooLarge;
        else if (!(total = AddToTotal(selection.total, static_cast<uint32_t>(*size))))
            error = SelectionError::kTotalTooLarge;
        if (error != SelectionError::kNone) {
            SenderSelection refused;
            refused.error = error;
            refused.detail = path;
            return refused;
        }
        OfferedFile file;
        file.path = path;
        file.name = BaseName(path);
        file.wire_name = WireName(file.name);
        file.size = static_cast<uint32_t>(*size);
        selection.files.push_back(std::move(file));
        selection.total = *total;
    }
    return selection;
}

FileSender::FileSender(SenderSelection selection, TransferFiles& files, TransferTimers& timers,
                       SenderListener& listener)
    : files_(std::move(selection.files)),
      total_(selection.total),
      fileSystem_(files),
      timers_(timers),
      listener_(listener) {}

FileSender::~FileSender() {
    timers_.Kill(kSenderCloseTimer);
    listeningEvents_.Disconnect();
    streamer_.Disconnect();
    if (connection_)
        connection_->Close();
    if (listening_)
        listening_->Close();
}

bool FileSender::Listen(const std::string& address) {
    ComPtr<IOVSocket> socket = NewSocketObject();
    if (!socket)
        return false;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(socket->Create(OVSOCK_TCP, &ok)) || !Ok(ok))
        return false;
    Bstr bindAddress;
    if (address.empty())
        socket->get_LocalIPString(bindAddress.Out());
    else
        bindAddress = Bstr::FromUtf8(address);
    if (FAILED(socket->Bind(bindAddress, 0, &ok)) || !Ok(ok))
        return false;
    socket->get_LocalPort(&localPort_);
    // The address offered is the one bound, in the offer's byte order (first number first in
    // memory); the component's LocalIP names the host's first interface instead.
    in_addr bound{};
    if (::inet_pton(AF_INET, bindAddress.ToUtf8().c_str(), &bound) == 1)
        std::memcpy(&localIp_, &bound.s_addr, sizeof(localIp_));
    else
        socket->get_LocalIP(&localIp_);
    if (FAILED(socket->Listen(2, &ok)) || !Ok(ok))
        return false;
    if (FAILED(listeningEvents_.Connect(socket.Get())))
        return false;
    listening_ = std::move(socket);
    return true;
}

void FileSender::Offered() {
    timers_.Arm(kSenderCloseTimer, kIdleCloseMs);
}

void FileSender::RequestAnswered(bool delivered) {
    timers_.Arm(kSenderCloseTimer, delivered ? kIdleCloseMs : kSoonMs);
}

void FileSender::OnTimer(int id) {
    if (id != kSenderCloseTimer)
        return;
    timers_.Kill(kSenderCloseTimer);
    listener_.OnSenderClose();
}

uint64_t FileSender::CurrentPosition() const {
    return streaming_ ? streamer_.Position() : position_;
}

uint64_t FileSender::Done() const {
    uint64_t done = 0;
    for (const OfferedFile& file : files_) {
        if (file.state == FileState::kDone)
            done += file.size;
        else if (file.state == FileState::kSending)
            done += std::min<uint64_t>(CurrentPosition(), file.size);
    }
    return done;
}

const OfferedFile* FileSender::Current() const {
    return current_ == 0 ? nullptr : &files_[current_ - 1];
}

void FileSender::OnConnectionIncoming() {
    Bstr host;
    LONG port = 0;
    ComPtr<IOVSocket> accepted;
    if (FAILED(listening_->Accept(host.Out(), &port, accepted.ReleaseAndGetAddressOf())) ||
        !accepted)
        return;
    if (connection_) {
        // One receiver per offer: a second connection would read the same files under the
        // first one's requests. It is closed at once.
        accepted->Close();
        return;
    }
    if (FAILED(streamer_.Connect(accepted.Get()))) {
        streamer_.Disconnect();
        accepted->Close();
        return;
    }
    connection_ = std::move(accepted);
    started_ = true;
    listener_.OnSenderConnected();
    // The accepted socket reports data from the moment Accept returns, before its events
    // reach this object: a request that came in between was reported to no one.
    OnStreamDataAvailable();
}

void FileSender::OnStreamDataAvailable() {
    if (!connection_)
        return;
    // Nothing to read (the report of bytes the check after Accept took already): a read
    // would wait for the next request.
    VARIANT_BOOL readable = VARIANT_FALSE;
    if (FAILED(connection_->get_Readable(&readable)) || !Ok(readable))
        return;
    Variant data;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(connection_->Receive(&data, &ok)) || !Ok(ok))
        return;
    StopStreaming();
    const CByteArrayVariant bytes(data);
    // Requests are 8 bytes and a receiver waits for each answer, but a stream may still split
    // one: the bytes are gathered until a whole request is there.
    pendingRequest_.insert(pendingRequest_.end(), bytes.Data(), bytes.Data() + bytes.Size());
    std::size_t at = 0;
    while (pendingRequest_.size() - at >= kRequestSize) {
        FileTransRequest request;
        const auto record = std::span<const uint8_t>(pendingRequest_).subspan(at, kRequestSize);
        at += kRequestSize;
        if (DecodeRequest(record, &request) == RecordResult::kOk)
            Serve(request);
    }
    pendingRequest_.erase(pendingRequest_.begin(), pendingRequest_.begin() + at);
    listener_.OnSenderProgress();
}

void FileSender::Serve(const FileTransRequest& request) {
    switch (request.kind) {
        case RequestKind::kCount: {
            const ReplyBytes reply = EncodeCountReply(static_cast<uint32_t>(files_.size()), total_);
            SendBytes(reply.data(), reply.size());
            break;
        }
        case RequestKind::kInfo:
            ServeInfo(request.argument);
            break;
        case RequestKind::kData:
            ServeData(request.argument);
            break;
    }
}

void FileSender::ServeInfo(uint32_t index) {
    if (index < 1 || index > files_.size()) {
        // An index the list does not have: an empty name and size 0 say so, and the receiver
        // ends the transfer.
        const std::optional<ReplyBytes> reply = EncodeInfoReply("", 0);
        SendTabled(reply->data(), reply->size());
        return;
    }
    OfferedFile& file = files_[index - 1];
    const std::optional<ReplyBytes> reply = EncodeInfoReply(file.wire_name, file.size);
    CloseSource();
    source_ = fileSystem_.OpenRead(file.path);
    position_ = 0;
    SendTabled(reply->data(), reply->size());
    current_ = index;
    file.state = FileState::kSending;
}

void FileSender::ServeData(uint32_t offset) {
    if (!source_)
        return;
    if (!source_->Seek(offset)) {
        CloseSource();
        return;
    }
    position_ = offset;
    streaming_ = true;
    // The first chunk goes through the table of unconfirmed packets; the streamer sends the
    // rest from the socket's send thread, each as the one before it completes.
    streamer_.Begin(std::move(source_), offset, files_[current_ - 1].size,
                    [this](const uint8_t* data, std::size_t n) { return SendTabled(data, n); });
    EndedStreaming();
}

void FileSender::StopStreaming() {
    if (!streaming_)
        return;
    position_ = streamer_.Position();
    if (std::unique_ptr<SourceFile> file = streamer_.Stop())
        source_ = std::move(file);
    streaming_ = false;
    EndedStreaming();
}

void FileSender::EndedStreaming() {
    // The file's last chunk was read: it is closed, and the file counts as sent.
    if (streamer_.Ended() && current_ != 0 && files_[current_ - 1].state == FileState::kSending &&
        !source_ && !streamer_.Active()) {
        for (OfferedFile& file : files_) {
            if (file.state == FileState::kSending)
                file.state = FileState::kDone;
        }
    }
}

void FileSender::CloseSource() {
    if (source_) {
        source_.reset();
        for (OfferedFile& file : files_) {
            if (file.state == FileState::kSending)
                file.state = FileState::kDone;
        }
    }
    streaming_ = false;
}

void FileSender::OnStreamSendComplete(LONG packetId) {
    unconfirmed_.erase(packetId);
    OnStreamProgress();
}

void FileSender::OnStreamProgress() {
    // While a file streams, every completion is one of its chunks: the window stays a minute
    // after the last.
    if (streaming_ && !closed_) {
        timers_.Arm(kSenderCloseTimer, kIdleCloseMs);
        EndedStreaming();
    }
    listener_.OnSenderProgress();
}

void FileSender::OnStreamSendError(LONG nPacketID) {
    auto it = unconfirmed_.find(nPacketID);
    // A TCP send fails only on a broken connection, whose end the socket does not always report
    // as closed. An untabled packet is not resent, and a tabled one only a few times, so a dead
    // connection ends the window as a closed one does instead of waiting out the minute (or
    // resending forever).
    if (it == unconfirmed_.end() || it->second.resends >= kMaxResends) {
        if (it != unconfirmed_.end())
            unconfirmed_.erase(it);
        OnStreamConnectionClosed();
        return;
    }
    Unconfirmed copy = std::move(it->second);
    unconfirmed_.erase(it);
    ++copy.resends;
    LONG id = 0;
    connection_->Send(copy.bytes.Variant(), &id);
    if (id != 0)
        unconfirmed_.emplace(id, std::move(copy));
    streamer_.Replace(nPacketID, id);
}

void FileSender::OnStreamConnectionClosed() {
    // Reports of chunks still on their way must not put the minute back.
    StopStreaming();
    closed_ = true;
    timers_.Arm(kSenderCloseTimer, kSoonMs);
}

LONG FileSender::SendTabled(const uint8_t* data, std::size_t n) {
    CByteArrayVariant copy(data, n);
    LONG id = 0;
    connection_->Send(copy.Variant(), &id);
    if (id != 0)
        unconfirmed_.emplace(id, Unconfirmed{std::move(copy), 0});
    return id;
}

LONG FileSender::SendBytes(const uint8_t* data, std::size_t n) {
    CByteArrayVariant packet(data, n);
    LONG id = 0;
    connection_->Send(packet.Variant(), &id);
    return id;
}

}  // namespace ov::transfer
