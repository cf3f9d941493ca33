// Both sides over real sockets on loopback: whole files, the file-exists choices, and the
// timers that end each side, in virtual time.
#include <filesystem>

#include "transfer/tests/transfer_fixture.h"

namespace ov::transfer::test {
namespace {

namespace fs = std::filesystem;

class FlowTest : public TransferTest {
protected:
    // Writes files named name -> bytes under dir_/send and returns their paths in order.
    std::vector<std::string> Offer(const std::vector<std::pair<std::string, std::string>>& files) {
        std::vector<std::string> paths;
        for (const auto& [name, bytes] : files) {
            WriteFile(dir_ / "send" / name, bytes);
            paths.push_back((dir_ / "send" / name).string());
        }
        return paths;
    }
    fs::path Save() const { return dir_ / "save"; }
};

TEST_F(FlowTest, FilesArriveWholeAndEachSideEndsByItsTimer) {
    const std::string exact = RandomBytes(8192, 1);
    const std::string big = RandomBytes(300'001, 2);
    auto sender = NewSender(Offer({{"empty.txt", ""}, {"exact.bin", exact}, {"big.bin", big}}));
    EXPECT_EQ(sender->Total(), 8192u + 300'001u);
    EXPECT_EQ(senderTimers_.Ms(kSenderCloseTimer), kIdleCloseMs);
    auto receiver = NewReceiver(*sender, Save());

    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.complete == 1; }));
    EXPECT_TRUE(receiver->Completed());
    EXPECT_EQ(ReadFile(Save() / "empty.txt"), "");
    EXPECT_TRUE(fs::exists(Save() / "empty.txt"));
    EXPECT_EQ(ReadFile(Save() / "exact.bin"), exact);
    EXPECT_EQ(ReadFile(Save() / "big.bin"), big);
    EXPECT_EQ(receiver->Done(), uint64_t{sender->Total()});
    EXPECT_EQ(receiver->FileCount(), 3u);
    for (const OfferedFile& file : sender->Files())
        EXPECT_EQ(file.state, FileState::kDone) << file.name;
    EXPECT_EQ(sender->Done(), uint64_t{sender->Total()});
    // No data was asked for the empty file; the exact one took two chunks and no third send.
    EXPECT_EQ(sender->DataSends(), 2u + (300'001u + 4095) / 4096);
    EXPECT_EQ(senderEvents_.connected, 1);

    // The chunks' completions re-armed the sender's minute (the last one after its last chunk).
    EXPECT_GT(senderTimers_.Arms(kSenderCloseTimer), 1);
    EXPECT_EQ(senderTimers_.Ms(kSenderCloseTimer), kIdleCloseMs);
    // The receiver closes 60 s after the last data; the sender 60 s after its last chunk, and
    // then the receiver sees the connection go and closes at once.
    EXPECT_EQ(receiverTimers_.Ms(kReceiverCloseTimer), kIdleCloseMs);
    FireSender(*sender, kSenderCloseTimer);
    EXPECT_EQ(senderEvents_.closed, 1);
    sender.reset();
    sender_ = nullptr;
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.closed == 1; }));
    EXPECT_TRUE(receiverEvents_.failures.empty());
}

TEST_F(FlowTest, ExistingFilesResumeOverwriteRenameOrSkip) {
    const std::string a = RandomBytes(10'000, 3);
    const std::string b = RandomBytes(5'000, 4);
    const std::string c = RandomBytes(6'000, 5);
    const std::string d = RandomBytes(7'000, 6);
    WriteFile(Save() / "a.bin", a.substr(0, 3'000));  // resumed from 3,000
    WriteFile(Save() / "b.bin", "old contents of b, longer than nothing");
    WriteFile(Save() / "c.bin", "c stays");
    WriteFile(Save() / "d.bin", "d stays too");
    const std::map<std::string, std::pair<ExistsChoice, std::string>> answers = {
        {"a.bin", {ExistsChoice::kResume, ""}},
        {"b.bin", {ExistsChoice::kOverwrite, ""}},
        {"c.bin", {ExistsChoice::kRename, (Save() / "c (2).bin").string()}},
        {"d.bin", {ExistsChoice::kSkip, ""}},
    };
    FileReceiver* receiver = nullptr;
    receiverEvents_.answer = [&](const std::string& name) {
        const auto& [choice, path] = answers.at(name);
        receiver->Resolve(choice, path);
    };
    auto sender = NewSender(Offer({{"a.bin", a}, {"b.bin", b}, {"c.bin", c}, {"d.bin", d}}));
    auto owned = NewReceiver(*sender, Save());
    receiver = owned.get();

    // The last file skipped: the window closes without the completion step.
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.closed == 1; }));
    EXPECT_EQ(receiverEvents_.complete, 0);
    EXPECT_EQ(receiverEvents_.exists,
              (std::vector<std::string>{"a.bin", "b.bin", "c.bin", "d.bin"}));
    EXPECT_EQ(ReadFile(Save() / "a.bin"), a);
    EXPECT_EQ(ReadFile(Save() / "b.bin"), b);
    EXPECT_EQ(ReadFile(Save() / "c.bin"), "c stays");
    EXPECT_EQ(ReadFile(Save() / "c (2).bin"), c);
    EXPECT_EQ(ReadFile(Save() / "d.bin"), "d stays too");
    // Resume asked only for the 7,000 missing bytes of a: two chunks; b and c two each.
    EXPECT_EQ(sender->DataSends(), 2u + 2u + 2u);
}

TEST_F(FlowTest, FileAlreadyWholeIsSkippedWithoutAskingForData) {
    const std::string a = RandomBytes(9'000, 7);
    WriteFile(Save() / "a.bin", a + "extra");
    FileReceiver* receiver = nullptr;
    receiverEvents_.answer = [&](const std::string&) { receiver->Resolve(ExistsChoice::kResume); };
    auto sender = NewSender(Offer({{"a.bin", a}}));
    auto owned = NewReceiver(*sender, Save());
    receiver = owned.get();
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.closed == 1; }));
    EXPECT_EQ(sender->DataSends(), 0u);
    EXPECT_EQ(receiverEvents_.complete, 0);
    EXPECT_EQ(ReadFile(Save() / "a.bin"), a + "extra");
}

TEST_F(FlowTest, SenderEndsSoonWhenTheOfferFailsOrTheReceiverLeaves) {
    auto sender = NewSender(Offer({{"a.bin", RandomBytes(100'000, 8)}}));
    sender->RequestAnswered(true);
    EXPECT_EQ(senderTimers_.Ms(kSenderCloseTimer), kIdleCloseMs);
    sender->RequestAnswered(false);
    EXPECT_EQ(senderTimers_.Ms(kSenderCloseTimer), kSoonMs);
    senderTimers_.Arm(kSenderCloseTimer, kIdleCloseMs);

    // The receiver waits in the file-exists question past the sender's minute: the sender's
    // timer was not re-armed by the connection or the requests, so it runs out.
    WriteFile(Save() / "a.bin", "x");
    auto receiver = NewReceiver(*sender, Save());
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.exists.size() == 1; }));
    EXPECT_EQ(senderTimers_.Arms(kSenderCloseTimer), 4);  // Offered, twice answered, the test
    FireSender(*sender, kSenderCloseTimer);
    sender.reset();
    sender_ = nullptr;
    // The connection went while the user was asked: the window says so and stays.
    ASSERT_TRUE(RunUntil([&] { return !receiverEvents_.failures.empty(); }));
    EXPECT_EQ(receiverEvents_.failures[0], ReceiveFailure::kConnectionLost);
    EXPECT_FALSE(receiverTimers_.Armed(kReceiverCloseTimer));
    receiver->Resolve(ExistsChoice::kOverwrite);  // too late: nothing happens
    EXPECT_EQ(ReadFile(Save() / "a.bin"), "x");
}

TEST_F(FlowTest, ReceiverClosingMidwayEndsTheSenderAndResumeCompletesTheFile) {
    const std::string big = RandomBytes(24'000'000, 9);
    auto sender = NewSender(Offer({{"big.bin", big}}));
    auto receiver = NewReceiver(*sender, Save());
    ASSERT_TRUE(RunUntil([&] { return receiver->CurrentLength() >= 500'000; }));
    receiver.reset();  // the user closes the receive window
    receiver_ = nullptr;
    ASSERT_TRUE(RunUntil([&] { return senderEvents_.closed == 1; }));
    sender.reset();
    sender_ = nullptr;
    const auto partial = fs::file_size(Save() / "big.bin");
    EXPECT_GT(partial, 0u);
    EXPECT_LT(partial, big.size());

    FileReceiver* second = nullptr;
    receiverEvents_.answer = [&](const std::string&) { second->Resolve(ExistsChoice::kResume); };
    auto again = NewSender(Offer({{"big.bin", big}}));
    auto owned = NewReceiver(*again, Save());
    second = owned.get();
    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.complete == 1; }));
    EXPECT_EQ(ReadFile(Save() / "big.bin"), big);
    EXPECT_EQ(again->DataSends(), (big.size() - partial + 4095) / 4096);
}

TEST_F(FlowTest, SelectionRefusesWhatCannotTravel) {
    PosixTransferFiles files;
    EXPECT_EQ(SelectFiles(files, {}).error, SelectionError::kNothing);
    const SenderSelection missing = SelectFiles(files, {(dir_ / "none").string()});
    EXPECT_EQ(missing.error, SelectionError::kUnreadable);
    EXPECT_EQ(missing.detail, (dir_ / "none").string());
    EXPECT_EQ(SelectFiles(files, {dir_.string()}).error, SelectionError::kUnreadable);

    // Sparse files: 4 GiB takes no disk.
    const fs::path huge = dir_ / "huge.bin";
    WriteFile(huge, "");
    fs::resize_file(huge, uint64_t{1} << 32);
    EXPECT_EQ(SelectFiles(files, {huge.string()}).error, SelectionError::kTooLarge);
    fs::resize_file(huge, (uint64_t{1} << 32) - 1);
    const fs::path two = dir_ / "two.bin";
    WriteFile(two, "ab");
    EXPECT_EQ(SelectFiles(files, {huge.string()}).error, SelectionError::kNone);
    EXPECT_EQ(SelectFiles(files, {huge.string(), two.string()}).error,
              SelectionError::kTotalTooLarge);

    const SenderSelection named = SelectFiles(files, {two.string()});
    ASSERT_EQ(named.files.size(), 1u);
    EXPECT_EQ(named.files[0].name, "two.bin");
    EXPECT_EQ(named.files[0].wire_name, "two.bin");
    EXPECT_EQ(named.total, 2u);
}

}  // namespace
}  // namespace ov::transfer::test
