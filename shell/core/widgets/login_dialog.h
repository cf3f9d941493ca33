// The login dialog: shows LoginDialogModel's state and forwards the person's choices to it.
// Modeless and deleted on close; OK, cancel and "register" each end it with their command.
//
//   auto* dialog = new LoginDialog(app);
//   dialog->show();
#pragma once

#include "shell/core/login_dialog_model.h"
#include "shell/skin/widgets/skin_form.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace ov::shell {

class OVShellApp;

class LoginDialog : public OVSkinForm {
    Q_OBJECT
public:
    explicit LoginDialog(OVShellApp& app, QWidget* parent = nullptr);
    ~LoginDialog() override;

protected:
    void OnApply() override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseUser(const QString& userName);
    void NameEdited(const QString& text);
    void ShowLevel(int level);
    void ShowPlaceholder(bool saved);
    void Ok();
    void Register();
    void FitSize();

    OVShellApp& app_;
    LoginDialogModel model_;
    QStringList knownUsers_;
    QComboBox* name_ = nullptr;
    QLineEdit* password_ = nullptr;
    QComboBox* status_ = nullptr;
    QSlider* level_ = nullptr;
    QFrame* levelBox_ = nullptr;
    QLabel* levelName_ = nullptr;
    QLabel* levelHint_ = nullptr;
    QLabel* levelText_ = nullptr;
    QCheckBox* pageroom_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* register_ = nullptr;
    // The password field holds the placeholder of a saved password, not typed text.
    bool placeholder_ = false;
    // Closed by OK or "register": no cancel to tell the frame.
    bool ended_ = false;
};

}  // namespace ov::shell
