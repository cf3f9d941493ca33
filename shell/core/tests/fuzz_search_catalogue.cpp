// The search catalogue from any bytes: never a read out of bounds; every entry it keeps can
// be found by its key and yields a URL.
#include <cstdint>
#include <cstdlib>

#include "shell/core/search_box_model.h"
#include "shell/core/search_catalogue.h"

namespace {

void Check(const ov::shell::SearchCatalogue& catalogue, const QList<ov::shell::SearchNode>& nodes,
           int depth) {
    for (const ov::shell::SearchNode& node : nodes) {
        if (depth > 0 && node.category)
            std::abort();  // categories hold entries, entries hold nothing
        if (!node.category && !node.children.isEmpty())
            std::abort();
        if (node.category != node.key.isEmpty())
            std::abort();
        if (!node.category) {
            const ov::shell::SearchNode* found = catalogue.Find(node.key);
            if (!found || found->key != node.key)
                std::abort();
            ov::shell::SearchUrl(node.urlTemplate, node.name);
        }
        Check(catalogue, node.children, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ov::shell::SearchCatalogue catalogue = ov::shell::SearchCatalogue::Parse(bytes);
    Check(catalogue, catalogue.Nodes(), 0);
    return 0;
}
