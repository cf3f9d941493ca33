// Any byte stream, read in pieces whose sizes come from the input, gives the same replies as
// reading it whole; every reply decodes or is refused, and what decodes encodes back the same.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "transfer/file_trans_records.h"
#include "transfer/reply_reader.h"
#include "transfer/transfer_names.h"

namespace {

using namespace ov::transfer;

std::vector<ReplyBytes> ReadAll(std::span<const uint8_t> stream, std::span<const uint8_t> cuts) {
    ReplyReader reader;
    std::vector<ReplyBytes> replies;
    std::size_t c = 0;
    while (!stream.empty()) {
        const std::size_t piece =
            cuts.empty() ? stream.size()
                         : std::min<std::size_t>(cuts[c++ % cuts.size()], stream.size());
        std::span<const uint8_t> rest = stream.first(piece);
        stream = stream.subspan(piece);
        while (auto reply = reader.Take(&rest))
            replies.push_back(*reply);
        if (!rest.empty() || reader.pending() >= kReplySize)
            std::abort();
    }
    return replies;
}

void CheckReply(const ReplyBytes& bytes) {
    FileTransReply reply;
    if (DecodeReply(bytes, &reply) != RecordResult::kOk)
        return;
    if (reply.kind == ReplyKind::kCount) {
        const ReplyBytes again = EncodeCountReply(reply.file_count, reply.total_size);
        FileTransReply back;
        if (DecodeReply(again, &back) != RecordResult::kOk || back.file_count != reply.file_count ||
            back.total_size != reply.total_size)
            std::abort();
        return;
    }
    const auto again = EncodeInfoReply(reply.name, reply.file_size);
    if (!again ||
        !std::equal(again->begin(), again->begin() + 8 + reply.name.size() + 1, bytes.begin()) ||
        !std::equal(again->begin() + 48, again->end(), bytes.begin() + 48))
        std::abort();
    const SaveName name = SafeSaveName(reply.name);
    if (name.ok() &&
        (name.name.empty() || name.name == "." || name.name == ".." ||
         name.name.find('/') != std::string::npos || name.name.find('\\') != std::string::npos))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte says how many of the following bytes are read sizes for the pieces.
    const std::size_t ncuts = std::min<std::size_t>(data[0], size - 1);
    const std::span<const uint8_t> cuts(data + 1, ncuts);
    const std::span<const uint8_t> stream(data + 1 + ncuts, size - 1 - ncuts);
    std::vector<uint8_t> nonzero;
    for (uint8_t c : cuts)
        nonzero.push_back(c == 0 ? 1 : c);
    const auto whole = ReadAll(stream, {});
    if (ReadAll(stream, nonzero) != whole || whole.size() != stream.size() / kReplySize)
        std::abort();
    for (const ReplyBytes& reply : whole)
        CheckReply(reply);
    return 0;
}
