// The login state machine in virtual time: the gateway walk, refused passwords, losing the
// server and finding it again, sounds, and the automatic answer while away.
#include <set>

#include "shell/core/commands.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using LoginFlow = ShellFlowTest;

// The gateway (by index) each handshake went to, in order, one entry per handshake however
// often it was sent again.
class GatewayLog {
public:
    explicit GatewayLog(std::vector<DeadGateway*> gateways) : gateways_(std::move(gateways)) {}
    void Collect() {
        for (size_t i = 0; i < gateways_.size(); ++i)
            for (uint32_t seq : gateways_[i]->Heard())
                if (seen_.insert(seq).second)
                    order_.push_back(static_cast<int>(i));
    }
    const std::vector<int>& Order() const { return order_; }

private:
    std::vector<DeadGateway*> gateways_;
    std::set<uint32_t> seen_;
    std::vector<int> order_;
};

TEST_F(LoginFlow, DeadGatewaysAreTriedInTurnASecondAfterEachGivesUp) {
    DeadGateway a, b;
    ShellClient& c = NewClient("walker");
    c.WriteGateways({a.Info(), b.Info()});
    c.WriteUserSettings("walker", "pw", 4);
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    GatewayLog log({&a, &b});
    log.Collect();
    ASSERT_EQ(log.Order(), (std::vector<int>{0}));

    // A handshake that nobody answers is sent seven times and given up after about 35
    // seconds; a second later the next gateway is asked.
    uint64_t gaveUpAt = 0;
    for (int s = 0; s < 40 && log.Order().size() < 2; ++s) {
        time_->Advance(1000);
        log.Collect();
        if (!c.Frame().LoggingIn() && gaveUpAt == 0)
            gaveUpAt = time_->Clock()->NowMs();
    }
    ASSERT_EQ(log.Order(), (std::vector<int>{0, 1}));
    EXPECT_NE(gaveUpAt, 0u);
    EXPECT_EQ(c.windows.Title(), "walker(登录到本地)");  // the saved password works meanwhile
    for (int s = 0; s < 80 && log.Order().size() < 4; ++s) {
        time_->Advance(1000);
        log.Collect();
    }
    EXPECT_EQ(log.Order(), (std::vector<int>{0, 1, 0, 1}));
    EXPECT_TRUE(c.prompts.Boxes().empty());  // no box for each failure
}

TEST_F(LoginFlow, ChangingTheNetworkTypeStartsBothListsFromTheirFirstGateway) {
    DeadGateway a, b, c1, d;
    ShellClient& c = NewClient("switcher");
    c.WriteUserSettings("switcher", "pw", 4);
    {
        MachineSettings m(c.App().Directories().MachineSettingsPath());
        m.Load();
        m.SetGateways(GatewayList::Cernet, {c1.Info(), d.Info()});
        m.SetGateways(GatewayList::Chinanet, {a.Info(), b.Info()});
        m.nNetworkType = 2;
        m.Save();
    }
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    GatewayLog log({&a, &b, &c1, &d});
    auto waitForHandshakes = [&](size_t n) {
        for (int s = 0; s < 45 && log.Order().size() < n; ++s) {
            time_->Advance(1000);
            log.Collect();
        }
    };
    log.Collect();
    ASSERT_EQ(log.Order(), (std::vector<int>{0}));
    // While A's handshake is still trying, the network type changes.
    c.App().Machine().nNetworkType = 1;
    waitForHandshakes(2);
    c.App().Machine().nNetworkType = 2;
    waitForHandshakes(3);
    EXPECT_EQ(log.Order(), (std::vector<int>{0, 2, 0}));
}

TEST_F(LoginFlow, AWrongPasswordAtLevelFourIsRememberedSoTheNextStartAsks) {
    StartServer();
    ASSERT_EQ(Register("erin", "right"), "erin");
    {
        ShellClient c(home_ + "/erin", *time_);
        c.WriteGateways({Server()});
        c.WriteUserSettings("erin", "wrong", 4);
        ASSERT_TRUE(Start(c));
        ASSERT_TRUE(time_->RunUntil([&] { return !c.prompts.Boxes().empty(); }));
        EXPECT_EQ(c.prompts.Texts(),
                  QStringList{"无法登录Orvane，错误的密码或用户名!\n重新登录吗？"});
        EXPECT_FALSE(c.Frame().LoggingIn());
        EXPECT_EQ(c.Frame().OwnPin(), 0);
        Close(c);
    }
    UserSettings saved;
    UserDirectories dirs(home_ + "/erin");
    ASSERT_TRUE(
        saved.Load("erin", dirs.UserFile("erin", kUserSettingsFileName), QRect(0, 0, 800, 600)));
    EXPECT_TRUE(saved.bLoginFailed);
    EXPECT_EQ(saved.nPin, 0);

    ShellClient again(home_ + "/erin", *time_);
    ASSERT_TRUE(Start(again));
    time_->RunDue();
    EXPECT_EQ(again.windows.Opened(), QStringList{"login"});
    Close(again);
}

TEST_F(LoginFlow, ALostServerLeavesTheUserLocalAndTheLoginReturnsWithTheServer) {
    StartServer();
    ASSERT_EQ(Register("fay", "pw"), "fay");
    ShellClient& c = NewClient("fay");
    c.WriteGateways({Server()});
    c.WriteUserSettings("fay", "pw", 4);
    ASSERT_TRUE(Start(c));
    ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
    EXPECT_EQ(c.tray.Tip(), "fay(在线)");
    EXPECT_EQ(c.tray.Icon(), "sStatusOnline");
    EXPECT_NE(c.Frame().OwnPin(), 0);
    EXPECT_EQ(c.sounds.Played(), (std::vector<int>{kSoundLogin}));

    // The server goes; two keep-alives given up in a row mean the connection is lost.
    const int port = serverPort_;
    StopServer();
    c.sounds.Clear();
    for (int s = 0; s < 400 && c.Frame().LoggedInToServer(); ++s)
        time_->Advance(1000);
    ASSERT_FALSE(c.Frame().LoggedInToServer());
    EXPECT_TRUE(c.Frame().LoggedInLocally());
    ASSERT_FALSE(c.sounds.Played().empty());
    EXPECT_EQ(c.sounds.Played().front(), kSoundLogout);
    EXPECT_TRUE(c.Frame().LoggingIn());  // and logging in again straight away

    // Back on the same port: the walk finds it by itself.
    StartServer(port);
    for (int s = 0; s < 120 && !c.Frame().LoggedInToServer(); ++s) {
        time_->Advance(1000);
        time_->RunUntil([&] { return c.Frame().LoggedInToServer(); },
                        std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(c.Frame().LoggedInToServer());
    EXPECT_EQ(c.tray.Tip(), "fay(在线)");
}

TEST_F(LoginFlow, WithoutNotifySoundNothingIsHeardNotEvenTheLogin) {
    StartServer();
    ASSERT_EQ(Register("gus", "pw"), "gus");
    ShellClient& c = NewClient("gus");
    c.WriteGateways({Server()});
    c.WriteUserSettings("gus", "pw", 4, OV_ONLINE_STATUS_ONLINE, /*notifySound=*/false);
    ASSERT_TRUE(Start(c));
    ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
    c.Frame().Command(ID_STATUS_OFFLINE);
    c.Frame().Command(ID_FUNCTION_LOGOUT);
    EXPECT_TRUE(c.sounds.Played().empty());
}

TEST_F(LoginFlow, AFirstLoginsNewSettingsStandForTheUserAtOnce) {
    StartServer();
    ASSERT_EQ(Register("ida", "pw"), "ida");
    ShellClient& c = NewClient("ida");
    c.WriteGateways({Server()});
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    LoginCredentials& login = c.App().Login();
    login.userName = "ida";
    login.password = "pw";
    c.Frame().Command(ID_FUNCTION_DO_LOGIN);
    ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
    // No setting.dat existed: the login wrote it, and the session's settings are that file's,
    // so the user's sounds play from the first session on.
    EXPECT_TRUE(c.App().Settings().Loaded());
    c.sounds.Clear();
    c.Frame().Command(ID_STATUS_OFFLINE);
    EXPECT_EQ(c.sounds.Played(), std::vector<int>{kSoundLogout});
}

TEST_F(LoginFlow, TheLeaveWordAnswersOnceAndNeverAnAnswer) {
    StartServer();
    ASSERT_EQ(Register("hal", "pw"), "hal");
    ASSERT_EQ(Register("ivy", "pw"), "ivy");
    ShellClient& hal = NewClient("hal");
    ShellClient& ivy = NewClient("ivy");
    for (auto [client, name] : {std::pair{&hal, "hal"}, std::pair{&ivy, "ivy"}}) {
        client->WriteGateways({Server()});
        client->WriteUserSettings(name, "pw", 4, OV_ONLINE_STATUS_AWAY);
        UserSettings& s = client->App().Settings();
        ASSERT_TRUE(client->App().LoadUserSettings(name));
        s.bLeaveWordOffline = 1;
        s.sLeaveWordOffline = QStringLiteral("我不在\n稍后回复");
        s.Save();
        ASSERT_TRUE(Start(*client));
    }
    ASSERT_TRUE(time_->RunUntil(
        [&] { return hal.Frame().LoggedInToServer() && ivy.Frame().LoggedInToServer(); }));
    EXPECT_EQ(ivy.tray.Tip(), "ivy(离开)");

    KernelWatch halHears(hal.App().Kernel());
    KernelWatch ivyHears(ivy.App().Kernel());
    CByteArrayVariant hello(std::string("hello"));
    LONG seq = 0;
    hal.App().Kernel()->SendToUser(ivy.Frame().OwnPin(), 0, OV_COMPONENT_MESSAGER, 0,
                                   hello.Variant(), &seq);
    ASSERT_TRUE(time_->RunUntil(
        [&] { return !halHears.Named(OV_DISPID_ON_USER_MESSAGE_RECEIVED).empty(); }));
    // Give a loop of answers the time to show itself.
    time_->RunUntil([] { return false; }, std::chrono::milliseconds(300));
    auto answers = halHears.Named(OV_DISPID_ON_USER_MESSAGE_RECEIVED);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].args[3].value, 1);  // the component code of an automatic answer
    EXPECT_EQ(answers[0].args[4].bytes,
              "\xCE\xD2\xB2\xBB\xD4\xDA\\n\xC9\xD4\xBA\xF3\xBB\xD8\xB8\xB4");
    EXPECT_EQ(ivyHears.Named(OV_DISPID_ON_USER_MESSAGE_RECEIVED).size(), 1u);
}

}  // namespace
}  // namespace ov::shell::testing
