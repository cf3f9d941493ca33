// Damaged and hostile files: refused with an error, never a crash, a hang or a read past the
// input. The committed fuzz corpus names what each file must give.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/storage/compound_image.h"
#include "platform/storage/tests/storage_test_support.h"

namespace {

std::vector<uint8_t> CorpusFile(const std::string& name) {
    return ReadFileBytes(std::string(STORAGE_CORPUS_DIR) + "/" + name);
}

size_t StreamBytes(const ov::cfb::Element& e) {
    size_t n = e.data.size();
    for (const auto& [name, child] : e.children)
        n += StreamBytes(*child);
    return n;
}

}  // namespace

TEST(HostileFileTest, CorpusFilesAreAcceptedOrRefusedAsTheirNamesSay) {
    int ok = 0, bad = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STORAGE_CORPUS_DIR)) {
        const std::string name = entry.path().filename().string();
        const std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
        ov::cfb::ElementPtr root;
        const HRESULT hr = ov::cfb::ParseCompoundFile(bytes, &root);
        if (name.rfind("ok-", 0) == 0) {
            EXPECT_EQ(hr, S_OK) << name;
            ++ok;
        } else if (name.rfind("bad-", 0) == 0) {
            EXPECT_TRUE(hr == STG_E_DOCFILECORRUPT || hr == STG_E_INVALIDHEADER) << name;
            ++bad;
        }
        if (SUCCEEDED(hr)) {
            EXPECT_LE(StreamBytes(*root), bytes.size()) << name;
        }
    }
    EXPECT_GE(ok, 8);
    EXPECT_GE(bad, 20);
}

TEST(HostileFileTest, OpeningADamagedFileGivesAnErrorAndLeavesItAlone) {
    ScratchDir dir;
    const std::string path = dir.File("damaged");
    const std::vector<uint8_t> damaged = CorpusFile("bad-fat-back-loop");
    WriteFileBytes(path, damaged);
    ComPtr<IStorage> root;
    EXPECT_EQ(StgOpenStorage(path, kRootRW, root.ReleaseAndGetAddressOf()), STG_E_DOCFILECORRUPT);
    WriteFileBytes(path, CorpusFile("cut-100"));
    EXPECT_EQ(StgOpenStorage(path, kRootRW, root.ReleaseAndGetAddressOf()), STG_E_INVALIDHEADER);
    EXPECT_EQ(ReadFileBytes(path), CorpusFile("cut-100"));
}

TEST(HostileFileTest, EveryPrefixAndEverySingleByteChangeOfAValidFileIsHandled) {
    const std::vector<uint8_t> valid = CorpusFile("ok-mixed");
    ASSERT_GT(valid.size(), 2048u);
    for (size_t n = 0; n < valid.size(); n += 61) {
        ov::cfb::ElementPtr root;
        const std::vector<uint8_t> prefix(valid.begin(), valid.begin() + n);
        const HRESULT hr = ov::cfb::ParseCompoundFile(prefix, &root);
        if (n < 512) {
            EXPECT_EQ(hr, STG_E_INVALIDHEADER);
        }
        if (SUCCEEDED(hr)) {
            EXPECT_LE(StreamBytes(*root), n);
        }
    }
    // Every byte of the header and of the tables set to values that matter to the format. The
    // file's first ten sectors after the header are the data of its one large stream.
    for (size_t i = 0; i < valid.size(); i = i == 511 ? 11 * 512 : i + 1) {
        for (uint8_t v : {uint8_t{0x00}, uint8_t{0x01}, uint8_t{0xFE}, uint8_t{0xFF}}) {
            std::vector<uint8_t> changed = valid;
            changed[i] = v;
            ov::cfb::ElementPtr root;
            if (SUCCEEDED(ov::cfb::ParseCompoundFile(changed, &root))) {
                ASSERT_LE(StreamBytes(*root), changed.size()) << i;
            }
        }
    }
}
