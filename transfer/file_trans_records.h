// The records of the peer-to-peer file transfer connection: the receiver's 8-byte request and
// the sender's 52-byte reply (count of files or one file's name and size), little-endian.
//
//   auto bytes = EncodeRequest({RequestKind::kInfo, 1});
//   FileTransReply reply;
//   if (DecodeReply(received52, &reply) == RecordResult::kOk && reply.kind == ReplyKind::kInfo) ...
//
// Decoders look at exactly the bytes they are given and say why a record was refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ov::transfer {

inline constexpr std::size_t kRequestSize = 8;
inline constexpr std::size_t kReplySize = 52;
// The name field of an information reply, terminating NUL included.
inline constexpr std::size_t kNameFieldSize = 40;
inline constexpr std::size_t kMaxWireNameBytes = kNameFieldSize - 1;
inline constexpr uint32_t kCountPayloadLength = 8;
inline constexpr uint32_t kInfoPayloadLength = 44;

enum class RequestKind : uint32_t { kCount = 0, kInfo = 1, kData = 2 };
enum class ReplyKind : uint32_t { kCount = 0, kInfo = 1 };

enum class RecordResult {
    kOk,
    kWrongSize,           // not exactly 8 (request) or 52 (reply) bytes
    kUnknownKind,         // kind word outside the table
    kWrongPayloadLength,  // reply's length word does not match its kind
    kNameNotTerminated,   // no NUL inside the 40-byte name field
};

using RequestBytes = std::array<uint8_t, kRequestSize>;
using ReplyBytes = std::array<uint8_t, kReplySize>;

struct FileTransRequest {
    RequestKind kind = RequestKind::kCount;
    // Ignored for kCount; 1-based file index for kInfo; byte offset in the file for kData.
    uint32_t argument = 0;
};

struct FileTransReply {
    ReplyKind kind = ReplyKind::kCount;
    // kCount
    uint32_t file_count = 0;
    uint32_t total_size = 0;
    // kInfo: the name as code-page-936 bytes without its NUL, and the file's size.
    std::string name;
    uint32_t file_size = 0;
};

RequestBytes EncodeRequest(const FileTransRequest& request);
RecordResult DecodeRequest(std::span<const uint8_t> bytes, FileTransRequest* out);

ReplyBytes EncodeCountReply(uint32_t file_count, uint32_t total_size);
// Empty when the name does not fit the field (more than 39 bytes) or holds a NUL: the sender
// cuts names with WireName before they get here.
std::optional<ReplyBytes> EncodeInfoReply(std::string_view name_cp936, uint32_t file_size);
RecordResult DecodeReply(std::span<const uint8_t> bytes, FileTransReply* out);

}  // namespace ov::transfer
