#include "transfer/reply_reader.h"

#include <algorithm>
#include <cstring>

namespace ov::transfer {

std::optional<ReplyBytes> ReplyReader::Take(std::span<const uint8_t>* input) {
    const std::size_t wanted = kReplySize - filled_;
    const std::size_t n = std::min(wanted, input->size());
    if (n > 0)
        std::memcpy(partial_.data() + filled_, input->data(), n);
    filled_ += n;
    *input = input->subspan(n);
    if (filled_ < kReplySize)
        return std::nullopt;
    filled_ = 0;
    return partial_;
}

}  // namespace ov::transfer
