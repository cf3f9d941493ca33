// Unescaping reads text from the wire and from files, so it must cope with anything; and
// escaping must always be undone exactly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/text_escape.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string plain = ov::UnescapeText(bytes);
    if (plain.size() > bytes.size()) {
        std::fprintf(stderr, "unescape grew the text\n");
        std::abort();
    }

    const std::string escaped = ov::EscapeText(bytes);
    if (escaped.find_first_of(std::string_view("\0\n\r", 3)) != std::string::npos) {
        std::fprintf(stderr, "escaped text still holds a NUL or line break\n");
        std::abort();
    }
    if (ov::UnescapeText(escaped) != bytes) {
        std::fprintf(stderr, "unescape does not reverse escape\n");
        std::abort();
    }
    return 0;
}
