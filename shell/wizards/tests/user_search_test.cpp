// The user search wizard with replies given by hand: its checks and their messages, the
// record each way of searching sends, the pages a reply leads to, paging through received
// pages, and the results page's buttons.
#include <QRadioButton>
#include <QTreeWidget>
#include <cstring>

#include "shell/core/commands.h"
#include "shell/core/cp936_text.h"
#include "shell/wizards/tests/wizard_fixture.h"
#include "shell/wizards/widgets/user_search_wizard.h"

namespace ov::shell::testing {
namespace {

using Model = UserSearchModel;

// n records of users numbered from firstPin, named "user<pin>" and "用户<pin>".
QByteArray MakeUsers(int n, int firstPin) {
    QByteArray bytes;
    for (int i = 0; i < n; ++i) {
        OV_USER_INFO u;
        std::memset(&u, 0, sizeof u);
        u.nPin = static_cast<uint32_t>(firstPin + i);
        const std::string name = "user" + std::to_string(firstPin + i);
        std::strncpy(u.sUserName, name.c_str(), sizeof u.sUserName - 1);
        const std::string nick = ToCp936(QStringLiteral("用户%1").arg(firstPin + i));
        std::strncpy(u.sNickName, nick.c_str(), sizeof u.sNickName - 1);
        u.nIcon = 7;
        u.nOnlineStatus = i % 2 == 0 ? OV_ONLINE_STATUS_ONLINE : OV_ONLINE_STATUS_OFFLINE;
        bytes.append(reinterpret_cast<const char*>(&u), sizeof u);
    }
    return bytes;
}

class SearchPages : public WizardWindowTest<UserSearchWizard> {
protected:
    // A client logged in to a server that then stops: its searches go out and no reply comes
    // but the ones the test gives.
    ShellClient& StartSilent() {
        StartServer();
        EXPECT_EQ(Register("alice", "pw"), "alice");
        ShellClient& c = NewClient("alice");
        c.WriteGateways({Server()});
        c.WriteUserSettings("alice", "pw", 4);
        EXPECT_TRUE(Start(c));
        EXPECT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
        StopServer();
        c.windows.ClearOpened();
        c.prompts.Clear();
        client_ = &c;
        return c;
    }
    // The reply to the outstanding search.
    void Reply(int count, bool more, const QByteArray& users, OVErrorCodeEnum error = OV_ERR_NONE) {
        M().OnSearchUserReply2(M().Outstanding(), error, more ? VARIANT_TRUE : VARIANT_FALSE, count,
                               std::string_view(users.constData(), users.size()));
        QCoreApplication::processEvents();
    }
    OV_USER_INFO Sent() {
        OV_USER_INFO u;
        std::memset(&u, 0xAB, sizeof u);
        const QByteArray& record = M().LastSent().record;
        EXPECT_EQ(record.size(), static_cast<qsizetype>(sizeof u));
        std::memcpy(&u, record.constData(), std::min(sizeof u, size_t(record.size())));
        return u;
    }
    QStringList Listed(int column) {
        QStringList texts;
        auto* list = Named<QTreeWidget>("查询结果");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(column);
        return texts;
    }
    // Searches for everyone online: the one search that needs no input.
    void SearchOnline() {
        Click("查看在线用户");
        Click("下一步");
        ASSERT_EQ(Page(), Model::kSearching);
        ASSERT_NE(M().Outstanding(), 0);
    }
};

TEST_F(SearchPages, EachWayOfSearchingChecksItsFieldAndARefusedInputSendsNothing) {
    StartSilent();
    OpenWizard();
    EXPECT_EQ(wizard_->windowTitle(), "查找添加用户");
    EXPECT_EQ(Page(), Model::kMode);
    EXPECT_TRUE(Named<QRadioButton>("通过OV号码查找")->isChecked());
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_TRUE(Enabled("下一步"));
    EXPECT_FALSE(Enabled("完成"));

    const struct {
        const char* mode;
        const char* field;
        const char* text;
        const char* box;
    } refused[] = {
        {"通过OV号码查找", "OV号码", "", "请输入Orvane号码"},
        {"通过OV号码查找", "OV号码", "0", "请输入Orvane号码"},
        {"通过用户的登录名查找", "登录名", "", "请输入登录名"},
        {"通过电子邮件地址查找", "电子邮件地址", "", "请输入电子邮件地址"},
        {"通过电子邮件地址查找", "电子邮件地址", "carol", "错误的电子邮件格式！"},
        {"通过电子邮件地址查找", "电子邮件地址", "carol@host", "错误的电子邮件格式！"},
        {"通过电子邮件地址查找", "电子邮件地址", "c.arol@host", "错误的电子邮件格式！"},
        {"通过用户的昵称查找", "用户的昵称", "", "昵称不能为空，请输入昵称。"},
    };
    for (const auto& r : refused) {
        Click(r.mode);
        Type(r.field, r.text);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kMode) << r.box;
        EXPECT_EQ(Boxes(), QStringList{r.box});
        EXPECT_EQ(Focused(), r.field) << r.box;
        Type(r.field, "");
    }
    // The combined query asks for something on its own page.
    Click("高级查找(组合查询注册用户)");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kQuery);
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_TRUE(Enabled("上一步"));
    Click("下一步");
    EXPECT_EQ(Page(), Model::kQuery);
    EXPECT_EQ(Boxes(), QStringList{"请至少输入一个查询条件"});
    EXPECT_EQ(Focused(), "昵称");
    EXPECT_EQ(M().SearchesSent(), 0);
    EXPECT_EQ(M().Outstanding(), 0);

    // Choosing "男士" alone is a criterion, although its code is 0.
    Choose("性别", 1);
    Click("下一步");
    ASSERT_EQ(Page(), Model::kSearching);
    EXPECT_NE(M().Outstanding(), 0);
    EXPECT_EQ(Sent().nMask, uint32_t{OV_UFLD_SEX});
    EXPECT_EQ(Sent().nSex, 0);
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_TRUE(Enabled("取消"));

    // An e-mail address with a dot after the "@" goes out.
    M().OnSearchUserReply2(M().Outstanding(), OV_ERR_NO_MATCH, VARIANT_FALSE, 0, {});
    Click("上一步");
    ASSERT_EQ(Page(), Model::kQuery);
    Click("上一步");
    Click("通过电子邮件地址查找");
    Type("电子邮件地址", "carol@mail.example");
    Click("下一步");
    EXPECT_EQ(Page(), Model::kSearching);
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(SearchPages, TheRecordCarriesOnlyTheChosenWaysFieldsCutToFit) {
    Model::Input in;
    in.mode = Model::kByPin;
    in.pin = "123456";
    in.nickName = "ignored";
    OV_USER_INFO u;
    QByteArray record = Model::BuildRecord(in);
    ASSERT_EQ(record.size(), static_cast<qsizetype>(sizeof u));
    std::memcpy(&u, record.constData(), sizeof u);
    EXPECT_EQ(u.nMask, uint32_t{OV_UFLD_PIN});
    EXPECT_EQ(u.nPin, 123456u);
    EXPECT_EQ(u.sNickName[0], 0);

    // Nine Chinese characters are 18 bytes: eight whole ones fit the 17 bytes with the zero.
    in.mode = Model::kByNickName;
    in.nickName = QStringLiteral("一二三四五六七八九");
    record = Model::BuildRecord(in);
    std::memcpy(&u, record.constData(), sizeof u);
    EXPECT_EQ(u.nMask, uint32_t{OV_UFLD_NICKNAME});
    EXPECT_EQ(u.nPin, 0u);
    EXPECT_EQ(FromCp936(u.sNickName), QStringLiteral("一二三四五六七八"));

    in.mode = Model::kCombined;
    in.query.lastName = "Li";
    in.query.firstName = "Lei";
    in.query.location = 0x1101;
    in.query.language = 2;
    in.query.ageRange = 3;
    record = Model::BuildRecord(in);
    std::memcpy(&u, record.constData(), sizeof u);
    EXPECT_EQ(u.nMask, uint32_t{OV_UFLD_LASTNAME | OV_UFLD_FIRSTNAME | OV_UFLD_LOCATION |
                                OV_UFLD_LANGUAGE | OV_UFLD_AGERANGE});
    EXPECT_STREQ(u.sLastName, "Li");
    EXPECT_STREQ(u.sFirstName, "Lei");
    EXPECT_EQ(u.sNickName[0], 0);
    EXPECT_EQ(u.nLocation, 0x1101u);
    EXPECT_EQ(u.nLanguage, 2);
    EXPECT_EQ(u.nAgeRange, 3);

    // Online users: nothing in the record at all, and the online flag set.
    StartSilent();
    OpenWizard();
    SearchOnline();
    EXPECT_EQ(M().LastSent().online, 1);
    EXPECT_EQ(M().LastSent().start, 0);
    EXPECT_EQ(M().LastSent().record, QByteArray(sizeof(OV_USER_INFO), '\0'));
}

TEST_F(SearchPages, PagesAreAskedForOnceAndSteppedThroughFromWhatWasReceived) {
    StartSilent();
    OpenWizard();
    SearchOnline();
    EXPECT_EQ(M().LastSent().start, 0);
    Reply(20, true, MakeUsers(20, 1000));
    ASSERT_EQ(Page(), Model::kResults);
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_TRUE(Enabled("完成"));
    EXPECT_TRUE(Enabled("上一步"));
    EXPECT_TRUE(Enabled("下一页"));
    EXPECT_FALSE(Enabled("上一页"));
    EXPECT_FALSE(Enabled("全部"));
    ASSERT_EQ(Listed(0).size(), 20);
    EXPECT_EQ(Listed(0).front(), "1000");
    EXPECT_EQ(Listed(1).front(), "user1000");
    EXPECT_EQ(Listed(2).front(), "用户1000");
    EXPECT_EQ(Listed(4).mid(0, 2), (QStringList{"在线", "离线"}));

    Click("下一页");
    ASSERT_EQ(Page(), Model::kSearching);
    EXPECT_EQ(M().LastSent().start, 20);
    EXPECT_EQ(M().LastSent().online, 1);
    EXPECT_EQ(M().SearchesSent(), 2);
    // A page need not be full: the next one starts after what this one held.
    Reply(5, true, MakeUsers(5, 1020));
    ASSERT_EQ(Page(), Model::kResults);
    EXPECT_EQ(Listed(0), (QStringList{"1020", "1021", "1022", "1023", "1024"}));
    EXPECT_TRUE(Enabled("上一页"));
    Click("下一页");
    EXPECT_EQ(M().LastSent().start, 25);
    Reply(2, false, MakeUsers(2, 1025));
    EXPECT_EQ(Listed(0), (QStringList{"1025", "1026"}));
    EXPECT_FALSE(Enabled("下一页"));
    EXPECT_EQ(M().SearchesSent(), 3);

    // Back and forth again: the pages kept, no command.
    Click("上一页");
    Click("上一页");
    EXPECT_EQ(Page(), Model::kResults);
    EXPECT_EQ(Listed(0).size(), 20);
    EXPECT_EQ(Listed(0).front(), "1000");
    EXPECT_FALSE(Enabled("上一页"));
    Click("下一页");
    EXPECT_EQ(Listed(0).front(), "1020");
    Click("下一页");
    EXPECT_EQ(Listed(0).front(), "1025");
    EXPECT_EQ(M().SearchesSent(), 3);
    EXPECT_EQ(M().Outstanding(), 0);

    // "全部": every received user in one list; the pages come back one at a time.
    Click("全部");
    EXPECT_EQ(Listed(0).size(), 27);
    EXPECT_FALSE(Enabled("全部"));
    Click("上一页");
    EXPECT_EQ(Listed(0).size(), 5);
    EXPECT_EQ(M().SearchesSent(), 3);

    // A new search starts from nothing again.
    Click("上一步");
    ASSERT_EQ(Page(), Model::kMode);
    Click("下一步");
    EXPECT_EQ(M().LastSent().start, 0);
    EXPECT_TRUE(M().Pages().isEmpty());
    Reply(3, false, MakeUsers(3, 2000));
    EXPECT_EQ(Listed(0), (QStringList{"2000", "2001", "2002"}));
    EXPECT_FALSE(Enabled("下一页"));
    EXPECT_FALSE(Enabled("上一页"));
}

TEST_F(SearchPages, RepliesWithoutUsersShowTheirTextAndOtherSearchesRepliesAreDropped) {
    StartSilent();
    OpenWizard();
    const QString noMatch = "没有找到匹配条件的用户，请选择“上一步”，然后重新输入查询条件。";
    const struct {
        OVErrorCodeEnum error;
        int count;
        QByteArray users;
        QString text;
    } replies[] = {
        {OV_ERR_NONE, 0, {}, noMatch},
        {OV_ERR_NO_MATCH, 0, {}, noMatch},
        // A count without whole records lists nobody.
        {OV_ERR_NONE, 2, MakeUsers(1, 1000).left(300), noMatch},
        {OV_ERR_TIME_OUT,
         0,
         {},
         "网络通讯超时，请检查您的网络连接！注意：查询命令已经发出，但是无法获得服务器的返回信息"},
        {OV_ERR_USR_EXIST,
         0,
         {},
         "未知错误！错误代码：20，请与Orvane技术支持联系！(support@orvane.example)"},
        // Users with an error are not shown either.
        {OV_ERR_USER_CANCELED, 1, MakeUsers(1, 1000),
         "未知错误！错误代码：4096，请与Orvane技术支持联系！(support@orvane.example)"},
    };
    for (const auto& r : replies) {
        SearchOnline();
        const LONG seq = M().Outstanding();
        // Replies to other commands change nothing.
        M().OnSearchUserReply2(seq + 1, OV_ERR_NONE, VARIANT_FALSE, 1,
                               MakeUsers(1, 5).toStdString());
        M().OnSearchUserReply2(seq - 1, OV_ERR_TIME_OUT, VARIANT_FALSE, 0, {});
        EXPECT_EQ(Page(), Model::kSearching);
        EXPECT_EQ(M().Outstanding(), seq);
        Reply(r.count, false, r.users, r.error);
        ASSERT_EQ(Page(), Model::kFailed) << r.text.toStdString();
        EXPECT_EQ(Named<QLabel>(r.text)->text(), r.text);
        EXPECT_TRUE(Named<QLabel>(r.text)->isVisible());
        EXPECT_FALSE(Enabled("下一步"));
        EXPECT_FALSE(Enabled("完成"));
        EXPECT_TRUE(Enabled("上一步"));
        EXPECT_EQ(M().Outstanding(), 0);
        // A repeated reply after the first is another command's too.
        Reply(1, false, MakeUsers(1, 1000));
        EXPECT_EQ(Page(), Model::kFailed);
        Click("上一步");
        ASSERT_EQ(Page(), Model::kMode);
    }

    // A short reply lists the whole records it carries, never more than its count.
    SearchOnline();
    Reply(3, false, MakeUsers(3, 1000).left(2 * sizeof(OV_USER_INFO) + 100));
    ASSERT_EQ(Page(), Model::kResults);
    EXPECT_EQ(Listed(0), (QStringList{"1000", "1001"}));
    Click("上一步");
    SearchOnline();
    Reply(1, false, MakeUsers(3, 1000));
    EXPECT_EQ(Listed(0), QStringList{"1000"});
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(SearchPages, TheResultsOpenTheChosenUserAndTheWizardEndsByFinishOrCancel) {
    ShellClient& c = StartSilent();
    OpenWizard();
    // The online counts go into the online-users choice; a failed count changes nothing.
    EXPECT_EQ(Named<QRadioButton>("查看在线用户")->text(), "查看在线用户");
    M().OnRequestOnlineUserStatReply(99, OV_ERR_TIME_OUT, 1, 2);
    EXPECT_EQ(Named<QRadioButton>("查看在线用户")->text(), "查看在线用户");
    M().OnRequestOnlineUserStatReply(99, OV_ERR_NONE, 12, 345);
    EXPECT_EQ(Named<QRadioButton>("查看在线用户")->text(), "查看在线用户(当前:12 最大:345)");

    SearchOnline();
    Reply(3, false, MakeUsers(3, 1000));
    // The first user is chosen to begin with.
    Click("用户信息");
    Named<QTreeWidget>("查询结果")->setCurrentItem(Named<QTreeWidget>("查询结果")->topLevelItem(2));
    Click("添加好友");
    EXPECT_EQ(c.windows.Opened(),
              (QStringList{"userinfo 1000 user1000", "addbuddy 1002 user1002 7"}));
    Named<QTreeWidget>("查询结果")->clearSelection();
    EXPECT_FALSE(Enabled("用户信息"));
    EXPECT_FALSE(Enabled("添加好友"));

    Click("完成");
    EXPECT_TRUE(Closed());

    // Cancel from the searching page: the late reply finds nobody.
    OpenWizard();
    SearchOnline();
    Click("取消");
    EXPECT_TRUE(Closed());

    UserSearchWizard* first = UserSearchWizard::Open(c.App());
    EXPECT_EQ(UserSearchWizard::Open(c.App()), first);
    wizard_ = first;
    wizard_->reject();  // Escape
    EXPECT_TRUE(Closed());
}

TEST_F(SearchPages, ASearchBoxTextSearchesAtOnceByWhatItLooksLike) {
    const struct {
        const char* text;
        Model::Mode mode;
    } texts[] = {
        {"10001", Model::kByPin},
        {"1000", Model::kByPin},
        {"99999999999", Model::kByNickName},  // no PIN is that large
        {"bob@mail.example", Model::kByEMail},
        {"bob@host", Model::kByNickName},
        {"bob_smith", Model::kByUserName},
        {"Bob", Model::kByNickName},
        {"小明", Model::kByNickName},
        {"bob smith", Model::kByNickName},
    };
    for (const auto& t : texts)
        EXPECT_EQ(Model::ModeForText(QString::fromUtf8(t.text)), t.mode) << t.text;

    ShellClient& c = StartSilent();
    wizard_ = UserSearchWizard::OpenWithText(c.App(), " 10001 ");
    ASSERT_EQ(Page(), Model::kSearching);
    EXPECT_EQ(Sent().nMask, uint32_t{OV_UFLD_PIN});
    EXPECT_EQ(Sent().nPin, 10001u);
    EXPECT_TRUE(Named<QRadioButton>("通过OV号码查找")->isChecked());
    EXPECT_EQ(Named<QLineEdit>("OV号码")->text(), "10001");

    // Another text while the first search waits: its reply no longer counts.
    const LONG first = M().Outstanding();
    UserSearchWizard::OpenWithText(c.App(), "小明");
    EXPECT_NE(M().Outstanding(), first);
    EXPECT_EQ(Sent().nMask, uint32_t{OV_UFLD_NICKNAME});
    EXPECT_EQ(Named<QLineEdit>("用户的昵称")->text(), "小明");
    M().OnSearchUserReply2(first, OV_ERR_NONE, VARIANT_FALSE, 1, MakeUsers(1, 5).toStdString());
    EXPECT_EQ(Page(), Model::kSearching);
    Reply(1, false, MakeUsers(1, 1000));
    EXPECT_EQ(Page(), Model::kResults);
}

}  // namespace
}  // namespace ov::shell::testing
