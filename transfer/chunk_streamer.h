// Streams a file's data on a connection, one 4096-byte chunk in flight: each chunk is sent as
// the previous one's completion is reported, on the socket's own send thread, so that the
// stream does not wait for a trip through the owner's apartment per chunk. The owner starts
// it for a data request and takes the file back when the next request comes.
//
//   ChunkStreamer streamer;
//   streamer.Connect(connection);                          // agile: called on the send thread
//   streamer.Begin(std::move(file), offset, size, send);   // send: the first chunk, tabled
//   ... the next request: std::unique_ptr<SourceFile> file = streamer.Stop();
//   streamer.Disconnect();                                 // before the socket closes
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "common/events/event_sink.h"
#include "common/interfaces/ovsock.h"
#include "platform/com/comptr.h"
#include "transfer/transfer_files.h"

namespace ov::transfer {

inline constexpr std::size_t kChunkSize = 4096;

class ChunkStreamer final : private OVSocketEventHandler {
public:
    using SendFirst = std::function<LONG(const uint8_t* data, std::size_t n)>;

    ChunkStreamer();
    ~ChunkStreamer();
    ChunkStreamer(const ChunkStreamer&) = delete;
    ChunkStreamer& operator=(const ChunkStreamer&) = delete;

    HRESULT Connect(IOVSocket* connection);
    // Once it returns the send thread no longer calls in.
    void Disconnect();

    // Reads the first chunk at the file's position (offset), sends it with sendFirst (which
    // returns its packet ID) and goes on from its completion, never past size bytes of the
    // file. A read shorter than a chunk ends the file. False when nothing was sent.
    bool Begin(std::unique_ptr<SourceFile> file, uint64_t offset, uint64_t size,
               const SendFirst& sendFirst);
    // Stops streaming; the file back when it is still open.
    std::unique_ptr<SourceFile> Stop();
    // A resent packet replaces the one that failed.
    void Replace(LONG failed, LONG resent);

    uint64_t Position() const;
    // The last chunk of the file was read (or the file ended early).
    bool Ended() const;
    bool Active() const;
    uint64_t Sends() const;

private:
    void OnSendProgress(LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete) override;
    // Reads the next chunk; closes the file at its end. Under the lock.
    std::size_t ReadLocked();

    OVSocketEventConnection events_{this};
    mutable std::mutex mutex_;  // guards everything below
    ComPtr<IOVSocket> socket_;
    std::unique_ptr<SourceFile> file_;
    uint64_t position_ = 0;
    uint64_t size_ = 0;
    LONG packet_ = 0;  // the chunk in flight; 0 none
    bool active_ = false;
    bool ended_ = false;
    uint64_t sends_ = 0;
    std::vector<uint8_t> chunk_;
};

}  // namespace ov::transfer
