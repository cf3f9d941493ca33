// orvane.dat, setting.dat and config.dat: the files as written, byte for byte or line for
// line, the defaults a missing or damaged file leaves, and the rules bound to the security
// level.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/config/config_file.h"
#include "shell/core/machine_settings.h"
#include "shell/core/security_level.h"
#include "shell/core/tests/test_files.h"
#include "shell/core/user_config.h"
#include "shell/core/user_directories.h"
#include "shell/core/user_settings.h"

namespace ov::shell {
namespace {

using testing::CoreTest;
using testing::ModeOf;
using testing::ReadBytes;
using testing::WriteBytes;

SecondsClock FixedClock(qint64 seconds) {
    return [seconds] { return seconds; };
}

const QRect kScreen(0, 0, 1024, 768);

class MachineSettingsTest : public CoreTest {
protected:
    QString Path() { return DataHome() + "/orvane.dat"; }
};

TEST_F(MachineSettingsTest, FreshInstallWritesEveryKeyInOrderWithLocalGateways) {
    MachineSettings settings(Path(), FixedClock(1700000000));
    EXPECT_FALSE(settings.Load());  // no file yet: the defaults stand
    settings.sLastLoginUserName = "alice";
    settings.sProxy = "proxy.lan";
    settings.sProxyUserName = QStringLiteral("张三");
    settings.sProxyPassword = "p w";
    ASSERT_TRUE(settings.Save());

    EXPECT_EQ(ReadBytes(Path()),
              "[LocalMachine]\n"
              "nTerminalID = 1700000000\n"
              "sLastLoginUserName = alice\n"
              "[StartInfo]\n"
              "fAutoRun = 1\n"
              "fAutoGetServerList = 1\n"
              "[RuntimeInfo]\n"
              "fAutoCnctFastestServer = 0\n"
              "fShowSentTray = 0\n"
              "[ConnectionInfo]\n"
              "nInetConnType = 0\n"
              "fViaFirewall = 0\n"
              "[NetWorkType]\n"
              "nNetworkType = 2\n"
              "[ProxyInfo]\n"
              "fNeedAuthentication = 0\n"
              "sProxy = proxy.lan\n"
              "nProxyPort = 1080\n"
              "sProxyUserName = \xd5\xc5\xc8\xfd\n"
              "sProxyPassword = p w\n"
              "[Pageroom]\n"
              "nDebuggingPort = 9222\n"
              "[GatewayInfoCernet]\n"
              "sHost-0 = 127.0.0.1\n"
              "nPort-0 = 9999\n"
              "sHost-1 = localhost\n"
              "nPort-1 = 9999\n"
              "[GatewayInfoChinanet]\n"
              "sHost-0 = localhost\n"
              "nPort-0 = 9999\n"
              "sHost-1 = 127.0.0.1\n"
              "nPort-1 = 9999\n");
    // It holds the proxy password: private file in a private directory.
    EXPECT_EQ(ModeOf(Path()), 0600);
    EXPECT_EQ(ModeOf(DataHome()), 0700);

    MachineSettings again(Path(), FixedClock(1));
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.nTerminalID, 1700000000);
    EXPECT_EQ(again.sProxyUserName, QStringLiteral("张三"));
    EXPECT_EQ(again.sProxyPassword, "p w");
}

TEST_F(MachineSettingsTest, GatewayListsReadUpToTheFirstGapAndEmptyListsGetDefaults) {
    WriteBytes(Path(),
               "[LocalMachine]\n"
               "nTerminalID = 42\n"
               "[NetWorkType]\n"
               "nNetworkType = 1\n"
               "[GatewayInfoCernet]\n"
               "sHost-0 = a.example\n"
               "nPort-0 = 8000\n"
               "sHost-1 = b.example\n"
               "nPort-1 = 8001\n"
               "sHost-3 = never.example\n"
               "nPort-3 = 8003\n"
               "[GatewayInfoChinanet]\n");
    MachineSettings settings(Path(), FixedClock(1));
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.nTerminalID, 42);
    const QList<GatewayInfo> cernet{{"a.example", 8000}, {"b.example", 8001}};
    EXPECT_EQ(settings.Gateways(GatewayList::Cernet), cernet);
    const QList<GatewayInfo> chinanet{{"localhost", 9999}, {"127.0.0.1", 9999}};
    EXPECT_EQ(settings.Gateways(GatewayList::Chinanet), chinanet);
    EXPECT_EQ(settings.ActiveGateways(), cernet);
    settings.nNetworkType = 7;
    EXPECT_TRUE(settings.ActiveGateways().isEmpty());

    WriteBytes(Path(), "[GatewayInfoCernet]\n[GatewayInfoChinanet]\n");
    ASSERT_TRUE(settings.Load());
    const QList<GatewayInfo> ab{{"127.0.0.1", 9999}, {"localhost", 9999}};
    EXPECT_EQ(settings.Gateways(GatewayList::Cernet), ab);
    EXPECT_EQ(settings.Gateways(GatewayList::Chinanet), chinanet);
}

TEST_F(MachineSettingsTest, MissingTerminalIdComesFromTheClockAndIsStoredAtTheNextSave) {
    WriteBytes(Path(), "[LocalMachine]\nsLastLoginUserName = bob\n");
    MachineSettings settings(Path(), FixedClock(1234567));
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.nTerminalID, 1234567);
    EXPECT_EQ(settings.sLastLoginUserName, "bob");
    ASSERT_TRUE(settings.Save());

    MachineSettings later(Path(), FixedClock(9999999));
    ASSERT_TRUE(later.Load());
    EXPECT_EQ(later.nTerminalID, 1234567);
}

TEST_F(MachineSettingsTest, DamagedFileLeavesTheDefaults) {
    WriteBytes(Path(), std::string("\xff\xfe[Proxy\0Info]\nnProxyPort = \n\x01\x02", 31));
    MachineSettings settings(Path(), FixedClock(77));
    settings.Load();
    EXPECT_EQ(settings.nProxyPort, 1080);
    EXPECT_EQ(settings.nNetworkType, 2);
    EXPECT_EQ(settings.nTerminalID, 77);
    EXPECT_EQ(settings.Gateways(GatewayList::Cernet).size(), 2);

    // A value that would break the line is kept on one line.
    settings.sProxy = "line\nbreak";
    ASSERT_TRUE(settings.Save());
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.sProxy, "linebreak");

    // A browser port no browser can have is the default one.
    for (const char* port : {"0", "70000", "-5", "x"}) {
        WriteBytes(Path(), std::string("[Pageroom]\nnDebuggingPort = ") + port + "\n");
        settings.Load();
        EXPECT_EQ(settings.nDebuggingPort, 9222) << port;
    }
}

class UserSettingsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (HasFatalFailure())
            return;
        dirs_.emplace(DataHome());
        ASSERT_TRUE(dirs_->Create("alice"));
        ASSERT_TRUE(dirs_->Create("bob"));
    }
    QString FileOf(const QString& user) { return dirs_->UserFile(user, kUserSettingsFileName); }
    static std::vector<std::string> PlainLines(const QString& path) {
        OVConfigFile file;
        EXPECT_TRUE(file.LoadScrambled(path.toStdString()));
        return file.Lines();
    }

    std::optional<UserDirectories> dirs_;
};

TEST_F(UserSettingsTest, SavedFileHoldsEveryKeyInTableOrder) {
    UserSettings settings;
    EXPECT_FALSE(settings.Load("alice", FileOf("alice"), kScreen));  // none yet
    settings.sPassword = "secret";
    settings.nPin = 10001;
    settings.bLeaveWordOffline = 1;
    settings.sLeaveWordOffline = "gone\nback at 5\\";
    ASSERT_TRUE(settings.Save());

    const std::vector<std::string> expected{
        "[LoginInfo]",
        "sUserName = alice",
        "nOnlineStatus = 0",
        "nSecurityLevel = 2",
        "bEnablePageroom = true",
        "sPassword = secret",
        "nPin = 10001",
        "bLoginFailed = false",
        "bFirstLogin = 1",
        "bClickedPageroom = 0",
        "[UserInfo]",
        "bAutoPopUserMsg = 0",
        "bAutoPopSystemMsg = 0",
        "bNotifyFrndOnline = 1",
        "bLeaveWordOffline = 1",
        "bNotifySound = 1",
        "sLeaveWordOffline = gone\\nback at 5\\\\",
        "[WindowPos]",
        "rectStarshelf = RECT(788,12,1008,40)",
        "rectStarshelfWnd = RECT(788,48,1008,568)",
        "rectSendMsgWnd = RECT(312,224,712,544)",
        "rectRecvMsgWnd = RECT(312,224,712,544)",
        "rectPrivateChatWnd = RECT(312,224,712,544)",
        "nPageroomBarDockTypeX = 3",
        "nPageroomBarDockTypeY = 1",
        "nPageroomBarDockOffsetX = 40",
        "nPageroomBarDockOffsetY = 0",
        "[WindowStatus]",
        "bPageroomWndShowing = false",
        "bStarshelfWndShowing = false",
        "bStarshelfBarShowing = true",
        "[SendMessageDlg]",
        "bSendMsgShowHistory = false",
        "bSendMsgNoSound = false",
        "clrSendMsgMessageBk = RGB(255,255,255)",
        "clrSendMsgMessageColor = RGB(0,0,0)",
        "lfSendMsgMessageFont = FONT(\"\xcb\xce\xcc\xe5\",12,false,false,false)",
        "[PrivateChatDlg]",
        "bChatNoSound = false",
        "clrChatMessageBk = RGB(255,255,255)",
        "clrChatMessageColor = RGB(0,0,0)",
        "lfChatMessageFont = FONT(\"\xcb\xce\xcc\xe5\",12,false,false,false)",
        "lfPageroomChatMessageFont = FONT(\"FixedSys\",16,false,false,false)",
        "[RecvMessageDlg]",
        "bRecvMsgShowHistory = false",
        "[PTPFileTransf]",
        "bFileTransfAllowHelp = true",
    };
    EXPECT_EQ(PlainLines(FileOf("alice")), expected);
    EXPECT_EQ(ReadBytes(FileOf("alice")).substr(0, 4), "OVDB");
    EXPECT_EQ(ModeOf(FileOf("alice")), 0600);
    EXPECT_EQ(ModeOf(dirs_->UserDirectory("alice")), 0700);
}

TEST_F(UserSettingsTest, RoundTripKeepsValuesAndTheMultiLineLeaveWord) {
    UserSettings settings;
    settings.Load("alice", FileOf("alice"), kScreen);
    settings.nOnlineStatus = 0xFFFF;
    settings.nSecurityLevel = 4;
    settings.sPassword = "\"quoted pass\"";
    settings.sLeaveWordOffline = QStringLiteral("第一行\r\n第二行\n\\n literal\0end");
    settings.rectSendMsgWnd = QRect(100, 50, 500, 300);
    settings.clrChatMessageColor = 0x123456;
    settings.lfChatMessageFont = FontSetting{QStringLiteral("黑体"), 14, 700, true, false, 1};
    settings.bStarshelfBarShowing = false;
    ASSERT_TRUE(settings.Save());

    UserSettings loaded;
    ASSERT_TRUE(loaded.Load("alice", FileOf("alice"), kScreen));
    EXPECT_TRUE(loaded.Loaded());
    EXPECT_EQ(loaded.nOnlineStatus, 0xFFFF);
    EXPECT_EQ(loaded.nSecurityLevel, 4);
    EXPECT_EQ(loaded.sPassword, settings.sPassword);
    EXPECT_EQ(loaded.sLeaveWordOffline, settings.sLeaveWordOffline);
    EXPECT_EQ(loaded.rectSendMsgWnd, QRect(100, 50, 500, 300));
    EXPECT_EQ(loaded.clrChatMessageColor, 0x123456u);
    EXPECT_EQ(loaded.lfChatMessageFont, settings.lfChatMessageFont);
    EXPECT_FALSE(loaded.bStarshelfBarShowing);
    // A font read back has the default character set: the file does not carry it.
    EXPECT_EQ(loaded.lfSendMsgMessageFont.faceName, QStringLiteral("宋体"));
    EXPECT_EQ(loaded.lfSendMsgMessageFont.charSet, 1);
    EXPECT_EQ(DefaultMessageFont().charSet, 134);
    EXPECT_EQ(DefaultPageroomChatFont().height, 16);
}

TEST_F(UserSettingsTest, PasswordIsKeptFromLevelTwoOnly) {
    for (int level = 0; level < kSecurityLevelCount; ++level) {
        UserSettings settings;
        settings.Load("alice", FileOf("alice"), kScreen);
        settings.nSecurityLevel = level;
        settings.sPassword = "secret";
        ASSERT_TRUE(settings.Save());
        bool found = false;
        for (const std::string& line : PlainLines(FileOf("alice")))
            found = found || line.rfind("sPassword = ", 0) == 0;
        EXPECT_EQ(found, level >= 2) << "level " << level;

        UserSettings loaded;
        ASSERT_TRUE(loaded.Load("alice", FileOf("alice"), kScreen));
        EXPECT_EQ(loaded.sPassword, level >= 2 ? "secret" : "") << "level " << level;
    }
}

TEST_F(UserSettingsTest, FileOfAnotherUserIsNotLoadedButCanBeReplaced) {
    UserSettings alice;
    alice.Load("alice", FileOf("alice"), kScreen);
    alice.sPassword = "alice-pass";
    alice.nSecurityLevel = 4;
    ASSERT_TRUE(alice.Save());
    ASSERT_TRUE(QFile::copy(FileOf("alice"), FileOf("bob")));

    UserSettings bob;
    EXPECT_FALSE(bob.Load("bob", FileOf("bob"), kScreen));
    EXPECT_FALSE(bob.Loaded());
    EXPECT_TRUE(bob.sPassword.isEmpty());
    EXPECT_EQ(bob.nSecurityLevel, 2);
    // The owner check is exact.
    EXPECT_FALSE(bob.Load("Alice", FileOf("alice"), kScreen));

    // Saving after a failed load writes bob's own file, which then loads.
    EXPECT_FALSE(bob.Load("bob", FileOf("bob"), kScreen));
    ASSERT_TRUE(bob.Save());
    UserSettings again;
    EXPECT_TRUE(again.Load("bob", FileOf("bob"), kScreen));
    EXPECT_EQ(again.sUserName, "bob");

    UserSettings nowhere;
    EXPECT_FALSE(nowhere.Load("bob", QString(), kScreen));
    EXPECT_FALSE(nowhere.Save());
}

TEST_F(UserSettingsTest, OnlineStatusOfTheLastLoadStandsWhenTheKeyIsMissing) {
    UserSettings settings;
    settings.Load("alice", FileOf("alice"), kScreen);
    settings.nOnlineStatus = 2;
    ASSERT_TRUE(settings.Save());
    ASSERT_TRUE(settings.Load("alice", FileOf("alice"), kScreen));
    EXPECT_EQ(settings.bClickedPageroom, 0);  // the file has it

    OVConfigFile file;
    ASSERT_TRUE(file.LoadScrambled(FileOf("alice").toStdString()));
    std::string text;
    for (const std::string& line : file.Lines()) {
        if (line.rfind("nOnlineStatus", 0) != 0 && line.rfind("bClickedPageroom", 0) != 0)
            text += line + "\n";
    }
    OVConfigFile without;
    without.ParseText(text);
    ASSERT_TRUE(without.SaveScrambled(FileOf("alice").toStdString()));

    ASSERT_TRUE(settings.Load("alice", FileOf("alice"), kScreen));
    EXPECT_EQ(settings.nOnlineStatus, 2);
    EXPECT_EQ(settings.bClickedPageroom, 2);  // its default follows the status
    UserSettings fresh;
    ASSERT_TRUE(fresh.Load("alice", FileOf("alice"), kScreen));
    EXPECT_EQ(fresh.nOnlineStatus, 0);
}

TEST_F(UserSettingsTest, RectanglesAreFittedToTheScreen) {
    OVConfigFile file;
    file.ParseText(
        "[LoginInfo]\n"
        "sUserName = alice\n"
        "[WindowPos]\n"
        "rectStarshelf = RECT(-50,-20,150,30)\n"
        "rectStarshelfWnd = RECT(900,700,1300,1000)\n"
        "rectSendMsgWnd = RECT(10,10,3000,2000)\n"
        "rectRecvMsgWnd = RECT(100,100,103,101)\n"
        "rectPrivateChatWnd = RECT(-2147483648,0,2147483647,5)\n");
    ASSERT_TRUE(file.SaveScrambled(FileOf("alice").toStdString()));
    UserSettings settings;
    const QRect screen(100, 0, 1024, 768);  // a second monitor's area
    ASSERT_TRUE(settings.Load("alice", FileOf("alice"), screen));
    EXPECT_EQ(settings.rectStarshelf, QRect(100, 0, 200, 50));
    EXPECT_EQ(settings.rectStarshelfWnd, QRect(724, 468, 400, 300));
    EXPECT_EQ(settings.rectSendMsgWnd, QRect(100, 0, 1024, 768));
    EXPECT_EQ(settings.rectRecvMsgWnd, QRect(100, 100, 10, 10));
    EXPECT_EQ(settings.rectPrivateChatWnd, QRect(100, 0, 1024, 10));
    // Missing rectangles take the defaults of this screen.
    UserSettings defaults;
    defaults.Reset(screen);
    EXPECT_EQ(defaults.rectSendMsgWnd, QRect(412, 224, 400, 320));
}

TEST_F(UserSettingsTest, DamagedFilesAreNotLoaded) {
    const std::vector<std::string> damaged{
        "",
        "OVDB",
        std::string("OVDB\x4d\x08", 6),           // a record length above 2048 ...
        std::string("OVDB\xff\xff", 6) + "xxxx",  // ... or negative
        std::string("OVDB\x4d\x00", 6) + "\x01",  // cut short
        std::string(5000, '\xa5'),
    };
    for (const std::string& bytes : damaged) {
        WriteBytes(FileOf("alice"), bytes);
        UserSettings settings;
        EXPECT_FALSE(settings.Load("alice", FileOf("alice"), kScreen));
        EXPECT_EQ(settings.nSecurityLevel, 2);
    }
}

TEST_F(UserSettingsTest, OverlongLeaveWordIsCutToWholeCharacters) {
    UserSettings settings;
    settings.Load("alice", FileOf("alice"), kScreen);
    settings.sLeaveWordOffline = QString(2000, QChar(u'字'));
    settings.sPassword = "kept";
    ASSERT_TRUE(settings.Save());
    UserSettings loaded;
    ASSERT_TRUE(loaded.Load("alice", FileOf("alice"), kScreen));
    EXPECT_EQ(loaded.sPassword, "kept");
    // 1022 bytes a line, less "sLeaveWordOffline = ": 501 two-byte characters.
    EXPECT_EQ(loaded.sLeaveWordOffline, QString(501, QChar(u'字')));
}

class UserConfigTest : public CoreTest {};

TEST_F(UserConfigTest, FileTransferReceiveSettingsRoundTripInAPrivateFile) {
    UserDirectories dirs(DataHome());
    ASSERT_TRUE(dirs.Create("alice"));
    const QString path = dirs.UserFile("alice", kUserConfigFileName);
    UserConfig config;
    EXPECT_FALSE(config.Load(path));
    const FileTransRecvSettings defaults = config.FileTransRecv("/opt/orvane/");
    EXPECT_EQ(defaults, (FileTransRecvSettings{100, 100, "/opt/orvane/", 0}));

    config.SetFileTransRecv({40, 60, QStringLiteral("/home/下载"), 1});
    ASSERT_TRUE(config.Save());
    EXPECT_EQ(ModeOf(path), 0600);

    UserConfig again;
    ASSERT_TRUE(again.Load(path));
    EXPECT_EQ(again.FileTransRecv("/opt/orvane/"),
              (FileTransRecvSettings{40, 60, QStringLiteral("/home/下载"), 1}));
    const std::vector<std::string> lines = again.Edit([](OVConfigFile& f) { return f.Lines(); });
    EXPECT_EQ(lines, (std::vector<std::string>{"[CPTPFileTransRecv]", "bAutoClose = 1",
                                               "RecvFilePath = /home/\xcf\xc2\xd4\xd8",
                                               "pos_Y = 60", "pos_X = 40"}));
    again.Clear();
    EXPECT_FALSE(again.Save());
}

TEST(SecurityLevelTest, TextsAndRules) {
    EXPECT_EQ(SecurityLevelTexts(0).name, QStringLiteral("安全级别 -- 高"));
    EXPECT_EQ(SecurityLevelTexts(1).description,
              QStringLiteral("加密保存个人信息，不保存密码，将无法在离线状态下使用。"));
    EXPECT_EQ(SecurityLevelTexts(3).hint, QStringLiteral("适合私人专用: 家里、公司"));
    EXPECT_EQ(SecurityLevelTexts(4).description,
              QStringLiteral("加密保存密码和个人信息，下次启动Orvane后自动登录。"));
    EXPECT_TRUE(SecurityLevelTexts(5).name.isEmpty());
    EXPECT_TRUE(SecurityLevelTexts(-1).name.isEmpty());

    const bool keeps[] = {false, false, true, true, true};
    for (int level = 0; level < kSecurityLevelCount; ++level) {
        EXPECT_EQ(KeepsPassword(level), keeps[level]);
        EXPECT_EQ(AllowsLocalLogin(level), keeps[level]);
        EXPECT_EQ(LogsInAutomatically(level), level == 4);
    }
    EXPECT_FALSE(KeepsPassword(5));
    EXPECT_FALSE(AllowsLocalLogin(9));

    const QString question = LevelZeroDeleteQuestion();
    EXPECT_TRUE(
        question.startsWith(QStringLiteral("\u3000\u3000您选择了不在这台电脑保存任何信息")));
    EXPECT_EQ(question.count(u'\n'), 5);
    EXPECT_TRUE(question.contains(QStringLiteral("\n\u3000\u3000如果您选择“否”，")));
    EXPECT_TRUE(question.endsWith(QStringLiteral("会保留您此次登录的任何信息。\n")));
}

}  // namespace
}  // namespace ov::shell
