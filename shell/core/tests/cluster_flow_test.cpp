// Two servers on one PostgreSQL database, and complete clients whose gateway list names both:
// when the server a client is logged in at goes, the client walks on to the next gateway and
// logs in there by itself, and a message its buddy sent meanwhile reaches it. Skipped unless
// the test run made a PostgreSQL cluster (ORVANE_TEST_PG_URL_FILE).
#include "server/tests/test_database.h"
#include "shell/core/tests/flow_fixture.h"

#include <chrono>
#include <thread>

namespace ov::shell::testing {
namespace {

class ClusterFlow : public ShellFlowTest {
protected:
    std::unique_ptr<ov::server::Server> Serve(const std::string& db) {
        ov::server::ServerConfig config;
        config.listen.port = 0;
        config.databasePath = db;
        config.passwordCost = ov::server::PasswordCost::kMinimal;
        auto s = std::make_unique<ov::server::Server>(config, nullptr, &serverLog_);
        std::string error;
        EXPECT_TRUE(s->Start(&error)) << error;
        return s;
    }
    static GatewayInfo At(const ov::server::Server& s) {
        return GatewayInfo{QStringLiteral("127.0.0.1"), s.Port()};
    }
    static std::vector<std::string> Texts(KernelWatch& w) {
        std::vector<std::string> texts;
        for (const auto& e : w.Named(OV_DISPID_ON_USER_MESSAGE_RECEIVED))
            texts.push_back(e.args[4].bytes);
        return texts;
    }
    // Servers hear of each other's logins a moment later: waits (bounded) until s sees pin.
    static bool Sees(ov::server::Server& s, LONG pin) {
        for (int i = 0; i < 300; ++i) {
            bool seen = false;
            s.Call([&](ov::server::ServerCore& core) {
                seen = const_cast<ov::server::Sessions&>(core.SessionTable())
                           .Find(static_cast<uint32_t>(pin)) != nullptr;
            });
            if (seen)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void Send(ShellClient& from, ShellClient& to, const std::string& text) {
        CByteArrayVariant bytes(text);
        LONG seq = 0;
        from.App().Kernel()->SendToUser(to.Frame().OwnPin(), 0, OV_COMPONENT_MESSAGER, 0,
                                        bytes.Variant(), &seq);
    }
};

TEST_F(ClusterFlow, WhenItsServerGoesTheClientLogsInAtTheNextGatewayAndLosesNothing) {
    if (!ovt::TestDatabase::OnPostgres())
        GTEST_SKIP() << "several servers need PostgreSQL";
    ovt::TestDatabase database;
    auto first = Serve(database.Kept(""));
    auto second = Serve(database.Kept(""));
    serverPort_ = first->Port();
    ASSERT_EQ(Register("fay", "pw"), "fay");
    ASSERT_EQ(Register("gus", "pw"), "gus");
    ShellClient& fay = NewClient("fay");
    ShellClient& gus = NewClient("gus");
    fay.WriteGateways({At(*first), At(*second)});
    gus.WriteGateways({At(*second)});
    fay.WriteUserSettings("fay", "pw", 4);
    gus.WriteUserSettings("gus", "pw", 4);
    ASSERT_TRUE(Start(fay));
    ASSERT_TRUE(Start(gus));
    ASSERT_TRUE(time_->RunUntil(
        [&] { return fay.Frame().LoggedInToServer() && gus.Frame().LoggedInToServer(); }));

    ASSERT_TRUE(Sees(*first, gus.Frame().OwnPin()));
    ASSERT_TRUE(Sees(*second, fay.Frame().OwnPin()));

    // Across the two servers, both ways.
    KernelWatch fayHears(fay.App().Kernel());
    KernelWatch gusHears(gus.App().Kernel());
    Send(fay, gus, "hello from the first");
    ASSERT_TRUE(time_->RunUntil([&] { return !Texts(gusHears).empty(); }));
    EXPECT_EQ(Texts(gusHears), std::vector<std::string>{"hello from the first"});
    Send(gus, fay, "hello from the second");
    ASSERT_TRUE(time_->RunUntil([&] { return !Texts(fayHears).empty(); }));

    // fay's server goes. gus writes to her meanwhile; her client finds the server silent,
    // walks on to the next gateway and logs in there.
    first->Stop();
    first->Join();
    first.reset();
    Send(gus, fay, "while you were away");
    for (int s = 0; s < 400 && fay.Frame().LoggedInToServer(); ++s)
        time_->Advance(1000);
    ASSERT_FALSE(fay.Frame().LoggedInToServer());
    for (int s = 0; s < 120 && !fay.Frame().LoggedInToServer(); ++s) {
        time_->Advance(1000);
        time_->RunUntil([&] { return fay.Frame().LoggedInToServer(); },
                        std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fay.Frame().LoggedInToServer());
    ASSERT_TRUE(time_->RunUntil([&] { return Texts(fayHears).size() >= 2; }));
    EXPECT_EQ(Texts(fayHears),
              (std::vector<std::string>{"hello from the second", "while you were away"}));
    // And she is reachable there.
    Send(gus, fay, "welcome back");
    ASSERT_TRUE(time_->RunUntil([&] { return Texts(fayHears).size() >= 3; }));
    EXPECT_EQ(Texts(fayHears).back(), "welcome back");
    Close(fay);
    Close(gus);
    second->Stop();
    second->Join();
}

}  // namespace
}  // namespace ov::shell::testing
