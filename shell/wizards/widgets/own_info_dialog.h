// OwnInfoDialog: the window "修改个人资料" - the four pages of the logged-in user's
// information, a status line, and the buttons "修改资料", "获取资料" and "关闭". What is
// fetched, compared and sent is OwnInfoModel's. Modeless; deletes itself when closed; its end
// (any close) posts ID_FUNCTION_CHANGE_USER_INFO_FINISHED to the frame.
//
//   OwnInfoDialog::Open(app);     // the frame's ID_FUNCTION_CHANGE_USER_INFO: one at a time
#pragma once

#include <QDialog>

#include "shell/wizards/own_info_model.h"

class QLabel;
class QPushButton;

namespace ov::shell {

class OVShellApp;
class UserInfoPages;

class OwnInfoDialog final : public QDialog {
    Q_OBJECT
public:
    explicit OwnInfoDialog(OVShellApp& app, QWidget* parent = nullptr);
    ~OwnInfoDialog() override;

    // Shows the application's dialog, creating it (and fetching) when none is open.
    static OwnInfoDialog* Open(OVShellApp& app);

    OwnInfoModel& Model() { return model_; }

    void reject() override;  // Escape closes

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowReference();
    void UpdateButtons();

    OwnInfoModel model_;
    UserInfoPages* pages_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* update_ = nullptr;
    QPushButton* fetch_ = nullptr;
    QPushButton* close_ = nullptr;
    bool closing_ = false;
};

}  // namespace ov::shell
