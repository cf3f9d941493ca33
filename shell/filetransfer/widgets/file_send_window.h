// FileSendWindow ("文件传输"): one offer of files to one user, its status and progress.
// Modeless; deletes itself when closed (by "关闭", by the model's timer, or when the receiver
// goes).
//
//   FileSendWindow::Open(app, pin, paths);   // null (and a box when the files cannot go)
#pragma once

#include <QStringList>
#include <QWidget>

namespace ov::shell {

class OVShellApp;
class FileSendModel;
class TransferProgressView;

class FileSendWindow final : public QWidget {
    Q_OBJECT
public:
    explicit FileSendWindow(FileSendModel* model);

    static FileSendWindow* Open(OVShellApp& app, qint32 pin, const QStringList& paths);
    FileSendModel& Model() const { return *model_; }

private:
    void Refresh();

    FileSendModel* model_;
    TransferProgressView* progress_;
};

}  // namespace ov::shell
