#include "transfer/file_trans_records.h"

#include <algorithm>
#include <cstring>

namespace ov::transfer {
namespace {

void PutU32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t GetU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

RequestBytes EncodeRequest(const FileTransRequest& request) {
    RequestBytes bytes{};
    PutU32(bytes.data(), static_cast<uint32_t>(request.kind));
    PutU32(bytes.data() + 4, request.argument);
    return bytes;
}

RecordResult DecodeRequest(std::span<const uint8_t> bytes, FileTransRequest* out) {
    if (bytes.size() != kRequestSize)
        return RecordResult::kWrongSize;
    const uint32_t kind = GetU32(bytes.data());
    if (kind > static_cast<uint32_t>(RequestKind::kData))
        return RecordResult::kUnknownKind;
    out->kind = static_cast<RequestKind>(kind);
    out->argument = GetU32(bytes.data() + 4);
    return RecordResult::kOk;
}

ReplyBytes EncodeCountReply(uint32_t file_count, uint32_t total_size) {
    ReplyBytes bytes{};
    PutU32(bytes.data(), static_cast<uint32_t>(ReplyKind::kCount));
    PutU32(bytes.data() + 4, kCountPayloadLength);
    PutU32(bytes.data() + 8, file_count);
    PutU32(bytes.data() + 12, total_size);
    return bytes;
}

std::optional<ReplyBytes> EncodeInfoReply(std::string_view name_cp936, uint32_t file_size) {
    if (name_cp936.size() > kMaxWireNameBytes || name_cp936.find('\0') != std::string_view::npos)
        return std::nullopt;
    ReplyBytes bytes{};
    PutU32(bytes.data(), static_cast<uint32_t>(ReplyKind::kInfo));
    PutU32(bytes.data() + 4, kInfoPayloadLength);
    std::memcpy(bytes.data() + 8, name_cp936.data(), name_cp936.size());
    PutU32(bytes.data() + 8 + kNameFieldSize, file_size);
    return bytes;
}

RecordResult DecodeReply(std::span<const uint8_t> bytes, FileTransReply* out) {
    if (bytes.size() != kReplySize)
        return RecordResult::kWrongSize;
    const uint32_t kind = GetU32(bytes.data());
    const uint32_t length = GetU32(bytes.data() + 4);
    if (kind == static_cast<uint32_t>(ReplyKind::kCount)) {
        if (length != kCountPayloadLength)
            return RecordResult::kWrongPayloadLength;
        *out = FileTransReply{};
        out->kind = ReplyKind::kCount;
        out->file_count = GetU32(bytes.data() + 8);
        out->total_size = GetU32(bytes.data() + 12);
        return RecordResult::kOk;
    }
    if (kind != static_cast<uint32_t>(ReplyKind::kInfo))
        return RecordResult::kUnknownKind;
    if (length != kInfoPayloadLength)
        return RecordResult::kWrongPayloadLength;
    const uint8_t* field = bytes.data() + 8;
    const uint8_t* nul = std::find(field, field + kNameFieldSize, uint8_t{0});
    if (nul == field + kNameFieldSize)
        return RecordResult::kNameNotTerminated;
    *out = FileTransReply{};
    out->kind = ReplyKind::kInfo;
    out->name.assign(reinterpret_cast<const char*>(field), static_cast<std::size_t>(nul - field));
    out->file_size = GetU32(bytes.data() + 8 + kNameFieldSize);
    return RecordResult::kOk;
}

}  // namespace ov::transfer
