// PageroomWindow: the user lists and group chats of a browser window's site and page, one
// shown at a time, with an edit box to talk in the shown one. A frameless tool window laid
// out against the browser window's bounds (left half, below the toolbars); it never takes
// the focus when shown. The decisions are PageroomWindowModel's.
//
//   auto* window = new PageroomWindow(app, gate);
//   window->SetBounds(browserBounds);
//   window->AddLine(kSiteView, line);
//   window->SetUsers(kPageView, users);
//   connect(window, &PageroomWindow::HideRequested, ...);
#pragma once

#include <QList>
#include <QRect>

#include "shell/pageroom/pageroom_display.h"
#include "shell/pageroom/pageroom_window_model.h"
#include "shell/skin/widgets/skin_form.h"

class OVSkinBitmapButton;
class OVSkinEdit;
class OVSkinListBox;
class QListWidgetItem;

namespace ov::shell {

class ChatView;
class OVShellApp;

// The lines of a chat as text, one a line: what a saved chat holds.
QString ChatText(const ChatView& view);

class PageroomWindow final : public OVSkinForm {
    Q_OBJECT
public:
    // sender: as PageroomWindowModel's (tests); by default the group's messenger messages.
    PageroomWindow(OVShellApp& app, PageroomSendGate& gate,
                   PageroomWindowModel::Sender sender = {});
    ~PageroomWindow() override;

    PageroomWindowModel& Model() { return model_; }
    ChatView& View(int view) const { return *views_[view == kPageView ? 1 : 0]; }
    OVSkinListBox& List(int view) const { return *lists_[view == kPageView ? 1 : 0]; }

    // The browser window's bounds on the screen; the window lays itself out when they change.
    void SetBounds(const QRect& bounds);
    const QRect& Bounds() const { return bounds_; }

    void AddLine(int view, const ChatLine& line);
    void SetLineKind(int view, qint64 key, ChatLineKind kind);
    void SetUsers(int view, const QList<PageroomUser>& users);
    void AddUser(int view, const PageroomUser& user);
    void RemoveUser(int view, qint32 pin);
    void UpdateUser(int view, const PageroomUser& user);
    void SetCaption(const QString& caption);
    void SetViewGroup(int view, OVGroupInfo* group);
    void SetMode(int mode);
    void SetPinned(bool pinned);

    // Sends what the edit box holds (the send button, Enter).
    void SendTyped();
    // The user of a list's row becomes the one talked to.
    void Target(int view, int row);
    // Asks where to save the shown chat, then saves it.
    void SaveChat();
    // Writes the shown chat to a file (in the code page of the program's text files).
    bool SaveChatTo(const QString& path) const;

Q_SIGNALS:
    // The user closed the window or chose to hide it.
    void HideRequested();
    void PinnedChanged(bool pinned);

protected:
    void OnApply() override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowMode();
    void PlaceViews();
    void SystemMenu();
    void UserMenu(int view, const QPoint& at);
    QListWidgetItem* ItemOf(int view, qint32 pin) const;
    void Fill(QListWidgetItem* item, const PageroomUser& user);

    OVShellApp& app_;
    PageroomWindowModel model_;
    OVSkinBitmapButton* system_ = nullptr;
    OVSkinBitmapButton* lock_ = nullptr;
    OVSkinBitmapButton* site_ = nullptr;
    OVSkinBitmapButton* url_ = nullptr;
    OVSkinBitmapButton* send_ = nullptr;
    OVSkinEdit* edit_ = nullptr;
    OVSkinListBox* lists_[2] = {nullptr, nullptr};
    ChatView* views_[2] = {nullptr, nullptr};
    QRect bounds_;
};

}  // namespace ov::shell
