#include "transfer/file_receiver.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "common/byte_array_variant.h"
#include "platform/com/bstr.h"
#include "platform/text/cp936.h"
#include "transfer/data_budget.h"
#include "transfer/socket_object.h"

namespace ov::transfer {
namespace {

uint32_t KindWord(const ReplyBytes& reply) {
    return uint32_t{reply[0]} | uint32_t{reply[1]} << 8 | uint32_t{reply[2]} << 16 |
           uint32_t{reply[3]} << 24;
}

}  // namespace

FileReceiver::FileReceiver(LONG fromIp, LONG fromPort, TransferFiles& files, TransferTimers& timers,
                           ReceiverListener& listener)
    : fromIp_(fromIp), fromPort_(fromPort), files_(files), timers_(timers), listener_(listener) {}

FileReceiver::~FileReceiver() {
    Stop();
}

void FileReceiver::Stop() {
    for (int id : {kReceiverCloseTimer, kReceiverCompleteTimer, kReceiverFirstRequestTimer,
                   kReceiverFirstReplyTimer})
        timers_.Kill(id);
    events_.Disconnect();
    if (socket_)
        socket_->Close();
}

bool FileReceiver::Initialize() {
    ComPtr<IOVSocket> socket = NewSocketObject();
    if (!socket || FAILED(events_.Connect(socket.Get())))
        return false;
    socket_ = std::move(socket);
    return true;
}

void FileReceiver::UseProxy(const ReceiverProxy& proxy) {
    if (!socket_)
        return;
    proxied_ = true;
    socket_->SetProxy(OVSOCK_ACCESS_SOCKS5, Bstr::FromUtf8(proxy.host), proxy.port,
                      proxy.authenticate ? OVSOCK_AUTH_USERNAME_PASSWORD : OVSOCK_AUTH_NONE,
                      Bstr::FromUtf8(proxy.user), Bstr::FromUtf8(proxy.password));
}

std::string FileReceiver::SenderAddress() const {
    uint8_t b[4];
    static_assert(sizeof(b) == sizeof(fromIp_));
    std::memcpy(b, &fromIp_, sizeof(b));
    char text[16];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    return text;
}

bool FileReceiver::Start(const std::string& folder) {
    if (!socket_ || folder.empty())
        return false;
    folder_ = folder;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(socket_->Create(OVSOCK_TCP, &ok)) || !Ok(ok))
        return false;
    if (FAILED(socket_->Connect(Bstr::FromUtf8(SenderAddress()), fromPort_, &ok)) || !Ok(ok))
        return false;
    if (proxied_)
        OnConnectionEstablished();  // connected through the proxy already; no event comes
    return true;
}

void FileReceiver::OnTimer(int id) {
    timers_.Kill(id);
    switch (id) {
        case kReceiverFirstRequestTimer:
            state_ = State::kCount;
            Send(RequestKind::kCount, argument_);
            if (proxied_ && !watching_)
                timers_.Arm(kReceiverFirstReplyTimer, kFirstReplyPollMs);
            break;
        case kReceiverFirstReplyTimer: {
            VARIANT_BOOL readable = VARIANT_FALSE;
            if (!watching_ && socket_ && SUCCEEDED(socket_->get_Readable(&readable)) &&
                Ok(readable))
                OnDataAvailable();  // its Receive starts the socket's watching
            else if (!watching_)
                timers_.Arm(kReceiverFirstReplyTimer, kFirstReplyPollMs);
            break;
        }
        case kReceiverCompleteTimer:
            completed_ = true;
            listener_.OnReceiverComplete();
            break;
        case kReceiverCloseTimer:
            listener_.OnReceiverClose();
            break;
        default:
            break;
    }
}

void FileReceiver::CloseSoon() {
    timers_.Arm(kReceiverCloseTimer, kSoonMs);
}

uint64_t FileReceiver::CurrentLength() const {
    return target_ ? target_->Length() : lastLength_;
}

uint64_t FileReceiver::Done() const {
    return finished_ + (target_ ? target_->Length() : 0);
}

void FileReceiver::OnConnectionEstablished() {
    // A short pause before the first request, as the sender's side may still be accepting.
    timers_.Arm(kReceiverFirstRequestTimer, kFirstRequestDelayMs);
}

void FileReceiver::OnDataAvailable() {
    if (!socket_ || failure_ != ReceiveFailure::kNone)
        return;
    watching_ = true;
    timers_.Arm(kReceiverCloseTimer, kIdleCloseMs);
    Variant data;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(socket_->Receive(&data, &ok)) || !Ok(ok))
        return;
    const CByteArrayVariant bytes(data);
    Advance(std::span<const uint8_t>(bytes.Data(), bytes.Size()));
    listener_.OnReceiverProgress();
}

void FileReceiver::Advance(std::span<const uint8_t> bytes) {
    while (!bytes.empty() && failure_ == ReceiveFailure::kNone && !asking_) {
        if (state_ == State::kData) {
            if (!target_)
                return;  // no file open: nothing was asked for
            if (!TakeData(&bytes))
                return;
            continue;
        }
        const std::optional<ReplyBytes> reply = reader_.Take(&bytes);
        if (!reply)
            return;
        const uint32_t expected = state_ == State::kCount ? 0 : 1;
        if (KindWord(*reply) != expected)
            continue;  // a reply to another question
        FileTransReply decoded;
        if (DecodeReply(*reply, &decoded) != RecordResult::kOk) {
            Fail(ReceiveFailure::kBadReply);
            return;
        }
        if (state_ == State::kCount)
            OnCountReply(decoded);
        else
            OnInfoReply(decoded);
    }
}

void FileReceiver::OnCountReply(const FileTransReply& reply) {
    count_ = reply.file_count;
    total_ = reply.total_size;
    countKnown_ = true;
    if (count_ == 0) {
        CloseSoon();
        return;
    }
    state_ = State::kInfo;
    index_ = 1;
    Send(RequestKind::kInfo, index_);
}

void FileReceiver::OnInfoReply(const FileTransReply& reply) {
    if (reply.name.empty()) {
        // The sender's answer to an index it does not have.
        Fail(ReceiveFailure::kBadReply);
        return;
    }
    currentName_ = Cp936ToUtf8(reply.name);
    currentSize_ = reply.file_size;
    CloseTarget();
    lastLength_ = 0;
    if (!files_.MakeFolder(folder_)) {
        Fail(ReceiveFailure::kCannotWrite);
        return;
    }
    state_ = State::kData;
    const SaveName save = SafeSaveName(reply.name);
    if (!save.ok()) {
        currentPath_.clear();
        listener_.OnReceiverNameRefused(currentName_, save.refusal);
        SkipFile();
        return;
    }
    currentPath_ = folder_;
    if (currentPath_.back() != '/')
        currentPath_ += '/';
    currentPath_ += save.name;
    if (!files_.Exists(currentPath_)) {
        OpenTarget(files_.Create(currentPath_), 0);
        return;
    }
    asking_ = true;
    listener_.OnReceiverFileExists(save.name);
}

void FileReceiver::Resolve(ExistsChoice choice, const std::string& renamedPath) {
    if (!asking_ || failure_ != ReceiveFailure::kNone)
        return;
    asking_ = false;
    switch (choice) {
        case ExistsChoice::kResume: {
            std::unique_ptr<TargetFile> target = files_.OpenForResume(currentPath_);
            if (!target) {
                listener_.OnReceiverCannotCreate(currentName_);
                SkipFile();
            } else if (target->Length() < currentSize_) {
                const auto from = static_cast<uint32_t>(target->Length());
                OpenTarget(std::move(target), from);
            } else {
                lastLength_ = target->Length();
                SkipFile();  // all there already: no data is asked for
            }
            break;
        }
        case ExistsChoice::kOverwrite:
            OpenTarget(files_.Create(currentPath_), 0);
            break;
        case ExistsChoice::kRename:
            if (renamedPath.empty()) {
                SkipFile();
            } else {
                currentPath_ = renamedPath;
                OpenTarget(files_.Create(currentPath_), 0);
            }
            break;
        case ExistsChoice::kSkip:
            SkipFile();
            break;
    }
    listener_.OnReceiverProgress();
}

void FileReceiver::OpenTarget(std::unique_ptr<TargetFile> target, uint32_t argument) {
    if (!target) {
        listener_.OnReceiverCannotCreate(currentName_);
        SkipFile();
        return;
    }
    target_ = std::move(target);
    argument_ = argument;
    if (target_->Length() >= currentSize_) {
        // An empty file: nothing to ask for, it is complete as created.
        FileFinished();
        return;
    }
    Send(RequestKind::kData, argument_);
}

bool FileReceiver::TakeData(std::span<const uint8_t>* bytes) {
    const DataBudget budget = SplitReceivedData(currentSize_, target_->Length(), bytes->size());
    if (budget.to_write > 0 && !target_->Append(bytes->data(), budget.to_write)) {
        Fail(ReceiveFailure::kCannotWrite);
        return false;
    }
    *bytes = bytes->subspan(budget.to_write);
    if (budget.overrun) {
        Fail(ReceiveFailure::kOverrun);
        return false;
    }
    if (budget.complete)
        FileFinished();
    return true;
}

void FileReceiver::CloseTarget() {
    if (target_) {
        lastLength_ = target_->Length();
        target_.reset();
    }
}

void FileReceiver::FileFinished() {
    finished_ += currentSize_;
    CloseTarget();
    NextFile(true);
}

void FileReceiver::SkipFile() {
    finished_ += currentSize_;
    CloseTarget();
    NextFile(false);
}

void FileReceiver::NextFile(bool completion) {
    ++index_;
    if (index_ <= count_) {
        state_ = State::kInfo;
        argument_ = index_;
        Send(RequestKind::kInfo, index_);
    } else if (completion) {
        timers_.Arm(kReceiverCompleteTimer, kSoonMs);
    } else {
        CloseSoon();  // the last file skipped: no completion
    }
}

void FileReceiver::Send(RequestKind kind, uint32_t argument) {
    if (!socket_)
        return;
    const RequestBytes request = EncodeRequest({kind, argument});
    CByteArrayVariant packet(request.data(), request.size());
    LONG id = 0;
    socket_->Send(packet.Variant(), &id);
}

void FileReceiver::OnConnectionClosed() {
    if (failure_ != ReceiveFailure::kNone)
        return;
    const bool allThere = countKnown_ && (count_ == 0 || index_ > count_);
    if (allThere) {
        CloseSoon();
        return;
    }
    // Closing the window here would hide that files are missing; it stays and says so, and
    // a new offer can resume them.
    Fail(ReceiveFailure::kConnectionLost);
}

void FileReceiver::Fail(ReceiveFailure why) {
    failure_ = why;
    asking_ = false;
    CloseTarget();
    Stop();
    listener_.OnReceiverFailed(why);
}

}  // namespace ov::transfer
