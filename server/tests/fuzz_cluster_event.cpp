// Any line on the servers' channel: decoding never reads past it, and what decodes encodes
// to a line that decodes to the same event.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/cluster_event.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view line(reinterpret_cast<const char*>(data), size);
    if (auto e = ov::server::DecodeClusterEvent(line)) {
        // Not always the same line: "007" reads as 7 and is written "7".
        std::string again = ov::server::Encode(*e);
        auto back = ov::server::DecodeClusterEvent(again);
        if (!back || ov::server::Encode(*back) != again)
            std::abort();
    }
    return 0;
}
