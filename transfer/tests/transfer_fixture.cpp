#include "transfer/tests/transfer_fixture.h"

#include <arpa/inet.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/com/apartment.h"
#include "platform/com/registration.h"

namespace ov::transfer::test {

int FakeTimers::Arms(int id) const {
    int n = 0;
    for (const auto& [armedId, ms] : history_)
        n += armedId == id;
    return n;
}

std::vector<int> FakeTimers::TakeShort(int maxMs) {
    std::vector<int> due;
    for (auto it = armed_.begin(); it != armed_.end();) {
        if (it->second <= maxMs) {
            due.push_back(it->first);
            it = armed_.erase(it);
        } else {
            ++it;
        }
    }
    return due;
}

std::string RandomBytes(std::size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

LONG OfferAddress(const char* dotted) {
    in_addr address{};
    inet_pton(AF_INET, dotted, &address);
    LONG value = 0;
    std::memcpy(&value, &address.s_addr, sizeof(value));
    return value;
}

void TransferTest::SetUp() {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + "OVSock.so"), S_OK);
    dir_ = std::filesystem::temp_directory_path() /
           ("ov-transfer-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
}

void TransferTest::TearDown() {
    Settle();
    CoUninitialize();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

bool TransferTest::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto apartment = Apartment::Current();
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        bool fired = false;
        if (sender_) {
            for (int id : senderTimers_.TakeShort(kFirstRequestDelayMs)) {
                sender_->OnTimer(id);
                fired = true;
            }
        }
        if (receiver_) {
            for (int id : receiverTimers_.TakeShort(kFirstRequestDelayMs)) {
                receiver_->OnTimer(id);
                fired = true;
            }
        }
        // Events are pumped after the timers as well: a timer that re-arms itself (the
        // look for a first reply) must not keep the sockets' events waiting.
        apartment->PumpUntil([&] { return done(); }, std::chrono::milliseconds(fired ? 0 : 5));
    }
    return true;
}

void TransferTest::Settle(std::chrono::milliseconds span) {
    if (auto apartment = Apartment::Current())
        apartment->PumpUntil([] { return false; }, span);
}

std::unique_ptr<FileSender> TransferTest::NewSender(const std::vector<std::string>& paths) {
    SenderSelection selection = SelectFiles(files_, paths);
    EXPECT_EQ(selection.error, SelectionError::kNone) << selection.detail;
    auto sender =
        std::make_unique<FileSender>(std::move(selection), files_, senderTimers_, senderEvents_);
    EXPECT_TRUE(sender->Listen("127.0.0.1"));
    sender->Offered();
    sender_ = sender.get();
    return sender;
}

std::unique_ptr<FileReceiver> TransferTest::NewReceiverOf(LONG port,
                                                          const std::filesystem::path& folder) {
    auto receiver = std::make_unique<FileReceiver>(OfferAddress("127.0.0.1"), port, files_,
                                                   receiverTimers_, receiverEvents_);
    EXPECT_TRUE(receiver->Initialize());
    EXPECT_TRUE(receiver->Start(folder.string()));
    receiver_ = receiver.get();
    return receiver;
}

std::unique_ptr<FileReceiver> TransferTest::NewReceiver(const FileSender& sender,
                                                        const std::filesystem::path& folder) {
    EXPECT_EQ(sender.LocalIP(), OfferAddress("127.0.0.1"));
    return NewReceiverOf(sender.LocalPort(), folder);
}

void TransferTest::FireSender(FileSender& sender, int id) {
    ASSERT_TRUE(senderTimers_.Armed(id)) << id;
    senderTimers_.Disarm(id);
    sender.OnTimer(id);
}

void TransferTest::FireReceiver(FileReceiver& receiver, int id) {
    ASSERT_TRUE(receiverTimers_.Armed(id)) << id;
    receiverTimers_.Disarm(id);
    receiver.OnTimer(id);
}

}  // namespace ov::transfer::test
