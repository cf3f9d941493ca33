// The commdata lists from any bytes, read both as number-and-name and as location records.
#include <cstdint>

#include "shell/core/reference_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ov::shell::ParseReferenceList(bytes);
    ov::shell::ParseLocationList(bytes);
    return 0;
}
