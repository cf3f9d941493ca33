// Probes from an attacker's side: datagrams with forged sources - played by sockets bound to
// other loopback addresses, or handed to the server's core as if they came from another
// address - and what the server then keeps and sends.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

using ov::server::Endpoint;
using ov::server::ServerCore;

class Exposure : public ServerFixture {
protected:
    // The core receives a datagram as if from `from`: nobody at that address sent it.
    void Forge(const Endpoint& from, const std::string& datagram) {
        server->Call([&](ServerCore& core) { core.OnDatagram(from, datagram); });
    }
    static std::string Request(uint16_t command, uint32_t packetSeq, uint32_t pin, uint32_t loginId,
                               const std::string& body = {}) {
        ov::wire::Writer w;
        ov::wire::WriteRequestHeader(
            w, ov::wire::RequestHeader{ov::wire::kVersion, command, packetSeq, pin, loginId,
                                       static_cast<uint16_t>(packetSeq)});
        w.Raw(body);
        return std::move(w.Bytes());
    }
    static Endpoint At(const TestClient& c) { return Endpoint{c.LocalIp(), c.Port()}; }
    // Protocol time passes in steps of a second; the clients take in what arrives.
    void Pass(int64_t ms, const std::vector<TestClient*>& clients) {
        for (int64_t t = 0; t < ms; t += 1000) {
            Advance(1000);
            for (TestClient* c : clients)
                c->Poll();
        }
    }
};

TEST_F(Exposure, AFloodOfForgedAddressesCostsABoundedTableAndLocksNobodyOut) {
    constexpr uint32_t kSources = 200'000;
    const std::string handshake = Request(OV_CCMD_HANDSHACK_SERVER, 1, 0, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(server->Port());
    uint64_t sent = 0;
    for (uint32_t i = 0; i < kSources; ++i) {
        // A source of its own each: 127.1.0.0 upwards, any free port.
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F010000 + i);
        if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
            sendto(fd, handshake.data(), handshake.size(), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof to) == static_cast<ssize_t>(handshake.size())) {
            ++sent;
        }
        close(fd);
        // Keep within what the socket buffers hold, so that the server sees nearly all.
        if (i % 512 == 511) {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (server->Stats().datagrams + 256 < sent &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
        }
    }
    ov::server::CoreStats st = server->Stats();
    EXPECT_GE(st.datagrams, sent * 9 / 10);
    // The bound: at most maxAddresses remembered (a few hundred bytes each), nothing kept for
    // retransmission, nothing sent again.
    EXPECT_LE(st.otherAddresses, config.reliability.maxAddresses);
    EXPECT_GE(st.transport.sentOnce, st.datagrams * 9 / 10);  // each was answered, once
    EXPECT_EQ(st.outstanding, 0u);
    Advance(30'000);
    EXPECT_EQ(server->Stats().transport.retransmissions, 0u);
    // A new client is heard and served as ever.
    TestClient& carol = Online("carol");
    EXPECT_EQ(decode::Search2Reply(Ask(carol, OV_CCMD_USR_SEARCH2, body::Search2({}, 1, 0)))->error,
              OV_ERR_NONE);
}

TEST_F(Exposure, NoRequestWithoutASessionGetsMoreThanTwiceItsBytes) {
    Account mallory = Register("mallory");
    TestClient& alice = Online("alice");
    for (int i = 0; i < 200; ++i) {
        Ask(alice, OV_CCMD_SENDTO_USR,
            body::SendToUsers(OV_MSGT_SAVE, "waiting " + std::to_string(i), {mallory.pin}));
    }
    Account bob;
    TestClient& b = Online("bob", 0, &bob);

    std::vector<std::unique_ptr<TestClient>> probes;
    uint32_t ip = 0x7F000002;
    // Each request from an address of its own, which never answers (a forged source).
    auto probe = [&]() -> TestClient& {
        probes.push_back(std::make_unique<TestClient>(server->Port(), ip++));
        probes.back()->autoAck = false;
        return *probes.back();
    };
    body::User newcomer;
    newcomer.mask = OV_UFLD_PASSWORD;
    newcomer.password = "x";
    probe().Send(OV_CCMD_HANDSHACK_SERVER);
    probe().Send(OV_CCMD_USR_REGISTER, body::Register(newcomer));
    probe().Send(OV_CCMD_USR_LOGIN, body::Login(mallory.pin, "", "wrong"));
    probe().Send(OV_CCMD_USR_LOGIN, body::Login(mallory.pin, "", mallory.password));
    probe().Send(OV_CCMD_USR_LOGIN, body::Login(0, "nobody", "x"));
    probe().Send(OV_CCMD_USR_PASSWORD, body::ChangePassword(0, "bob", "wrong", "new"));
    probe().Send(OV_CCMD_ONLINE_STAT);
    probe().Send(0x7777);  // no such command
    {
        TestClient& p = probe();  // a session's PIN without its login ID
        p.pin = bob.pin;
        p.Send(OV_CCMD_USR_SEARCH2, body::Search2({}, 1, 0));
    }
    {
        TestClient& p = probe();  // the right credentials from another address
        p.pin = bob.pin;
        p.loginId = b.loginId;
        p.Send(OV_CCMD_BUDDY_GET_LST2);
    }
    // Everything once more, as if the replies were lost; then a minute of protocol time.
    for (auto& p : probes)
        p->Resend();
    std::vector<TestClient*> all;
    for (auto& p : probes)
        all.push_back(p.get());
    Pass(60'000, all);
    for (size_t i = 0; i < probes.size(); ++i) {
        EXPECT_GT(probes[i]->bytesReceived, 0u) << "probe " << i << " was not answered";
        EXPECT_LE(probes[i]->bytesReceived, 2 * probes[i]->bytesSent) << "probe " << i;
    }
    EXPECT_EQ(server->Stats().outstanding, 0u);
}

TEST_F(Exposure, TwoServersTakeNoNoticeOfEachOthersReplies) {
    ov::server::Server other(config, &clock, &log.log);
    std::string error;
    ASSERT_TRUE(other.Start(&error)) << error;
    // A handshake "from" the other server: this one answers there, and that is all.
    Forge(other.Address(), Request(OV_CCMD_HANDSHACK_SERVER, 1, 0, 0));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (other.Stats().datagrams < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    for (int i = 0; i < 30; ++i) {
        Advance(1000);
        other.Call([](ServerCore& core) { core.Tick(); });
    }
    ov::server::CoreStats there = other.Stats();
    EXPECT_EQ(there.datagrams, 2u);  // the acknowledgement and the reply
    EXPECT_EQ(there.dropped, 2u);
    EXPECT_EQ(there.transport.bytesOut, 0u);
    ov::server::CoreStats here = server->Stats();
    EXPECT_EQ(here.datagrams, 1u);
    EXPECT_EQ(here.transport.retransmissions, 0u);
    // Nor is anything from the server's own address answered.
    uint64_t out = here.transport.bytesOut;
    Forge(server->Address(), Request(OV_CCMD_HANDSHACK_SERVER, 2, 0, 0));
    EXPECT_EQ(server->Stats().transport.bytesOut, out);
    other.Stop();
    other.Join();
}

TEST_F(Exposure, ForgedAcknowledgementsDeleteNothing) {
    Account bob;
    TestClient& alice = Online("alice");
    TestClient& b = Online("bob", 0, &bob);
    b.autoAck = false;  // bob's client is slow to answer
    Ask(alice, OV_CCMD_SENDTO_USR, body::SendToUsers(OV_MSGT_SAVE, "keep me", {bob.pin}));
    auto first = b.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(first);
    // The attacker knows the packet number (its best case), not bob's login ID.
    const uint32_t forged[][2] = {{0, 0}, {bob.pin, 0}, {bob.pin, b.loginId + 1}, {0, b.loginId}};
    for (const auto& f : forged)
        Forge(At(b), ov::wire::ClientAck(first->packetSeq, f[0], f[1]));
    Advance(1000);
    EXPECT_TRUE(b.WaitNotice(OV_SCMD_MESSAGE)) << "taken as received";
    // Bob's client goes away unanswering; the message waits for his next login.
    Pass(30'000, {});
    TestClient& again = NewClient();
    Login(again, bob);
    auto later = again.WaitNotice(OV_SCMD_MESSAGE);
    ASSERT_TRUE(later);
    EXPECT_NE(later->body.find("keep me"), std::string::npos);
}

TEST_F(Exposure, AForgedLoginEndsNoSessionAndSendsNothingThere) {
    Account mallory = Register("mallory");
    TestClient& alice = Online("alice");
    for (int i = 0; i < 20; ++i)
        Ask(alice, OV_CCMD_SENDTO_USR,
            body::SendToUsers(OV_MSGT_SAVE, "for mallory", {mallory.pin}));
    Account bob;
    TestClient& b = Online("bob", 0, &bob);
    b.Poll();
    size_t before = b.bytesReceived;
    // Mallory logs in to her own account with bob's address as the source, fifty times.
    size_t forgedBytes = 0;
    for (uint32_t i = 0; i < 50; ++i) {
        std::string login = Request(OV_CCMD_USR_LOGIN, 700 + i, 0, 0,
                                    body::Login(mallory.pin, "", mallory.password));
        forgedBytes += login.size();
        Forge(At(b), login);
    }
    Pass(30'000, {&b});
    EXPECT_LE(b.bytesReceived - before, 2 * forgedBytes);
    EXPECT_TRUE(b.Take(OV_SCMD_MESSAGE).empty());
    // Bob's session goes on.
    EXPECT_EQ(decode::Search2Reply(Ask(b, OV_CCMD_USR_SEARCH2, body::Search2({}, 1, 0)))->error,
              OV_ERR_NONE);
    Ask(alice, OV_CCMD_SENDTO_USR, body::SendToUsers(0, "still there?", {bob.pin}));
    EXPECT_TRUE(b.WaitNotice(OV_SCMD_MESSAGE));
    // And mallory's messages still wait for her.
    TestClient& m = NewClient();
    Login(m, mallory);
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(m.WaitNotice(OV_SCMD_MESSAGE)) << i;
}

}  // namespace
}  // namespace ovt
