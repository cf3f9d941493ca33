// The wizard with the program's skin: every page shows its picture and the registering page
// its animation. With ORVANE_WIZARD_SHOTS set to a folder, each page is also saved there as a
// PNG, to look at.
#include <QDir>
#include <QLabel>
#include <QMovie>
#include <QStackedWidget>

#include "shell/skin/skin_manager.h"
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

class SkinnedWizard : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        skin_.SetBaseDirectory(GetProgramDirectory() + "Skins/");
        ASSERT_TRUE(skin_.Load("orvane"));
        ShellDesktop desktop;
        desktop.prompts = &prompts_;
        desktop.sounds = &sounds_;
        desktop.tray = &tray_;
        desktop.launcher = &launcher_;
        desktop.timers = time_.get();
        desktop.windows = &windows_;
        desktop.clock = time_->Seconds();
        desktop.skin = &skin_;
        desktop.log = [](const QString&) {};
        QDir().mkpath(home_ + "/skinned");
        app_ = std::make_unique<OVShellApp>(QString::fromStdString(GetProgramDirectory()),
                                            home_ + "/skinned", std::move(desktop));
        ASSERT_TRUE(app_->Start());
        kernels_ += 1;
        time_->SetWaiters(3 * kernels_);
        time_->RunDue();
    }
    void TearDown() override {
        delete wizard_.data();
        app_.reset();
        WizardTest::TearDown();
    }

    // Saves the window when pictures are wanted.
    void Shot(const char* name) {
        const QString folder = qEnvironmentVariable("ORVANE_WIZARD_SHOTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        QCoreApplication::processEvents();
        wizard_->grab().save(folder + "/" + name + ".png");
    }
    bool PictureShown() {
        QLabel* picture = nullptr;
        for (QLabel* l : wizard_->findChildren<QLabel*>())
            if (l->accessibleName() == "新用户注册")
                picture = l;
        return picture != nullptr && picture->isVisible() && !picture->pixmap().isNull();
    }

    PromptRecorder prompts_;
    SoundRecorder sounds_;
    TrayRecorder tray_;
    LaunchRecorder launcher_;
    WindowRecorder windows_;
    OVSkin skin_;
    std::unique_ptr<OVShellApp> app_;
};

TEST_F(SkinnedWizard, EveryPageShowsItsPictureAndTheRegisteringPageItsAnimation) {
    DeadGateway nowhere;
    {
        KernelWatch watch(app_->Kernel());
        LONG seq = 0;
        app_->Kernel()->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), nowhere.Port(), &seq);
    }
    wizard_ = new RegistrationWizard(*app_);
    wizard_->show();

    EXPECT_TRUE(PictureShown());
    Shot("0-welcome");
    Click("下一步");
    EXPECT_TRUE(PictureShown());
    Shot("1-terms");
    Click("我接受以上的所有条款，并希望注册成为Orvane用户");
    Click("下一步");
    Type("登录名", "alice");
    Type("昵称", "小明");
    Type("电子邮件", "alice@example.org");
    Type("密码", "secret");
    Type("重复密码", "secret");
    EXPECT_TRUE(PictureShown());
    Shot("2-basic");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kPersonal);
    ChoosePersonal();
    EXPECT_TRUE(PictureShown());
    Shot("3-personal");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kRegistering);
    EXPECT_TRUE(PictureShown());
    QMovie* movie = nullptr;
    for (QLabel* l : wizard_->findChildren<QLabel*>())
        if (l->movie() != nullptr)
            movie = l->movie();
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isValid());
    EXPECT_EQ(movie->state(), QMovie::Running);
    Shot("5-registering");

    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_USR_EXIST, 0, "");
    ASSERT_EQ(Page(), Model::kNameTaken);
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
    EXPECT_TRUE(PictureShown());
    Shot("4-name-taken");
    Click("下一步");
    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_TIME_OUT, 0, "");
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_TRUE(PictureShown());
    Shot("6-failed");
    Click("上一步");
    Click("下一步");
    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_NONE, 10001, "alice");
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_TRUE(PictureShown());
    Shot("7-succeeded");
}

}  // namespace
}  // namespace ov::shell::testing
