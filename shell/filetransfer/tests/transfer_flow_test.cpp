// Files between two clients of the reference server in this process: the offer through the
// kernels, the pending item, the receive model's folder, and a transfer cut short and resumed.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <random>

#include "shell/filetransfer/file_receive_model.h"
#include "shell/filetransfer/file_send_model.h"
#include "shell/messaging/tests/message_fixture.h"
#include "sock/tests/danted_process.h"

namespace ov::shell::testing {
namespace {

QByteArray RandomFile(const QString& path, qsizetype size, uint32_t seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray HashOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

class TransferFlow : public MessageTest {
protected:
    std::optional<PendingItem> Offer(ShellClient& c) {
        std::optional<PendingItem> item;
        Drive([&] {
            item = c.App().Pending().Take(kPendingFileOffer, 0, true);
            return item.has_value();
        });
        return item;
    }
    // Three files (0 bytes, 8 KiB, 20 MiB); bob leaves at 40% of the big one and takes the
    // rest from a second offer of the same files.
    // senderSeesTheCut: the send window closes as the connection goes (directly connected;
    // a proxy tells the sender in its own time, and the test closes that window itself).
    void SendThreeFilesCutAndResume(ShellClient& alice, ShellClient& bob, qint32 bobPin,
                                    bool senderSeesTheCut);
    std::unique_ptr<FileSendModel> SendFiles(ShellClient& from, qint32 to,
                                             const QStringList& paths) {
        QString error;
        auto selection = FileSendModel::Choose(paths, &error);
        EXPECT_TRUE(selection) << error.toStdString();
        auto model = std::make_unique<FileSendModel>(from.App(), to, std::move(*selection));
        EXPECT_TRUE(model->Start());
        return model;
    }
};

TEST_F(TransferFlow, ThreeFilesArriveWholeAndACutTransferResumes) {
    StartServer(0, true);
    RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    SendThreeFilesCutAndResume(alice, bob, bobPin, true);
}

// The receiver's network goes through danted, an independent SOCKS5 proxy.
TEST_F(TransferFlow, ThroughASocks5Proxy) {
    if (ov::testing::DantedProcess::Program().empty())
        GTEST_SKIP() << "danted (dante-server) is not installed";
    ov::testing::DantedProcess proxy(false);
    ASSERT_TRUE(proxy.Started()) << proxy.Log();
    StartServer(0, true);
    RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    MachineSettings& network = bob.App().Machine();
    network.fViaFirewall = 1;
    network.sProxy = "127.0.0.1";
    network.nProxyPort = proxy.Port();
    network.fNeedAuthentication = 0;
    SendThreeFilesCutAndResume(alice, bob, bobPin, false);
    EXPECT_NE(proxy.Log().find("tcp/connect"), std::string::npos) << proxy.Log();
}

void TransferFlow::SendThreeFilesCutAndResume(ShellClient& alice, ShellClient& bob, qint32 bobPin,
                                              bool senderSeesTheCut) {
    const QString out = home_ + "/outbox/";
    const QString in = home_ + "/inbox";
    QDir().mkpath(out);
    QFile(out + "empty.bin").open(QIODevice::WriteOnly);
    const QByteArray exact = RandomFile(out + "exact.bin", 8192, 1);
    const QByteArray big = RandomFile(out + "big.bin", 20 * 1024 * 1024, 2);
    const QStringList paths = {out + "empty.bin", out + "exact.bin", out + "big.bin"};

    auto sending = SendFiles(alice, bobPin, paths);
    // Watched from the start: the window may close while the loop runs for the cut itself.
    bool closed = false;
    QObject::connect(sending.get(), &FileSendModel::CloseWindow, [&] { closed = true; });
    EXPECT_EQ(sending->Status(), "等待对方连入!");
    const std::optional<PendingItem> offer = Offer(bob);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->text, "alice 将发送给你 empty.bin 等 3 个文件,共计 20.01 MB");
    EXPECT_EQ(offer->value2, sending->Sender().LocalPort());
    // Told by a sound and a desktop note besides the tray.
    EXPECT_NE(std::count(bob.sounds.Played().begin(), bob.sounds.Played().end(), 23), 0);
    ASSERT_FALSE(bob.notifier.Notes().isEmpty());
    EXPECT_TRUE(bob.notifier.Notes().back().endsWith("|" + offer->text));

    // Bob accepts and closes the window at 40% of the big file.
    auto receiving = std::make_unique<FileReceiveModel>(bob.App(), offer->nNumber, offer->value1,
                                                        offer->value2, offer->text);
    ASSERT_TRUE(receiving->Initialize());
    // Cut as the data arrives: the sender streams far ahead of any loop that looks later.
    bool cut = false;
    QObject::connect(receiving.get(), &FileReceiveModel::ProgressChanged, [&] {
        if (!cut && receiving->Receiver().CurrentName() == "big.bin" &&
            receiving->Receiver().CurrentLength() >= 8 * 1024 * 1024) {
            cut = true;
            receiving->Cancel();
        }
    });
    ASSERT_TRUE(receiving->Receive(in, false));
    ASSERT_TRUE(Drive([&] { return cut; }));
    EXPECT_EQ(sending->Status(), "正在传送文件!");
    receiving.reset();
    if (senderSeesTheCut) {
        // At once as a rule; by its minute at the latest when the close went unseen.
        ASSERT_TRUE(Drive([&] { return closed; }, 1000));
    }
    sending.reset();
    const qint64 partial = QFileInfo(in + "/big.bin").size();
    EXPECT_GE(partial, 8 * 1024 * 1024);
    EXPECT_LT(partial, 20 * 1024 * 1024);

    // The same files again: the whole ones are skipped, the big one resumes.
    sending = SendFiles(alice, bobPin, paths);
    const std::optional<PendingItem> again = Offer(bob);
    ASSERT_TRUE(again);
    receiving = std::make_unique<FileReceiveModel>(bob.App(), again->nNumber, again->value1,
                                                   again->value2, again->text);
    ASSERT_TRUE(receiving->Initialize());
    QStringList asked;
    QObject::connect(receiving.get(), &FileReceiveModel::FileExists, [&](const QString& name) {
        asked << name;
        receiving->Resolve(transfer::ExistsChoice::kResume);
    });
    bool finished = false;
    QObject::connect(receiving.get(), &FileReceiveModel::Finished, [&] { finished = true; });
    ASSERT_TRUE(receiving->Receive(in, false));
    ASSERT_TRUE(Drive([&] { return finished; }));
    EXPECT_EQ(asked, (QStringList{"empty.bin", "exact.bin", "big.bin"}));
    EXPECT_EQ(QFileInfo(in + "/empty.bin").size(), 0);
    EXPECT_EQ(HashOf(in + "/exact.bin"), exact);
    EXPECT_EQ(HashOf(in + "/big.bin"), big);
    EXPECT_EQ(sending->Sender().DataSends(),
              static_cast<uint64_t>((20 * 1024 * 1024 - partial + 4095) / 4096));
    EXPECT_FALSE(receiving->CanOpenFile());
    EXPECT_TRUE(receiving->Progress().total.endsWith("(100%)"));
}

}  // namespace
}  // namespace ov::shell::testing
