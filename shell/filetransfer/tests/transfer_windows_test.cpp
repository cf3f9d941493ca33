// The send and receive windows on the offscreen platform, between clients of the reference
// server: the folder check, the file-exists dialog closed with Esc, the buttons at the end, and
// the receive window's settings kept in config.dat.
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "shell/filetransfer/file_receive_model.h"
#include "shell/filetransfer/file_send_model.h"
#include "shell/filetransfer/widgets/file_receive_window.h"
#include "shell/filetransfer/widgets/file_send_window.h"
#include "shell/messaging/tests/message_fixture.h"
#include "shell/testing/window_shot.h"

namespace ov::shell::testing {
namespace {

class TransferWindows : public MessageTest {
protected:
    static QDialog* ExistsDialog() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w);
                d && d->isVisible() && d->windowTitle() == "提示")
                return d;
        return nullptr;
    }
};

TEST_F(TransferWindows, OfferReceivedThroughTheWindows) {
    StartServer();
    RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    const QString out = home_ + "/outbox/";
    const QString in = home_ + "/inbox";
    QDir().mkpath(out);
    QDir().mkpath(in);
    for (const char* name : {"报告.txt", "b.txt"}) {
        QFile f(out + QString::fromUtf8(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'x'));
    }
    QFile(in + "/b.txt").open(QIODevice::WriteOnly);  // exists: the dialog asks

    FileSendWindow* send =
        FileSendWindow::Open(alice.App(), bobPin, {out + "报告.txt", out + "b.txt"});
    ASSERT_TRUE(send);
    EXPECT_EQ(send->windowTitle(), "文件传输");
    EXPECT_EQ(In<QLabel>(send, "status")->text(), "等待对方连入!");
    SaveShot(send, "file-send-waiting");

    std::optional<PendingItem> offer;
    ASSERT_TRUE(Drive([&] {
        offer = bob.App().Pending().Take(kPendingFileOffer, 0, true);
        return offer.has_value();
    }));
    FileReceiveWindow* receive = FileReceiveWindow::Open(bob.App(), *offer);
    EXPECT_EQ(receive->windowTitle(), "文件接收");
    EXPECT_EQ(In<QLabel>(receive, "offer")->text(), offer->text);
    auto* path = In<QLineEdit>(receive, "接收文件的文件名及目录");
    auto* accept = In<QPushButton>(receive, "接收");
    EXPECT_FALSE(In<QPushButton>(receive, "打开文件夹")->isEnabled());
    EXPECT_FALSE(In<QPushButton>(receive, "打开")->isEnabled());

    path->clear();
    accept->click();
    ASSERT_EQ(bob.prompts.Texts(), QStringList{"请选择正确的保存文件的路径!!!"});
    EXPECT_EQ(bob.prompts.Boxes()[0].caption, "提示");
    EXPECT_TRUE(accept->isEnabled());

    path->setText(in);
    SaveShot(receive, "file-receive-offer");
    accept->click();
    EXPECT_FALSE(accept->isEnabled());
    EXPECT_FALSE(path->isEnabled());
    ASSERT_TRUE(Drive([&] { return ExistsDialog() != nullptr; }));
    QDialog* dialog = ExistsDialog();
    SaveShot(dialog, "file-exists");
    EXPECT_EQ(In<QLabel>(send, "status")->text(), "正在传送文件!");
    SaveShot(send, "file-send-sending");
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog, &esc);  // Esc: the file is skipped

    // The last file skipped: the window closes without the completion step, and the send
    // window follows when the connection goes.
    QPointer<FileReceiveWindow> watched(receive);
    QPointer<FileSendWindow> sending(send);
    ASSERT_TRUE(Drive([&] { return watched.isNull(); }));
    ASSERT_TRUE(Drive([&] { return sending.isNull(); }));
    QFile received(in + "/报告.txt");
    ASSERT_TRUE(received.open(QIODevice::ReadOnly));
    EXPECT_EQ(received.readAll(), QByteArray(5000, 'x'));
    EXPECT_EQ(QFileInfo(in + "/b.txt").size(), 0);

    // Its folder and corner were kept.
    const FileTransRecvSettings kept =
        bob.App().UserData().Config().FileTransRecv(bob.App().ProgramDirectory());
    EXPECT_EQ(kept.RecvFilePath, in);
    EXPECT_EQ(kept.bAutoClose, 0);
}

}  // namespace
}  // namespace ov::shell::testing
