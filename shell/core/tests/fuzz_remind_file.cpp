// Remind.dat from any bytes: refused or decoded, never a read out of bounds; what decodes can
// be written again with the same number of items.
#include <cstdint>
#include <cstdlib>

#include "shell/core/pending_item_queue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ov::shell;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<PendingItem> items;
    if (!DecodeRemindFile(bytes, QStringLiteral("ab"), &items))
        return 0;
    QList<PendingItem> again;
    if (!DecodeRemindFile(EncodeRemindFile(items, QStringLiteral("ab")), QStringLiteral("ab"),
                          &again) ||
        again.size() != items.size())
        std::abort();
    return 0;
}
