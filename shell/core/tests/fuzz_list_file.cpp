// list.dat from any bytes: refused or decoded, never a read out of bounds; what decodes is
// written back and decodes to the same entries.
#include <cstdint>
#include <cstdlib>

#include "shell/core/list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ov::shell;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ListFileContent content;
    if (!DecodeListFile(bytes, QStringLiteral("ab"), &content))
        return 0;
    ListFileContent again;
    if (!DecodeListFile(EncodeListFile(content, QStringLiteral("ab")), QStringLiteral("ab"),
                        &again) ||
        again.nodes.size() != content.nodes.size() || again.others.size() != content.others.size())
        std::abort();
    for (qsizetype i = 0; i < content.nodes.size(); ++i) {
        if (again.nodes[i].ToBytes() != content.nodes[i].ToBytes())
            std::abort();
    }
    return 0;
}
