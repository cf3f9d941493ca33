#include "shell/app/qt_shell_windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "shell/core/buddy_list_model.h"
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"
#include "shell/core/widgets/login_dialog.h"
#include "shell/core/widgets/starshelf_window.h"
#include "shell/core/widgets/system_settings_dialog.h"
#include "shell/filetransfer/widgets/file_receive_window.h"
#include "shell/filetransfer/widgets/file_send_window.h"
#include "shell/messaging/widgets/chat_window.h"
#include "shell/messaging/widgets/message_manager_window.h"
#include "shell/messaging/widgets/receive_message_window.h"
#include "shell/messaging/widgets/send_message_window.h"
#include "shell/wizards/widgets/add_buddy_wizard.h"
#include "shell/wizards/widgets/buddy_request_window.h"
#include "shell/wizards/widgets/change_password_wizard.h"
#include "shell/wizards/widgets/own_info_dialog.h"
#include "shell/wizards/widgets/registration_wizard.h"
#include "shell/wizards/widgets/user_info_dialog.h"
#include "shell/wizards/widgets/user_search_wizard.h"

namespace ov::shell {

namespace {

void Raise(QWidget* w) {
    if (w->isMinimized())
        w->showNormal();
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace

QtShellWindows::QtShellWindows() = default;

QtShellWindows::~QtShellWindows() {
    CloseAll();
}

void QtShellWindows::Attach(OVShellApp& app) {
    app_ = &app;
    starshelf_ = std::make_unique<StarshelfWindow>(app);
}

void QtShellWindows::CloseAll() {
    // Each chat tells its peer it ends.
    if (app_)
        ChatWindow::CloseAll(*app_);
    // Transfers end with the program: their sockets close before the components go, and a
    // receive window keeps its folder and corner.
    QList<QPointer<QWidget>> transfers;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<FileSendWindow*>(w) || qobject_cast<FileReceiveWindow*>(w))
            transfers << w;
    for (const QPointer<QWidget>& window : transfers) {
        if (window)
            window->close();
        delete window.data();
    }
    if (login_)
        delete login_.data();
    if (wizard_)
        delete wizard_.data();
    starshelf_.reset();
}

bool QtShellWindows::OpenLoginDialog() {
    if (!app_)
        return false;
    if (!login_)
        login_ = new LoginDialog(*app_);
    Raise(login_);
    return true;
}

bool QtShellWindows::OpenRegistrationWizard() {
    if (!app_)
        return false;
    wizard_ = RegistrationWizard::Open(*app_);
    return wizard_ != nullptr;
}

bool QtShellWindows::CanOpen(int command) const {
    return command == ID_APP_ABOUT || command == ID_FUNCTION_CHANGE_PASSWORD ||
           command == ID_FUNCTION_SYSTEM_CONFIG || command == ID_FUNCTION_SEARCH_USER ||
           command == ID_FUNCTION_SEARCH_USER_BY_STRING ||
           command == ID_FUNCTION_CHANGE_USER_INFO || command == ID_FUNCTION_MESSAGE_MANAGER ||
           command == kSendMessageCommand || command == BuddyListModel::kCmdChat ||
           command == BuddyListModel::kCmdMessageManager || command == BuddyListModel::kCmdSendFile;
}

bool QtShellWindows::OpenWindow(int command) {
    if (command == ID_FUNCTION_CHANGE_PASSWORD && app_)
        return ChangePasswordWizard::Open(*app_) != nullptr;
    if (command == ID_FUNCTION_SYSTEM_CONFIG && app_)
        return SystemSettingsDialog::Open(*app_) != nullptr;
    if (command == ID_FUNCTION_CHANGE_USER_INFO && app_)
        return OwnInfoDialog::Open(*app_) != nullptr;
    if (command == ID_FUNCTION_MESSAGE_MANAGER && app_)
        return MessageManagerWindow::Open(*app_) != nullptr;
    if (command == ID_FUNCTION_SEARCH_USER && app_)
        return UserSearchWizard::Open(*app_) != nullptr;
    if (command == ID_FUNCTION_SEARCH_USER_BY_STRING && app_)
        return UserSearchWizard::OpenWithText(*app_, app_->UserSearchText()) != nullptr;
    if (command != ID_APP_ABOUT)
        return false;
    QMessageBox box(
        QMessageBox::Information, QStringLiteral("关于Orvane"),
        QStringLiteral("Orvane %1\n\n即时通讯客户端").arg(QApplication::applicationVersion()),
        QMessageBox::NoButton, QApplication::activeWindow());
    box.setAccessibleName(QStringLiteral("关于Orvane"));
    box.setWindowIcon(QApplication::windowIcon());
    box.setIconPixmap(QApplication::windowIcon().pixmap(48, 48));
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole)
        ->setAccessibleName(QStringLiteral("确定"));
    box.exec();
    if (app_ && app_->Frame())
        app_->Frame()->PostCommand(ID_FUNCTION_ABOUT_CLOSED);
    return true;
}

bool QtShellWindows::OpenAddBuddy(qint32 pin, const QString& userName, qint32 icon) {
    if (!app_)
        return false;
    AddBuddyWizard::Open(*app_, pin, userName, icon);  // none for a number no user has
    return true;
}

bool QtShellWindows::OpenUserInfo(qint32 pin, const QString& userName) {
    return app_ && UserInfoDialog::Open(*app_, pin, userName) != nullptr;
}

void QtShellWindows::ShowTreeProgress(bool show) {
    if (starshelf_)
        starshelf_->ShowTreeProgress(show);
}

void QtShellWindows::PlaceStarshelf(const StarshelfPlacement& placement) {
    if (!starshelf_)
        return;
    if (placement.window.isValid())
        starshelf_->setGeometry(placement.window);
    // The bar's strip is the top of this window: it stands when either is wanted.
    if (placement.windowShowing || placement.barShowing)
        Raise(starshelf_.get());
    else
        starshelf_->hide();
}

StarshelfPlacement QtShellWindows::StarshelfNow() const {
    StarshelfPlacement now;
    if (!starshelf_)
        return now;
    now.window = starshelf_->geometry();
    now.windowShowing = starshelf_->isVisible();
    now.barShowing = now.windowShowing;
    return now;
}

void QtShellWindows::HideStarshelf() {
    if (starshelf_)
        starshelf_->hide();
}

void QtShellWindows::ActivateMainWindow() {
    // What a person last worked with comes forward: a dialog in progress, else the main
    // window of a logged-in user, else the login dialog.
    if (wizard_) {
        Raise(wizard_);
        return;
    }
    if (login_) {
        Raise(login_);
        return;
    }
    CHiddenFrame* frame = app_ ? app_->Frame() : nullptr;
    if (starshelf_ && frame &&
        (frame->LoggedInToServer() || frame->LoggedInLocally() || frame->LoggingIn())) {
        Raise(starshelf_.get());
        return;
    }
    if (frame)
        frame->PostCommand(ID_FUNCTION_RELOGIN);
}

void QtShellWindows::SetMainTitle(const QString& title) {
    if (starshelf_)
        starshelf_->SetTitle(title);
}

void QtShellWindows::ShowHomePage(const QString&) {
    // The main window holds no web view; the home page stays one menu entry away
    // ("访问Orvane网站") rather than opening a browser unasked at the first login.
}

bool QtShellWindows::OpenSendMessage(qint32 pin) {
    if (!app_ || pin == 0)
        return false;
    SendMessageWindow::Open(*app_, pin);
    return true;
}

bool QtShellWindows::OpenChat(qint32 pin) {
    if (!app_ || pin == 0)
        return false;
    ChatWindow::Open(*app_, pin);
    return true;
}

bool QtShellWindows::OpenMessageManager(qint32 pin) {
    return app_ && MessageManagerWindow::Open(*app_, pin) != nullptr;
}

bool QtShellWindows::ChatOpenWith(qint32 pin) const {
    return app_ && ChatWindow::IsOpenWith(*app_, pin);
}

bool QtShellWindows::OpenFileTransfer(qint32 pin) {
    if (!app_ || pin == 0)
        return false;
    UserSettings& settings = app_->Settings();
    if (settings.bFileTransfAllowHelp) {
        QMessageBox tip(QMessageBox::Information, QStringLiteral("Orvane提示"),
                        QStringLiteral("你可以将一个或多个文件传递给你的网友,当然是在网友同意接受的"
                                       "条件下。"),
                        QMessageBox::Ok);
        auto* never = new QCheckBox(QStringLiteral("下一次不提示"));
        never->setAccessibleName(never->text());
        tip.setCheckBox(never);
        tip.exec();
        if (never->isChecked()) {
            settings.bFileTransfAllowHelp = false;
            settings.Save();
        }
    }
    const QStringList paths = QFileDialog::getOpenFileNames(nullptr, QStringLiteral("传输文件"));
    if (paths.isEmpty())
        return false;
    return FileSendWindow::Open(*app_, pin, paths) != nullptr;
}

void QtShellWindows::OpenPendingItem(const PendingItem& item) {
    if (!app_ || !app_->Frame())
        return;
    if (item.nKind == kPendingFileOffer) {
        FileReceiveWindow::Open(*app_, item);
        return;
    }
    if (item.nKind == kPendingBuddyRequest) {
        BuddyRequestWindow::Open(*app_, item);
        return;
    }
    if (item.nKind == kPendingMessage) {
        ReceiveMessageWindow::Open(*app_, item);
        return;
    }
    if (item.nKind == kPendingChatRequest) {
        ChatWindow::OpenRequest(*app_, item);
        return;
    }
    // Anything else taken from the queue is at least shown, with what it says, rather than
    // dropped unseen.
    QString text = app_->Frame()->Announce(item).tip.trimmed();
    const QString said = item.nKind == kPendingMessage ? item.message.sText : item.text;
    if (!said.isEmpty())
        text += QStringLiteral("\n\n") + said;
    app_->Desktop().prompts->Message(text, QStringLiteral("Orvane提示"),
                                     Prompts::Icon::Information);
}

}  // namespace ov::shell
