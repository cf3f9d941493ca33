#include "shell/filetransfer/file_receive_model.h"

#include <QDir>

#include "shell/core/desktop/launcher.h"
#include "shell/core/desktop/prompts.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

FileReceiveModel::FileReceiveModel(OVShellApp& app, qint32 fromPin, LONG fromIp, LONG fromPort,
                                   QString text, QObject* parent)
    : QObject(parent),
      app_(app),
      fromPin_(fromPin),
      text_(std::move(text)),
      settings_(app.UserData().Config().FileTransRecv(app.ProgramDirectory())),
      timers_(*app.Desktop().timers, [this](int id) { receiver_->OnTimer(id); }),
      receiver_(std::make_unique<transfer::FileReceiver>(
          fromIp, fromPort, files_, timers_, static_cast<transfer::ReceiverListener&>(*this))),
      startTime_(app.Desktop().clock()) {}

FileReceiveModel::~FileReceiveModel() {
    events_.Disconnect();
    receiver_.reset();  // before the timers it arms
}

bool FileReceiveModel::Initialize() {
    if (!receiver_->Initialize())
        return false;
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
    const MachineSettings& m = app_.Machine();
    if (m.fViaFirewall) {
        transfer::ReceiverProxy proxy;
        proxy.host = m.sProxy.toStdString();
        proxy.port = m.nProxyPort;
        proxy.authenticate = m.fNeedAuthentication != 0;
        if (proxy.authenticate) {
            proxy.user = m.sProxyUserName.toStdString();
            proxy.password = m.sProxyPassword.toStdString();
        }
        receiver_->UseProxy(proxy);
    }
    return true;
}

bool FileReceiveModel::Receive(const QString& folder, bool autoClose) {
    settings_.RecvFilePath = folder;
    settings_.bAutoClose = autoClose ? 1 : 0;
    if (folder.isEmpty()) {
        if (Prompts* prompts = app_.Desktop().prompts)
            prompts->Message(QStringLiteral("请选择正确的保存文件的路径!!!"),
                             QStringLiteral("提示"), Prompts::Icon::Warning);
        return false;
    }
    startTime_ = app_.Desktop().clock();
    // Stored with "/" so that a folder typed Windows-fashion still names one folder.
    receiver_->Start(QDir::fromNativeSeparators(folder).toStdString());
    return true;
}

void FileReceiveModel::Resolve(transfer::ExistsChoice choice, const QString& renamedPath) {
    receiver_->Resolve(choice, renamedPath.toStdString());
}

void FileReceiveModel::SaveSettings(QPoint corner, const QString& folder, bool autoClose) {
    settings_.pos_X = corner.x();
    settings_.pos_Y = corner.y();
    settings_.RecvFilePath = folder;
    settings_.bAutoClose = autoClose ? 1 : 0;
    UserConfig& config = app_.UserData().Config();
    config.SetFileTransRecv(settings_);
    config.Save();
}

void FileReceiveModel::OpenFolder() {
    if (Launcher* launcher = app_.Desktop().launcher)
        launcher->OpenFolder(QString::fromStdString(receiver_->Folder()));
}

void FileReceiveModel::OpenFile() {
    if (Launcher* launcher = app_.Desktop().launcher)
        launcher->OpenFile(QString::fromStdString(receiver_->CurrentPath()));
}

QString FileReceiveModel::ExistingPath() const {
    return QString::fromStdString(receiver_->CurrentPath());
}

TransferProgress FileReceiveModel::Progress() const {
    TransferNumbers n;
    n.fileName = QString::fromStdString(receiver_->CurrentName());
    n.fileSize = receiver_->CurrentSize();
    n.fileDone = receiver_->CurrentLength();
    n.total = receiver_->Total();
    n.done = receiver_->Done();
    n.elapsedSeconds = app_.Desktop().clock() - startTime_;
    return FormatProgress(n);
}

qint32 FileReceiveModel::SenderIcon() const {
    return app_.UserData().IconOf(fromPin_);
}

void FileReceiveModel::OnRequestUserInfoReply(LONG, OVErrorCodeEnum eError,
                                              std::string_view varUserInfo) {
    if (eError != OV_ERR_NONE)
        return;
    if (static_cast<qint32>(RecordOf<OV_USER_INFO>(varUserInfo).nPin) == fromPin_)
        Q_EMIT SenderIconChanged();
}

void FileReceiveModel::OnReceiverProgress() {
    Q_EMIT ProgressChanged();
}

void FileReceiveModel::OnReceiverFileExists(const std::string& name) {
    Q_EMIT FileExists(QString::fromStdString(name));
}

void FileReceiveModel::OnReceiverNameRefused(const std::string& name, transfer::NameRefusal) {
    SetStatus(QStringLiteral("文件名 \"%1\" 不能用来保存文件,已跳过。")
                  .arg(QString::fromStdString(name)));
}

void FileReceiveModel::OnReceiverCannotCreate(const std::string& name) {
    SetStatus(QStringLiteral("无法创建文件 %1,已跳过。").arg(QString::fromStdString(name)));
}

void FileReceiveModel::OnReceiverFailed(transfer::ReceiveFailure why) {
    switch (why) {
        case transfer::ReceiveFailure::kBadReply:
            SetStatus(QStringLiteral("对方发来的文件信息无效,接收已中止。"));
            break;
        case transfer::ReceiveFailure::kOverrun:
            SetStatus(QStringLiteral("对方发送的数据超过了文件的大小,接收已中止。"));
            break;
        case transfer::ReceiveFailure::kCannotWrite:
            SetStatus(QStringLiteral("无法写入保存文件的目录,接收已中止。"));
            break;
        case transfer::ReceiveFailure::kConnectionLost:
            SetStatus(QStringLiteral("连接已断开,文件没有全部收到。"));
            break;
        case transfer::ReceiveFailure::kNone:
            break;
    }
    Q_EMIT ProgressChanged();
}

void FileReceiveModel::OnReceiverComplete() {
    if (settings_.bAutoClose) {
        receiver_->CloseSoon();
        return;
    }
    Q_EMIT ProgressChanged();
    Q_EMIT Finished(CanOpenFile());
}

void FileReceiveModel::OnReceiverClose() {
    Q_EMIT CloseWindow();
}

void FileReceiveModel::SetStatus(const QString& text) {
    status_ = text;
    Q_EMIT StatusChanged(text);
}

}  // namespace ov::shell
