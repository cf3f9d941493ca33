// The system settings dialog: three pages showing SystemSettingsModel's values; OK hands them
// to the model, which stores and saves them. One per application, modeless, deleted on close.
//
//   SystemSettingsDialog::Open(app);       // shows it, or raises the one already open
#pragma once

#include <QDialog>

#include "shell/core/system_settings_model.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace ov::shell {

class OVShellApp;

// "添加服务器": adds to the model's shown list on every "添加" and stays open until "退出".
class AddServerDialog : public QDialog {
    Q_OBJECT
public:
    AddServerDialog(SystemSettingsModel& model, QWidget* parent);

Q_SIGNALS:
    void Added();

private:
    void Add();

    SystemSettingsModel& model_;
    QLineEdit* host_ = nullptr;
    QLineEdit* port_ = nullptr;
};

class SystemSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Shows this application's dialog, creating it when none is open.
    static SystemSettingsDialog* Open(OVShellApp& app);

    explicit SystemSettingsDialog(OVShellApp& app, QWidget* parent = nullptr);
    ~SystemSettingsDialog() override;

    const SystemSettingsModel& Model() const { return model_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* GeneralPage();
    QWidget* NetworkPage();
    QWidget* ServersPage();
    void ShowServers(int selectRow);
    void ShowProxyEnabled();
    void MoveUp();
    void MoveDown();
    void Remove();
    void OpenAddServer();
    void Ok();

    OVShellApp& app_;
    SystemSettingsModel model_;
    QTabWidget* tabs_ = nullptr;
    // General.
    QCheckBox* notifyOnline_ = nullptr;
    QCheckBox* popUser_ = nullptr;
    QCheckBox* popSystem_ = nullptr;
    QCheckBox* leaveWordOn_ = nullptr;
    QLineEdit* leaveWord_ = nullptr;
    QCheckBox* autoRun_ = nullptr;
    QCheckBox* sound_ = nullptr;
    // Network.
    QComboBox* connType_ = nullptr;
    QCheckBox* firewall_ = nullptr;
    QLineEdit* proxy_ = nullptr;
    QLineEdit* proxyPort_ = nullptr;
    QLineEdit* proxyUser_ = nullptr;
    QLineEdit* proxyPassword_ = nullptr;
    QCheckBox* auth_ = nullptr;
    QCheckBox* sentTray_ = nullptr;
    QLineEdit* debuggingPort_ = nullptr;
    // Servers.
    QListWidget* servers_ = nullptr;
    QComboBox* network_ = nullptr;
    QCheckBox* autoGetList_ = nullptr;
    QCheckBox* autoFastest_ = nullptr;
    AddServerDialog* addServer_ = nullptr;
    // Closed by OK: no cancel to tell the frame.
    bool ended_ = false;
};

}  // namespace ov::shell
