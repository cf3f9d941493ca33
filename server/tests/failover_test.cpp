// Two orvane-server processes on one PostgreSQL database, each a gateway of the clients'
// list. One is killed with SIGKILL in the middle of a conversation; its client walks on to
// the other gateway and logs in there, and every message its buddy was told had gone
// arrives, once.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "server/tests/decode.h"
#include "server/tests/server_process.h"
#include "server/tests/test_database.h"

namespace ovt {
namespace {

struct User {
    uint32_t pin = 0;
    std::string name;
};

User RegisterAndLogIn(TestClient& c, const std::string& name) {
    body::User u;
    u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
    u.userName = name;
    u.password = "pw";
    User user;
    auto reg =
        decode::RegisterReply(Deliver(c, OV_CCMD_USR_REGISTER, body::Register(u)).value_or(""));
    if (!reg)
        return user;
    user.pin = reg->pin;
    user.name = name;
    auto login = decode::LoginReply(
        Deliver(c, OV_CCMD_USR_LOGIN, body::Login(user.pin, "", "pw")).value_or(""));
    if (!login || login->error != OV_ERR_NONE)
        return User{};
    c.pin = login->pin;
    c.loginId = login->loginId;
    Deliver(c, OV_CCMD_HANDSHACK_SERVER, "");  // the session's first word
    return user;
}

TEST(Failover, AKilledServersClientLogsInAtTheOtherAndLosesNothing) {
    if (!TestDatabase::OnPostgres())
        GTEST_SKIP() << "several servers need PostgreSQL";
    TestDatabase database;
    Port first, second;
    first.Free();
    second.Free();
    auto args = [&](const Port& at) {
        return std::vector<std::string>{"--listen", "127.0.0.1:" + std::to_string(at.number),
                                        "--db", database.Kept(""), "--password-cost", "minimal",
                                        // The clients' gateway list, as the handshake gives it.
                                        "--server", "127.0.0.1:" + std::to_string(first.number),
                                        "--server", "127.0.0.1:" + std::to_string(second.number)};
    };
    auto one = std::make_unique<Program>(args(first));
    Program two(args(second));
    TestClient a(first.number), b(second.number);
    ASSERT_TRUE(Answers(a)) << one->Log();
    ASSERT_TRUE(Answers(b)) << two.Log();
    auto gateways = decode::Handshake(Deliver(a, OV_CCMD_HANDSHACK_SERVER, "").value_or(""));
    ASSERT_TRUE(gateways);
    EXPECT_EQ(gateways->servers.size(), 2u);

    User alice = RegisterAndLogIn(a, "alice");
    User bob = RegisterAndLogIn(b, "bob");
    ASSERT_NE(alice.pin, 0u);
    ASSERT_NE(bob.pin, 0u);
    // bob's server knows alice is online once her buddy tree shows him hers: wait for it.
    Deliver(b, OV_CCMD_BUDDY_ADD, body::BuddyAdd(alice.pin, 1, 0, "", "Alice"));
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
        auto tree = decode::BuddyReply(Deliver(b, OV_CCMD_BUDDY_GET_LST, "").value_or(""));
        seen = tree && tree->nodes.size() == 1 && tree->nodes[0].status == OV_ONLINE_STATUS_ONLINE;
    }
    ASSERT_TRUE(seen) << two.Log();

    constexpr int kMessages = 300;
    constexpr int kKill = 150;
    std::vector<bool> succeeded(kMessages, false);
    std::map<std::string, int> arrived;
    auto takeAlice = [&] {
        a.Poll();
        for (const Packet& p : a.Take(OV_SCMD_MESSAGE)) {  // copies are dropped by number
            auto m = decode::MessageNotice(p.body);
            ASSERT_TRUE(m);
            if (m->component != OV_COMPONENT_ADD_BUDDY_NOTICE)
                ++arrived[m->text];
        }
    };
    for (int i = 0; i < kMessages; ++i) {
        std::string text = "m" + std::to_string(i);
        if (i == kKill) {
            // Of what alice's server was sending her, some arrived and some did not, and
            // her acknowledgements die with it.
            a.autoAck = false;
            a.Poll(20);
            int k = 0;
            for (const Packet& p : a.Take(OV_SCMD_MESSAGE)) {
                if (k++ % 2 == 0)
                    continue;
                a.Acknowledge(p);
                ++arrived[decode::MessageNotice(p.body)->text];
            }
            one->Kill();
            a.autoAck = true;
            // Her client hears nothing more and walks on to the next gateway.
            a.SetServerPort(second.number);
            a.pin = a.loginId = 0;
            auto login = decode::LoginReply(
                Deliver(a, OV_CCMD_USR_LOGIN, body::Login(alice.pin, "", "pw")).value_or(""));
            ASSERT_TRUE(login && login->error == OV_ERR_NONE) << two.Log();
            a.pin = login->pin;
            a.loginId = login->loginId;
            Deliver(a, OV_CCMD_HANDSHACK_SERVER, "");
        }
        auto reply = Deliver(b, OV_CCMD_SENDTO_USR, body::SendToUsers(0, text, {alice.pin}));
        if (reply) {
            auto error = decode::ErrorOnly(*reply);
            succeeded[static_cast<size_t>(i)] = error && *error == OV_ERR_NONE;
        }
        if (i % 10 == 0 && i != kKill - 10)
            takeAlice();
    }
    for (int i = 0; i < 20; ++i) {
        a.Poll(20);
        takeAlice();
    }
    int told = ExpectEachToldArrivedOnce(succeeded, arrived);
    EXPECT_EQ(told, kMessages) << two.Log();
}

}  // namespace
}  // namespace ovt
