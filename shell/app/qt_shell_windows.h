// The windows the hidden frame asks for, with Qt: the login dialog and the registration
// wizard (one of each at a time), the main (Starshelf) window, the about box. Windows that
// later parts of the program bring are reported as not available, so menus grey them out.
#pragma once

#include <QPointer>
#include <memory>

#include "shell/core/desktop/shell_windows.h"

namespace ov::shell {

class OVShellApp;
class LoginDialog;
class RegistrationWizard;
class StarshelfWindow;

class QtShellWindows final : public ShellWindows {
public:
    QtShellWindows();
    ~QtShellWindows() override;

    // Binds the windows to the application object; creates the main window, hidden.
    void Attach(OVShellApp& app);
    StarshelfWindow* Starshelf() const { return starshelf_.get(); }
    // Closes every window (the program ends).
    void CloseAll();

    bool OpenLoginDialog() override;
    bool OpenRegistrationWizard() override;
    bool OpenWindow(int command) override;
    bool CanOpen(int command) const override;
    bool OpenUserInfo(qint32 pin, const QString& userName) override;
    bool OpenAddBuddy(qint32 pin, const QString& userName, qint32 icon) override;
    bool OpenSendMessage(qint32 pin) override;
    bool OpenChat(qint32 pin) override;
    bool OpenMessageManager(qint32 pin) override;
    bool OpenFileTransfer(qint32 pin) override;
    bool ChatOpenWith(qint32 pin) const override;
    void PlaceStarshelf(const StarshelfPlacement& placement) override;
    StarshelfPlacement StarshelfNow() const override;
    void HideStarshelf() override;
    void ActivateMainWindow() override;
    void SetMainTitle(const QString& title) override;
    void ShowHomePage(const QString& url) override;
    void ShowTreeProgress(bool show) override;
    void OpenPendingItem(const PendingItem& item) override;

private:
    OVShellApp* app_ = nullptr;
    std::unique_ptr<StarshelfWindow> starshelf_;
    QPointer<LoginDialog> login_;
    QPointer<RegistrationWizard> wizard_;
};

}  // namespace ov::shell
