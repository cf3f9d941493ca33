// Gathers the sender's 52-byte replies out of TCP reads, which may split a reply or join it to
// what follows. It never holds more than one reply's bytes.
//
//   ReplyReader reader;
//   std::span<const uint8_t> rest(buffer, size);
//   while (auto reply = reader.Take(&rest)) { ... DecodeReply(*reply, ...) ... }
//   // `rest` now holds what followed the last whole reply and is not a reply's beginning
//   // (empty unless the caller stopped early), e.g. file data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "transfer/file_trans_records.h"

namespace ov::transfer {

class ReplyReader {
public:
    // Consumes bytes from the front of *input, at most up to the end of the next reply. Returns
    // that reply once its last byte has arrived; bytes after it stay in *input for the caller.
    // Without a whole reply the consumed bytes are kept for the next call.
    std::optional<ReplyBytes> Take(std::span<const uint8_t>* input);

    // Bytes of a reply begun but not finished.
    std::size_t pending() const { return filled_; }
    void Reset() { filled_ = 0; }

private:
    ReplyBytes partial_{};
    std::size_t filled_ = 0;
};

}  // namespace ov::transfer
