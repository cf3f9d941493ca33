#include "transfer/chunk_streamer.h"

#include <algorithm>

#include "common/byte_array_variant.h"

namespace ov::transfer {

namespace {

constexpr auto kReportEvery = std::chrono::milliseconds(100);

}  // namespace

ChunkStreamer::ChunkStreamer(Owner& owner)
    : owner_(owner), apartment_(Apartment::Current()), chunk_(kChunkSize) {}

ChunkStreamer::~ChunkStreamer() {
    Disconnect();
}

HRESULT ChunkStreamer::Connect(IOVSocket* connection) {
    {
        std::lock_guard lock(mutex_);
        socket_ = ComPtr<IOVSocket>(connection);
    }
    return events_.Connect(connection, /*agile=*/true);
}

void ChunkStreamer::Disconnect() {
    events_.Disconnect();
    std::lock_guard lock(mutex_);
    active_ = false;
    socket_.Reset();
}

bool ChunkStreamer::Begin(std::unique_ptr<SourceFile> file, uint64_t offset, uint64_t size,
                          const SendFirst& sendFirst) {
    // The lock is held while the first chunk goes out, so that its completion, reported on the
    // send thread, waits until its packet ID is known here.
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
    position_ = offset;
    size_ = size;
    ended_ = false;
    packet_ = 0;
    const std::size_t n = ReadLocked();
    active_ = file_ != nullptr;
    if (n == 0)
        return false;
    packet_ = sendFirst(chunk_.data(), n);
    firstInFlight_ = true;
    ++sends_;
    lastReport_ = std::chrono::steady_clock::now();
    return true;
}

std::unique_ptr<SourceFile> ChunkStreamer::Stop() {
    std::lock_guard lock(mutex_);
    active_ = false;
    packet_ = 0;
    return std::move(file_);
}

void ChunkStreamer::Replace(LONG failed, LONG resent) {
    std::lock_guard lock(mutex_);
    if (packet_ == failed)
        packet_ = resent;
}

uint64_t ChunkStreamer::Position() const {
    std::lock_guard lock(mutex_);
    return position_;
}

bool ChunkStreamer::Ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

bool ChunkStreamer::Active() const {
    std::lock_guard lock(mutex_);
    return active_;
}

uint64_t ChunkStreamer::Sends() const {
    std::lock_guard lock(mutex_);
    return sends_;
}

std::size_t ChunkStreamer::ReadLocked() {
    if (!file_)
        return 0;
    // Never past the announced size: a file that grew since it was chosen would otherwise
    // send bytes the receiver refuses.
    const uint64_t left = position_ < size_ ? size_ - position_ : 0;
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(kChunkSize, left));
    const std::optional<std::size_t> got = want == 0 ? 0 : file_->Read(chunk_.data(), want);
    const std::size_t n = got.value_or(0);
    position_ += n;
    if (n < kChunkSize) {
        file_.reset();
        ended_ = true;
        active_ = false;
    }
    return n;
}

void ChunkStreamer::Post(std::function<void(Owner&)> f) {
    if (!apartment_ || !apartment_->IsSingleThreaded()) {
        f(owner_);  // an owner in the free apartment takes its calls on any thread
        return;
    }
    apartment_->Post([alive = std::weak_ptr<int>(alive_), owner = &owner_, f = std::move(f)] {
        if (alive.lock())
            f(*owner);
    });
}

void ChunkStreamer::OnDataAvailable() {
    Post([](Owner& o) { o.OnStreamDataAvailable(); });
}

void ChunkStreamer::OnConnectionClosed() {
    Post([](Owner& o) { o.OnStreamConnectionClosed(); });
}

void ChunkStreamer::OnSendError(LONG nPacketID) {
    Post([nPacketID](Owner& o) { o.OnStreamSendError(nPacketID); });
}

void ChunkStreamer::OnSendProgress(LONG nPacketID, LONG, LONG, SHORT fComplete) {
    if (fComplete == 0)
        return;
    bool report = false;
    bool streamed = false;
    {
        std::lock_guard lock(mutex_);
        // The first chunk is the owner's packet too (it keeps its copy); the others are ours.
        streamed = nPacketID != 0 && nPacketID == packet_ && !firstInFlight_;
        if (nPacketID != 0 && nPacketID == packet_) {
            packet_ = 0;
            firstInFlight_ = false;
            if (active_ && socket_) {
                const std::size_t n = ReadLocked();
                if (n > 0) {
                    // Send only queues the bytes for the send thread (this one).
                    CByteArrayVariant packet(chunk_.data(), n);
                    socket_->Send(packet.Variant(), &packet_);
                    ++sends_;
                }
            }
            const auto now = std::chrono::steady_clock::now();
            report = !active_ || now - lastReport_ >= kReportEvery;
            if (report)
                lastReport_ = now;
        }
    }
    if (!streamed)
        Post([nPacketID](Owner& o) { o.OnStreamSendComplete(nPacketID); });
    else if (report)
        Post([](Owner& o) { o.OnStreamProgress(); });
}

}  // namespace ov::transfer
