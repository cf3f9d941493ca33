// The sending side of a file transfer: it listens on a TCP socket of the socket component,
// accepts the receiver's connection and answers its requests for the file count, each file's
// name and size, and each file's data, which it streams in 4096-byte sends with one in flight.
// No window and no kernel: the send window drives it and shows its progress.
//
//   SenderSelection sel = SelectFiles(files, {"/home/ann/a.bin", "/home/ann/b.txt"});
//   if (sel.error != SelectionError::kNone) { tell the user; return; }
//   FileSender sender(std::move(sel), files, timers, listener);
//   if (!sender.Listen("127.0.0.1")) return;   // no window, no request
//   kernel->RequestPTPConnection(peer, OV_COMPONENT_FILE, 0, sender.LocalIP(),
//                                sender.LocalPort(), text, &seq);
//   sender.Offered();
//   ... OnRequestPTPConnectionReply(seq, e): sender.RequestAnswered(e == OV_ERR_NONE);
//   ... the owner's timer expiries: sender.OnTimer(id); listener.OnSenderClose() ends it.
//
// All calls and all socket events happen on the thread that created it (its apartment).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/events/event_sink.h"
#include "common/interfaces/ovsock.h"
#include "transfer/chunk_streamer.h"
#include "transfer/file_trans_records.h"
#include "transfer/transfer_files.h"
#include "transfer/transfer_timers.h"

namespace ov::transfer {

enum class FileState : int32_t { kWaiting = 0, kSending = 1, kDone = 2 };

struct OfferedFile {
    std::string path;       // as selected, UTF-8
    std::string name;       // the part after the last separator, UTF-8, shown to the sender
    std::string wire_name;  // the name field: code page 936, at most 39 bytes
    uint32_t size = 0;
    FileState state = FileState::kWaiting;
};

enum class SelectionError {
    kNone,
    kNothing,        // no paths
    kUnreadable,     // a path that is not a readable regular file (detail: its path)
    kTooLarge,       // a file of 4 GiB or more (detail: its path)
    kTotalTooLarge,  // together 4 GiB or more: the count reply carries 32 bits
};

struct SenderSelection {
    std::vector<OfferedFile> files;
    uint32_t total = 0;
    SelectionError error = SelectionError::kNone;
    std::string detail;
};

// Reads the size of every selected file, in order.
SenderSelection SelectFiles(TransferFiles& files, const std::vector<std::string>& paths);

class SenderListener {
public:
    virtual ~SenderListener() = default;
    // The receiver connected: the transfer's clock starts.
    virtual void OnSenderConnected() = 0;
    // Something shown in the progress fields changed.
    virtual void OnSenderProgress() = 0;
    // Timer 16 ran out: the window ends (the sender may be destroyed from here).
    virtual void OnSenderClose() = 0;
};

class FileSender final : private OVSocketEventHandler, private ChunkStreamer::Owner {
public:
    FileSender(SenderSelection selection, TransferFiles& files, TransferTimers& timers,
               SenderListener& listener);
    ~FileSender();
    FileSender(const FileSender&) = delete;
    FileSender& operator=(const FileSender&) = delete;

    // Creates the listening socket on address (empty: the component's local address) at a port
    // of the system's choice. False when the socket component fails: show nothing.
    bool Listen(const std::string& address);
    LONG LocalIP() const { return localIp_; }
    LONG LocalPort() const { return localPort_; }

    // The offer went to the kernel: the receiver has 60 s to connect.
    void Offered();
    // The kernel's answer to the offer.
    void RequestAnswered(bool delivered);
    void OnTimer(int id);

    // Progress.
    const std::vector<OfferedFile>& Files() const { return files_; }
    uint32_t Total() const { return total_; }
    // Full sizes of finished files plus the position in the one being sent.
    uint64_t Done() const;
    // The file whose information was sent last (null before any).
    const OfferedFile* Current() const;
    uint64_t CurrentPosition() const;
    bool Started() const { return started_; }
    // Data packets sent so far, resends not counted.
    uint64_t DataSends() const { return streamer_.Sends(); }

private:
    // The listening socket's.
    void OnConnectionIncoming() override;
    // The connection's, through the streamer.
    void OnStreamDataAvailable() override;
    void OnStreamConnectionClosed() override;
    void OnStreamSendError(LONG packetId) override;
    void OnStreamSendComplete(LONG packetId) override;
    void OnStreamProgress() override;

    void Serve(const FileTransRequest& request);
    void ServeInfo(uint32_t index);
    void ServeData(uint32_t offset);
    // A new request ends the streaming of the chunks of the last; the file comes back.
    void StopStreaming();
    // Marks the file sent once the streamer read its last chunk.
    void EndedStreaming();
    void CloseSource();
    // Sends a copy and keeps it under the packet ID for a resend after an error.
    LONG SendTabled(const uint8_t* data, std::size_t n);
    LONG SendBytes(const uint8_t* data, std::size_t n);

    std::vector<OfferedFile> files_;
    uint32_t total_;
    TransferFiles& fileSystem_;
    TransferTimers& timers_;
    SenderListener& listener_;

    ComPtr<IOVSocket> listening_;
    ComPtr<IOVSocket> connection_;
    OVSocketEventConnection listeningEvents_{this};
    LONG localIp_ = 0;
    LONG localPort_ = 0;

    std::unique_ptr<SourceFile> source_;
    bool streaming_ = false;   // the streamer has the chunks of the last data request
    std::size_t current_ = 0;  // 1-based index of the file last described; 0 none
    uint64_t position_ = 0;    // the open file's position
    struct Unconfirmed {
        CByteArrayVariant bytes;
        int resends = 0;
    };
    static constexpr int kMaxResends = 3;
    std::map<LONG, Unconfirmed> unconfirmed_;
    std::vector<uint8_t> pendingRequest_;  // a request split across reads
    ChunkStreamer streamer_{*this};
    bool started_ = false;
    bool closed_ = false;  // the connection went: the window ends soon
};

}  // namespace ov::transfer
