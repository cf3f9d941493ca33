// The reader takes files from anywhere. Whatever it accepts must hold no more stream bytes than
// the input (every sector is used once), and must survive a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/storage/compound_image.h"

namespace {

using ov::cfb::Element;

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

size_t StreamBytes(const Element& e) {
    size_t n = e.data.size();
    for (const auto& [name, child] : e.children)
        n += StreamBytes(*child);
    return n;
}

bool SameTree(const Element& a, const Element& b) {
    if (a.name != b.name || a.isStorage != b.isStorage || a.data != b.data ||
        a.children.size() != b.children.size() || a.stateBits != b.stateBits)
        return false;
    if (a.isStorage && FileTimeToUInt64(a.modified) != FileTimeToUInt64(b.modified))
        return false;
    for (auto i = a.children.begin(), j = b.children.begin(); i != a.children.end(); ++i, ++j) {
        if (!SameTree(*i->second, *j->second))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::cfb::ElementPtr root;
    if (FAILED(ov::cfb::ParseCompoundFile({data, size}, &root)))
        return 0;
    if (StreamBytes(*root) > size)
        Fail("more stream bytes than input bytes");
    std::vector<uint8_t> written;
    if (FAILED(ov::cfb::SerializeCompoundFile(*root, &written)))
        Fail("an accepted tree cannot be written");
    ov::cfb::ElementPtr again;
    if (FAILED(ov::cfb::ParseCompoundFile(written, &again)))
        Fail("our own output is refused");
    if (!SameTree(*root, *again))
        Fail("the tree changed through a write and a read");
    return 0;
}
