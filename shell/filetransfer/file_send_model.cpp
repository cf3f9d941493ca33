#include "shell/filetransfer/file_send_model.h"

#include "common/byte_array_variant.h"
#include "platform/com/bstr.h"
#include "shell/core/cp936_text.h"
#include "shell/core/shell_app.h"
#include "transfer/local_route.h"

namespace ov::shell {
namespace {

constexpr double kBytesToMb = 1.0 / 1048576;

}  // namespace

QString OfferText(const QString& userName, const QString& firstName, int count, quint64 total) {
    return QStringLiteral("%1 将发送给你 %2 等 %3 个文件,共计 %4 MB")
        .arg(userName, firstName)
        .arg(count)
        .arg(total * kBytesToMb, 0, 'f', 2);
}

FileSendModel::FileSendModel(OVShellApp& app, qint32 receiver, transfer::SenderSelection selection,
                             QObject* parent)
    : QObject(parent),
      app_(app),
      receiver_(receiver),
      timers_(*app.Desktop().timers, [this](int id) { sender_->OnTimer(id); }),
      sender_(std::make_unique<transfer::FileSender>(
          std::move(selection), files_, timers_, static_cast<transfer::SenderListener&>(*this))),
      status_(QStringLiteral("正在建立连接")) {}

FileSendModel::~FileSendModel() {
    events_.Disconnect();
    sender_.reset();  // before the timers it arms
}

std::optional<transfer::SenderSelection> FileSendModel::Choose(const QStringList& paths,
                                                               QString* error) {
    std::vector<std::string> list;
    for (const QString& path : paths)
        list.push_back(path.toStdString());
    transfer::PosixTransferFiles files;
    transfer::SenderSelection selection = transfer::SelectFiles(files, list);
    const QString detail = QString::fromStdString(selection.detail);
    switch (selection.error) {
        case transfer::SelectionError::kNone:
            return selection;
        case transfer::SelectionError::kNothing:
            *error = QString();
            break;
        case transfer::SelectionError::kUnreadable:
            *error = QStringLiteral("无法读取文件 %1。").arg(detail);
            break;
        case transfer::SelectionError::kTooLarge:
            *error = QStringLiteral("文件 %1 的大小达到或超过 4 GB,无法传送。").arg(detail);
            break;
        case transfer::SelectionError::kTotalTooLarge:
            *error = QStringLiteral("所选文件共计达到或超过 4 GB,请分几次传送。");
            break;
    }
    return std::nullopt;
}

std::string FileSendModel::OfferAddress() const {
    // The receiver reaches us where we reach the server from; without a kernel or a route the
    // socket's own choice stands.
    IOVService* kernel = app_.Kernel();
    if (!kernel)
        return {};
    Bstr address;
    LONG port = 0;
    if (FAILED(kernel->get_ServerAddress(address.Out())) || FAILED(kernel->get_ServerPort(&port)))
        return {};
    return transfer::LocalAddressToward(address.ToUtf8(), port);
}

bool FileSendModel::Start() {
    IOVService* kernel = app_.Kernel();
    if (!kernel || !sender_->Listen(OfferAddress()))
        return false;
    HRESULT hr = events_.Connect(kernel);
    if (FAILED(hr))
        app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    const auto& files = sender_->Files();
    const QString text =
        OfferText(app_.Login().userName, QString::fromStdString(files.front().name),
                  static_cast<int>(files.size()), sender_->Total());
    const QByteArray wire = ToCp936Bytes(text);
    CByteArrayVariant message(wire.constData(), static_cast<size_t>(wire.size()));
    hr = kernel->RequestPTPConnection(receiver_, OV_COMPONENT_FILE, 0, sender_->LocalIP(),
                                      sender_->LocalPort(), message.Variant(), &request_);
    if (FAILED(hr))
        app_.ReportComponentError(hr, "RequestPTPConnection", __FILE__, __LINE__);
    sender_->Offered();
    SetStatus(QStringLiteral("等待对方连入!"));
    Q_EMIT ProgressChanged();
    return true;
}

TransferProgress FileSendModel::Progress() const {
    TransferNumbers n;
    if (const transfer::OfferedFile* file = sender_->Current()) {
        n.fileName = QString::fromStdString(file->name);
        n.fileSize = file->size;
        n.fileDone =
            file->state == transfer::FileState::kDone ? file->size : sender_->CurrentPosition();
    }
    n.total = sender_->Total();
    n.done = sender_->Done();
    n.elapsedSeconds = sender_->Started() ? app_.Desktop().clock() - startTime_ : 0;
    return FormatProgress(n);
}

void FileSendModel::OnRequestPTPConnectionReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (nCmdSeqNum == request_ && request_ != 0)
        sender_->RequestAnswered(eError == OV_ERR_NONE);
}

void FileSendModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (nCmdSeqNum == request_ && request_ != 0)
        sender_->RequestAnswered(false);
}

void FileSendModel::OnSenderConnected() {
    startTime_ = app_.Desktop().clock();
    SetStatus(QStringLiteral("正在传送文件!"));
}

void FileSendModel::OnSenderProgress() {
    Q_EMIT ProgressChanged();
}

void FileSendModel::OnSenderClose() {
    Q_EMIT CloseWindow();
}

void FileSendModel::SetStatus(const QString& text) {
    status_ = text;
    Q_EMIT StatusChanged(text);
}

}  // namespace ov::shell
