// ChatWindow: the private chat window with one user - the lines (ChatView), the edit with its
// 400-byte limit, the status line, "发送", "同意" and "拒绝" for an incoming request, and
// "关闭". The logic is ChatSession's; the window keeps its rectangle in rectPrivateChatWnd.
// One window per user and application; it deletes itself when closed.
//
//   ChatWindow::Open(app, pin);               // from the buddy list: opens or raises
//   ChatWindow::OpenRequest(app, item);       // a pending kPendingChatRequest: offers it
//   if (ChatWindow::IsOpenWith(app, pin)) ... // the window itself takes that peer's requests
//   ChatWindow::CloseAll(app);                // at logout and exit
#pragma once

#include <QWidget>

#include "shell/messaging/chat_session.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ov::shell {

class ChatView;
class OVShellApp;
struct PendingItem;

class ChatWindow final : public QWidget {
    Q_OBJECT
public:
    ChatWindow(OVShellApp& app, qint32 pin, QWidget* parent = nullptr);
    ~ChatWindow() override;

    // Shows the window of that user, creating it unconnected when none is open.
    static ChatWindow* Open(OVShellApp& app, qint32 pin);
    // The window of the item's user (nNumber), showing its request (text, number in value1)
    // with the choice to accept or refuse it.
    static ChatWindow* OpenRequest(OVShellApp& app, const PendingItem& item);
    static bool IsOpenWith(const OVShellApp& app, qint32 pin);
    // The application's open window with a user, null when none.
    static ChatWindow* Find(const OVShellApp& app, qint32 pin);
    // The program ends (or the user logs out): every window closes without a question, each
    // telling its peer.
    static void CloseAll(const OVShellApp& app);

    ChatSession& Session() { return session_; }
    ChatView& View() { return *view_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EditChanged();
    void SendTyped();
    void ShowState();

    OVShellApp& app_;
    ChatSession session_;
    ChatView* view_ = nullptr;
    QPlainTextEdit* edit_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* accept_ = nullptr;
    QPushButton* refuse_ = nullptr;
    QPushButton* close_ = nullptr;
    bool cutting_ = false;
    bool asking_ = true;  // the close asks when connected
};

}  // namespace ov::shell
