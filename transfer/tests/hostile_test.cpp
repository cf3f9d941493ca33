// One side played by the test with plain sockets, sending what no honest peer sends: names
// that point outside the save folder, broken records, records cut into single bytes, more data
// than announced; and requests for files the sender does not have.
#include <sys/stat.h>

#include <filesystem>

#include "transfer/tests/transfer_fixture.h"

namespace ov::transfer::test {
namespace {

namespace fs = std::filesystem;
using sock::test::RawSocket;

std::string AsText(const ReplyBytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}
std::string Request(RequestKind kind, uint32_t argument) {
    const RequestBytes bytes = EncodeRequest({kind, argument});
    return std::string(bytes.begin(), bytes.end());
}
std::string Info(std::string_view name, uint32_t size) {
    return AsText(*EncodeInfoReply(name, size));
}

// Everything under a folder, relative, sorted.
std::vector<std::string> Tree(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

class HostileSenderTest : public TransferTest {
protected:
    // Accepts the receiver's connection and answers its count request.
    void Begin(uint32_t count, uint32_t total) {
        receiver_owned_ = NewReceiverOf(listener_.Port(), Save());
        conn_ = listener_.Accept();
        ASSERT_GE(conn_.Fd(), 0);
        ExpectRequest(RequestKind::kCount, 0);
        conn_.Write(AsText(EncodeCountReply(count, total)));
    }
    // Pumps until the receiver's next request has come and checks it.
    void ExpectRequest(RequestKind kind, uint32_t argument) {
        ASSERT_TRUE(RunUntil([&] { return conn_.Readable(std::chrono::milliseconds(0)); }));
        const std::string got = conn_.ReadExactly(kRequestSize);
        EXPECT_EQ(got, Request(kind, argument))
            << "expected kind " << static_cast<int>(kind) << " argument " << argument;
    }
    bool Failed(ReceiveFailure why) {
        return RunUntil([&] { return !receiverEvents_.failures.empty(); }) &&
               receiverEvents_.failures == std::vector<ReceiveFailure>{why};
    }
    fs::path Save() const { return dir_ / "a" / "save"; }

    RawSocket listener_ = RawSocket::TcpListening();
    RawSocket conn_;
    std::unique_ptr<FileReceiver> receiver_owned_;
};

std::string FileText(const char* path) {
    std::error_code ec;
    return fs::exists(path, ec) ? ReadFile(path) : std::string();
}

TEST_F(HostileSenderTest, NamesNeverLeaveTheSaveFolder) {
    const std::string passwd = FileText("/etc/passwd");
    const std::string absolute = "/tmp/ov-hostile-" + std::to_string(getpid());
    const std::vector<std::string> names = {
        "../../x", "/etc/passwd", "a/../../b", "..\\..\\y",   "C:\\z",
        absolute,  "..",          "sub/",      "bad\x01name", "."};
    Begin(static_cast<uint32_t>(names.size()), 0);
    for (uint32_t i = 1; i <= names.size(); ++i) {
        ExpectRequest(RequestKind::kInfo, i);
        conn_.Write(Info(names[i - 1], 5));
        if (i <= 6) {
            ExpectRequest(RequestKind::kData, 0);
            conn_.Write("hello");
        }
    }
    // The last name was refused: the window closes without the completion step.
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.closed == 1; }));
    EXPECT_EQ(Tree(dir_ / "a"), (std::vector<std::string>{
                                    "save", "save/b", "save/ov-hostile-" + std::to_string(getpid()),
                                    "save/passwd", "save/x", "save/y", "save/z"}));
    EXPECT_EQ(ReadFile(Save() / "x"), "hello");
    EXPECT_FALSE(fs::exists(absolute));
    EXPECT_FALSE(fs::exists(dir_ / "x"));
    EXPECT_EQ(FileText("/etc/passwd"), passwd);
    ASSERT_EQ(receiverEvents_.refused.size(), 4u);
    EXPECT_EQ(receiverEvents_.refused[0].second, NameRefusal::kDotName);
    EXPECT_EQ(receiverEvents_.refused[1].second, NameRefusal::kEmpty);
    EXPECT_EQ(receiverEvents_.refused[2].second, NameRefusal::kControlCharacter);
    EXPECT_EQ(receiverEvents_.refused[3], std::make_pair(std::string("."), NameRefusal::kDotName));
    EXPECT_TRUE(receiverEvents_.failures.empty());
}

TEST_F(HostileSenderTest, LinkPlantedUnderTheNameIsNotFollowed) {
    fs::create_directories(Save());
    WriteFile(dir_ / "target.txt", "untouched");
    fs::create_symlink(dir_ / "target.txt", Save() / "link.txt");
    receiverEvents_.answer = [&](const std::string&) {
        receiver_owned_->Resolve(ExistsChoice::kOverwrite);
    };
    Begin(1, 5);
    ExpectRequest(RequestKind::kInfo, 1);
    conn_.Write(Info("link.txt", 5));
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.closed == 1; }));
    EXPECT_EQ(receiverEvents_.cannotCreate, std::vector<std::string>{"link.txt"});
    EXPECT_EQ(ReadFile(dir_ / "target.txt"), "untouched");
}

TEST_F(HostileSenderTest, BrokenRepliesEndTheTransfer) {
    {
        SCOPED_TRACE("an empty name: the answer to an index the sender lacks");
        Begin(2, 10);
        ExpectRequest(RequestKind::kInfo, 1);
        conn_.Write(Info("", 0));
        EXPECT_TRUE(Failed(ReceiveFailure::kBadReply));
        EXPECT_FALSE(receiverTimers_.Armed(kReceiverCloseTimer));  // the window stays to say so
    }
    receiverEvents_ = {};
    {
        SCOPED_TRACE("a name of 40 bytes without its NUL");
        Begin(1, 10);
        ExpectRequest(RequestKind::kInfo, 1);
        std::string reply = Info("a", 10);
        std::fill(reply.begin() + 8, reply.begin() + 48, 'A');
        conn_.Write(reply);
        EXPECT_TRUE(Failed(ReceiveFailure::kBadReply));
    }
    receiverEvents_ = {};
    {
        SCOPED_TRACE("a reply of 51 bytes, then the connection goes");
        Begin(1, 10);
        ExpectRequest(RequestKind::kInfo, 1);
        conn_.Write(Info("cut.bin", 10).substr(0, 51));
        Settle();
        conn_ = RawSocket();
        EXPECT_TRUE(Failed(ReceiveFailure::kConnectionLost));
    }
    EXPECT_FALSE(fs::exists(Save() / "a"));
    EXPECT_FALSE(fs::exists(Save() / "cut.bin"));
}

TEST_F(HostileSenderTest, DataBeyondTheAnnouncedSizeIsNeverWritten) {
    Begin(2, 200);
    ExpectRequest(RequestKind::kInfo, 1);
    conn_.Write(Info("over.bin", 100));
    ExpectRequest(RequestKind::kData, 0);
    conn_.Write(std::string(150, 'o'));
    EXPECT_TRUE(Failed(ReceiveFailure::kOverrun));
    EXPECT_EQ(ReadFile(Save() / "over.bin"), std::string(100, 'o'));
}

TEST_F(HostileSenderTest, HugeAnnouncedSizeIsWrittenOnlyAsItArrives) {
    Begin(1, 0xFFFFFFFF);
    ExpectRequest(RequestKind::kInfo, 1);
    conn_.Write(Info("huge.bin", 0xFFFFFFFF));
    ExpectRequest(RequestKind::kData, 0);
    conn_.Write(std::string(10'000, 'h'));
    ASSERT_TRUE(RunUntil([&] { return receiver_owned_->CurrentLength() == 10'000; }));
    conn_ = RawSocket();
    EXPECT_TRUE(Failed(ReceiveFailure::kConnectionLost));
    EXPECT_EQ(fs::file_size(Save() / "huge.bin"), 10'000u);
}

TEST_F(HostileSenderTest, RecordsCutIntoSingleBytesStillRead) {
    receiver_owned_ = NewReceiverOf(listener_.Port(), Save());
    conn_ = listener_.Accept();
    ASSERT_GE(conn_.Fd(), 0);
    auto dribble = [&](const std::string& bytes) {
        for (char c : bytes) {
            conn_.Write(std::string(1, c));
            Settle(std::chrono::milliseconds(1));
        }
    };
    ExpectRequest(RequestKind::kCount, 0);
    dribble(AsText(EncodeCountReply(1, 6)));
    ExpectRequest(RequestKind::kInfo, 1);
    dribble(Info("slow.txt", 6));
    ExpectRequest(RequestKind::kData, 0);
    dribble("slowly");
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.complete == 1; }));
    EXPECT_EQ(ReadFile(Save() / "slow.txt"), "slowly");
}

class HostileReceiverTest : public TransferTest {};

TEST_F(HostileReceiverTest, SenderAnswersOnlyWhatItHas) {
    WriteFile(dir_ / "one.txt", "12345");
    auto sender = NewSender({(dir_ / "one.txt").string()});
    RawSocket conn = RawSocket::TcpConnected(sender->LocalPort());
    auto ask = [&](const std::string& request) {
        for (char c : request) {  // requests cut into single bytes too
            conn.Write(std::string(1, c));
            Settle(std::chrono::milliseconds(1));
        }
    };
    auto reply = [&](std::size_t n) {
        EXPECT_TRUE(RunUntil([&] { return conn.Readable(std::chrono::milliseconds(0)); }));
        return conn.ReadExactly(n, std::chrono::seconds(2));
    };
    ask(Request(RequestKind::kCount, 0));
    EXPECT_EQ(reply(kReplySize), AsText(EncodeCountReply(1, 5)));
    EXPECT_EQ(senderEvents_.connected, 1);
    for (uint32_t index : {0u, 2u, 0xFFFFFFFFu}) {
        ask(Request(RequestKind::kInfo, index));
        EXPECT_EQ(reply(kReplySize), Info("", 0)) << index;
    }
    // Data before any file was described, and a kind the protocol lacks: no answer.
    ask(Request(RequestKind::kData, 0));
    conn.Write(std::string("\x07\0\0\0\0\0\0\0", 8));
    Settle();
    EXPECT_FALSE(conn.Readable(std::chrono::milliseconds(20)));
    ask(Request(RequestKind::kInfo, 1));
    EXPECT_EQ(reply(kReplySize), Info("one.txt", 5));
    ask(Request(RequestKind::kData, 2));
    EXPECT_EQ(reply(3), "345");
    EXPECT_EQ(sender->Files()[0].state, FileState::kDone);
    // A second connection to the same offer is closed at once.
    RawSocket intruder = RawSocket::TcpConnected(sender->LocalPort());
    ASSERT_TRUE(RunUntil([&] { return intruder.Readable(std::chrono::milliseconds(0)); }));
    EXPECT_EQ(intruder.ReadExactly(1, std::chrono::milliseconds(100)), "");
    EXPECT_EQ(senderEvents_.connected, 1);
}

}  // namespace
}  // namespace ov::transfer::test
