// Independent readers and writers of the format check ours: gsf (libgsf) and olefile read what
// we write, and we read what gsf writes. A raw walk of our directory checks the sibling trees
// that readers searching by name depend on.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "platform/storage/compound_format.h"
#include "platform/storage/element_name.h"
#include "platform/storage/tests/storage_test_support.h"

namespace {

const char kGsf[] = "/usr/bin/gsf";
const char kPython[] = "/usr/bin/python3";

uint32_t Crc32(const std::vector<uint8_t>& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string Utf8(std::u16string_view s) {
    return std::string(s.begin(), s.end());  // the test's names are ASCII
}

// What we put in the file: member path -> bytes (streams only).
using Members = std::map<std::string, std::vector<uint8_t>>;

Members WriteSample(const std::string& path) {
    Members members;
    ComPtr<IStorage> root;
    EXPECT_EQ(StgCreateDocfile(path, kRootRW | STGM_CREATE, root.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IStorage> sizes = SubStorage(root.Get(), u"Sizes", true);
    for (size_t n : {0, 1, 64, 511, 512, 513, 4095, 4096, 4097, 20000}) {
        std::string name = "n" + std::to_string(n);
        std::u16string wide(name.begin(), name.end());
        members["Sizes/" + name] = Pattern(n, static_cast<uint8_t>(n));
        EXPECT_EQ(PutStream(sizes.Get(), wide.c_str(), members["Sizes/" + name]), S_OK);
    }
    // Many siblings of mixed length and case make real trees.
    ComPtr<IStorage> many = SubStorage(root.Get(), u"Many", true);
    for (int i = 0; i < 150; ++i) {
        std::string name = (i % 3 == 0   ? "Item"
                            : i % 3 == 1 ? "it"
                                         : "ITEMLONGER") +
                           std::to_string(i * 7919 % 1000);
        std::u16string wide(name.begin(), name.end());
        members["Many/" + name] = Pattern(static_cast<size_t>(i), static_cast<uint8_t>(i));
        EXPECT_EQ(PutStream(many.Get(), wide.c_str(), members["Many/" + name]), S_OK);
    }
    ComPtr<IStorage> inner = SubStorage(SubStorage(root.Get(), u"a", true).Get(), u"b", true);
    members["a/b/c"] = Pattern(3);
    EXPECT_EQ(PutStream(inner.Get(), u"c", members["a/b/c"]), S_OK);
    EXPECT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    return members;
}

// Raw directory entries of a file we wrote (header FAT list only, which suffices for it).
struct RawEntry {
    std::u16string name;
    uint8_t type, color;
    uint32_t left, right, child;
};

std::vector<RawEntry> RawDirectory(const std::vector<uint8_t>& f) {
    using namespace ov::cfb;
    auto sector = [&](uint32_t s) { return f.data() + (size_t{s} + 1) * 512; };
    std::vector<uint32_t> fat;
    const uint32_t fatCount = Get32(f.data() + kOffFatSectorCount);
    for (uint32_t i = 0; i < fatCount && i < 109; ++i) {
        const uint8_t* p = sector(Get32(f.data() + kOffHeaderDifat + 4 * i));
        for (int j = 0; j < 128; ++j)
            fat.push_back(Get32(p + 4 * j));
    }
    std::vector<RawEntry> entries;
    for (uint32_t s = Get32(f.data() + kOffFirstDirSector);
         s < fat.size() && entries.size() < 100000; s = fat[s]) {
        for (int k = 0; k < 4; ++k) {
            const uint8_t* e = sector(s) + 128 * k;
            RawEntry r{{},
                       e[kDirType],
                       e[kDirColor],
                       Get32(e + kDirLeft),
                       Get32(e + kDirRight),
                       Get32(e + kDirChild)};
            for (int c = 0; c + 2 < Get16(e + kDirNameLength); c += 2)
                r.name.push_back(static_cast<char16_t>(Get16(e + c)));
            entries.push_back(r);
        }
    }
    return entries;
}

// In-order walk of one sibling tree; returns its height.
int Walk(const std::vector<RawEntry>& dir, uint32_t id, std::vector<std::u16string>* order,
         int budget) {
    if (id == ov::cfb::kNoStream || budget == 0)
        return 0;
    const RawEntry& e = dir.at(id);
    EXPECT_EQ(e.color, ov::cfb::kColorBlack);
    const int l = Walk(dir, e.left, order, budget - 1);
    order->push_back(e.name);
    const int r = Walk(dir, e.right, order, budget - 1);
    return 1 + std::max(l, r);
}

std::set<std::string> GsfMembers(const std::string& path) {
    std::set<std::string> names;
    std::istringstream lines(RunCommand(std::string(kGsf) + " list '" + path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > 2 && line[0] == 'f')
            names.insert(line.substr(line.find_last_of(' ') + 1));
    }
    return names;
}

}  // namespace

TEST(StorageInteropTest, SiblingTreesAreSearchTreesInNameOrderBlackAndBalanced) {
    ScratchDir dir;
    const std::string path = dir.File("tree.cf");
    WriteSample(path);
    const std::vector<RawEntry> raw = RawDirectory(ReadFileBytes(path));
    ASSERT_FALSE(raw.empty());
    size_t storages = 0;
    for (const RawEntry& e : raw) {
        if ((e.type != ov::cfb::kTypeStorage && e.type != ov::cfb::kTypeRoot) ||
            e.child == ov::cfb::kNoStream)
            continue;
        ++storages;
        std::vector<std::u16string> order;
        const int height = Walk(raw, e.child, &order, 64);
        for (size_t i = 1; i < order.size(); ++i)
            EXPECT_LT(ov::cfb::CompareElementNames(order[i - 1], order[i]), 0)
                << Utf8(order[i - 1]) << " / " << Utf8(order[i]);
        int balanced = 0;
        while ((size_t{1} << balanced) <= order.size())
            ++balanced;
        EXPECT_LE(height, balanced) << Utf8(e.name);
    }
    EXPECT_EQ(storages, 5u);  // root, Sizes, Many, a, b
}

TEST(StorageInteropTest, GsfListsAndDumpsWhatWeWrite) {
    if (!HaveTool(kGsf))
        GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    ScratchDir dir;
    const std::string path = dir.File("ours.cf");
    const Members members = WriteSample(path);
    std::set<std::string> expected;
    for (const auto& [name, bytes] : members)
        expected.insert(name);
    EXPECT_EQ(GsfMembers(path), expected);
    for (const auto& [name, bytes] : members) {
        if (name.rfind("Sizes/", 0) != 0 && name != "a/b/c")
            continue;
        const std::string out = RunCommand(std::string(kGsf) + " cat '" + path + "' " + name);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()), bytes) << name;
    }
}

TEST(StorageInteropTest, OlefileReadsEveryStreamOfWhatWeWrite) {
    if (!HaveTool(kPython) || RunCommand(std::string(kPython) + " -c 'import olefile' 2>&1") != "")
        GTEST_SKIP() << "python3-olefile is not installed";
    ScratchDir dir;
    const std::string path = dir.File("ours.cf");
    const Members members = WriteSample(path);

    int status = 0;
    const std::string check =
        RunCommand(std::string(kPython) + " -m olefile.olefile -c '" + path + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_EQ(check.find("Error"), std::string::npos) << check;

    const std::string script =
        "import olefile, sys, zlib\n"
        "ole = olefile.OleFileIO(sys.argv[1])\n"
        "for p in ole.listdir(streams=True, storages=False):\n"
        "    d = ole.openstream(p).read()\n"
        "    print('/'.join(p), len(d), zlib.crc32(d))\n";
    const std::string scriptPath = dir.File("dump.py");
    WriteFileBytes(scriptPath, std::vector<uint8_t>(script.begin(), script.end()));
    std::istringstream lines(RunCommand(std::string(kPython) + " " + scriptPath + " " + path));
    Members seen;
    std::string name;
    size_t size;
    uint32_t crc;
    size_t count = 0;
    while (lines >> name >> size >> crc) {
        ++count;
        auto it = members.find(name);
        ASSERT_NE(it, members.end()) << name;
        EXPECT_EQ(size, it->second.size()) << name;
        EXPECT_EQ(crc, Crc32(it->second)) << name;
    }
    EXPECT_EQ(count, members.size());
}

TEST(StorageInteropTest, WeReadWhatGsfWrites) {
    if (!HaveTool(kGsf))
        GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    ScratchDir dir;
    std::filesystem::create_directories(dir.Path() / "src" / "folder");
    Members files = {{"small", Pattern(5)},
                     {"empty", {}},
                     {"folder/mini", Pattern(4095, 1)},
                     {"folder/cutoff", Pattern(4096, 2)},
                     // Big enough for gsf to need a DIFAT (more than 109 FAT sectors).
                     {"large", Pattern(7'500'000, 3)}};
    for (const auto& [name, bytes] : files)
        WriteFileBytes((dir.Path() / "src" / name).string(), bytes);
    const std::string out = dir.File("gsf.cf");
    int status = 0;
    RunCommand("cd '" + (dir.Path() / "src").string() + "' && " + kGsf + " createole '" + out +
                   "' small empty folder large >/dev/null 2>&1",
               &status);
    ASSERT_EQ(status, 0);

    ComPtr<IStorage> root;
    ASSERT_EQ(StgOpenStorage(out, STGM_READ | STGM_SHARE_EXCLUSIVE, root.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(GetStream(root.Get(), u"small"), files["small"]);
    EXPECT_EQ(GetStream(root.Get(), u"empty"), files["empty"]);
    EXPECT_EQ(GetStream(root.Get(), u"large"), files["large"]);
    ComPtr<IStorage> folder;
    ASSERT_EQ(root->OpenStorage(u"folder", STGM_READ | STGM_SHARE_EXCLUSIVE,
                                folder.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(GetStream(folder.Get(), u"mini"), files["folder/mini"]);
    EXPECT_EQ(GetStream(folder.Get(), u"cutoff"), files["folder/cutoff"]);
}
