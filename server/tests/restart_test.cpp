// A server killed with SIGKILL in the middle of a conversation and started again on the same
// database: the logged-in clients go on without logging in again, and every message whose
// sender was told it succeeded arrives exactly once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>

#include "server/tests/decode.h"
#include "server/tests/server_process.h"
#include "server/tests/test_database.h"

namespace ovt {
namespace {

namespace fs = std::filesystem;

TEST(Restart, AKilledServerLosesNoMessageAndNoSession) {
    char name[] = "/tmp/ovserver-restart-XXXXXX";
    std::string dir = mkdtemp(name);
    TestDatabase database;
    Port port;
    port.Free();
    const std::vector<std::string> args{"--listen",
                                        "127.0.0.1:" + std::to_string(port.number),
                                        "--db",
                                        database.Kept(dir + "/server.db"),
                                        "--password-cost",
                                        "minimal"};
    auto server = std::make_unique<Program>(args);
    TestClient a(port.number), b(port.number);
    ASSERT_TRUE(Answers(a)) << server->Log();
    uint32_t pins[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        TestClient& c = i == 0 ? a : b;
        body::User u;
        u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
        u.userName = i == 0 ? "alice" : "bob";
        u.password = "pw";
        auto reg = decode::RegisterReply(*Deliver(c, OV_CCMD_USR_REGISTER, body::Register(u)));
        ASSERT_TRUE(reg);
        pins[i] = reg->pin;
        auto login =
            decode::LoginReply(*Deliver(c, OV_CCMD_USR_LOGIN, body::Login(pins[i], "", "pw")));
        ASSERT_TRUE(login && login->error == OV_ERR_NONE);
        c.pin = login->pin;
        c.loginId = login->loginId;
        ASSERT_TRUE(Deliver(c, OV_CCMD_HANDSHACK_SERVER, ""));  // the session's first word
    }

    constexpr int kMessages = 1000;
    std::vector<bool> succeeded(kMessages, false);
    std::map<std::string, int> arrived;
    auto takeBob = [&] {
        b.Poll();
        for (const Packet& p : b.Take(OV_SCMD_MESSAGE)) {  // copies are dropped by number
            auto m = decode::MessageNotice(p.body);
            ASSERT_TRUE(m);
            ++arrived[m->text];
        }
    };
    constexpr int kKill = kMessages / 2;
    for (int i = 0; i < kMessages; ++i) {
        std::string text = "m" + std::to_string(i);
        if (i == kKill - 10) {
            takeBob();
            b.autoAck = false;  // bob's client falls behind
        }
        uint16_t seq = a.Send(OV_CCMD_SENDTO_USR, body::SendToUsers(0, text, {pins[1]}));
        if (i == kKill) {
            // Of the last ten messages to bob, half were lost on the way and half arrived,
            // but their acknowledgements die with the server; alice's message is on its way
            // too, and the server is killed before it has read any of that.
            b.Poll();
            int k = 0;
            for (const Packet& p : b.Take(OV_SCMD_MESSAGE)) {
                if (k++ % 2 == 0)
                    continue;
                b.Acknowledge(p);
                ++arrived[decode::MessageNotice(p.body)->text];
            }
            server->Kill();
            b.autoAck = true;
            server = std::make_unique<Program>(args);
        }
        auto reply = Finish(a, OV_CCMD_SENDTO_USR, seq);
        if (reply) {
            auto error = decode::ErrorOnly(*reply);
            succeeded[static_cast<size_t>(i)] = error && *error == OV_ERR_NONE;
        }
        if (i % 10 == 0 && (i < kKill - 10 || i > kKill))
            takeBob();
    }
    for (int i = 0; i < 20; ++i)
        takeBob();
    int told = ExpectEachToldArrivedOnce(succeeded, arrived);
    EXPECT_GE(told, kMessages - 2);
    EXPECT_NE(server->Log().find("sessions taken up from the last run"), std::string::npos)
        << server->Log();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace ovt
