#include "server/tests/server_fixture.h"

namespace ovt {

ServerFixture::ServerFixture() {
    config.listen = ov::server::Endpoint{0x7F000001, 0};
    config.databasePath = database.Fresh();
    config.passwordCost = ov::server::PasswordCost::kMinimal;
}

void ServerFixture::SetUp() {
    server = std::make_unique<ov::server::Server>(config, &clock, &log.log);
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
}

void ServerFixture::TearDown() {
    if (server) {
        server->Stop();
        server->Join();
    }
}

TestClient& ServerFixture::NewClient() {
    clients.push_back(std::make_unique<TestClient>(server->Port()));
    return *clients.back();
}

std::string ServerFixture::Ask(TestClient& c, uint16_t command, const std::string& body) {
    uint16_t seq = c.Send(command, body);
    auto reply = c.WaitReply(command, seq);
    if (!reply) {
        ADD_FAILURE() << "no reply to command 0x" << std::hex << command;
        return {};
    }
    return *reply;
}

Account ServerFixture::Register(const std::string& name, uint32_t mode, const std::string& nick) {
    TestClient c(server->Port());
    body::User u;
    u.mask = OV_UFLD_PASSWORD | OV_UFLD_MODE | OV_UFLD_ICON;
    if (!name.empty())
        u.mask |= OV_UFLD_USERNAME;
    if (!nick.empty())
        u.mask |= OV_UFLD_NICKNAME;
    u.userName = name;
    u.nickName = nick;
    u.password = "pw-" + name;
    u.mode = mode;
    u.icon = 7;
    uint16_t seq = c.Send(OV_CCMD_USR_REGISTER, body::Register(u));
    auto reply = c.WaitReply(OV_CCMD_USR_REGISTER, seq);
    Account a;
    a.password = u.password;
    if (!reply) {
        ADD_FAILURE() << "no register reply";
        return a;
    }
    auto r = decode::RegisterReply(*reply);
    EXPECT_TRUE(r && r->error == OV_ERR_NONE) << "register " << name;
    if (r) {
        a.pin = r->pin;
        a.name = r->name;
    }
    return a;
}

void ServerFixture::Login(TestClient& c, const Account& a, uint32_t status) {
    c.pin = 0;
    c.loginId = 0;
    auto reply =
        decode::LoginReply(Ask(c, OV_CCMD_USR_LOGIN, body::Login(a.pin, "", a.password, status)));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->error, OV_ERR_NONE);
    c.pin = reply->pin;
    c.loginId = reply->loginId;
    // The session starts with the client's first word under the new login ID.
    c.Send(OV_CCMD_KEEP_ALIVE);
    ASSERT_TRUE(c.WaitAck(c.LastPacketSeq()));
}

TestClient& ServerFixture::Online(const std::string& name, uint32_t mode, Account* account) {
    Account a = Register(name, mode, "nick-" + name);
    TestClient& c = NewClient();
    Login(c, a);
    if (account)
        *account = a;
    return c;
}

void ServerFixture::Advance(int64_t ms) {
    clock.Advance(ms);
    // Tick on the server's thread and wait for it, so what is due has happened on return.
    server->Call([](ov::server::ServerCore& core) { core.Tick(); });
}

}  // namespace ovt
