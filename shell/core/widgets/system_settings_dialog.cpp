#include "shell/core/widgets/system_settings_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>

#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A label as assistive technology reads it: no "(&X)" or "&" accelerator, no trailing colon.
QString Spoken(const QString& label) {
    QString s = label;
    s.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    s.remove(QLatin1Char('&'));
    while (s.endsWith(QLatin1Char(':')) || s.endsWith(QChar(0xFF1A)))
        s.chop(1);
    return s.trimmed();
}

QCheckBox* Check(const char* text, bool checked) {
    auto* box = new QCheckBox(Text(text));
    box->setAccessibleName(Spoken(box->text()));
    box->setChecked(checked);
    return box;
}

QPushButton* Button(const char* text) {
    auto* button = new QPushButton(Text(text));
    button->setAccessibleName(Spoken(button->text()));
    button->setAutoDefault(false);
    return button;
}

QLabel* Label(const char* text, QWidget* buddy) {
    auto* label = new QLabel(Text(text));
    label->setBuddy(buddy);
    buddy->setAccessibleName(Spoken(label->text()));
    return label;
}

QLineEdit* PortEdit(int port) {
    auto* edit = new QLineEdit(QString::number(port));
    edit->setValidator(new QIntValidator(0, 65535, edit));
    edit->setMaxLength(5);
    return edit;
}

// What a port field holds; 0 (refused by the checks) when it is empty.
int PortOf(const QLineEdit* edit) {
    return edit->text().toInt();
}

QHash<OVShellApp*, SystemSettingsDialog*>& OpenDialogs() {
    static QHash<OVShellApp*, SystemSettingsDialog*> dialogs;
    return dialogs;
}

}  // namespace

AddServerDialog::AddServerDialog(SystemSettingsModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(Text("添加服务器"));
    setAccessibleName(windowTitle());
    host_ = new QLineEdit;
    port_ = PortEdit(kDefaultGatewayPort);
    auto* add = Button("添加");
    add->setDefault(true);
    auto* quit = Button("退出");

    auto* fields = new QFormLayout;
    fields->addRow(Label("服务器地址：", host_), host_);
    fields->addRow(Label("服务器端口：", port_), port_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add);
    buttons->addWidget(quit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, &AddServerDialog::Add);
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
}

void AddServerDialog::Add() {
    if (!model_.AddServer(host_->text(), PortOf(port_))) {
        (host_->text().trimmed().isEmpty() ? host_ : port_)->setFocus();
        return;
    }
    host_->clear();
    port_->setText(QString::number(kDefaultGatewayPort));
    host_->setFocus();
    Q_EMIT Added();
}

SystemSettingsDialog* SystemSettingsDialog::Open(OVShellApp& app) {
    SystemSettingsDialog*& dialog = OpenDialogs()[&app];
    if (!dialog)
        dialog = new SystemSettingsDialog(app);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

SystemSettingsDialog::SystemSettingsDialog(OVShellApp& app, QWidget* parent)
    : QDialog(parent), app_(app), model_(app) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text("系统设置"));
    setAccessibleName(windowTitle());

    tabs_ = new QTabWidget;
    tabs_->setAccessibleName(windowTitle());
    tabs_->addTab(GeneralPage(), Text("常规"));
    tabs_->addTab(NetworkPage(), Text("网络"));
    tabs_->addTab(ServersPage(), Text("服务器"));

    auto* ok = Button("确定");
    ok->setDefault(true);
    auto* cancel = Button("取消");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &SystemSettingsDialog::Ok);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
}

SystemSettingsDialog::~SystemSettingsDialog() {
    auto& dialogs = OpenDialogs();
    auto it = dialogs.find(&app_);
    if (it != dialogs.end() && it.value() == this)
        dialogs.erase(it);
}

QWidget* SystemSettingsDialog::GeneralPage() {
    notifyOnline_ = Check("好友上线通知(&N)", model_.notifyFriendOnline);
    popUser_ = Check("自动弹出用户短消息窗口(&A)", model_.autoPopUserMessage);
    popSystem_ = Check("自动弹系统短消息窗口(&S)", model_.autoPopSystemMessage);
    leaveWordOn_ = Check("启用离开状态下的自动留言", model_.leaveWordWhenAway);
    leaveWord_ = new QLineEdit(model_.leaveWord);
    // The box above is the message's label.
    leaveWord_->setAccessibleName(leaveWordOn_->accessibleName());
    autoRun_ = Check("Windows系统启动后，自动运行Orvane", model_.autoRun);
    sound_ = Check("打开提示声音", model_.notifySound);

    // Without a user there are no user settings to edit.
    const bool user = model_.UserLoaded();
    for (QWidget* w : {static_cast<QWidget*>(notifyOnline_), static_cast<QWidget*>(popUser_),
                       static_cast<QWidget*>(popSystem_), static_cast<QWidget*>(leaveWordOn_),
                       static_cast<QWidget*>(leaveWord_), static_cast<QWidget*>(sound_)})
        w->setEnabled(user);
    leaveWord_->setEnabled(user && leaveWordOn_->isChecked());
    connect(leaveWordOn_, &QCheckBox::toggled, leaveWord_, &QWidget::setEnabled);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(notifyOnline_);
    layout->addWidget(popUser_);
    layout->addWidget(popSystem_);
    layout->addWidget(leaveWordOn_);
    layout->addWidget(leaveWord_);
    layout->addWidget(autoRun_);
    layout->addWidget(sound_);
    layout->addStretch(1);
    return page;
}

QWidget* SystemSettingsDialog::NetworkPage() {
    connType_ = new QComboBox;
    connType_->addItems({Text("局域网接入"), Text("拨号上网")});
    connType_->setCurrentIndex(model_.inetConnType == 0 ? 0 : 1);
    firewall_ = Check("通过 SOCKS5 代理服务器（防火墙）访问Internet", model_.viaFirewall);
    proxy_ = new QLineEdit(model_.proxy);
    proxyPort_ = PortEdit(model_.proxyPort);
    proxyUser_ = new QLineEdit(model_.proxyUserName);
    proxyPassword_ = new QLineEdit(model_.proxyPassword);
    proxyPassword_->setEchoMode(QLineEdit::Password);
    auth_ = Check("需要用户名和密码验证", model_.needAuthentication);
    sentTray_ = Check("登录后，在任务栏显示数据传输指示图标", model_.showSentTray);
    debuggingPort_ = PortEdit(model_.debuggingPort);
    QPushButton* startBrowser = Button("启动Pageroom浏览器");
    connect(startBrowser, &QPushButton::clicked, this, [this] { model_.StartPageroomBrowser(); });
    // Pageroom follows the browser whose DevTools endpoint listens on this port.
    auto* browserRow = new QHBoxLayout;
    browserRow->addWidget(Label("Pageroom浏览器调试端口：", debuggingPort_));
    browserRow->addWidget(debuggingPort_);
    browserRow->addWidget(startBrowser);
    browserRow->addStretch(1);

    auto* connRow = new QHBoxLayout;
    connRow->addWidget(Label("上网类型(&I):", connType_));
    connRow->addWidget(connType_, 1);

    auto* proxyFields = new QFormLayout;
    proxyFields->addRow(Label("服务器地址：", proxy_), proxy_);
    proxyFields->addRow(Label("端口：", proxyPort_), proxyPort_);
    proxyFields->addRow(auth_);
    proxyFields->addRow(Label("用户名：", proxyUser_), proxyUser_);
    proxyFields->addRow(Label("密码：", proxyPassword_), proxyPassword_);

    connect(firewall_, &QCheckBox::toggled, this, &SystemSettingsDialog::ShowProxyEnabled);
    connect(auth_, &QCheckBox::toggled, this, &SystemSettingsDialog::ShowProxyEnabled);
    ShowProxyEnabled();

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(connRow);
    layout->addWidget(firewall_);
    layout->addLayout(proxyFields);
    layout->addWidget(sentTray_);
    layout->addLayout(browserRow);
    layout->addStretch(1);
    return page;
}

void SystemSettingsDialog::ShowProxyEnabled() {
    const bool proxy = firewall_->isChecked();
    proxy_->setEnabled(proxy);
    proxyPort_->setEnabled(proxy);
    auth_->setEnabled(proxy);
    proxyUser_->setEnabled(proxy && auth_->isChecked());
    proxyPassword_->setEnabled(proxy && auth_->isChecked());
}

QWidget* SystemSettingsDialog::ServersPage() {
    servers_ = new QListWidget;
    auto* listLabel = Label("服务器列表(&S) -- Orvane将从最上面的服务器开始尝试连接", servers_);
    auto* up = Button("上移(&U)");
    auto* down = Button("下移(&D)");
    auto* remove = Button("删除(&E)");
    auto* add = Button("添加(&N)");
    network_ = new QComboBox;
    // Item 0 is network type 1 (the first list), item 1 type 2.
    network_->addItems({QStringLiteral("Cernet"), QStringLiteral("Chinanet")});
    network_->setCurrentIndex(model_.NetworkType() - 1);
    autoGetList_ = Check("自动获取最新服务器列表(&A)", model_.autoGetServerList);
    autoFastest_ = Check("自动连接最快的服务器(&L)", model_.autoConnectFastest);

    auto* side = new QVBoxLayout;
    side->addWidget(up);
    side->addWidget(down);
    side->addWidget(remove);
    side->addWidget(add);
    side->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(servers_, 1);
    listRow->addLayout(side);
    auto* networkRow = new QHBoxLayout;
    networkRow->addWidget(Label("所在网络:", network_));
    networkRow->addWidget(network_, 1);

    connect(up, &QPushButton::clicked, this, &SystemSettingsDialog::MoveUp);
    connect(down, &QPushButton::clicked, this, &SystemSettingsDialog::MoveDown);
    connect(remove, &QPushButton::clicked, this, &SystemSettingsDialog::Remove);
    connect(add, &QPushButton::clicked, this, &SystemSettingsDialog::OpenAddServer);
    connect(network_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_.SetNetworkType(index + 1);
        ShowServers(0);
    });
    ShowServers(0);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(listLabel);
    layout->addLayout(listRow, 1);
    layout->addLayout(networkRow);
    layout->addWidget(autoGetList_);
    layout->addWidget(autoFastest_);
    return page;
}

void SystemSettingsDialog::ShowServers(int selectRow) {
    servers_->clear();
    servers_->addItems(model_.ServerLines());
    if (servers_->count() > 0)
        servers_->setCurrentRow(qBound(0, selectRow, servers_->count() - 1));
}

void SystemSettingsDialog::MoveUp() {
    const int row = servers_->currentRow();
    if (model_.MoveUp(row))
        ShowServers(row - 1);
}

void SystemSettingsDialog::MoveDown() {
    const int row = servers_->currentRow();
    if (model_.MoveDown(row))
        ShowServers(row + 1);
}

void SystemSettingsDialog::Remove() {
    const int row = servers_->currentRow();
    if (model_.RemoveServer(row))
        ShowServers(row);
}

void SystemSettingsDialog::OpenAddServer() {
    if (!addServer_) {
        addServer_ = new AddServerDialog(model_, this);
        addServer_->setAttribute(Qt::WA_DeleteOnClose);
        connect(addServer_, &AddServerDialog::Added, this,
                [this] { ShowServers(int(model_.Servers().size()) - 1); });
        connect(addServer_, &QObject::destroyed, this, [this] { addServer_ = nullptr; });
    }
    // Modal to this dialog only, without a nested event loop.
    addServer_->open();
}

void SystemSettingsDialog::Ok() {
    model_.notifyFriendOnline = notifyOnline_->isChecked();
    model_.autoPopUserMessage = popUser_->isChecked();
    model_.autoPopSystemMessage = popSystem_->isChecked();
    model_.leaveWordWhenAway = leaveWordOn_->isChecked();
    model_.leaveWord = leaveWord_->text();
    model_.autoRun = autoRun_->isChecked();
    model_.notifySound = sound_->isChecked();
    model_.inetConnType = connType_->currentIndex();
    model_.viaFirewall = firewall_->isChecked();
    model_.proxy = proxy_->text();
    model_.proxyPort = PortOf(proxyPort_);
    model_.proxyUserName = proxyUser_->text();
    model_.proxyPassword = proxyPassword_->text();
    model_.needAuthentication = auth_->isChecked();
    model_.showSentTray = sentTray_->isChecked();
    model_.debuggingPort = PortOf(debuggingPort_);
    model_.autoGetServerList = autoGetList_->isChecked();
    model_.autoConnectFastest = autoFastest_->isChecked();
    if (!model_.Ok()) {
        // The values checked are the proxy's, on the network page.
        if (model_.viaFirewall)
            tabs_->setCurrentIndex(1);
        return;
    }
    ended_ = true;
    close();
}

void SystemSettingsDialog::closeEvent(QCloseEvent* event) {
    if (!ended_) {
        ended_ = true;
        model_.Cancel();
    }
    QDialog::closeEvent(event);
}

void SystemSettingsDialog::keyPressEvent(QKeyEvent* event) {
    // Escape closes through closeEvent, which tells the frame of the cancel.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace ov::shell
