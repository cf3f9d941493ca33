// The system settings dialog on a whole client, driven as a person drives it: the server
// lists of both networks, the add-server dialog, the checks on OK and what OK saves; the
// autostart entry through the model on an application with an entry file.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTabWidget>

#include "shell/core/system_settings_model.h"
#include "shell/core/tests/flow_fixture.h"
#include "shell/core/widgets/system_settings_dialog.h"
#include "shell/testing/window_shot.h"

namespace ov::shell::testing {
namespace {

// The control of that accessible name in that window (not in the windows it owns).
template <typename T>
T* InWindow(QWidget* window, const QString& name) {
    for (T* w : window->findChildren<T*>())
        if (w->window() == window && w->accessibleName() == name)
            return w;
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}

void Click(QWidget* window, const QString& name) {
    if (auto* button = InWindow<QAbstractButton>(window, name))
        button->click();
}

QStringList Lines(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

class SystemSettingsTest : public ShellFlowTest {
protected:
    // A started client whose gateways never answer, both lists {a:1, b:2, c:3}.
    ShellClient& Client(bool withUser = false) {
        ShellClient& c = NewClient("c");
        c.WriteGateways({{"a", 1}, {"b", 2}, {"c", 3}});
        if (withUser)
            c.WriteUserSettings("alice", "secret", 1);
        EXPECT_TRUE(Start(c));
        time_->RunDue();
        client_ = &c;
        return c;
    }
    SystemSettingsDialog* Open() {
        dialog_ = SystemSettingsDialog::Open(client_->App());
        return dialog_;
    }
    QListWidget* List() {
        return InWindow<QListWidget>(dialog_, "服务器列表 -- Orvane将从最上面的服务器开始尝试连接");
    }
    AddServerDialog* OpenAdd() {
        Click(dialog_, "添加");
        auto* add = dialog_->findChild<AddServerDialog*>();
        EXPECT_TRUE(add && add->isVisible());
        return add;
    }
    void AddServer(AddServerDialog* add, const QString& host, const QString& port = {}) {
        InWindow<QLineEdit>(add, "服务器地址")->setText(host);
        if (!port.isEmpty())
            InWindow<QLineEdit>(add, "服务器端口")->setText(port);
        Click(add, "添加");
    }
    void Settle() {
        time_->RunDue();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // orvane.dat as saved.
    std::unique_ptr<MachineSettings> Saved() {
        auto m =
            std::make_unique<MachineSettings>(client_->App().Directories().MachineSettingsPath());
        EXPECT_TRUE(m->Load());
        return m;
    }
    void TearDown() override {
        delete dialog_;
        ShellFlowTest::TearDown();
    }

    ShellClient* client_ = nullptr;
    QPointer<SystemSettingsDialog> dialog_;
};

TEST_F(SystemSettingsTest, AddingSeveralServersInOneVisitAppendsEachWithItsPort) {
    ShellClient& c = Client();
    Open();
    QPointer<AddServerDialog> add = OpenAdd();
    AddServer(add, "10.0.0.1", "8000");
    AddServer(add, " host.two ");
    // The fields are ready for the next one.
    EXPECT_EQ(InWindow<QLineEdit>(add, "服务器地址")->text(), "");
    EXPECT_EQ(InWindow<QLineEdit>(add, "服务器端口")->text(), "9999");
    AddServer(add, "10.0.0.3", "65535");
    EXPECT_TRUE(add->isVisible());
    EXPECT_EQ(Lines(List()), (QStringList{"a:1", "b:2", "c:3", "10.0.0.1:8000", "host.two:9999",
                                          "10.0.0.3:65535"}));
    EXPECT_TRUE(c.prompts.Boxes().empty());

    // An empty address and a port of 0 are each refused; the dialog stays.
    AddServer(add, "   ");
    ASSERT_EQ(c.prompts.Boxes().size(), 1u);
    EXPECT_EQ(c.prompts.Boxes()[0].text, "服务器地址不能为空");
    EXPECT_EQ(c.prompts.Boxes()[0].caption, "Orvane提示");
    AddServer(add, "10.0.0.4", "0");
    EXPECT_EQ(c.prompts.Boxes().size(), 2u);
    EXPECT_EQ(List()->count(), 6);
    EXPECT_TRUE(add->isVisible());
    // A refused address stays for correcting.
    EXPECT_EQ(InWindow<QLineEdit>(add, "服务器地址")->text(), "10.0.0.4");

    Click(add, "退出");
    Settle();
    EXPECT_FALSE(add && add->isVisible());
    Click(dialog_, "确定");
    Settle();
    EXPECT_TRUE(dialog_.isNull());
    EXPECT_EQ(Saved()->Gateways(GatewayList::Chinanet), (QList<GatewayInfo>{{"a", 1},
                                                                            {"b", 2},
                                                                            {"c", 3},
                                                                            {"10.0.0.1", 8000},
                                                                            {"host.two", 9999},
                                                                            {"10.0.0.3", 65535}}));
}

TEST_F(SystemSettingsTest, EachNetworkKeepsItsOwnListThroughOk) {
    Client();
    Open();
    auto* network = InWindow<QComboBox>(dialog_, "所在网络");
    ASSERT_EQ(network->currentIndex(), 1);  // type 2
    network->setCurrentIndex(0);
    AddServer(OpenAdd(), "first.only", "1");
    Click(dialog_->findChild<AddServerDialog*>(), "退出");
    EXPECT_EQ(Lines(List()), (QStringList{"a:1", "b:2", "c:3", "first.only:1"}));
    network->setCurrentIndex(1);
    EXPECT_EQ(Lines(List()), (QStringList{"a:1", "b:2", "c:3"}));
    // Reorder the second list: c to the top, then b removed.
    List()->setCurrentRow(2);
    Click(dialog_, "上移");
    Click(dialog_, "上移");
    Click(dialog_, "上移");  // already at the top: nothing
    EXPECT_EQ(Lines(List()), (QStringList{"c:3", "a:1", "b:2"}));
    EXPECT_EQ(List()->currentRow(), 0);
    Click(dialog_, "下移");
    List()->setCurrentRow(2);
    Click(dialog_, "删除");
    EXPECT_EQ(Lines(List()), (QStringList{"a:1", "c:3"}));
    network->setCurrentIndex(0);
    List()->setCurrentRow(3);
    Click(dialog_, "下移");  // already at the bottom: nothing
    Click(dialog_, "确定");
    Settle();
    ASSERT_TRUE(dialog_.isNull());

    auto saved = Saved();
    EXPECT_EQ(saved->nNetworkType, 1);
    EXPECT_EQ(saved->Gateways(GatewayList::Cernet),
              (QList<GatewayInfo>{{"a", 1}, {"b", 2}, {"c", 3}, {"first.only", 1}}));
    EXPECT_EQ(saved->Gateways(GatewayList::Chinanet), (QList<GatewayInfo>{{"a", 1}, {"c", 3}}));
    // The session's settings are the saved ones.
    EXPECT_EQ(client_->App().Machine().ActiveGateways(), saved->ActiveGateways());
}

TEST_F(SystemSettingsTest, ProxyChecksKeepTheDialogOpenAndNothingSaved) {
    ShellClient& c = Client();
    Open();
    InWindow<QCheckBox>(dialog_, "通过 SOCKS5 代理服务器（防火墙）访问Internet")->setChecked(true);
    auto* address = InWindow<QLineEdit>(dialog_, "服务器地址");
    auto* port = InWindow<QLineEdit>(dialog_, "端口");
    EXPECT_TRUE(address->isEnabled());
    address->setText("proxy.example");
    port->setText("0");
    Click(dialog_, "确定");
    Settle();
    ASSERT_FALSE(dialog_.isNull());
    EXPECT_EQ(c.prompts.Boxes().size(), 1u);
    address->setText("  ");
    port->setText("1080");
    Click(dialog_, "确定");
    Settle();
    ASSERT_FALSE(dialog_.isNull());
    EXPECT_EQ(c.prompts.Boxes().size(), 2u);
    EXPECT_EQ(Saved()->fViaFirewall, 0);

    address->setText("proxy.example");
    port->setText("3128");
    InWindow<QCheckBox>(dialog_, "需要用户名和密码验证")->setChecked(true);
    InWindow<QLineEdit>(dialog_, "用户名")->setText("bob");
    InWindow<QLineEdit>(dialog_, "密码")->setText("pw");
    InWindow<QComboBox>(dialog_, "上网类型")->setCurrentIndex(1);
    Click(dialog_, "确定");
    Settle();
    EXPECT_TRUE(dialog_.isNull());
    auto saved = Saved();
    EXPECT_EQ(saved->fViaFirewall, 1);
    EXPECT_EQ(saved->sProxy, "proxy.example");
    EXPECT_EQ(saved->nProxyPort, 3128);
    EXPECT_EQ(saved->fNeedAuthentication, 1);
    EXPECT_EQ(saved->sProxyUserName, "bob");
    EXPECT_EQ(saved->sProxyPassword, "pw");
    EXPECT_EQ(saved->nInetConnType, 1);
}

TEST_F(SystemSettingsTest, ThePageroomPortIsCheckedSavedAndFollowedAndTheBrowserStarts) {
    struct Pageroom final : PageroomControl {
        void Run(bool) override {}
        void SwitchedOn() override {}
        void StartBrowser() override { ++starts; }
        void SettingsChanged() override { ++changes; }
        int starts = 0;
        int changes = 0;
    } pageroom;
    ShellClient& c = Client();
    c.App().SetPageroom(&pageroom);
    Open();
    auto* port = InWindow<QLineEdit>(dialog_, "Pageroom浏览器调试端口");
    EXPECT_EQ(port->text(), "9222");
    port->window()->findChild<QTabWidget*>()->setCurrentIndex(1);
    SaveShot(port->window(), "settings-network");
    Click(dialog_, "启动Pageroom浏览器");
    EXPECT_EQ(pageroom.starts, 1);
    EXPECT_FALSE(dialog_.isNull());

    port->setText("0");
    Click(dialog_, "确定");
    Settle();
    ASSERT_FALSE(dialog_.isNull());
    EXPECT_EQ(c.prompts.Texts(), QStringList{"Pageroom浏览器调试端口应在1到65535之间"});
    EXPECT_EQ(pageroom.changes, 0);

    port->setText("9333");
    Click(dialog_, "确定");
    Settle();
    EXPECT_TRUE(dialog_.isNull());
    EXPECT_EQ(Saved()->nDebuggingPort, 9333);
    EXPECT_EQ(pageroom.changes, 1);
    c.App().SetPageroom(nullptr);
}

TEST_F(SystemSettingsTest, UserItemsNeedAUserAndTheDialogIsOnePerApplication) {
    Client();
    Open();
    EXPECT_FALSE(InWindow<QCheckBox>(dialog_, "好友上线通知")->isEnabled());
    EXPECT_FALSE(InWindow<QCheckBox>(dialog_, "打开提示声音")->isEnabled());
    EXPECT_TRUE(InWindow<QCheckBox>(dialog_, "Windows系统启动后，自动运行Orvane")->isEnabled());
    // One per application.
    EXPECT_EQ(SystemSettingsDialog::Open(client_->App()), dialog_.data());
    Click(dialog_, "取消");
    Settle();
    EXPECT_TRUE(dialog_.isNull());
}

TEST_F(SystemSettingsTest, OkStoresTheUsersValuesInTheirFile) {
    Client(true);
    ASSERT_TRUE(client_->App().Settings().Loaded());
    Open();
    auto* sound = InWindow<QCheckBox>(dialog_, "打开提示声音");
    ASSERT_TRUE(sound->isEnabled());
    EXPECT_TRUE(sound->isChecked());
    sound->setChecked(false);
    InWindow<QCheckBox>(dialog_, "自动弹出用户短消息窗口")->setChecked(true);
    auto* leave = InWindow<QCheckBox>(dialog_, "启用离开状态下的自动留言");
    auto* word = InWindow<QLineEdit>(dialog_, "启用离开状态下的自动留言");
    EXPECT_FALSE(word->isEnabled());
    leave->setChecked(true);
    EXPECT_TRUE(word->isEnabled());
    word->setText("马上回来");
    Click(dialog_, "确定");
    Settle();
    ASSERT_TRUE(dialog_.isNull());

    UserSettings read;
    ASSERT_TRUE(client_->App().ReadUserSettings("alice", &read));
    EXPECT_EQ(read.bNotifySound, 0);
    EXPECT_EQ(read.bAutoPopUserMsg, 1);
    EXPECT_EQ(read.bLeaveWordOffline, 1);
    EXPECT_EQ(read.sLeaveWordOffline, "马上回来");
    EXPECT_EQ(read.nSecurityLevel, 1);  // what the dialog does not edit stays
}

// The autostart entry follows fAutoRun as saved; an application that was not started has no
// frame to tell, which the model allows.
TEST(SystemSettingsModelTest, OkWritesAndRemovesTheAutostartEntry) {
    ov::testing::TempHome home;
    const QString dataHome = QString::fromStdString(home.DataHome());
    PromptRecorder prompts;
    ShellDesktop desktop;
    desktop.prompts = &prompts;
    desktop.autostartFile =
        QString::fromStdString(home.Root()) + "/config/autostart/orvane.desktop";
    desktop.executable = QStringLiteral("/opt/orvane/orvane");
    OVShellApp app(QStringLiteral("/opt/orvane/"), dataHome, desktop);
    app.Machine().Load();

    SystemSettingsModel model(app);
    EXPECT_FALSE(model.UserLoaded());
    model.autoRun = true;
    ASSERT_TRUE(model.Ok());
    QFile entry(desktop.autostartFile);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("/opt/orvane/orvane"));
    entry.close();

    SystemSettingsModel again(app);
    EXPECT_TRUE(again.autoRun);
    again.autoRun = false;
    ASSERT_TRUE(again.Ok());
    EXPECT_FALSE(QFile::exists(desktop.autostartFile));
    EXPECT_TRUE(prompts.Boxes().empty());
}

}  // namespace
}  // namespace ov::shell::testing
