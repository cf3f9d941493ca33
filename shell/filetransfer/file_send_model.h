// FileSendModel: the logic of the send window ("文件传输") for one offer to one user. It
// checks the chosen files, listens for the receiver on the address this host reaches the
// server from, sends the offer through the kernel and serves the receiver through a
// FileSender; the window shows its status and progress.
//
//   QString error;
//   auto selection = FileSendModel::Choose(paths, &error);     // refused: show error
//   auto* model = new FileSendModel(app, pin, std::move(*selection), window);
//   if (!model->Start()) { no window }
//   connect(model, &FileSendModel::CloseWindow, window, &QWidget::close);
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "common/events/event_sink.h"
#include "shell/filetransfer/numbered_timers.h"
#include "shell/filetransfer/transfer_progress.h"
#include "transfer/file_sender.h"

namespace ov::shell {

class OVShellApp;

// The offer's text: "%s 将发送给你 %s 等 %d 个文件,共计 %.2f MB".
QString OfferText(const QString& userName, const QString& firstName, int count, quint64 total);

class FileSendModel final : public QObject,
                            public OVServiceEventHandler,
                            private transfer::SenderListener {
    Q_OBJECT
public:
    FileSendModel(OVShellApp& app, qint32 receiver, transfer::SenderSelection selection,
                  QObject* parent = nullptr);
    ~FileSendModel() override;

    // The files as chosen, or nothing with the reason in *error.
    static std::optional<transfer::SenderSelection> Choose(const QStringList& paths,
                                                           QString* error);

    qint32 Receiver() const { return receiver_; }
    // Listens and sends the offer. False when the socket component fails: no window.
    bool Start();
    const QString& Status() const { return status_; }
    TransferProgress Progress() const;
    const transfer::FileSender& Sender() const { return *sender_; }
    LONG RequestNumber() const { return request_; }

    void OnRequestPTPConnectionReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void StatusChanged(const QString& text);
    void ProgressChanged();
    void CloseWindow();

private:
    void OnSenderConnected() override;
    void OnSenderProgress() override;
    void OnSenderClose() override;

    void SetStatus(const QString& text);
    std::string OfferAddress() const;

    OVShellApp& app_;
    const qint32 receiver_;
    transfer::PosixTransferFiles files_;
    NumberedTimers timers_;
    std::unique_ptr<transfer::FileSender> sender_;
    OVServiceEventConnection events_{this};
    LONG request_ = 0;
    qint64 startTime_ = 0;
    QString status_;
};

}  // namespace ov::shell
