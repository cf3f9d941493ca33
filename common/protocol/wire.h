// Byte-level encoding shared by the client and the server: little-endian integers, text
// fields T(n) and payload fields P, and the packet headers.
//
//   Writer w;  w.U16(1); w.Text("alice", OV_USERNAME_SIZE);  w.Payload(message);
//   Reader r(bytes, n);  uint32_t pin;  char name[17];
//   if (!r.U32(&pin) || !r.Text(name, sizeof name)) { /* malformed: drop */ }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ov::wire {

constexpr uint16_t kVersion = 1;
constexpr size_t kRequestHeaderSize = 18;
constexpr size_t kServerHeaderSize = 10;
constexpr size_t kServerAckSize = 8;
constexpr size_t kClientAckSize = 16;
// Offset of nPacketSeq in every header; written when a command first goes in flight.
constexpr size_t kPacketSeqOffset = 4;
// The largest payload a u16 length can describe (the length counts a trailing zero).
constexpr size_t kMaxPayload = 0xFFFF - 1;

class Writer {
public:
    void U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void Raw(std::string_view bytes) { bytes_.append(bytes); }

    // T(n): u16 length counting a trailing zero, then the text and the zero. A text of n - 1
    // bytes or more is cut to n - 1 bytes (by bytes: a double-byte character may be split).
    void Text(std::string_view text, size_t fieldSize);
    // An absent text: u16 0 and no bytes.
    void AbsentText() { U16(0); }
    // A text field of a record: the characters up to the field's first zero (or its end);
    // absent unless present is true.
    void RecordText(const char* field, size_t fieldSize, bool present);
    // P: u16 N + 1, the N bytes, a zero. False (nothing written) when N is above kMaxPayload.
    bool Payload(std::string_view bytes);

    const std::string& Bytes() const { return bytes_; }
    std::string& Bytes() { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    std::string bytes_;
};

// Reads fields from a bounded buffer. Every getter checks the remaining length first and
// returns false, without moving, when the field does not fit.
class Reader {
public:
    Reader(const void* data, size_t size)
        : p_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}
    explicit Reader(std::string_view bytes) : Reader(bytes.data(), bytes.size()) {}
    // A reader only borrows its bytes: refuse a temporary string that would die under it.
    explicit Reader(std::string&&) = delete;

    bool U8(uint8_t* v);
    bool U16(uint16_t* v);
    bool U32(uint32_t* v);
    bool Skip(size_t n);
    // T(n) into a destination field of fieldSize bytes (zero-filled first). Malformed when
    // the length exceeds fieldSize or runs past the end. L = 0 gives the empty text.
    bool Text(char* dest, size_t fieldSize);
    // The same, giving the characters before the first zero as a string.
    bool Text(std::string* out, size_t fieldSize);
    // P: u16 L (at least 1), L - 1 payload bytes and the zero (not checked).
    bool Payload(std::string* out);

    size_t Remaining() const { return size_ - pos_; }
    size_t Offset() const { return pos_; }
    const uint8_t* Here() const { return p_ + pos_; }

private:
    const uint8_t* p_;
    size_t size_;
    size_t pos_ = 0;
};

struct RequestHeader {
    uint16_t nVersion = kVersion;
    uint16_t nCommand = 0;
    uint32_t nPacketSeq = 0;
    uint32_t nPin = 0;
    uint32_t nLoginID = 0;
    uint16_t nCmdSeqNum = 0;
};

struct ServerHeader {
    uint16_t nVersion = kVersion;
    uint16_t nCommand = 0;
    uint32_t nPacketSeq = 0;
    uint16_t nCmdSeqNum = 0;
};

void WriteRequestHeader(Writer& w, const RequestHeader& h);
bool ReadRequestHeader(Reader& r, RequestHeader* h);
void WriteServerHeader(Writer& w, const ServerHeader& h);
bool ReadServerHeader(Reader& r, ServerHeader* h);

// The 8-byte acknowledgement a server sends for a client datagram.
std::string ServerAck(uint32_t packetSeq);
// The 16-byte acknowledgement a client sends for a server datagram.
std::string ClientAck(uint32_t packetSeq, uint32_t pin, uint32_t loginId);

// Little-endian helpers for fixed offsets in a buffer the caller has checked.
uint16_t LoadU16(const void* p);
uint32_t LoadU32(const void* p);
void StoreU32(void* p, uint32_t v);

}  // namespace ov::wire
