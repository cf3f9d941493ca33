// The receiver's connection through danted, an independent SOCKS5 proxy: a connection made
// through a proxy raises no connection event and reports no data until it is first read, so
// the receiver must start its requests and its reads without them.
#include <filesystem>

#include "sock/tests/danted_process.h"
#include "transfer/tests/transfer_fixture.h"

namespace ov::transfer::test {
namespace {

namespace fs = std::filesystem;

class Socks5FlowTest : public TransferTest {};

TEST_F(Socks5FlowTest, FilesArriveWholeThroughTheProxy) {
    if (ov::testing::DantedProcess::Program().empty())
        GTEST_SKIP() << "danted (dante-server) is not installed";
    ov::testing::DantedProcess proxy(false);
    ASSERT_TRUE(proxy.Started()) << proxy.Log();

    const std::string exact = RandomBytes(8192, 11);
    const std::string big = RandomBytes(1'000'003, 12);
    std::vector<std::string> paths;
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"empty.txt", ""}, {"exact.bin", exact}, {"big.bin", big}}) {
        WriteFile(dir_ / "send" / name, bytes);
        paths.push_back((dir_ / "send" / name).string());
    }
    auto sender = NewSender(paths);

    auto receiver = std::make_unique<FileReceiver>(OfferAddress("127.0.0.1"), sender->LocalPort(),
                                                   files_, receiverTimers_, receiverEvents_);
    ASSERT_TRUE(receiver->Initialize());
    receiver->UseProxy({"127.0.0.1", proxy.Port(), false, "", ""});
    receiver_ = receiver.get();
    ASSERT_TRUE(receiver->Start((dir_ / "save").string()));

    ASSERT_TRUE(RunUntil([&] { return receiverEvents_.complete == 1; }, std::chrono::seconds(10)))
        << "received " << receiver->Done() << " of " << sender->Total() << " bytes\n"
        << proxy.Log();
    EXPECT_TRUE(receiverEvents_.failures.empty());
    EXPECT_TRUE(fs::exists(dir_ / "save" / "empty.txt"));
    EXPECT_EQ(ReadFile(dir_ / "save" / "empty.txt"), "");
    EXPECT_EQ(ReadFile(dir_ / "save" / "exact.bin"), exact);
    EXPECT_EQ(ReadFile(dir_ / "save" / "big.bin"), big);
    EXPECT_EQ(sender->DataSends(), 2u + (big.size() + 4095) / 4096);
    EXPECT_EQ(senderEvents_.connected, 1);

    // A peer that takes the connection and never answers: the receiver asks, then waits for
    // the reply without holding the thread, and goes at once when its window closes.
    const sock::test::RawSocket silent = sock::test::RawSocket::TcpListening();
    auto waiting = std::make_unique<FileReceiver>(OfferAddress("127.0.0.1"), silent.Port(), files_,
                                                  receiverTimers_, receiverEvents_);
    ASSERT_TRUE(waiting->Initialize());
    waiting->UseProxy({"127.0.0.1", proxy.Port(), false, "", ""});
    ASSERT_TRUE(waiting->Start((dir_ / "save2").string()));
    receiver_ = waiting.get();
    const sock::test::RawSocket conn = silent.Accept();
    ASSERT_GE(conn.Fd(), 0);
    RunUntil([] { return false; }, std::chrono::milliseconds(200));
    const RequestBytes count = EncodeRequest({RequestKind::kCount, 0});
    EXPECT_EQ(conn.ReadExactly(kRequestSize, std::chrono::seconds(2)),
              std::string(count.begin(), count.end()));
    waiting.reset();
    receiver_ = nullptr;
}

}  // namespace
}  // namespace ov::transfer::test
