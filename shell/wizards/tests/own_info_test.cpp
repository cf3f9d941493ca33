// The own information: which fields and mode bits an update sends for what was changed, and
// how the dialog follows its two outstanding commands.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <cstring>

#include "shell/core/cp936_text.h"
#include "shell/wizards/tests/info_dialog_fixture.h"

namespace ov::shell::testing {
namespace {

// A record as the server sends it for the owner: every field, some privacy bits set.
UserProfile Received(quint32 mode) {
    UserProfile p;
    p.mask = 0x03FF3FFB;  // all but the password, terminal and online status
    p.pin = 10042;
    p.userName = "carol";
    p.nickName = "小卡";
    p.firstName = "Carol";
    p.lastName = "Li";
    p.eMail = "carol@example.org";
    p.language = 1;
    p.location = 0x0101;
    p.ageRange = 3;
    p.sex = 1;
    p.career = 4;
    p.icon = 257;
    p.mode = mode;
    p.age = 25;
    p.language1 = 3;
    p.eMail1 = "c1@example.org";
    p.phone = "010-1234";
    p.about = "你好";
    return p;
}

TEST(OwnInfoUpdate, OnlyTheChangedFieldsCarryTheirBitsAndTextsWithoutOneTravelEmpty) {
    const quint32 mode = OV_UMODE_BUDDY_AUTH | OV_UMODE_RESERVED | OV_UMODE_HIDE_EMAIL;
    const UserProfile reference = Received(mode);
    const Privacy privacy = Privacy::OfMode(mode);

    UserProfile page = reference;
    page.nickName = "卡罗尔";
    OV_USER_INFO sent = OwnInfoModel::BuildUpdate(reference, page, privacy);
    EXPECT_EQ(sent.nMask, quint32{OV_UFLD_NICKNAME});
    EXPECT_STREQ(sent.sNickName, ToCp936(QStringLiteral("卡罗尔")).c_str());
    // The other texts are absent; every number travels, as the pages hold it.
    EXPECT_STREQ(sent.sUserName, "");
    EXPECT_STREQ(sent.sLastName, "");
    EXPECT_STREQ(sent.sAbout, "");
    EXPECT_EQ(sent.nLocation, 0x0101u);
    EXPECT_EQ(sent.nIcon, 257u);
    EXPECT_EQ(sent.nAge, 25);
    EXPECT_EQ(sent.nMode, mode);

    // Nothing differs: nothing to send. A text differing only in case or by a blank does.
    EXPECT_EQ(OwnInfoModel::BuildUpdate(reference, reference, privacy).nMask, 0u);
    const struct {
        void (*change)(UserProfile&);
        quint32 bits;
    } changes[] = {
        {[](UserProfile& p) { p.firstName = "carol"; }, OV_UFLD_FIRSTNAME},
        {[](UserProfile& p) { p.lastName = "Li "; }, OV_UFLD_LASTNAME},
        {[](UserProfile& p) { p.eMail.clear(); }, OV_UFLD_EMAIL},
        {[](UserProfile& p) { p.eMail2 = "c2@example.org"; }, OV_UFLD_EMAIL2},
        {[](UserProfile& p) { p.about = "你好\n再见"; }, OV_UFLD_ABOUT},
        {[](UserProfile& p) { p.sex = 2; }, OV_UFLD_SEX},
        {[](UserProfile& p) { p.icon = 258; }, OV_UFLD_ICON},
        {[](UserProfile& p) { p.language3 = 5; }, OV_UFLD_LANGUAGE3},
        {[](UserProfile& p) {
             p.location = 0x0201;
             p.age = 26;
             p.homepage = "http://carol.example/";
         },
         OV_UFLD_LOCATION | OV_UFLD_AGE | OV_UFLD_HOMEPAGE},
        // The login name cannot be changed here, whatever the page holds.
        {[](UserProfile& p) { p.userName = "other"; }, 0},
    };
    for (const auto& c : changes) {
        UserProfile changed = reference;
        c.change(changed);
        sent = OwnInfoModel::BuildUpdate(reference, changed, privacy);
        EXPECT_EQ(sent.nMask, c.bits) << std::hex << c.bits;
        EXPECT_EQ(sent.nMode, mode);
    }
}

TEST(OwnInfoUpdate, EachPrivacyChoiceRewritesOnlyItsOwnBits) {
    // Bits no choice owns, and every owned bit in some state, must come back as received.
    const quint32 foreign = OV_UMODE_RESERVED | 0x100u | 0x80000000u;
    const struct {
        quint32 before;
        void (*choose)(Privacy&);
        quint32 after;  // 0xFFFFFFFF: nothing differs, no OV_UFLD_MODE
    } cases[] = {
        // Add-buddy setting.
        {OV_UMODE_BUDDY_AUTH | OV_UMODE_HIDE_EMAIL | OV_UMODE_NO_STRONGER_MSG,
         [](Privacy& p) { p.addBuddy = AddBuddyRule::Anyone; },
         OV_UMODE_HIDE_EMAIL | OV_UMODE_NO_STRONGER_MSG},
        {OV_UMODE_BUDDY_DENY | OV_UMODE_HIDE_USR_INFO,
         [](Privacy& p) { p.addBuddy = AddBuddyRule::Anyone; }, OV_UMODE_HIDE_USR_INFO},
        {0, [](Privacy& p) { p.addBuddy = AddBuddyRule::NeedsConsent; }, OV_UMODE_BUDDY_AUTH},
        {OV_UMODE_BUDDY_AUTH, [](Privacy& p) { p.addBuddy = AddBuddyRule::Nobody; },
         OV_UMODE_BUDDY_DENY},
        {OV_UMODE_BUDDY_DENY, [](Privacy& p) { p.addBuddy = AddBuddyRule::NeedsConsent; },
         OV_UMODE_BUDDY_AUTH},
        // Both add-buddy bits read as "nobody": choosing consent clears the deny bit.
        {OV_UMODE_BUDDY_AUTH | OV_UMODE_BUDDY_DENY,
         [](Privacy& p) { p.addBuddy = AddBuddyRule::NeedsConsent; }, OV_UMODE_BUDDY_AUTH},
        // Messages.
        {OV_UMODE_NO_STRONGER_MSG | OV_UMODE_NO_GROUP_USER_MSG | OV_UMODE_HIDE_USR_INFO,
         [](Privacy& p) { p.messages = MessageRule::Everybody; }, OV_UMODE_HIDE_USR_INFO},
        {OV_UMODE_BUDDY_DENY, [](Privacy& p) { p.messages = MessageRule::BuddiesAndSameSite; },
         OV_UMODE_BUDDY_DENY | OV_UMODE_NO_STRONGER_MSG},
        {OV_UMODE_NO_STRONGER_MSG, [](Privacy& p) { p.messages = MessageRule::BuddiesOnly; },
         OV_UMODE_NO_STRONGER_MSG | OV_UMODE_NO_GROUP_USER_MSG},
        {OV_UMODE_NO_STRONGER_MSG | OV_UMODE_NO_GROUP_USER_MSG,
         [](Privacy& p) { p.messages = MessageRule::BuddiesAndSameSite; },
         OV_UMODE_NO_STRONGER_MSG},
        // The hide boxes.
        {OV_UMODE_BUDDY_AUTH, [](Privacy& p) { p.hideDetails = true; },
         OV_UMODE_BUDDY_AUTH | OV_UMODE_HIDE_USR_INFO},
        {OV_UMODE_HIDE_USR_INFO | OV_UMODE_HIDE_EMAIL, [](Privacy& p) { p.hideEMail = false; },
         OV_UMODE_HIDE_USR_INFO},
        {0,
         [](Privacy& p) {
             p.hideEMail = true;
             p.hideDetails = true;
             p.addBuddy = AddBuddyRule::Nobody;
         },
         OV_UMODE_HIDE_EMAIL | OV_UMODE_HIDE_USR_INFO | OV_UMODE_BUDDY_DENY},
        // Choosing what is shown already changes nothing.
        {OV_UMODE_BUDDY_AUTH | OV_UMODE_NO_STRONGER_MSG,
         [](Privacy& p) {
             p.addBuddy = AddBuddyRule::NeedsConsent;
             p.messages = MessageRule::BuddiesAndSameSite;
         },
         0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        const UserProfile reference = Received(c.before | foreign);
        Privacy chosen = Privacy::OfMode(reference.mode);
        c.choose(chosen);
        const OV_USER_INFO sent = OwnInfoModel::BuildUpdate(reference, reference, chosen);
        if (c.after == 0xFFFFFFFFu) {
            EXPECT_EQ(sent.nMask, 0u);
            EXPECT_EQ(sent.nMode, reference.mode);
            continue;
        }
        EXPECT_EQ(sent.nMask, quint32{OV_UFLD_MODE}) << std::hex << c.before;
        EXPECT_EQ(sent.nMode, c.after | foreign) << std::hex << c.before << " -> " << sent.nMode;
        // What the sent mode shows is what was chosen.
        EXPECT_EQ(Privacy::OfMode(sent.nMode), chosen) << std::hex << c.before;
    }
}

TEST(OwnInfoUpdate, ARecordReadsBackAsItWasWrittenAndLongTextsAreCutAtWholeCharacters) {
    UserProfile p = Received(OV_UMODE_HIDE_EMAIL);
    p.eMail2 = "c2@example.org";
    p.mobile = "139";
    p.homepage = "http://carol.example/";
    p.mask |= OV_UFLD_EMAIL2;
    const OV_USER_INFO record = p.ToRecord();
    const UserProfile back =
        UserProfile::FromRecord(std::string_view(reinterpret_cast<const char*>(&record), 708));
    EXPECT_EQ(back, p);

    // A record too short reads as zeros beyond its end; a text without its bit reads empty.
    OV_USER_INFO shortRecord = record;
    shortRecord.nMask &= ~quint32{OV_UFLD_NICKNAME};
    const UserProfile cut =
        UserProfile::FromRecord(std::string_view(reinterpret_cast<const char*>(&shortRecord), 176));
    EXPECT_EQ(cut.nickName, "");
    EXPECT_EQ(cut.lastName, "Li");
    EXPECT_EQ(cut.mode, quint32{OV_UMODE_HIDE_EMAIL});
    EXPECT_EQ(cut.age, 0u);
    EXPECT_EQ(cut.about, "");

    // Nine Chinese characters are 18 bytes; a nickname holds 16.
    UserProfile longName;
    longName.mask = OV_UFLD_NICKNAME;
    longName.nickName = "一二三四五六七八九";
    EXPECT_STREQ(longName.ToRecord().sNickName,
                 ToCp936(QStringLiteral("一二三四五六七八")).c_str());
    longName.nickName = "a一二三四五六七八";  // 17 bytes: the last character does not fit
    EXPECT_STREQ(longName.ToRecord().sNickName, ToCp936(QStringLiteral("a一二三四五六七")).c_str());
}

// The dialog of a logged-in user whose server answers the first fetch and then goes silent,
// so that the test answers what the dialog sends.
class OwnInfoDialogTest : public InfoDialogTest<OwnInfoDialog> {
protected:
    void OpenAnswered() {
        StartServer();
        ASSERT_EQ(Register("carol", "pw"), "carol");
        LogIn("carol", "pw");
        wizard_ = OwnInfoDialog::Open(client_->App());
        ASSERT_NE(M().PendingFetch(), 0);
        ASSERT_TRUE(time_->RunUntil([&] { return M().HasReference(); }));
        Silence();
    }
    QByteArray Record(const UserProfile& p) {
        const OV_USER_INFO u = p.ToRecord();
        return QByteArray(reinterpret_cast<const char*>(&u), sizeof u);
    }
    void Reply(LONG seq, const UserProfile& p, OVErrorCodeEnum error = OV_ERR_NONE) {
        const QByteArray bytes = Record(p);
        M().OnRequestUserInfoReply(seq, error, std::string_view(bytes.constData(), bytes.size()));
        QCoreApplication::processEvents();
    }
    bool Checked(const QString& name) { return Named<QAbstractButton>(name)->isChecked(); }
};

TEST_F(OwnInfoDialogTest, OpeningFetchesAndThePagesShowWhatCame) {
    OpenAnswered();
    EXPECT_EQ(wizard_->windowTitle(), "修改个人资料");
    EXPECT_EQ(M().Reference().userName, "carol");
    EXPECT_EQ(M().Reference().pin, static_cast<quint32>(client_->Frame().OwnPin()));
    EXPECT_EQ(Named<QLineEdit>("OV号码")->text(), QString::number(client_->Frame().OwnPin()));
    EXPECT_TRUE(Named<QLineEdit>("OV号码")->isReadOnly());
    EXPECT_TRUE(Named<QLineEdit>("登录名")->isReadOnly());
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "nick");
    EXPECT_EQ(Status(), "");
    // One dialog per application.
    EXPECT_EQ(OwnInfoDialog::Open(client_->App()), wizard_.data());

    // "获取资料" asks again; its reply replaces what the pages show.
    Type("昵称", "typed, not sent");
    Click("获取资料");
    const LONG fetch = M().PendingFetch();
    ASSERT_NE(fetch, 0);
    UserProfile p = Received(OV_UMODE_BUDDY_DENY | OV_UMODE_NO_STRONGER_MSG |
                             OV_UMODE_NO_GROUP_USER_MSG | OV_UMODE_HIDE_USR_INFO);
    p.language = 3;
    Reply(fetch, p);
    EXPECT_EQ(M().PendingFetch(), 0);
    EXPECT_EQ(M().Reference(), p);
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "小卡");
    EXPECT_EQ(Named<QLineEdit>("姓")->text(), "Li");
    EXPECT_EQ(Named<QPlainTextEdit>("个人说明")->toPlainText(), "你好");
    EXPECT_EQ(Named<QComboBox>("母语")->currentText(), "英语");
    EXPECT_EQ(Named<QComboBox>("年龄段")->currentData().toInt(), 3);
    EXPECT_EQ(Named<QComboBox>("所在地")->currentData().toLongLong(), 0x0101);
    EXPECT_EQ(Named<QComboBox>("头像")->currentData().toInt(), 257);
    EXPECT_TRUE(Checked("女"));
    EXPECT_TRUE(Checked("禁止任何人将我加为好友"));
    EXPECT_TRUE(Checked("只接收好友发出的消息"));
    EXPECT_TRUE(Checked("隐藏我的个人详细信息（此选项对好友无效）"));
    EXPECT_FALSE(Checked("隐藏第一个电子邮件，只用于找回密码"));

    // Codes the lists do not know are kept, not replaced by the first entry.
    p.career = 200;
    p.language2 = 77;
    Click("获取资料");
    Reply(M().PendingFetch(), p);
    Click("修改资料");
    EXPECT_EQ(Status(), "资料没有改变。");
}

TEST_F(OwnInfoDialogTest, UntilTheReplyThePagesShowTheCachedRecordButUpdateWaits) {
    StartServer();
    ASSERT_EQ(Register("carol", "pw"), "carol");
    ShellClient& c = LogIn("carol", "pw");
    ASSERT_TRUE(
        time_->RunUntil([&] { return c.App().UserData().HasUserRecord(c.Frame().OwnPin()); }));
    Silence();
    wizard_ = OwnInfoDialog::Open(c.App());
    EXPECT_NE(M().PendingFetch(), 0);
    EXPECT_FALSE(M().HasReference());
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "nick");
    EXPECT_EQ(Named<QLineEdit>("登录名")->text(), "carol");
    EXPECT_FALSE(Enabled("修改资料"));

    UserProfile fresh = Received(0);
    fresh.nickName = "newer";
    Reply(M().PendingFetch(), fresh);
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "newer");
    EXPECT_TRUE(Enabled("修改资料"));
}

TEST_F(OwnInfoDialogTest, TheControlsSendTheirFieldsAndModeBitsAndNothingWhenNothingChanged) {
    OpenAnswered();
    const quint32 mode = OV_UMODE_BUDDY_AUTH | OV_UMODE_RESERVED | OV_UMODE_HIDE_EMAIL;
    Click("获取资料");
    Reply(M().PendingFetch(), Received(mode));

    Click("修改资料");
    EXPECT_EQ(Status(), "资料没有改变。");
    EXPECT_EQ(M().UpdatesSent(), 0);
    EXPECT_EQ(M().PendingUpdate(), 0);

    Type("昵称", "卡罗尔");
    Click("修改资料");
    EXPECT_EQ(M().UpdatesSent(), 1);
    EXPECT_NE(M().PendingUpdate(), 0);
    EXPECT_EQ(M().LastSent().nMask, quint32{OV_UFLD_NICKNAME});
    EXPECT_EQ(M().LastSent().nMode, mode);
    EXPECT_EQ(Status(), "");

    // Until a reply brings a new reference, each update compares with the old one.
    Type("昵称", "小卡");
    Click("任何人都可以将我加为好友");
    Click("修改资料");
    EXPECT_EQ(M().LastSent().nMask, quint32{OV_UFLD_MODE});
    EXPECT_EQ(M().LastSent().nMode, mode & ~3u);
    Click("需要经过我同意才能将我加为好友");

    Click("只接收好友和与我在同一网站的用户发出的消息");
    Click("修改资料");
    EXPECT_EQ(M().LastSent().nMask, quint32{OV_UFLD_MODE});
    EXPECT_EQ(M().LastSent().nMode, mode | OV_UMODE_NO_STRONGER_MSG);
    Click("接收所有人发出的消息");

    Click("隐藏第一个电子邮件，只用于找回密码");        // off
    Click("隐藏我的个人详细信息（此选项对好友无效）");  // on
    Click("男");
    Choose("职业", 0);  // the blank entry: no career
    Click("修改资料");
    EXPECT_EQ(M().LastSent().nMask, quint32{OV_UFLD_MODE | OV_UFLD_SEX | OV_UFLD_CAREER});
    EXPECT_EQ(M().LastSent().nMode,
              quint32{OV_UMODE_BUDDY_AUTH | OV_UMODE_RESERVED | OV_UMODE_HIDE_USR_INFO});
    EXPECT_EQ(M().LastSent().nSex, 0);
    EXPECT_EQ(M().LastSent().nCareer, 0);
    EXPECT_EQ(M().UpdatesSent(), 4);
}

TEST_F(OwnInfoDialogTest, RepliesAndSendErrorsShowTheirTextsForTheirOwnNumbersOnly) {
    OpenAnswered();
    Type("昵称", "卡罗尔");
    Click("修改资料");
    LONG update = M().PendingUpdate();
    Click("获取资料");
    LONG fetch = M().PendingFetch();
    ASSERT_NE(update, 0);
    ASSERT_NE(fetch, 0);

    // Other numbers change nothing.
    M().OnUpdateSelfUserInfoReply(update + 100, OV_ERR_NONE);
    M().OnCommandSendError(update + 100, OV_ERR_TIME_OUT);
    M().OnUpdateSelfUserInfoReply(fetch, OV_ERR_NONE);  // a fetch's number is no update's
    Reply(update, Received(0));                         // nor the other way round
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(M().PendingUpdate(), update);
    EXPECT_EQ(M().PendingFetch(), fetch);
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "卡罗尔");

    M().OnCommandSendError(fetch, OV_ERR_TIME_OUT);
    EXPECT_EQ(Status(), "获取用户信息错误，网络超时!");
    EXPECT_EQ(M().PendingFetch(), 0);
    EXPECT_EQ(M().PendingUpdate(), update);
    M().OnCommandSendError(update, OV_ERR_TIME_OUT);
    EXPECT_EQ(Status(), "修改用户信息错误，网络超时!");
    EXPECT_EQ(M().PendingUpdate(), 0);
    // A late reply for a number already handled is stale.
    M().OnUpdateSelfUserInfoReply(update, OV_ERR_NONE);
    EXPECT_EQ(Status(), "修改用户信息错误，网络超时!");

    Click("修改资料");
    update = M().PendingUpdate();
    M().OnUpdateSelfUserInfoReply(update, OV_ERR_UNKNOWN);
    EXPECT_EQ(Status(), "用户数据更新失败!");
    EXPECT_EQ(M().PendingFetch(), 0);

    // A success fetches again so that the next update compares with what the server keeps.
    Click("修改资料");
    update = M().PendingUpdate();
    M().OnUpdateSelfUserInfoReply(update, OV_ERR_NONE);
    EXPECT_EQ(Status(), "用户数据更新成功!");
    EXPECT_EQ(M().PendingUpdate(), 0);
    fetch = M().PendingFetch();
    ASSERT_NE(fetch, 0);
    UserProfile now = M().Reference();
    now.nickName = "卡罗尔";
    Reply(fetch, now);
    EXPECT_EQ(Status(), "用户数据更新成功!");
    Click("修改资料");
    EXPECT_EQ(Status(), "资料没有改变。");

    // A refused fetch leaves the pages and the reference alone.
    Click("获取资料");
    Reply(M().PendingFetch(), Received(0), OV_ERR_USR_NOT_EXIST);
    EXPECT_EQ(M().Reference().nickName, "卡罗尔");
    EXPECT_EQ(M().PendingFetch(), 0);
}

TEST_F(OwnInfoDialogTest, WithoutALoginNothingIsSentAndTheCloseEndsTheDialog) {
    ShellClient& c = StartClient("nobody");
    wizard_ = OwnInfoDialog::Open(c.App());
    EXPECT_EQ(M().PendingFetch(), 0);
    EXPECT_EQ(Status(), "获取用户信息错误，网络超时!");
    // No reference: nothing to compare with, so no update.
    EXPECT_FALSE(Enabled("修改资料"));
    M().Update();
    EXPECT_EQ(M().UpdatesSent(), 0);
    EXPECT_TRUE(Enabled("获取资料"));

    wizard_->reject();  // Escape
    EXPECT_TRUE(Closed());
    wizard_ = OwnInfoDialog::Open(c.App());
    Click("关闭");
    EXPECT_TRUE(Closed());
}

}  // namespace
}  // namespace ov::shell::testing
