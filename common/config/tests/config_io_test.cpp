// Loading and saving: plain text and the scrambled "OVDB" form, including damaged files and
// lines the forms cannot hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/config/config_file.h"

namespace {

using Lines = std::vector<std::string>;

class ConfigIoTest : public ::testing::Test {
protected:
    ConfigIoTest() {
        dir_ = std::filesystem::temp_directory_path() /
               ("ovcfg-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(dir_);
    }
    ~ConfigIoTest() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // A record of the scrambled form announcing length characters, with content bytes after.
    static std::string Record(uint16_t length, const std::string& content) {
        const uint16_t word = length ^ 0x004C;
        return std::string{static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)} + content;
    }

    std::filesystem::path dir_;
    static inline int counter_ = 0;
};

}  // namespace

TEST_F(ConfigIoTest, PlainTextDropsCommentsAndBlankLinesAndKeepsTheRest) {
    const std::string path = File("orvane.dat");
    Write(path, "; comment\n\n[Main]\r\nkey = value\r\n  \n;x = 1\nlast = no newline");
    OVConfigFile file;
    ASSERT_TRUE(file.LoadText(path));
    EXPECT_EQ(file.Lines(), (Lines{"[Main]", "key = value", "  ", "last = no newline"}));
    ASSERT_TRUE(file.SaveText(path));
    EXPECT_EQ(Read(path), "[Main]\nkey = value\n  \nlast = no newline\n");

    // Long lines come back whole rather than in pieces.
    const std::string longLine = "k = " + std::string(3000, 'v');
    Write(path, "[S]\n" + longLine + "\n");
    ASSERT_TRUE(file.LoadText(path));
    EXPECT_EQ(file.Lines(), (Lines{"[S]", longLine}));

    EXPECT_FALSE(file.LoadText(File("missing")));
    EXPECT_TRUE(file.Lines().empty());
    EXPECT_FALSE(file.SaveText(File("no-such-dir/file")));
}

TEST_F(ConfigIoTest, PlainTextRefusesValuesThatWouldBreakTheLineStructure) {
    const std::string path = File("settings.ini");
    Write(path, "old\n");
    OVConfigFile file;
    file.SetString("S", "name", "line\n[Injected]\nkey = 1");
    EXPECT_FALSE(file.SaveText(path));
    EXPECT_EQ(Read(path), "old\n");
    file.SetString("S", "name", std::string("nul\0inside", 10));
    EXPECT_FALSE(file.SaveText(path));
    file.SetString("S", "name", "fine");
    EXPECT_TRUE(file.SaveText(path));
    EXPECT_EQ(Read(path), "[S]\nname = fine\n");
}

TEST_F(ConfigIoTest, ScrambledFilesRoundTripWithTheBuiltInKey) {
    const std::string path = File("setting.dat");
    OVConfigFile file;
    file.SetString("User", "sName", "\xD5\xC5\xC8\xFD");  // code page 936 bytes
    file.SetString("User", "sLongest", std::string(1022 - 11, 'x'));
    file.SetBool("User", "bAuto", true);
    ASSERT_TRUE(file.SaveScrambled(path));
    const std::string bytes = Read(path);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(bytes.substr(0, 4), "OVDB");
    // First record: "[User]" (6 characters) -> 6 ^ 0x4C.
    EXPECT_EQ(static_cast<uint8_t>(bytes[4]), 6 ^ 0x4C);
    EXPECT_EQ(static_cast<uint8_t>(bytes[5]), 0);
    // Noise nibbles never make a zero first byte, a CR or an LF nibble.
    for (size_t i = 6; i < 6 + 12; ++i) {
        const int low = static_cast<uint8_t>(bytes[i]) & 0x0F;
        EXPECT_NE(low, 10);
        EXPECT_NE(low, 13);
        if ((i - 6) % 2 == 0) {
            EXPECT_NE(low, 0);
        }
    }
    OVConfigFile back;
    ASSERT_TRUE(back.LoadScrambled(path));
    EXPECT_EQ(back.Lines(), file.Lines());

    // A file written once with this key (noise included) still reads: the key is part of the
    // format of every existing setting.dat.
    const std::string golden("OVDB\x48\x00\xA3\x45\x47\x3E\x09\x41\x4B\xC6", 14);
    ASSERT_TRUE(back.ParseScrambled(golden));
    EXPECT_EQ(back.Lines(), (Lines{"[ab]"}));
}

TEST_F(ConfigIoTest, ScrambledWriterRefusesLinesItCannotHold) {
    const std::string path = File("config.dat");
    Write(path, "previous");
    OVConfigFile file;
    file.SetString("S", "k", std::string(1023 - 4, 'x'));  // "k = " + 1019 = 1023 characters
    EXPECT_FALSE(file.SaveScrambled(path));
    EXPECT_EQ(Read(path), "previous");
}

TEST_F(ConfigIoTest, ScrambledReaderStopsAtDamage) {
    OVConfigFile good;
    good.SetString("S", "a", "1");
    std::string data;
    ASSERT_TRUE(good.FormatScrambled(&data));
    const Lines expected = {"[S]", "a = 1"};

    OVConfigFile file;
    // Cut short inside a record: what came before stands, and the load succeeds.
    ASSERT_TRUE(file.ParseScrambled(data + Record(5, "abc")));
    EXPECT_EQ(file.Lines(), expected);
    // A length above 2048, or a negative one, fails; the lines before it stay.
    EXPECT_FALSE(file.ParseScrambled(data + Record(2049, std::string(4098, 'x'))));
    EXPECT_EQ(file.Lines(), expected);
    EXPECT_FALSE(file.ParseScrambled(data + Record(0x8000, "")));
    EXPECT_EQ(file.Lines(), expected);
    // Empty records are dropped; a record up to 2048 characters is read whole.
    ASSERT_TRUE(file.ParseScrambled(data + Record(0, "")));
    EXPECT_EQ(file.Lines(), expected);
    std::string wide;
    for (int i = 0; i < 2048; ++i)
        wide += "\x13\x23";  // nibbles 1 and 2 cannot both cancel against one key nibble
    ASSERT_TRUE(file.ParseScrambled(data + Record(2048, wide)));
    ASSERT_EQ(file.Lines().size(), 3u);
    EXPECT_EQ(file.Lines()[2].size(), 2048u);
    // Too short for a header, or a header alone: nothing, and no failure.
    EXPECT_TRUE(file.ParseScrambled("OV"));
    EXPECT_TRUE(file.Lines().empty());
    EXPECT_FALSE(file.LoadScrambled(File("missing")));
}
