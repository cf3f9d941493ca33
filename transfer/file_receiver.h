// The receiving side of a file transfer: it connects to the sender's address, asks for the
// file count, then for each file its name and size and its data, and writes the data into the
// save folder as it arrives. Names from the peer never lead outside that folder, and no byte
// beyond a file's announced size is written. No window and no kernel: the receive window
// drives it and shows its progress.
//
//   FileReceiver receiver(fromIp, fromPort, files, timers, listener);
//   receiver.Initialize();                  // false: the window stays, leading nowhere
//   receiver.Start("/home/bo/Downloads");   // "接收"
//   ... listener.OnReceiverFileExists(name): receiver.Resolve(ExistsChoice::kResume);
//   ... the owner's timer expiries: receiver.OnTimer(id).
//
// All calls and all socket events happen on the thread that created it (its apartment).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/events/event_sink.h"
#include "common/interfaces/ovsock.h"
#include "transfer/file_trans_records.h"
#include "transfer/reply_reader.h"
#include "transfer/transfer_files.h"
#include "transfer/transfer_names.h"
#include "transfer/transfer_timers.h"

namespace ov::transfer {

enum class ExistsChoice { kResume, kOverwrite, kRename, kSkip };

// Why a transfer was ended before its last file.
enum class ReceiveFailure {
    kNone,
    kBadReply,        // a reply that breaks the record format, or names no file at all
    kOverrun,         // more data than the file's announced size
    kCannotWrite,     // the save folder or a file in it could not be written
    kConnectionLost,  // the connection closed before every file had arrived
};

// The proxy of the user's network settings, for a connection through SOCKS5.
struct ReceiverProxy {
    std::string host;
    LONG port = 0;
    bool authenticate = false;
    std::string user;
    std::string password;
};

class ReceiverListener {
public:
    virtual ~ReceiverListener() = default;
    // Something shown in the progress fields changed.
    virtual void OnReceiverProgress() = 0;
    // The file to receive exists in the save folder: answer with Resolve (rename: with the
    // path the user chose). Socket events arriving meanwhile wait for the answer.
    virtual void OnReceiverFileExists(const std::string& name) = 0;
    // A file whose name cannot be saved was skipped (name: the peer's name shown as text).
    virtual void OnReceiverNameRefused(const std::string& name, NameRefusal why) = 0;
    // A file that could not be created was skipped.
    virtual void OnReceiverCannotCreate(const std::string& name) = 0;
    // The transfer ended early; the connection is closed and the window stays to say so.
    virtual void OnReceiverFailed(ReceiveFailure why) = 0;
    // Timer 33: every announced file arrived.
    virtual void OnReceiverComplete() = 0;
    // Timer 32: the window ends (the receiver may be destroyed from here).
    virtual void OnReceiverClose() = 0;
};

class FileReceiver final : private OVSocketEventHandler {
public:
    // fromIp: the 32-bit address as the offer carried it (first byte in memory is the first
    // number of the dotted form).
    FileReceiver(LONG fromIp, LONG fromPort, TransferFiles& files, TransferTimers& timers,
                 ReceiverListener& listener);
    ~FileReceiver();
    FileReceiver(const FileReceiver&) = delete;
    FileReceiver& operator=(const FileReceiver&) = delete;

    // Creates the socket object. False when the socket component fails.
    bool Initialize();
    // The connection goes through this SOCKS5 proxy (call before Start).
    void UseProxy(const ReceiverProxy& proxy);
    // Connects to the sender; the files go into folder (not empty).
    bool Start(const std::string& folder);
    // The answer to OnReceiverFileExists.
    void Resolve(ExistsChoice choice, const std::string& renamedPath = {});
    void OnTimer(int id);
    // Ends the window soon (completion with "close when finished").
    void CloseSoon();
    // The user closes the window: the connection goes now, nothing more is written.
    void Cancel() { Stop(); }

    // "%d.%d.%d.%d" of the sender's address.
    std::string SenderAddress() const;
    const std::string& Folder() const { return folder_; }

    // Progress.
    uint32_t FileCount() const { return count_; }
    uint32_t Total() const { return total_; }
    uint32_t Index() const { return index_; }
    // The current file as the peer named it (shown as text) and its announced size.
    const std::string& CurrentName() const { return currentName_; }
    uint32_t CurrentSize() const { return currentSize_; }
    // The path of the current or last target file.
    const std::string& CurrentPath() const { return currentPath_; }
    // The current target's length (the last one's, once it is closed).
    uint64_t CurrentLength() const;
    // Announced sizes of finished or skipped files plus the open target's length.
    uint64_t Done() const;
    bool Completed() const { return completed_; }
    ReceiveFailure Failure() const { return failure_; }
    bool Asking() const { return asking_; }

private:
    enum class State : uint32_t { kCount = 0, kInfo = 1, kData = 2 };

    void OnConnectionEstablished() override;
    void OnDataAvailable() override;
    void OnConnectionClosed() override;

    void Advance(std::span<const uint8_t> bytes);
    void OnCountReply(const FileTransReply& reply);
    void OnInfoReply(const FileTransReply& reply);
    void OpenTarget(std::unique_ptr<TargetFile> target, uint32_t argument);
    // Writes what belongs to the current file; false when the transfer ended.
    bool TakeData(std::span<const uint8_t>* bytes);
    void CloseTarget();
    void FileFinished();
    void SkipFile();
    void NextFile(bool completion);
    void Send(RequestKind kind, uint32_t argument);
    void Fail(ReceiveFailure why);
    // Every timer killed, the events cut, the connection closed.
    void Stop();

    const LONG fromIp_;
    const LONG fromPort_;
    TransferFiles& files_;
    TransferTimers& timers_;
    ReceiverListener& listener_;

    ComPtr<IOVSocket> socket_;
    // Through a proxy the socket reports neither the connection nor readiness until the first
    // Receive: the receiver looks for the first reply itself.
    bool proxied_ = false;
    bool watching_ = false;
    OVSocketEventConnection events_{this};
    std::string folder_;

    State state_ = State::kCount;
    uint32_t argument_ = 0;
    ReplyReader reader_;
    bool countKnown_ = false;
    uint32_t count_ = 0;
    uint32_t total_ = 0;
    uint32_t index_ = 0;
    uint64_t finished_ = 0;
    std::string currentName_;
    uint32_t currentSize_ = 0;
    std::string currentPath_;
    uint64_t lastLength_ = 0;  // the closed target's length, for the fields after it
    std::unique_ptr<TargetFile> target_;
    bool asking_ = false;
    bool completed_ = false;
    ReceiveFailure failure_ = ReceiveFailure::kNone;
};

}  // namespace ov::transfer
