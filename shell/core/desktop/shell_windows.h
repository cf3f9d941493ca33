// The windows the hidden frame opens, shows and titles. The program implements it with its
// widgets; tests record what was asked. Windows that later parts of the program bring are
// asked for here as well; until they exist the program answers that they are not available.
#pragma once

#include <QRect>
#include <QString>

#include "shell/core/pending_item_queue.h"

namespace ov::shell {

// Where the Starshelf bar and window stand and whether they are shown.
struct StarshelfPlacement {
    QRect bar;
    bool barShowing = false;
    QRect window;
    bool windowShowing = false;
};

class ShellWindows {
public:
    virtual ~ShellWindows() = default;

    // Dialogs and wizards chosen by commands. Each returns false when the window is not
    // available in this program (the command is then refused).
    virtual bool OpenLoginDialog() = 0;
    virtual bool OpenRegistrationWizard() = 0;
    virtual bool OpenWindow(int command) = 0;  // any other command's window
    // Whether the window of a command exists in this program (menus grey out the others).
    virtual bool CanOpen(int /*command*/) const { return true; }

    // Windows about one user. Each returns false when the window is not available.
    // Another user's information ("用户信息"), given by number, by name or both.
    virtual bool OpenUserInfo(qint32 /*pin*/, const QString& /*userName*/) { return false; }
    // The add-buddy wizard: on its welcome page when pin is 0, else for that user.
    virtual bool OpenAddBuddy(qint32 /*pin*/, const QString& /*userName*/, qint32 /*icon*/) {
        return false;
    }

    // Messages and chat with one user; each returns false when the window is not available.
    virtual bool OpenSendMessage(qint32 /*pin*/) { return false; }
    virtual bool OpenChat(qint32 /*pin*/) { return false; }
    // The message manager, with that user's messages shown (0: none chosen).
    virtual bool OpenMessageManager(qint32 /*pin*/) { return false; }
    // The files to send to a user: the tip, the file choice, then the send window.
    virtual bool OpenFileTransfer(qint32 /*pin*/) { return false; }
    // Whether a chat window with the user is open: it then answers the user's chat requests
    // itself.
    virtual bool ChatOpenWith(qint32 /*pin*/) const { return false; }

    // The main (Starshelf) window and bar.
    virtual void PlaceStarshelf(const StarshelfPlacement& placement) = 0;
    virtual StarshelfPlacement StarshelfNow() const = 0;
    virtual void HideStarshelf() = 0;
    virtual void ActivateMainWindow() = 0;
    virtual void SetMainTitle(const QString& title) = 0;
    // The buddy tree is being downloaded after a login (shown) or has arrived (hidden).
    virtual void ShowTreeProgress(bool /*show*/) {}
    // A web page inside the Starshelf window (the first login's home page).
    virtual void ShowHomePage(const QString& url) = 0;

    // Opens what a pending item stands for (receive window, chat, request, file offer).
    virtual void OpenPendingItem(const PendingItem& item) = 0;
};

}  // namespace ov::shell
