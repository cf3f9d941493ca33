// FileReceiveModel: the logic of the receive window ("文件接收") for one offer. It keeps the
// window's settings (the user's config.dat, section CPTPFileTransRecv), connects to the sender
// (through the proxy when the user's network goes through one) when the user accepts, asks the
// window what to do with files that exist, and says what the window shows.
//
//   auto* model = new FileReceiveModel(app, fromPin, fromIp, fromPort, text, window);
//   model->Initialize();
//   connect(model, &FileReceiveModel::FileExists, window, &Window::AskExists);
//   if (model->Receive(pathEdit->text(), autoClose->isChecked())) ...disable the inputs...
//   model->Resolve(transfer::ExistsChoice::kResume);
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <memory>

#include "common/events/event_sink.h"
#include "shell/core/user_config.h"
#include "shell/filetransfer/numbered_timers.h"
#include "shell/filetransfer/transfer_progress.h"
#include "transfer/file_receiver.h"

namespace ov::shell {

class OVShellApp;

class FileReceiveModel final : public QObject,
                               public OVServiceEventHandler,
                               private transfer::ReceiverListener {
    Q_OBJECT
public:
    FileReceiveModel(OVShellApp& app, qint32 fromPin, LONG fromIp, LONG fromPort, QString text,
                     QObject* parent = nullptr);
    ~FileReceiveModel() override;

    qint32 Sender() const { return fromPin_; }
    const QString& Text() const { return text_; }
    const FileTransRecvSettings& Settings() const { return settings_; }
    // The socket; false when the component fails (the window stays, leading nowhere).
    bool Initialize();
    // "接收": false (and the box shown) when the folder is empty or nothing can connect.
    bool Receive(const QString& folder, bool autoClose);
    void Resolve(transfer::ExistsChoice choice, const QString& renamedPath = QString());
    // Stores the window's corner and choices (when it closes).
    void SaveSettings(QPoint corner, const QString& folder, bool autoClose);

    // The window closes: the connection goes at once.
    void Cancel() { receiver_->Cancel(); }
    void OpenFolder();
    void OpenFile();
    // The path the rename proposes for the file that exists.
    QString ExistingPath() const;

    const QString& Status() const { return status_; }
    TransferProgress Progress() const;
    const transfer::FileReceiver& Receiver() const { return *receiver_; }
    bool Completed() const { return receiver_->Completed(); }
    bool CanOpenFile() const { return receiver_->Completed() && receiver_->FileCount() == 1; }
    qint32 SenderIcon() const;

    void OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                std::string_view varUserInfo) override;

Q_SIGNALS:
    void ProgressChanged();
    void StatusChanged(const QString& text);
    void FileExists(const QString& name);
    // Every file arrived and the window stays: "打开文件夹" (and "打开" for one file) enabled.
    void Finished(bool canOpenFile);
    void SenderIconChanged();
    void CloseWindow();

private:
    void OnReceiverProgress() override;
    void OnReceiverFileExists(const std::string& name) override;
    void OnReceiverNameRefused(const std::string& name, transfer::NameRefusal why) override;
    void OnReceiverCannotCreate(const std::string& name) override;
    void OnReceiverFailed(transfer::ReceiveFailure why) override;
    void OnReceiverComplete() override;
    void OnReceiverClose() override;

    void SetStatus(const QString& text);

    OVShellApp& app_;
    const qint32 fromPin_;
    const QString text_;
    FileTransRecvSettings settings_;
    transfer::PosixTransferFiles files_;
    NumberedTimers timers_;
    std::unique_ptr<transfer::FileReceiver> receiver_;
    OVServiceEventConnection events_{this};
    qint64 startTime_ = 0;
    QString status_;
};

}  // namespace ov::shell
