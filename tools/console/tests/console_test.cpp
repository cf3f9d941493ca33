// The console's input language and output lines, and a whole session through a pipe against
// a scripted server.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "common/byte_array_variant.h"
#include "common/events/event_sink.h"
#include "common/protocol/wire.h"
#include "kernel/tests/scripted_peer.h"
#include "tools/console/console_line.h"
#include "tools/console/event_printer.h"

using namespace ov::console;

TEST(ConsoleLine, ParsesNumbersTextsHexAndNull) {
    Line line;
    std::string error;
    ASSERT_TRUE(ParseLine(R"(SendToUser 0x2712 -1 "say \"hi\"\\\n" hex:00ff null)", &line, &error))
        << error;
    EXPECT_EQ(line.name, "SendToUser");
    ASSERT_EQ(line.args.size(), 5u);
    EXPECT_EQ(line.args[0].number, 10002);
    EXPECT_EQ(line.args[1].number, -1);
    EXPECT_EQ(line.args[2].text, "say \"hi\"\\\n");
    EXPECT_EQ(line.args[3].bytes, std::string("\x00\xff", 2));
    EXPECT_EQ(line.args[4].kind, Token::Kind::Null);

    ASSERT_TRUE(ParseLine("   # a comment", &line, &error));
    EXPECT_TRUE(line.name.empty());
    EXPECT_FALSE(ParseLine(R"(Login "open)", &line, &error));
    EXPECT_FALSE(ParseLine("Login 12ab", &line, &error));
    EXPECT_FALSE(ParseLine("Login hex:abc", &line, &error));
    EXPECT_FALSE(ParseLine(R"(Login "\t")", &line, &error));
}

TEST(ConsoleLine, ArgumentsFollowTheParameterKinds) {
    Variant v;
    std::string error;
    Token text{Token::Kind::Text, 0, "你好", {}};
    ASSERT_TRUE(ToArgument('V', text, &v, &error));
    EXPECT_EQ(CByteArrayVariant(v).View(), "\xc4\xe3\xba\xc3");  // CP936, no terminator
    ASSERT_TRUE(ToArgument('S', text, &v, &error));
    EXPECT_EQ(FormatValue(v), "\"你好\"");
    ASSERT_TRUE(ToArgument('S', Token{Token::Kind::Null, 0, {}, {}}, &v, &error));
    EXPECT_EQ(FormatValue(v), "null");
    EXPECT_FALSE(ToArgument('L', text, &v, &error));
    EXPECT_FALSE(ToArgument('O', Token{}, &v, &error));
    ASSERT_TRUE(ToArgument('L', Token{Token::Kind::Number, 0xFFFFFFFF, {}, {}}, &v, &error));
    EXPECT_EQ(FormatValue(v), "-1");
}

TEST(ConsoleEvents, PrintsEachEventWithItsArgumentsInDeclarationOrder) {
    std::vector<std::string> lines;
    LineWriter out([&](const std::string& line) { lines.push_back(line); });
    EventPrinter printer(&out, false);
    auto sink = MakeComObject<TypedEventSink<OVServiceEventsTraits, IAgileObject>>(&printer);
    CByteArrayVariant users(std::string("AB"));
    Variant args[5] = {Variant(users.Variant()), Variant::Long(1), Variant::Bool(true),
                       Variant::Long(0), Variant::Long(1001)};
    DISPPARAMS dp{args, nullptr, 5, 0};  // last-first
    UINT err = 0;
    sink->Invoke(OV_DISPID_ON_SEARCH_USER_REPLY2, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr,
                 nullptr, &err);
    // One argument short: the kernel and the console disagree, and the console says so.
    DISPPARAMS shortList{args + 1, nullptr, 4, 0};
    sink->Invoke(OV_DISPID_ON_SEARCH_USER_REPLY2, IID_NULL, 0, DISPATCH_METHOD, &shortList, nullptr,
                 nullptr, &err);
    EXPECT_EQ(lines, (std::vector<std::string>{"event OnSearchUserReply2 1001 0 -1 1 hex:4142",
                                               "error event 2016 refused: 0x8002000E"}));
}

namespace {

// Runs the console on the input with a registry of its own; before and after run in this
// process with that registry in force.
std::vector<std::string> RunConsole(const std::string& args, const std::string& input,
                                    const std::function<void()>& before = {},
                                    const std::function<void()>& after = {}) {
    auto dir = std::filesystem::temp_directory_path() / ("ovconsole-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("ORVANE_REGISTRY", (dir / "registry").c_str(), 1);
    if (before)
        before();
    {
        std::ofstream in(dir / "input");
        in << input;
    }
    std::string command = "ORVANE_REGISTRY=" + (dir / "registry").string() + " " +
                          GetProgramDirectory() + "orvane-console " + args + " < " +
                          (dir / "input").string() + " 2>/dev/null";
    std::vector<std::string> lines;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::string current;
        while (fgets(buf, sizeof buf, p)) {
            current += buf;
            if (!current.empty() && current.back() == '\n') {
                current.pop_back();
                lines.push_back(current);
                current.clear();
            }
        }
        pclose(p);
    }
    if (after)
        after();
    unsetenv("ORVANE_REGISTRY");
    std::filesystem::remove_all(dir);
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(ConsoleSession, DrivesTheKernelThroughAPipe) {
    using namespace ov;
    kernel::testing::ScriptedPeer peer;
    peer.OnCommand(OV_CCMD_HANDSHACK_SERVER, [](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_NONE), w.U16(0);
        return std::vector<std::string>{w.Bytes()};
    });
    peer.OnCommand(OV_CCMD_USR_LOGIN, [](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_BAD_USR_OR_PASSWD), w.U32(0), w.U32(0), w.U32(0), w.U32(0);
        return std::vector<std::string>{w.Bytes()};
    });
    const std::string input =
        "# log in with a wrong password\n"
        "sleep 200\n"
        "Login 0 \"alice\" \"wrong\" 65535 0\n"
        "sleep 300\n"
        "Logout\n"
        "NoSuchMember 1\n"
        "Login 1\n"
        "quit\n";
    auto lines = RunConsole("--server 127.0.0.1:" + std::to_string(peer.Port()), input);
    std::string all;
    for (auto& l : lines)
        all += l + "\n";
    EXPECT_TRUE(Contains(lines, "= 1001")) << all;
    EXPECT_TRUE(Contains(lines, "event OnCommandSend 1001 4 0")) << all;
    EXPECT_TRUE(Contains(lines, "event OnCommandSent 1001")) << all;
    EXPECT_TRUE(Contains(lines, "event OnHandshakeServerReply 1001 0 0 hex:")) << all;
    EXPECT_TRUE(Contains(lines, "= 1002")) << all;
    EXPECT_TRUE(Contains(lines, "event OnLoginReply 1002 5 0 0 0")) << all;
    EXPECT_TRUE(Contains(lines, "= 0")) << all;  // Logout while logged out
    EXPECT_TRUE(Contains(lines, "error unknown member NoSuchMember")) << all;
    EXPECT_TRUE(Contains(lines, "error Login takes 5 arguments")) << all;
}

TEST(ConsoleSession, ClaimsTheComponentsBesideIt) {
    // Another build tree's kernel is registered; the console replaces the registration with
    // its own library before it creates the kernel.
    auto other =
        std::filesystem::temp_directory_path() / ("ovconsole-other-" + std::to_string(getpid()));
    std::filesystem::create_directories(other);
    std::filesystem::copy_file(GetProgramDirectory() + "OVKernel.so", other / "OVKernel.so",
                               std::filesystem::copy_options::overwrite_existing);
    std::string registered;
    auto lines = RunConsole(
        "", "ServerPort\nquit\n",
        [&] { ASSERT_EQ(RegisterServerLibrary((other / "OVKernel.so").string()), S_OK); },
        [&] { registered = RegisteredLibraryOf(CLSID_OVService); });
    std::filesystem::remove_all(other);
    EXPECT_TRUE(Contains(lines, "= 0"));
    EXPECT_EQ(registered, GetProgramDirectory() + "OVKernel.so");
}
