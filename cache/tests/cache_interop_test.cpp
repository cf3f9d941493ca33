// A cache file read by independent readers of the compound file format: gsf (libgsf) and
// olefile must see the names and bytes that the cache wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "cache/tests/cache_test_support.h"

namespace {

const char kGsf[] = "/usr/bin/gsf";
const char kPython[] = "/usr/bin/python3";

std::string RunTool(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = ::pclose(p);
    if (status)
        *status = rc;
    return out;
}

std::vector<uint8_t> AsBytes(const std::string& s) {
    return {s.begin(), s.end()};
}

const std::vector<uint8_t> kAliceId = {0x39, 0x30, 0x00, 0x00};
const std::vector<uint8_t> kAliceEntry = {12,  0, 0,   0, 'a', 0, 'l', 0,
                                          'i', 0, 'c', 0, 'e', 0, 0,   0};

}  // namespace

class CacheInteropTest : public CacheTest {
protected:
    std::string WriteAliceCache() {
        const std::string path = File("cache.dat");
        EXPECT_EQ(Init(path), 1);
        EXPECT_EQ(Add("alice", 12345, {1, 2, 3}), 1);
        EXPECT_EQ(Add("bob", 4294967295u, B("bytes of bob")), 1);
        cache_.Reset();
        return path;
    }
};

TEST_F(CacheInteropTest, GsfListsTheTablesAndDumpsAlicesStreams) {
    if (::access(kGsf, X_OK) != 0)
        GTEST_SKIP() << "gsf (libgsf-bin) is not installed";
    const std::string path = WriteAliceCache();
    std::istringstream lines(RunTool(std::string(kGsf) + " list '" + path + "'"));
    std::set<std::string> members;
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && (line[0] == 'f' || line[0] == 'd'))
            members.insert(line.substr(line.find_last_of(' ') + 1));
    }
    EXPECT_EQ(members, (std::set<std::string>{"*root*", "UserNameTable", "UserIDTable",
                                              "UserNameTable/alice", "UserNameTable/alice/ID",
                                              "UserNameTable/alice/DATA", "UserNameTable/bob",
                                              "UserNameTable/bob/ID", "UserNameTable/bob/DATA",
                                              "UserIDTable/0000012345", "UserIDTable/00000000-1"}));
    auto cat = [&](const std::string& member) {
        return AsBytes(RunTool(std::string(kGsf) + " cat '" + path + "' " + member));
    };
    EXPECT_EQ(cat("UserNameTable/alice/ID"), kAliceId);
    EXPECT_EQ(cat("UserNameTable/alice/DATA"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(cat("UserIDTable/0000012345"), kAliceEntry);
    EXPECT_EQ(cat("UserNameTable/bob/ID"), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    // gsf dump shows the same bytes in hexadecimal.
    const std::string dump =
        RunTool(std::string(kGsf) + " dump '" + path + "' UserNameTable/alice/ID");
    EXPECT_NE(dump.find("39 30 00 00"), std::string::npos) << dump;
}

TEST_F(CacheInteropTest, OlefileChecksTheFileAndReadsTheSameBytes) {
    if (::access(kPython, X_OK) != 0 ||
        RunTool(std::string(kPython) + " -c 'import olefile' 2>&1") != "")
        GTEST_SKIP() << "python3-olefile is not installed";
    const std::string path = WriteAliceCache();
    int status = 0;
    const std::string check =
        RunTool(std::string(kPython) + " -m olefile.olefile -c '" + path + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_NE(check.find("- 'UserNameTable/alice/DATA' - size 3"), std::string::npos) << check;
    EXPECT_NE(check.find("- 'UserIDTable/0000012345' - size 16"), std::string::npos) << check;
    EXPECT_EQ(check.find("Error"), std::string::npos) << check;

    const std::string hex = RunTool(std::string(kPython) +
                                    " -c 'import olefile,sys; o=olefile.OleFileIO(sys.argv[1]); "
                                    "print(o.openstream(\"UserIDTable/0000012345\").read().hex(), "
                                    "o.openstream(\"UserNameTable/alice/ID\").read().hex())' '" +
                                    path + "'");
    EXPECT_EQ(hex, "0c00000061006c006900630065000000 39300000\n");
}
