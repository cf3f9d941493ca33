#include "shell/filetransfer/widgets/file_send_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/core/desktop/prompts.h"
#include "shell/core/shell_app.h"
#include "shell/filetransfer/file_send_model.h"
#include "shell/filetransfer/widgets/transfer_progress_view.h"

namespace ov::shell {

FileSendWindow::FileSendWindow(FileSendModel* model)
    : model_(model), progress_(new TransferProgressView(true)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("文件传输"));
    setAccessibleName(QStringLiteral("文件传输"));
    model_->setParent(this);

    auto* status = new QLabel(model_->Status());
    status->setAccessibleDescription(QStringLiteral("status"));
    QFont bold = status->font();
    bold.setBold(true);
    status->setFont(bold);
    auto* close = new QPushButton(QStringLiteral("关闭"));
    close->setAccessibleName(QStringLiteral("关闭"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(status);
    layout->addWidget(progress_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(model_, &FileSendModel::StatusChanged, status, &QLabel::setText);
    connect(model_, &FileSendModel::ProgressChanged, this, &FileSendWindow::Refresh);
    connect(model_, &FileSendModel::CloseWindow, this, &QWidget::close);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    progress_->Show(model_->Progress());
}

FileSendWindow* FileSendWindow::Open(OVShellApp& app, qint32 pin, const QStringList& paths) {
    QString error;
    std::optional<transfer::SenderSelection> selection = FileSendModel::Choose(paths, &error);
    if (!selection) {
        if (!error.isEmpty() && app.Desktop().prompts)
            app.Desktop().prompts->Message(error, QStringLiteral("Orvane提示"),
                                           Prompts::Icon::Warning);
        return nullptr;
    }
    auto* model = new FileSendModel(app, pin, std::move(*selection));
    if (!model->Start()) {
        delete model;
        return nullptr;
    }
    auto* window = new FileSendWindow(model);
    window->show();
    return window;
}

void FileSendWindow::Refresh() {
    progress_->ShowSoon([this] { return model_->Progress(); });
}

}  // namespace ov::shell
