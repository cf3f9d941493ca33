#include "common/protocol/wire.h"

#include <cstring>

namespace ov::wire {

uint16_t LoadU16(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t LoadU32(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

void StoreU32(void* p, uint32_t v) {
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<uint8_t>(v >> (8 * i));
}

void Writer::U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
}

void Writer::U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
}

void Writer::Text(std::string_view text, size_t fieldSize) {
    if (fieldSize == 0) {
        AbsentText();
        return;
    }
    if (text.size() + 1 >= fieldSize)
        text = text.substr(0, fieldSize - 1);
    U16(static_cast<uint16_t>(text.size() + 1));
    Raw(text);
    U8(0);
}

void Writer::RecordText(const char* field, size_t fieldSize, bool present) {
    if (!present) {
        AbsentText();
        return;
    }
    const void* zero = std::memchr(field, 0, fieldSize);
    size_t len = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : fieldSize;
    Text(std::string_view(field, len), fieldSize);
}

bool Writer::Payload(std::string_view bytes) {
    if (bytes.size() > kMaxPayload)
        return false;
    U16(static_cast<uint16_t>(bytes.size() + 1));
    Raw(bytes);
    U8(0);
    return true;
}

bool Reader::U8(uint8_t* v) {
    if (Remaining() < 1)
        return false;
    *v = p_[pos_++];
    return true;
}

bool Reader::U16(uint16_t* v) {
    if (Remaining() < 2)
        return false;
    *v = LoadU16(p_ + pos_);
    pos_ += 2;
    return true;
}

bool Reader::U32(uint32_t* v) {
    if (Remaining() < 4)
        return false;
    *v = LoadU32(p_ + pos_);
    pos_ += 4;
    return true;
}

bool Reader::Skip(size_t n) {
    if (Remaining() < n)
        return false;
    pos_ += n;
    return true;
}

bool Reader::Text(char* dest, size_t fieldSize) {
    if (Remaining() < 2 || fieldSize == 0)
        return false;
    uint16_t len = LoadU16(p_ + pos_);
    if (len > fieldSize || Remaining() - 2 < len)
        return false;
    std::memset(dest, 0, fieldSize);
    if (len > 0) {
        std::memcpy(dest, p_ + pos_ + 2, len);
        dest[len - 1] = 0;  // whatever the sender put there, the field ends here
    }
    pos_ += 2 + size_t{len};
    return true;
}

bool Reader::Text(std::string* out, size_t fieldSize) {
    std::string field(fieldSize, '\0');
    if (!Text(field.data(), fieldSize))
        return false;
    field.resize(std::strlen(field.c_str()));
    *out = std::move(field);
    return true;
}

bool Reader::Payload(std::string* out) {
    if (Remaining() < 2)
        return false;
    uint16_t len = LoadU16(p_ + pos_);
    if (len == 0 || Remaining() - 2 < len)
        return false;
    out->assign(reinterpret_cast<const char*>(p_ + pos_ + 2), len - 1);
    pos_ += 2 + size_t{len};
    return true;
}

void WriteRequestHeader(Writer& w, const RequestHeader& h) {
    w.U16(h.nVersion);
    w.U16(h.nCommand);
    w.U32(h.nPacketSeq);
    w.U32(h.nPin);
    w.U32(h.nLoginID);
    w.U16(h.nCmdSeqNum);
}

bool ReadRequestHeader(Reader& r, RequestHeader* h) {
    if (r.Remaining() < kRequestHeaderSize)
        return false;
    return r.U16(&h->nVersion) && r.U16(&h->nCommand) && r.U32(&h->nPacketSeq) && r.U32(&h->nPin) &&
           r.U32(&h->nLoginID) && r.U16(&h->nCmdSeqNum);
}

void WriteServerHeader(Writer& w, const ServerHeader& h) {
    w.U16(h.nVersion);
    w.U16(h.nCommand);
    w.U32(h.nPacketSeq);
    w.U16(h.nCmdSeqNum);
}

bool ReadServerHeader(Reader& r, ServerHeader* h) {
    if (r.Remaining() < kServerHeaderSize)
        return false;
    return r.U16(&h->nVersion) && r.U16(&h->nCommand) && r.U32(&h->nPacketSeq) &&
           r.U16(&h->nCmdSeqNum);
}

std::string ServerAck(uint32_t packetSeq) {
    Writer w;
    w.U16(kVersion);
    w.U16(1);
    w.U32(packetSeq);
    return w.Bytes();
}

std::string ClientAck(uint32_t packetSeq, uint32_t pin, uint32_t loginId) {
    Writer w;
    w.U16(kVersion);
    w.U16(1);
    w.U32(packetSeq);
    w.U32(pin);
    w.U32(loginId);
    return w.Bytes();
}

}  // namespace ov::wire
