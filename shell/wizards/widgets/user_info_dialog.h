// UserInfoDialog: the window "用户信息" - another user's information on the four pages,
// read-only, a status line, and the buttons "获取资料", "加为好友" and "关闭". Fetching and
// the add-buddy wizard are UserInfoModel's. Modeless; deletes itself when closed.
//
//   UserInfoDialog::Open(app, pin, name);   // ShellWindows::OpenUserInfo: one per user
#pragma once

#include <QDialog>

#include "shell/wizards/user_info_model.h"

class QLabel;
class QPushButton;

namespace ov::shell {

class OVShellApp;
class UserInfoPages;

class UserInfoDialog final : public QDialog {
    Q_OBJECT
public:
    UserInfoDialog(OVShellApp& app, qint32 pin, const QString& userName, QWidget* parent = nullptr);
    ~UserInfoDialog() override;

    // The dialog for this user: the open one (same login name or same non-zero PIN) brought
    // to the front, else a new one that fetches. Null when the user's dialog may not open
    // (UserInfoModel::MayOpen).
    static UserInfoDialog* Open(OVShellApp& app, qint32 pin, const QString& userName);

    UserInfoModel& Model() { return model_; }

    void reject() override;  // Escape closes

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowInfo();
    void UpdateButtons();

    UserInfoModel model_;
    UserInfoPages* pages_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* fetch_ = nullptr;
    QPushButton* addBuddy_ = nullptr;
    QPushButton* close_ = nullptr;
    bool closing_ = false;
};

}  // namespace ov::shell
