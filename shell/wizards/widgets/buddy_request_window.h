// BuddyRequestWindow: "添加好友请求" - another user asks to add this user as a buddy. Shows
// the requester's face and name and the request's text, with "同意", "拒绝" and "发消息";
// the answer is BuddyRequestModel's. Modeless; deletes itself when closed.
//
//   BuddyRequestWindow::Open(app, item);   // a pending kPendingBuddyRequest; one per number
#pragma once

#include <QDialog>

#include "shell/wizards/buddy_request_model.h"

class QPushButton;

namespace ov::shell {

class OVShellApp;

class BuddyRequestWindow final : public QDialog {
    Q_OBJECT
public:
    BuddyRequestWindow(OVShellApp& app, const PendingItem& item, QWidget* parent = nullptr);
    ~BuddyRequestWindow() override;

    // Shows the window of the item's requester, creating it when none is open for that
    // number; a second request of the same user brings the open window to the front.
    static BuddyRequestWindow* Open(OVShellApp& app, const PendingItem& item);
    // The application's open window for a requester, null when none.
    static BuddyRequestWindow* Find(OVShellApp& app, qint32 pin);

    BuddyRequestModel& Model() { return model_; }

    // Escape closes the window as its close box does.
    void reject() override { close(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowButtons();

    OVShellApp& app_;
    BuddyRequestModel model_;
    bool closing_ = false;
    QPushButton* accept_ = nullptr;
    QPushButton* refuse_ = nullptr;
    QPushButton* message_ = nullptr;
};

}  // namespace ov::shell
