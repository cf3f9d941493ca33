// The Starshelf window: the main window a person sees after logging in. At the top the face
// picture, the name-and-status line and the status button; in the middle the area of the
// buddy tree; at the bottom the main menu. Closing it only hides it: the program keeps
// running in the tray.
//
//   StarshelfWindow window(app);             // hidden, titled "Orvane(未登录)"
//   window.SetTitle("alice(在线)");
//   window.SetStatusIcon("sStatusOnline");
//   window.ShowTreeProgress(true);           // "正在获取好友列表……" above the tree
#pragma once

#include "shell/skin/widgets/skin_form.h"

class QLabel;
class QMenu;
class QToolButton;

namespace ov::shell {

class BuddyListView;
class SearchBox;
class OVShellApp;

class StarshelfWindow : public OVSkinForm {
    Q_OBJECT
public:
    explicit StarshelfWindow(OVShellApp& app, QWidget* parent = nullptr);
    ~StarshelfWindow() override;

    // The window title and the name-and-status line.
    void SetTitle(const QString& title);
    // A key of the skin's Icons.Tray section; empty for the program's own icon.
    void SetStatusIcon(const QString& trayIconKey);
    // Where the buddy tree stands: the search box, the busy line and the tree.
    QWidget* BuddyArea() const { return buddyArea_; }
    BuddyListView* BuddyList() const { return buddyList_; }
    // The busy line above the tree while the buddy tree downloads.
    void ShowTreeProgress(bool show);

protected:
    void OnApply() override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The layout inside the skin's client area, and the icon of the skin's status.
    void Fit();
    void ShowStatusIcon();

    OVShellApp& app_;
    QString statusIconKey_;
    QLabel* name_ = nullptr;
    QToolButton* status_ = nullptr;
    QToolButton* mainMenu_ = nullptr;
    QWidget* buddyArea_ = nullptr;
    SearchBox* search_ = nullptr;
    QWidget* progress_ = nullptr;
    BuddyListView* buddyList_ = nullptr;
    QMenu* statusMenu_ = nullptr;
    QMenu* menu_ = nullptr;
};

}  // namespace ov::shell
