// Whole registrations through the wizard's window against the reference server.
#include <QLabel>

#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

using RegistrationFlow = WizardTest;

TEST_F(RegistrationFlow, ARegistrationEndsWithTheServersNameOfferedForLogin) {
    StartServer();
    // A first start: nobody has logged in, so the kernel knows no server until the wizard
    // handshakes the gateway.
    ShellClient& c = StartClient("newcomer");
    OpenWizard();
    RegisterAs("alice", "wonder");
    ASSERT_EQ(Page(), Model::kRegistering);
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kRegistering; }));
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_EQ(Named<QLabel>("您的登录名：")->text(), "alice");
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_FALSE(Enabled("取消"));
    EXPECT_TRUE(Enabled("完成"));
    EXPECT_TRUE(c.prompts.Boxes().empty());

    Click("完成");
    EXPECT_TRUE(Closed());
    EXPECT_EQ(c.App().Login().userName, "alice");
    EXPECT_EQ(c.App().Login().password, "wonder");
    time_->RunDue();
    EXPECT_EQ(c.windows.Opened(), QStringList{"login"});

    // Without a name the server chooses one, and the wizard shows that.
    OpenWizard();
    RegisterAs("");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kRegistering; }));
    ASSERT_EQ(Page(), Model::kSucceeded);
    const QString assigned = Named<QLabel>("您的登录名：")->text();
    EXPECT_FALSE(assigned.isEmpty());
    EXPECT_NE(assigned, "alice");
    EXPECT_EQ(M().ConfirmedName(), assigned);
}

TEST_F(RegistrationFlow, ATakenNameLeadsToTheNameTakenPageAndOnToAnotherName) {
    StartServer();
    ASSERT_EQ(Register("bob", "first"), "bob");
    ShellClient& c = StartClient("second");
    Handshake(c, serverPort_);
    OpenWizard();
    RegisterAs("bob");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kRegistering; }));
    ASSERT_EQ(Page(), Model::kNameTaken);
    const QString suggestion = Named<QComboBox>("登录名建议")->currentText();
    EXPECT_TRUE(suggestion.startsWith("bob")) << suggestion.toStdString();

    Click("下一步");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kRegistering; }));
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_EQ(Named<QLabel>("您的登录名：")->text(), suggestion);
}

}  // namespace
}  // namespace ov::shell::testing
