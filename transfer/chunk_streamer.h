// Streams a file's data on a connection, one 4096-byte chunk in flight: each chunk is sent as
// the previous one's completion is reported, on the socket's own send thread, so that the
// stream does not wait for a trip through the owner's apartment per chunk. The owner starts
// it for a data request and takes the file back when the next request comes.
//
// It is the connection's only listener: the other events go on to the owner, posted to the
// apartment the streamer was made in, and the completions of streamed chunks only as a
// progress report at most every tenth of a second and when the file ends, so that the send
// thread does not wake the owner's thread for every chunk.
//
//   ChunkStreamer streamer(owner);                         // on the owner's apartment thread
//   streamer.Connect(connection);                          // agile: called on the send thread
//   streamer.Begin(std::move(file), offset, size, send);   // send: the first chunk, tabled
//   ... the next request: std::unique_ptr<SourceFile> file = streamer.Stop();
//   streamer.Disconnect();                                 // before the socket closes
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "common/events/event_sink.h"
#include "common/interfaces/ovsock.h"
#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "transfer/transfer_files.h"

namespace ov::transfer {

inline constexpr std::size_t kChunkSize = 4096;

class ChunkStreamer final : private OVSocketEventHandler {
public:
    using SendFirst = std::function<LONG(const uint8_t* data, std::size_t n)>;

    // The connection's events as the owner gets them, on its apartment's thread.
    class Owner {
    public:
        virtual void OnStreamDataAvailable() = 0;
        virtual void OnStreamConnectionClosed() = 0;
        virtual void OnStreamSendError(LONG packetId) = 0;
        // A packet completed that was not one of the streamed chunks.
        virtual void OnStreamSendComplete(LONG packetId) = 0;
        // Streamed chunks completed since the last report (or the file ended).
        virtual void OnStreamProgress() = 0;

    protected:
        ~Owner() = default;
    };

    explicit ChunkStreamer(Owner& owner);
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
    void OnDataAvailable() override;
    void OnConnectionClosed() override;
    void OnSendError(LONG nPacketID) override;
    void OnSendProgress(LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete) override;
    // Runs f on the owner's thread unless the streamer is gone by then.
    void Post(std::function<void(Owner&)> f);
    // Reads the next chunk; closes the file at its end. Under the lock.
    std::size_t ReadLocked();

    Owner& owner_;
    const std::shared_ptr<Apartment> apartment_;
    // Tasks posted to the apartment hold it weakly; it dies with the streamer, on that thread.
    const std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    OVSocketEventConnection events_{this};
    mutable std::mutex mutex_;  // guards everything below
    ComPtr<IOVSocket> socket_;
    std::unique_ptr<SourceFile> file_;
    uint64_t position_ = 0;
    uint64_t size_ = 0;
    LONG packet_ = 0;             // the chunk in flight; 0 none
    bool firstInFlight_ = false;  // it is the first, sent (and kept) by the owner
    bool active_ = false;
    bool ended_ = false;
    uint64_t sends_ = 0;
    std::chrono::steady_clock::time_point lastReport_;
    std::vector<uint8_t> chunk_;
};

}  // namespace ov::transfer
