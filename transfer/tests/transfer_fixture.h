// Both sides of a transfer in one test thread: the thread is a single-threaded apartment, as a
// GUI thread is, so socket events reach the protocol objects through its queue, which the
// test pumps. Timers run in virtual time: short ones (the pauses of 1 and 100 ms) fire as soon
// as the test pumps, long ones only when the test fires them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sock/tests/sock_test_support.h"
#include "transfer/file_receiver.h"
#include "transfer/file_sender.h"

namespace ov::transfer::test {

// Records every Arm and Kill; the fixture fires them.
class FakeTimers final : public TransferTimers {
public:
    void Arm(int id, int ms) override {
        armed_[id] = ms;
        history_.push_back({id, ms});
    }
    void Kill(int id) override { armed_.erase(id); }

    bool Armed(int id) const { return armed_.count(id) > 0; }
    int Ms(int id) const { return Armed(id) ? armed_.at(id) : -1; }
    // How many times id was armed (with any time).
    int Arms(int id) const;
    // Takes the timers of at most maxMs that are armed now.
    std::vector<int> TakeShort(int maxMs);
    void Disarm(int id) { armed_.erase(id); }

private:
    std::map<int, int> armed_;
    std::vector<std::pair<int, int>> history_;
};

struct SenderEvents final : SenderListener {
    void OnSenderConnected() override { ++connected; }
    void OnSenderProgress() override {}
    void OnSenderClose() override { ++closed; }
    int connected = 0;
    int closed = 0;
};

struct ReceiverEvents final : ReceiverListener {
    void OnReceiverProgress() override {}
    void OnReceiverFileExists(const std::string& name) override {
        exists.push_back(name);
        if (answer)
            answer(name);
    }
    void OnReceiverNameRefused(const std::string& name, NameRefusal why) override {
        refused.push_back({name, why});
    }
    void OnReceiverCannotCreate(const std::string& name) override { cannotCreate.push_back(name); }
    void OnReceiverFailed(ReceiveFailure why) override { failures.push_back(why); }
    void OnReceiverComplete() override { ++complete; }
    void OnReceiverClose() override { ++closed; }

    std::function<void(const std::string&)> answer;  // answers OnReceiverFileExists at once
    std::vector<std::string> exists;
    std::vector<std::pair<std::string, NameRefusal>> refused;
    std::vector<std::string> cannotCreate;
    std::vector<ReceiveFailure> failures;
    int complete = 0;
    int closed = 0;
};

std::string RandomBytes(std::size_t n, uint32_t seed);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
// The 32-bit address value of dotted text, as an offer carries it.
LONG OfferAddress(const char* dotted);

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Pumps the apartment and fires the short timers until done() or the real-time bound.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Pumps for a little while whatever is in flight (for "nothing more happens").
    void Settle(std::chrono::milliseconds span = std::chrono::milliseconds(50));

    // A sender of the given files (paths under dir_) listening on 127.0.0.1.
    std::unique_ptr<FileSender> NewSender(const std::vector<std::string>& paths);
    // A receiver of that sender's offer, started into folder.
    std::unique_ptr<FileReceiver> NewReceiver(const FileSender& sender,
                                              const std::filesystem::path& folder);
    // A receiver of an offer from a raw listening socket, started into folder.
    std::unique_ptr<FileReceiver> NewReceiverOf(LONG port, const std::filesystem::path& folder);

    // Fires an armed timer (a long one) on its object.
    void FireSender(FileSender& sender, int id);
    void FireReceiver(FileReceiver& receiver, int id);

    sock::test::ScopedRegistry registry_;
    std::filesystem::path dir_;
    PosixTransferFiles files_;
    FakeTimers senderTimers_;
    FakeTimers receiverTimers_;
    SenderEvents senderEvents_;
    ReceiverEvents receiverEvents_;
    FileSender* sender_ = nullptr;  // the ones whose short timers RunUntil fires
    FileReceiver* receiver_ = nullptr;
};

}  // namespace ov::transfer::test
