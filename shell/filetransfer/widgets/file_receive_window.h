// FileReceiveWindow ("文件接收"): one offer of files from a user. The user picks the folder
// and presses "接收"; the window shows the progress, asks what to do with files that exist,
// and opens the folder or the file at the end. Modeless; deletes itself when closed; its
// corner, folder and "close when finished" choice are kept in the user's config.dat.
//
//   FileReceiveWindow::Open(app, item);   // a pending file offer
#pragma once

#include <QWidget>

#include "shell/core/pending_item_queue.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace ov::shell {

class OVShellApp;
class FileReceiveModel;
class TransferProgressView;

class FileReceiveWindow final : public QWidget {
    Q_OBJECT
public:
    FileReceiveWindow(OVShellApp& app, FileReceiveModel* model);

    static FileReceiveWindow* Open(OVShellApp& app, const PendingItem& item);
    FileReceiveModel& Model() const { return *model_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Receive();
    void Browse();
    void AskExists(const QString& name);
    void Rename();
    void Refresh();
    void ShowSenderIcon();

    OVShellApp& app_;
    FileReceiveModel* model_;
    QToolButton* icon_;
    QLineEdit* path_;
    QPushButton* browse_;
    QPushButton* receive_;
    QPushButton* openFolder_;
    QPushButton* openFile_;
    QCheckBox* autoClose_;
    TransferProgressView* progress_;
};

}  // namespace ov::shell
