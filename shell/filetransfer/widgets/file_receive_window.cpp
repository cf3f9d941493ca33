#include "shell/filetransfer/widgets/file_receive_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "shell/core/desktop/shell_windows.h"
#include "shell/core/shell_app.h"
#include "shell/core/widgets/face_icon.h"
#include "shell/filetransfer/file_receive_model.h"
#include "shell/filetransfer/widgets/file_exists_dialog.h"
#include "shell/filetransfer/widgets/transfer_progress_view.h"

namespace ov::shell {
namespace {

constexpr int kTipShownMs = 50000;

QPushButton* Button(const QString& text) {
    auto* button = new QPushButton(text);
    button->setAccessibleName(text);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

FileReceiveWindow::FileReceiveWindow(OVShellApp& app, FileReceiveModel* model)
    : app_(app),
      model_(model),
      icon_(new QToolButton),
      path_(new QLineEdit(model->Settings().RecvFilePath)),
      browse_(Button(QStringLiteral("..."))),
      receive_(Button(QStringLiteral("接收"))),
      openFolder_(Button(QStringLiteral("打开文件夹"))),
      openFile_(Button(QStringLiteral("打开"))),
      autoClose_(new QCheckBox(QStringLiteral("传输结束后关闭该窗口"))),
      progress_(new TransferProgressView(false)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("文件接收"));
    setAccessibleName(QStringLiteral("文件接收"));
    model_->setParent(this);

    icon_->setAccessibleName(QStringLiteral("获取对方详细信息"));
    icon_->setToolTip(QStringLiteral("获取对方详细信息"));
    icon_->setIconSize(QSize(32, 32));
    icon_->setAutoRaise(true);
    path_->setAccessibleName(QStringLiteral("接收文件的文件名及目录"));
    path_->setToolTip(QStringLiteral("接收文件的文件名及目录"));
    browse_->setToolTip(QStringLiteral("浏览\n选择文件保存的\n目录及文件名"));
    browse_->setFixedWidth(32);
    for (QWidget* w : {static_cast<QWidget*>(icon_), static_cast<QWidget*>(path_),
                       static_cast<QWidget*>(browse_)})
        w->installEventFilter(this);
    autoClose_->setAccessibleName(autoClose_->text());
    autoClose_->setChecked(model_->Settings().bAutoClose != 0);
    receive_->setDefault(true);
    openFolder_->setEnabled(false);
    openFile_->setEnabled(false);
    auto* close = Button(QStringLiteral("关闭"));

    auto* from = new QGroupBox(QStringLiteral("来自"));
    auto* text = new QLabel(model_->Text());
    text->setWordWrap(true);
    text->setAccessibleDescription(QStringLiteral("offer"));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* fromLayout = new QHBoxLayout(from);
    fromLayout->addWidget(icon_, 0, Qt::AlignTop);
    fromLayout->addWidget(text, 1);

    auto* status = new QLabel;
    status->setAccessibleDescription(QStringLiteral("status"));
    status->setWordWrap(true);
    status->setStyleSheet(QStringLiteral("color: #b03020;"));

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_, 1);
    pathRow->addWidget(browse_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(openFolder_);
    buttons->addWidget(openFile_);
    buttons->addStretch();
    buttons->addWidget(receive_);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(from);
    layout->addLayout(pathRow);
    layout->addWidget(progress_);
    layout->addWidget(status);
    layout->addWidget(autoClose_);
    layout->addLayout(buttons);
    setMinimumWidth(440);
    move(model_->Settings().pos_X, model_->Settings().pos_Y);

    connect(receive_, &QPushButton::clicked, this, &FileReceiveWindow::Receive);
    connect(browse_, &QPushButton::clicked, this, &FileReceiveWindow::Browse);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(openFolder_, &QPushButton::clicked, model_, &FileReceiveModel::OpenFolder);
    connect(openFile_, &QPushButton::clicked, model_, &FileReceiveModel::OpenFile);
    connect(icon_, &QToolButton::clicked, this, [this] {
        if (ShellWindows* windows = app_.Desktop().windows)
            windows->OpenUserInfo(model_->Sender(), QString());
    });
    status->hide();  // until something goes wrong
    connect(model_, &FileReceiveModel::StatusChanged, status, [status](const QString& text) {
        status->setText(text);
        status->setVisible(!text.isEmpty());
    });
    connect(model_, &FileReceiveModel::ProgressChanged, this, &FileReceiveWindow::Refresh);
    connect(model_, &FileReceiveModel::FileExists, this, &FileReceiveWindow::AskExists);
    connect(model_, &FileReceiveModel::SenderIconChanged, this, &FileReceiveWindow::ShowSenderIcon);
    connect(model_, &FileReceiveModel::Finished, this, [this](bool canOpenFile) {
        openFolder_->setEnabled(true);
        openFile_->setEnabled(canOpenFile);
    });
    connect(model_, &FileReceiveModel::CloseWindow, this, &QWidget::close);
    ShowSenderIcon();
    progress_->Show(model_->Progress());
}

FileReceiveWindow* FileReceiveWindow::Open(OVShellApp& app, const PendingItem& item) {
    auto* model = new FileReceiveModel(app, item.nNumber, item.value1, item.value2, item.text);
    model->Initialize();
    auto* window = new FileReceiveWindow(app, model);
    window->show();
    return window;
}

bool FileReceiveWindow::eventFilter(QObject* watched, QEvent* event) {
    // These tips stay for 50 seconds: the browse button's runs over three lines.
    if (event->type() == QEvent::ToolTip) {
        auto* widget = static_cast<QWidget*>(watched);
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), widget->toolTip(), widget,
                           QRect(), kTipShownMs);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FileReceiveWindow::closeEvent(QCloseEvent* event) {
    model_->SaveSettings(pos(), path_->text(), autoClose_->isChecked());
    model_->Cancel();
    QWidget::closeEvent(event);
}

void FileReceiveWindow::Receive() {
    if (!model_->Receive(path_->text(), autoClose_->isChecked()))
        return;
    path_->setEnabled(false);
    browse_->setEnabled(false);
    receive_->setEnabled(false);
}

void FileReceiveWindow::Browse() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("请选择接收文件的目录:"), path_->text());
    if (!folder.isEmpty())
        path_->setText(QDir::toNativeSeparators(folder));
}

void FileReceiveWindow::AskExists(const QString& name) {
    auto* dialog = new FileExistsDialog(
        name,
        [this](transfer::ExistsChoice choice) {
            if (choice == transfer::ExistsChoice::kRename)
                QMetaObject::invokeMethod(this, &FileReceiveWindow::Rename, Qt::QueuedConnection);
            else
                model_->Resolve(choice);
        },
        this);
    dialog->show();
}

void FileReceiveWindow::Rename() {
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), model_->ExistingPath());
    if (chosen.isEmpty())
        model_->Resolve(transfer::ExistsChoice::kSkip);
    else
        model_->Resolve(transfer::ExistsChoice::kRename, chosen);
}

void FileReceiveWindow::Refresh() {
    progress_->ShowSoon([this] { return model_->Progress(); });
}

void FileReceiveWindow::ShowSenderIcon() {
    icon_->setIcon(QIcon(FaceIcon(app_, model_->SenderIcon(), 32)));
}

}  // namespace ov::shell
