// Password work seen from outside: hashing does not hold up other clients, answers find their
// requests, and guessing passwords or making accounts from one address is slowed down. The
// hasher is a fake that counts its calls and can hold them until released.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "server/hash_pool.h"
#include "server/login_limits.h"
#include "server/tests/server_fixture.h"

namespace ovt {
namespace {

class FakeHasher final : public ov::server::PasswordHasher {
public:
    std::string Hash(std::string_view password) const override {
        ++hashes;
        Gate();
        return "h:" + std::string(password);
    }
    bool Verify(const std::string& hash, std::string_view password) const override {
        ++verifies;
        Gate();
        return hash == "h:" + std::string(password);
    }
    void Hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ = false;
        }
        released_.notify_all();
    }

    mutable std::atomic<int> hashes{0};
    mutable std::atomic<int> verifies{0};

private:
    void Gate() const {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return !held_; });
    }
    mutable std::mutex mutex_;  // guards held_
    mutable std::condition_variable released_;
    bool held_ = false;
};

constexpr uint32_t kOwnerIp = 0x7F000001;

class HashingTest : public ServerFixture {
protected:
    HashingTest() {
        config.hasher = hasher;
        config.hashWorkers = 2;
    }
    void TearDown() override {
        hasher->Release();
        ServerFixture::TearDown();
    }
    TestClient& ClientAt(uint32_t ip) {
        clients.push_back(std::make_unique<TestClient>(server->Port(), ip));
        return *clients.back();
    }
    uint16_t LoginError(TestClient& c, uint32_t pin, const std::string& name,
                        const std::string& password) {
        auto reply =
            decode::LoginReply(Ask(c, OV_CCMD_USR_LOGIN, body::Login(pin, name, password)));
        return reply ? reply->error : uint16_t{0xFFFF};
    }

    std::shared_ptr<FakeHasher> hasher = std::make_shared<FakeHasher>();
};

TEST_F(HashingTest, HandshakesAreAnsweredWhileRegistrationsWaitForTheHasher) {
    hasher->Hold();
    std::vector<std::pair<TestClient*, uint16_t>> waiting;
    for (int i = 0; i < 20; ++i) {
        TestClient& c = NewClient();
        body::User u;
        u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
        u.userName = "user" + std::to_string(i);
        u.password = "pw";
        waiting.push_back({&c, c.Send(OV_CCMD_USR_REGISTER, body::Register(u))});
    }
    TestClient& other = NewClient();
    auto list = decode::Handshake(Ask(other, OV_CCMD_HANDSHACK_SERVER));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->error, OV_ERR_NONE);
    hasher->Release();
    std::set<uint32_t> pins;
    for (auto [c, seq] : waiting) {
        auto reply = c->WaitReply(OV_CCMD_USR_REGISTER, seq);
        ASSERT_TRUE(reply);
        auto r = decode::RegisterReply(*reply);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->error, OV_ERR_NONE);
        pins.insert(r->pin);
    }
    EXPECT_EQ(pins.size(), 20u);
}

TEST_F(HashingTest, ARegistrationUnderWayWhenTheServerStopsIsFinished) {
    hasher->Hold();
    TestClient& c = NewClient();
    body::User u;
    u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
    u.userName = "late";
    u.password = "pw";
    uint16_t seq = c.Send(OV_CCMD_USR_REGISTER, body::Register(u));
    NewClient().Sync();  // the registration is with the hasher now
    server->Stop();
    hasher->Release();
    server->Join();
    auto reply = c.WaitReply(OV_CCMD_USR_REGISTER, seq);
    ASSERT_TRUE(reply);
    EXPECT_EQ(decode::RegisterReply(*reply)->error, OV_ERR_NONE);
}

TEST_F(HashingTest, ConcurrentLoginsAreAnsweredToTheirOwnCommands) {
    std::vector<Account> accounts;
    for (int i = 0; i < 4; ++i)
        accounts.push_back(Register("user" + std::to_string(i)));
    hasher->Hold();
    std::vector<std::pair<TestClient*, uint16_t>> sent;
    for (const Account& a : accounts) {
        TestClient& c = NewClient();
        uint32_t pin = a.pin;
        // The last one gets the wrong password.
        std::string pw = &a == &accounts.back() ? "wrong" : a.password;
        sent.push_back({&c, c.Send(OV_CCMD_USR_LOGIN, body::Login(pin, "", pw))});
    }
    // Meanwhile other commands of the same clients are answered.
    for (auto [c, seq] : sent) {
        std::string stat = Ask(*c, OV_CCMD_ONLINE_STAT);
        EXPECT_EQ(stat.size(), 10u);
    }
    hasher->Release();
    for (size_t i = 0; i < sent.size(); ++i) {
        auto [c, seq] = sent[i];
        auto reply = c->WaitReply(OV_CCMD_USR_LOGIN, seq);
        ASSERT_TRUE(reply) << i;
        auto r = decode::LoginReply(*reply);
        ASSERT_TRUE(r);
        if (i + 1 < sent.size()) {
            EXPECT_EQ(r->error, OV_ERR_NONE);
            EXPECT_EQ(r->pin, accounts[i].pin);
        } else {
            EXPECT_EQ(r->error, OV_ERR_BAD_USR_OR_PASSWD);
            EXPECT_EQ(r->pin, 0u);
        }
    }
}

TEST_F(HashingTest, ALoginRepeatedWhileBeingCheckedIsCheckedOnce) {
    Account a = Register("alice");
    int before = hasher->verifies;
    hasher->Hold();
    TestClient& c = NewClient();
    std::string login = body::Login(a.pin, "", a.password);
    c.Send(OV_CCMD_USR_LOGIN, login);
    c.Resend();  // the same packet again
    // The user gives up waiting and tries again: new packets, the same login.
    c.Send(OV_CCMD_USR_LOGIN, login);
    uint16_t last = c.Send(OV_CCMD_USR_LOGIN, login);
    ASSERT_TRUE(c.WaitAck(c.LastPacketSeq()));
    hasher->Release();
    auto reply = c.WaitReply(OV_CCMD_USR_LOGIN, last);
    ASSERT_TRUE(reply);
    EXPECT_EQ(decode::LoginReply(*reply)->error, OV_ERR_NONE);
    EXPECT_EQ(hasher->verifies - before, 1);
    EXPECT_EQ(server->Stats().pendingLogins, 1u);  // one login answered, not one per request
}

TEST_F(HashingTest, GuessesAtOneAccountAreLockedOutPerAddressWhileTheOwnerLogsIn) {
    Account alice = Register("alice");
    TestClient& attacker = ClientAt(0x7F000002);
    TestClient& owner = ClientAt(kOwnerIp);
    int start = hasher->verifies;
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(LoginError(attacker, alice.pin, "", "guess" + std::to_string(i)),
                  OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(hasher->verifies - start, 5);
    // Locked for the attacker's address, even with the right password; not for the owner.
    EXPECT_EQ(LoginError(attacker, alice.pin, "", alice.password), OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(LoginError(owner, alice.pin, "", alice.password), OV_ERR_NONE);
    EXPECT_EQ(hasher->verifies - start, 6);
    EXPECT_EQ(log.Count("account #" + std::to_string(alice.pin) + " locked for 127.0.0.2"), 1);

    // After a minute five more guesses, then a lock twice as long.
    Advance(60'001);
    for (int i = 0; i < 100; ++i)
        LoginError(attacker, 0, "alice", "again" + std::to_string(i));
    EXPECT_EQ(hasher->verifies - start, 11);
    Advance(60'001);
    LoginError(attacker, alice.pin, "", "still");
    EXPECT_EQ(hasher->verifies - start, 11);
    Advance(60'001);
    LoginError(attacker, alice.pin, "", "later");
    EXPECT_EQ(hasher->verifies - start, 12);

    // Several addresses: each gets its own few guesses, no more.
    start = hasher->verifies;
    for (uint32_t ip = 0x7F000003; ip < 0x7F000008; ++ip) {
        TestClient& c = ClientAt(ip);
        for (int i = 0; i < 200; ++i)
            LoginError(c, alice.pin, "", "guess" + std::to_string(i));
    }
    EXPECT_EQ(hasher->verifies - start, 5 * 5);
    EXPECT_EQ(LoginError(owner, 0, "alice", alice.password), OV_ERR_NONE);
}

TEST_F(HashingTest, AnAddressGuessingAcrossAccountsIsLockedForAll) {
    Account bob = Register("bob");
    TestClient& sprayer = ClientAt(0x7F000009);
    int start = hasher->verifies;
    for (int i = 0; i < 300; ++i)
        LoginError(sprayer, 0, "user" + std::to_string(i), "123456");
    EXPECT_EQ(hasher->verifies - start, 20);
    EXPECT_EQ(LoginError(sprayer, bob.pin, "", bob.password), OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(hasher->verifies - start, 20);
    EXPECT_EQ(log.Count("address 127.0.0.9 locked"), 1);
    Advance(60'001);
    EXPECT_EQ(LoginError(sprayer, bob.pin, "", bob.password), OV_ERR_NONE);
}

TEST_F(HashingTest, ASuccessForgetsTheAccountsEarlierFailures) {
    Account a = Register("alice");
    TestClient& c = ClientAt(0x7F000002);
    int start = hasher->verifies;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 4; ++i)
            LoginError(c, a.pin, "", "typo");
        EXPECT_EQ(LoginError(c, a.pin, "", a.password), OV_ERR_NONE);
    }
    EXPECT_EQ(hasher->verifies - start, 15);
}

TEST_F(HashingTest, UnknownAccountsAnswerLikeWrongPasswordsAfterAsLongACheck) {
    Account a = Register("alice");
    TestClient& c = NewClient();
    auto change = [&](uint32_t pin, const std::string& name, const std::string& pw) {
        return *decode::ErrorAndId(
            Ask(c, OV_CCMD_USR_PASSWORD, body::ChangePassword(pin, name, pw, "new")));
    };
    using Answer = std::pair<uint16_t, uint32_t>;
    int start = hasher->verifies;
    EXPECT_EQ(change(0, "alice", "wrong"), Answer(OV_ERR_BAD_USR_OR_PASSWD, 0));
    EXPECT_EQ(change(0, "nobody", "wrong"), Answer(OV_ERR_BAD_USR_OR_PASSWD, 0));
    EXPECT_EQ(change(99999, "", "wrong"), Answer(OV_ERR_BAD_USR_OR_PASSWD, 0));
    EXPECT_EQ(hasher->verifies - start, 3);
    EXPECT_EQ(LoginError(c, 0, "nobody", "pw"), OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(LoginError(c, 99999, "", "pw"), OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(hasher->verifies - start, 5);
    EXPECT_EQ(change(0, "alice", a.password), Answer(OV_ERR_NONE, a.pin));
}

TEST_F(HashingTest, RegistrationsAreLimitedPerAddress) {
    TestClient& c = ClientAt(0x7F000002);
    TestClient& elsewhere = ClientAt(0x7F000003);
    auto reg = [&](TestClient& from, const std::string& name) {
        body::User u;
        u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
        u.userName = name;
        u.password = "pw";
        return decode::RegisterReply(Ask(from, OV_CCMD_USR_REGISTER, body::Register(u)))->error;
    };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(reg(c, "user" + std::to_string(i)), OV_ERR_NONE);
    int hashes = hasher->hashes;
    EXPECT_EQ(reg(c, "user5"), OV_ERR_BANNED);
    EXPECT_EQ(hasher->hashes, hashes);
    EXPECT_EQ(reg(elsewhere, "user5"), OV_ERR_NONE);
    Advance(10 * 60'000);
    EXPECT_EQ(reg(c, "user6"), OV_ERR_NONE);
}

class SmallQueueTest : public HashingTest {
protected:
    SmallQueueTest() {
        config.hashQueue = 2;
        config.hashWorkers = 1;
    }
};

TEST_F(SmallQueueTest, AFullQueueIsAnsweredAtOnce) {
    Account a = Register("alice");
    hasher->Hold();
    for (uint32_t ip = 0x7F000002; ip < 0x7F000004; ++ip) {
        TestClient& c = ClientAt(ip);
        c.Send(OV_CCMD_USR_LOGIN, body::Login(a.pin, "", a.password));
        ASSERT_TRUE(c.WaitAck(c.LastPacketSeq()));
    }
    TestClient& late = ClientAt(0x7F000004);
    EXPECT_EQ(LoginError(late, a.pin, "", a.password), OV_ERR_UNKNOWN);
}

// The limits' tables stay bounded; what goes is what was touched longest ago.
TEST(LoginLimitsTest, TablesForgetTheOldestEntryFirst) {
    ov::server::ManualClock clock;
    ov::server::LoginLimitsConfig config;
    config.maxEntries = 2;
    config.accountFailures = 2;
    config.ipFailures = 1000;
    ov::server::LoginLimits limits(config, clock);
    limits.Failed("a", 1);
    limits.Failed("b", 1);
    limits.Failed("a", 1);  // locks "a", now the newest
    EXPECT_TRUE(limits.Locked("a", 1));
    limits.Failed("c", 1);  // "b" goes
    limits.Failed("b", 1);  // a first failure again, so not locked; "a" goes
    EXPECT_FALSE(limits.Locked("b", 1));
    EXPECT_FALSE(limits.Locked("a", 1));
}

TEST(HashPoolTest, CompletionsRunOnTheOwnersThreadInTheOrderTheJobsFinished) {
    std::mutex m;
    std::condition_variable cv;
    int step = 0;  // guarded by m: which job may finish
    std::atomic<int> wakes{0};
    ov::server::HashPool pool(2, 2, [&] { ++wakes; });
    std::vector<int> order;
    auto job = [&](int n) {
        return [&, n] {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return step == n; });
        };
    };
    ASSERT_TRUE(pool.Submit(job(1), [&] { order.push_back(1); }));
    ASSERT_TRUE(pool.Submit(job(0), [&] { order.push_back(0); }));
    EXPECT_FALSE(pool.Submit([] {}, [&] { order.push_back(9); }));  // full
    for (int n = 0; n < 2; ++n) {
        {
            std::lock_guard<std::mutex> lock(m);
            step = n;
        }
        cv.notify_all();
        while (wakes.load() <= n)
            std::this_thread::yield();
    }
    EXPECT_EQ(pool.RunCompletions(), 2u);
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
}

}  // namespace
}  // namespace ovt
