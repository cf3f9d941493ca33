// Writes the committed corpus of the compound file reader: valid files around the sector and
// mini stream boundaries ("ok-*"), damaged ones that must be refused ("bad-*"), and cut-off
// copies that must merely not crash ("cut-*"). Usage: make_storage_corpus DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/storage/compound_format.h"
#include "platform/storage/compound_image.h"

using namespace ov::cfb;

namespace {

std::filesystem::path g_dir;

ElementPtr Node(std::u16string name, bool storage, std::vector<uint8_t> data = {}) {
    auto e = std::make_shared<Element>();
    e->name = std::move(name);
    e->isStorage = storage;
    e->data = std::move(data);
    if (storage)
        e->created = e->modified = FileTimeFromUInt64(0x01D0'0000'0000'0000);
    return e;
}

ElementPtr Add(const ElementPtr& parent, ElementPtr child) {
    parent->children.emplace(child->name, child);
    return child;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + seed);
    return v;
}

std::vector<uint8_t> Image(const ElementPtr& root) {
    std::vector<uint8_t> bytes;
    SerializeCompoundFile(*root, &bytes);
    return bytes;
}

void Save(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(g_dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Field access in a file our writer laid out (directory and FAT contiguous).
uint8_t* Sector(std::vector<uint8_t>& f, uint32_t s) {
    return f.data() + (size_t{s} + 1) * kSectorSize;
}
uint8_t* Entry(std::vector<uint8_t>& f, uint32_t id) {
    return Sector(f, Get32(f.data() + kOffFirstDirSector)) + size_t{id} * kDirEntrySize;
}
uint32_t FindEntry(std::vector<uint8_t>& f, std::u16string_view name) {
    for (uint32_t id = 0;; ++id) {
        const uint8_t* e = Entry(f, id);
        std::u16string n;
        for (int c = 0; c + 2 < Get16(e + kDirNameLength); c += 2)
            n.push_back(static_cast<char16_t>(Get16(e + c)));
        if (n == name)
            return id;
    }
}
void SetFat(std::vector<uint8_t>& f, uint32_t index, uint32_t value) {
    Put32(Sector(f, Get32(f.data() + kOffHeaderDifat)) + 4 * index, value);
}
void SetMiniFat(std::vector<uint8_t>& f, uint32_t index, uint32_t value) {
    Put32(Sector(f, Get32(f.data() + kOffFirstMiniFatSector)) + 4 * index, value);
}

void Mutate(const std::string& name, std::vector<uint8_t> f,
            const std::function<void(std::vector<uint8_t>&)>& change) {
    change(f);
    Save(name, f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    g_dir = argv[1];
    std::filesystem::create_directories(g_dir);

    // Valid files: one stream at each boundary, an empty file, and a mixed tree.
    for (size_t n : {511, 512, 513, 4095, 4096, 4097}) {
        ElementPtr root = Node(u"Root Entry", true);
        Add(root, Node(u"s", false, Bytes(n, static_cast<uint8_t>(n))));
        Save("ok-stream-" + std::to_string(n), Image(root));
    }
    Save("ok-empty", Image(Node(u"Root Entry", true)));

    ElementPtr root = Node(u"Root Entry", true);
    ElementPtr table = Add(root, Node(u"UserNameTable", true));
    ElementPtr alice = Add(table, Node(u"alice", true));
    Add(alice, Node(u"ID", false, {0x39, 0x30, 0, 0}));
    Add(alice, Node(u"DATA", false, Bytes(3, 1)));
    ElementPtr ids = Add(root, Node(u"UserIDTable", true));
    Add(ids, Node(u"0000012345", false, Bytes(200, 2)));
    for (int i = 0; i < 12; ++i)
        Add(table, Node(u"user" + std::u16string(1, static_cast<char16_t>(u'a' + i)), true));
    Add(root, Node(u"big", false, Bytes(5000, 3)));
    const std::vector<uint8_t> mixed = Image(root);
    Save("ok-mixed", mixed);

    // Cut short at and around sector and cut-off boundaries.
    for (size_t n : {0, 8, 100, 511, 512, 513, 1024, 4095, 4096, 4097}) {
        if (n < mixed.size())
            Save("cut-" + std::to_string(n),
                 std::vector<uint8_t>(mixed.begin(), mixed.begin() + n));
    }
    Save("cut-last-byte", std::vector<uint8_t>(mixed.begin(), mixed.end() - 1));

    // "big" is the only large stream: sectors 0..9.
    Mutate("bad-fat-self-loop", mixed, [](auto& f) { SetFat(f, 3, 3); });
    Mutate("bad-fat-back-loop", mixed, [](auto& f) { SetFat(f, 5, 2); });
    Mutate("bad-fat-out-of-range", mixed, [](auto& f) { SetFat(f, 4, 0x00FFFFFF); });
    Mutate("bad-fat-count", mixed,
           [](auto& f) { Put32(f.data() + kOffFatSectorCount, 0x10000000); });
    Mutate("bad-dir-chain-loop", mixed, [](auto& f) {
        const uint32_t first = Get32(f.data() + kOffFirstDirSector);
        SetFat(f, first + 1, first);
    });
    Mutate("bad-dir-child-is-root", mixed,
           [](auto& f) { Put32(Entry(f, FindEntry(f, u"alice")) + kDirChild, 0); });
    Mutate("bad-dir-sibling-self", mixed, [](auto& f) {
        const uint32_t id = FindEntry(f, u"DATA");
        Put32(Entry(f, id) + kDirLeft, id);
    });
    Mutate("bad-dir-out-of-range", mixed,
           [](auto& f) { Put32(Entry(f, FindEntry(f, u"ID")) + kDirRight, 0x7FFFFFF0); });
    Mutate("bad-size-beyond-file", mixed,
           [](auto& f) { Put32(Entry(f, FindEntry(f, u"big")) + kDirSize, 0x7FFFFFF0); });
    Mutate("bad-mini-size-beyond-chain", mixed,
           [](auto& f) { Put32(Entry(f, FindEntry(f, u"DATA")) + kDirSize, 4095); });
    Mutate("bad-ministream-size", mixed,
           [](auto& f) { Put32(Entry(f, 0) + kDirSize, 0x00100000); });
    Mutate("bad-minifat-self-loop", mixed, [](auto& f) {
        const uint32_t start = Get32(Entry(f, FindEntry(f, u"0000012345")) + kDirStartSector);
        SetMiniFat(f, start, start);
    });
    Mutate("bad-shared-mini-chain", mixed, [](auto& f) {
        const uint32_t start = Get32(Entry(f, FindEntry(f, u"ID")) + kDirStartSector);
        Put32(Entry(f, FindEntry(f, u"DATA")) + kDirStartSector, start);
    });
    Mutate("bad-name-length-zero", mixed,
           [](auto& f) { Put16(Entry(f, FindEntry(f, u"ID")) + kDirNameLength, 0); });
    Mutate("bad-name-length-long", mixed,
           [](auto& f) { Put16(Entry(f, FindEntry(f, u"ID")) + kDirNameLength, 66); });
    Mutate("bad-name-length-odd", mixed,
           [](auto& f) { Put16(Entry(f, FindEntry(f, u"ID")) + kDirNameLength, 5); });
    Mutate("bad-entry-type", mixed, [](auto& f) { Entry(f, FindEntry(f, u"ID"))[kDirType] = 7; });
    Mutate("bad-root-type", mixed, [](auto& f) { Entry(f, 0)[kDirType] = kTypeStorage; });
    // Two siblings whose names differ only in case: "ID" becomes "dd", "DATA" becomes "DD".
    Mutate("bad-duplicate-name", mixed, [](auto& f) {
        uint8_t* id = Entry(f, FindEntry(f, u"ID"));
        Put16(id + kDirName, 'd');
        Put16(id + kDirName + 2, 'd');
        uint8_t* data = Entry(f, FindEntry(f, u"DATA"));
        Put16(data + kDirName, 'D');
        Put16(data + kDirName + 2, 'D');
        Put16(data + kDirName + 4, 0);
        Put16(data + kDirNameLength, 6);
    });
    Mutate("bad-byte-order", mixed, [](auto& f) { Put16(f.data() + kOffByteOrder, 0xFEFF); });
    Mutate("bad-version", mixed, [](auto& f) { Put16(f.data() + kOffMajorVersion, 4); });
    Mutate("bad-mini-shift", mixed, [](auto& f) { Put16(f.data() + kOffMiniSectorShift, 7); });
    Mutate("bad-cutoff", mixed, [](auto& f) { Put32(f.data() + kOffMiniCutoff, 0); });
    Mutate("bad-signature", mixed, [](auto& f) { f[0] = 0; });

    // A DIFAT chain that loops: the header lists 109 FAT sectors, the DIFAT sector 127 more,
    // so a count of 240 makes the reader follow the chain back to the same sector. The count
    // must stay below the file's sector count, hence 130 KB of stream.
    ElementPtr wide = Node(u"Root Entry", true);
    Add(wide, Node(u"w", false, Bytes(130000, 4)));
    Mutate("bad-difat-loop", Image(wide), [](auto& f) {
        Put32(f.data() + kOffFatSectorCount, 240);
        Put32(f.data() + kOffDifatSectorCount, 2);
        Put32(f.data() + kOffFirstDifatSector, 20);
        Put32(Sector(f, 20) + kSectorSize - 4, 20);
    });
    std::printf("corpus written to %s\n", g_dir.c_str());
    return 0;
}
