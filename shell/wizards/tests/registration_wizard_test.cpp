// The registration wizard's pages and checks as a person meets them, and the record it hands
// the kernel, without a server.
#include <QPlainTextEdit>
#include <cstring>

#include "common/protocol/vocabulary.h"
#include "shell/core/cp936_text.h"
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

using RegistrationWizardPages = WizardTest;

OV_USER_INFO Decode(const QByteArray& bytes) {
    OV_USER_INFO u;
    std::memset(&u, 0xCC, sizeof u);
    EXPECT_EQ(bytes.size(), 708);
    std::memcpy(&u, bytes.constData(), std::min<size_t>(sizeof u, bytes.size()));
    return u;
}

QString Text(const char* field) {
    return FromCp936(field);
}

TEST_F(RegistrationWizardPages, WelcomeAndTermsLeadOnOnlyToRegisterAndAccept) {
    StartClient("pages");
    OpenWizard();
    EXPECT_EQ(wizard_->windowTitle(), "新用户注册");
    EXPECT_EQ(Page(), Model::kWelcome);
    EXPECT_TRUE(Named<QAbstractButton>("我要注册一个新用户。")->isChecked());
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_TRUE(Enabled("下一步"));
    EXPECT_TRUE(Enabled("取消"));
    EXPECT_FALSE(Enabled("完成"));

    Click("下一步");
    EXPECT_EQ(Page(), Model::kTerms);
    EXPECT_TRUE(Named<QPlainTextEdit>("Orvane服务条款")->toPlainText().contains("Orvane"));
    EXPECT_FALSE(Enabled("下一步"));
    Click("我接受以上的所有条款，并希望注册成为Orvane用户");
    EXPECT_TRUE(Enabled("下一步"));
    Click("我不能接受以上的条款");
    EXPECT_FALSE(Enabled("下一步"));
    Click("我接受以上的所有条款，并希望注册成为Orvane用户");
    Click("下一步");
    EXPECT_EQ(Page(), Model::kBasic);

    Click("上一步");
    Click("上一步");
    EXPECT_EQ(Page(), Model::kWelcome);
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(RegistrationWizardPages, LoggingInInsteadCancelOrTheCloseBoxEndTheWizard) {
    ShellClient& c = StartClient("ends");
    OpenWizard();
    Click("我已经注册了Orvane用户，请让我登录。");
    Click("下一步");
    EXPECT_TRUE(Closed());
    time_->RunDue();
    EXPECT_EQ(c.windows.Opened(), QStringList{"login"});

    // Cancel and the close box open nothing.
    c.windows.ClearOpened();
    OpenWizard();
    ToBasicPage();
    Click("取消");
    EXPECT_TRUE(Closed());
    OpenWizard();
    wizard_->close();
    EXPECT_TRUE(Closed());
    time_->RunDue();
    EXPECT_TRUE(c.windows.Opened().isEmpty());
}

TEST_F(RegistrationWizardPages, TheBasicPageTakesOnlyLowerCaseLettersDigitsDashAndUnderscore) {
    StartClient("names");
    OpenWizard();
    ToBasicPage();
    for (const char* good : {"abc123", "a-b_c", ""}) {
        FillBasic(good);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kPersonal) << good;
        EXPECT_TRUE(Boxes().isEmpty()) << good;
        Click("上一步");
    }
    for (const char* bad : {"12345", "Abc", "john.doe", ".", "ab c", "名字"}) {
        FillBasic(bad);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kBasic) << bad;
        EXPECT_EQ(Boxes(), QStringList{"错误的登录名格式"}) << bad;
        EXPECT_EQ(Focused(), "登录名") << bad;
    }
}

TEST_F(RegistrationWizardPages, TheBasicChecksComeOneAtATimeInTheirOrder) {
    StartClient("order");
    OpenWizard();
    ToBasicPage();
    Type("登录名", "Bad");
    Type("电子邮件", "nowhere");
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"错误的登录名格式"});

    Type("登录名", "good");
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"请输入登录密码"});
    EXPECT_EQ(Focused(), "密码");

    Type("密码", "secret");
    Type("重复密码", "Secret");
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"两次输入的密码不一致！"});
    EXPECT_EQ(Focused(), "密码");

    Type("重复密码", "secret");
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"错误的电子邮件格式！"});
    EXPECT_EQ(Focused(), "电子邮件");
    EXPECT_EQ(Page(), Model::kBasic);

    for (const char* bad : {"a@b", "john.doe@host", "@", "host.example"}) {
        Type("电子邮件", bad);
        Click("下一步");
        EXPECT_EQ(Boxes(), QStringList{"错误的电子邮件格式！"}) << bad;
    }
    for (const char* good : {"a@b.c", "john.doe@host.example", ""}) {
        Type("电子邮件", good);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kPersonal) << good;
        EXPECT_TRUE(Boxes().isEmpty()) << good;
        Click("上一步");
    }
}

TEST_F(RegistrationWizardPages, TheEmptyEMailQuestionWhenItIsAsked) {
    ShellClient& c = StartClient("question");
    OpenWizard();
    ToBasicPage();
    FillBasic("someone");
    M().SetSkipEmptyEMailQuestion(false);

    c.prompts.Answer(false);
    Click("下一步");
    ASSERT_EQ(c.prompts.Boxes().size(), 1u);
    EXPECT_EQ(c.prompts.Boxes()[0].kind, PromptRecorder::Box::Kind::YesNoDontAsk);
    EXPECT_EQ(Page(), Model::kBasic);
    EXPECT_EQ(Focused(), "电子邮件");

    // Yes with "don't ask again": on, and never again in this wizard.
    Boxes();
    c.prompts.Answer(true, true);
    Click("下一步");
    EXPECT_EQ(Page(), Model::kPersonal);
    EXPECT_EQ(Boxes().size(), 1);
    Click("上一步");
    Click("下一步");
    EXPECT_EQ(Page(), Model::kPersonal);
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(RegistrationWizardPages, ThePersonalChecksComeInOrderAndNoAnswerFails) {
    StartClient("personal");
    OpenWizard();
    ToBasicPage();
    FillBasic("someone");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kPersonal);
    // Career and face have a first choice; the rest wait for the user.
    EXPECT_EQ(Named<QComboBox>("年龄段")->currentIndex(), -1);
    EXPECT_EQ(Named<QComboBox>("职业")->currentIndex(), 0);
    EXPECT_GT(Named<QComboBox>("头像")->count(), 1);

    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"请选择您的年龄段"});
    EXPECT_EQ(Focused(), "年龄段");
    Choose("年龄段", 1);
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"请选择您的性别"});
    EXPECT_EQ(Focused(), "男");
    Click("保密");
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"请选择您所在的位置"});
    EXPECT_EQ(Focused(), "所在地");
    Choose("所在地", 2);
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"请选择您使用的语言"});
    EXPECT_EQ(Focused(), "语言");
    EXPECT_EQ(Page(), Model::kPersonal);

    // No server answers at the gateway: the handshake and then the registration go unanswered,
    // and when the kernel gives up the wizard shows the failed page, with Back to the data.
    Choose("语言", 0);
    Click("下一步");
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(Page(), Model::kRegistering);
    EXPECT_NE(M().Outstanding(), 0);
    for (int s = 0; s < 180 && Page() == Model::kRegistering; ++s)
        time_->Advance(1000);
    EXPECT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(M().Outstanding(), 0);
    EXPECT_TRUE(Enabled("上一步"));
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_FALSE(Enabled("完成"));
    Click("上一步");
    EXPECT_EQ(Page(), Model::kPersonal);
}

TEST_F(RegistrationWizardPages, TheRecordHoldsWhatWasTypedAndChosen) {
    StartClient("record");
    OpenWizard();
    ToBasicPage();
    FillBasic("alice", "pw1");
    Type("昵称", "小明");
    Type("姓", "王");
    Type("名", "一二三四五六七八九");  // 18 bytes: cut after the eighth character
    Type("电子邮件", "alice@example.org");
    Named<QAbstractButton>("请隐藏我的电子邮件，只用于找回密码")->setChecked(true);
    Click("下一步");
    Choose("年龄段", 2);
    Click("女");
    Choose("所在地", 3);
    Choose("语言", 1);
    Choose("职业", 2);
    Choose("头像", 1);
    const auto code = [&](const char* combo) {
        return Named<QComboBox>(combo)->currentData().toLongLong();
    };
    Click("下一步");

    const OV_USER_INFO u = Decode(M().LastRecord());
    EXPECT_EQ(u.nMask, uint32_t(OV_UFLD_PASSWORD | OV_UFLD_USERNAME | OV_UFLD_NICKNAME |
                                OV_UFLD_FIRSTNAME | OV_UFLD_LASTNAME | OV_UFLD_EMAIL |
                                OV_UFLD_LOCATION | OV_UFLD_AGERANGE | OV_UFLD_SEX | OV_UFLD_CAREER |
                                OV_UFLD_ICON | OV_UFLD_LANGUAGE | OV_UFLD_MODE));
    EXPECT_EQ(u.nPin, 0u);
    EXPECT_EQ(Text(u.sUserName), "alice");
    EXPECT_EQ(Text(u.sPassword), "pw1");
    EXPECT_EQ(Text(u.sNickName), "小明");
    EXPECT_EQ(Text(u.sLastName), "王");
    EXPECT_EQ(Text(u.sFirstName), "一二三四五六七八");
    EXPECT_EQ(Text(u.sEMail), "alice@example.org");
    EXPECT_EQ(u.nAgeRange, code("年龄段"));
    EXPECT_EQ(u.nSex, 1);
    EXPECT_EQ(u.nLocation, code("所在地"));
    EXPECT_EQ(u.nLanguage, code("语言"));
    EXPECT_EQ(u.nCareer, code("职业"));
    EXPECT_EQ(u.nIcon, code("头像"));
    EXPECT_EQ(u.nMode, uint32_t(OV_UMODE_HIDE_EMAIL));
    // Everything else stays zero, padding included.
    const QByteArray bytes = M().LastRecord();
    for (int i = offsetof(OV_USER_INFO, nAge); i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(bytes[offsetof(OV_USER_INFO, reserved1)], 0);

    // With only the password, only the password and the personal page's fields are sent.
    Model::BasicInfo bare;
    bare.password = "pw";
    Model::PersonalInfo personal;
    personal.ageRange = 1;
    personal.sex = 0;
    personal.location = 0x0101;
    personal.language = 2;
    const OV_USER_INFO v = Decode(Model::BuildUserInfo(bare, personal));
    EXPECT_EQ(v.nMask, 0x3F84u);
    EXPECT_EQ(v.nMode, 0u);
    EXPECT_EQ(v.sUserName[0], 0);
    EXPECT_EQ(v.sEMail[0], 0);
    EXPECT_EQ(v.nLocation, 0x0101u);
}

// A kernel pointed at a gateway that never answers: the command stays outstanding, and the
// test plays the server's replies.
TEST_F(RegistrationWizardPages, OnlyTheOutstandingReplyMovesTheWizardOn) {
    ShellClient& c = StartClient("replies");
    DeadGateway nowhere;
    Handshake(c, nowhere.Port());
    OpenWizard();
    RegisterAs("");
    ASSERT_EQ(Page(), Model::kRegistering);
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_FALSE(Enabled("下一步"));
    const LONG seq = M().Outstanding();
    ASSERT_NE(seq, 0);

    M().OnRegisterUserReply(seq + 1, OV_ERR_NONE, 5000, "stranger");
    M().OnRegisterUserReply(seq + 1, OV_ERR_USR_EXIST, 0, "");
    EXPECT_EQ(Page(), Model::kRegistering);
    EXPECT_EQ(M().Outstanding(), seq);

    // The name is taken: six suggestions of "ov-" and a number, the first in the edit field.
    M().OnRegisterUserReply(seq, OV_ERR_USR_EXIST, 0, "");
    ASSERT_EQ(Page(), Model::kNameTaken);
    EXPECT_EQ(M().Outstanding(), 0);
    auto* suggestions = Named<QComboBox>("登录名建议");
    ASSERT_EQ(suggestions->count(), 6);
    for (int i = 0; i < suggestions->count(); ++i) {
        const QString s = suggestions->itemText(i);
        EXPECT_TRUE(s.startsWith("ov-")) << s.toStdString();
        EXPECT_LE(s.size(), 15);
        EXPECT_TRUE(Model::IsRegistrableName(s, true)) << s.toStdString();
    }
    EXPECT_EQ(suggestions->currentText(), suggestions->itemText(0));
    EXPECT_TRUE(Named<QAbstractButton>("重新选择登录名")->isChecked());

    // The name-taken page accepts a full stop but no other new character, nor digits only.
    for (const char* bad : {"", "12345", "Abc", "a b"}) {
        suggestions->setEditText(bad);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kNameTaken) << bad;
        EXPECT_EQ(Boxes(), QStringList{*bad ? "错误的登录名格式" : "请输入登录名"}) << bad;
        EXPECT_EQ(Focused(), "登录名建议") << bad;
    }
    suggestions->setEditText("john.doe");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kRegistering);
    const LONG second = M().Outstanding();
    EXPECT_NE(second, 0);
    EXPECT_NE(second, seq);
    EXPECT_EQ(Text(Decode(M().LastRecord()).sUserName), "john.doe");

    // A late reply to the first attempt changes nothing; the server's failure to answer is
    // the failed page.
    M().OnRegisterUserReply(seq, OV_ERR_NONE, 5000, "john.doe");
    EXPECT_EQ(Page(), Model::kRegistering);
    M().OnRegisterUserReply(second, OV_ERR_TIME_OUT, 0, "");
    EXPECT_EQ(Page(), Model::kFailed);

    // Back to the data, on again, taken again: suggestions now follow the typed name, cut
    // to 15 characters; letting the system choose sends no name.
    Click("上一步");
    ASSERT_EQ(Page(), Model::kPersonal);
    Click("上一步");
    Type("登录名", "abcdefghijklmn");
    Click("下一步");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kRegistering);
    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_USR_EXIST, 0, "");
    ASSERT_EQ(Page(), Model::kNameTaken);
    for (const QString& s : M().Suggestions()) {
        EXPECT_TRUE(s.startsWith("abcdefghijklmn")) << s.toStdString();
        EXPECT_EQ(s.size(), 15) << s.toStdString();
    }
    Click("让系统自动分配一个号码做为我的登录名。");
    EXPECT_FALSE(suggestions->isEnabled());
    Click("下一步");
    ASSERT_EQ(Page(), Model::kRegistering);
    const OV_USER_INFO u = Decode(M().LastRecord());
    EXPECT_EQ(u.nMask & OV_UFLD_USERNAME, 0u);
    EXPECT_EQ(u.sUserName[0], 0);
}

}  // namespace
}  // namespace ov::shell::testing
