// A ".msg" archive from any bytes: never a read out of bounds; what reads can be written again
// and reads back the same, and the end of the last counted record lies inside the bytes.
#include <cstdint>
#include <cstdlib>

#include "shell/core/message_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ov::shell;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray key("ab");
    const MessageArchiveContent content = DecodeMessageFile(bytes, key);
    if (content.end < 0 || content.end > bytes.size())
        std::abort();
    if (!content.format)
        return 0;
    const QByteArray again = EncodeMessageFile(content.records, key);
    const MessageArchiveContent back = DecodeMessageFile(again, key);
    if (!back.whole || back.records != content.records || back.end != again.size())
        std::abort();
    return 0;
}
