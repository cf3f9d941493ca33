// Two real kernels on loopback against the reference server, their handlers living on this
// (the GUI) thread and served by a Qt event loop, as the desktop program runs them: events
// arrive on this thread, in order, and a handler that disconnects hears nothing of what was
// still queued for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "common/events/event_sink.h"
#include "platform/qt/qt_apartment_pump.h"
#include "platform/qt/tests/qt_test_support.h"
#include "server/server.h"

namespace {

using namespace std::chrono_literals;

std::string Record(const std::string& name, const std::string& password) {
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD | OV_UFLD_NICKNAME;
    std::strncpy(u.sUserName, name.c_str(), sizeof u.sUserName - 1);
    std::strncpy(u.sNickName, name.c_str(), sizeof u.sNickName - 1);
    std::strncpy(u.sPassword, password.c_str(), sizeof u.sPassword - 1);
    return std::string(reinterpret_cast<const char*>(&u), sizeof u);
}

// One client: a kernel and the handler of its events, which records what arrives and where.
class Client final : public OVServiceEventForwarder {
public:
    struct Seen {
        KernelEvent event;
        std::thread::id thread;
    };

    void OnServiceEvent(const KernelEvent& e) override {
        seen.push_back(Seen{e, std::this_thread::get_id()});
    }

    void Start(uint16_t port) {
        ASSERT_EQ(CoCreateInstance(CLSID_OVService, &kernel), S_OK);
        ASSERT_EQ(events.Connect(kernel.Get()), S_OK);  // from the GUI thread: proxied
        LONG ok = 0;
        kernel->Init(Bstr::Empty(), 0, &ok);
        ASSERT_EQ(ok, 1);
        LONG seq = 0;
        kernel->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), port, &seq);
        ASSERT_TRUE(Wait(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY, seq));
    }

    void RegisterAndLogIn(const std::string& name) {
        LONG seq = 0;
        CByteArrayVariant record(Record(name, "pw-" + name));
        kernel->RegisterUser(record.Variant(), &seq);
        const KernelEvent* reply = Wait(OV_DISPID_ON_REGISTER_USER_REPLY, seq);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->args[1].value, OV_ERR_NONE);
        pin = reply->args[2].value;
        kernel->Login(pin, Bstr::FromUtf8(name), Bstr::FromUtf8("pw-" + name),
                      OV_ONLINE_STATUS_ONLINE, 0, &seq);
        reply = Wait(OV_DISPID_ON_LOGIN_REPLY, seq);
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->args[1].value, OV_ERR_NONE);
    }

    LONG Send(LONG toPin, const std::string& text) {
        LONG seq = 0;
        CByteArrayVariant message(text);
        kernel->SendToUser(toPin, 1, OV_COMPONENT_MESSAGER, 0, message.Variant(), &seq);
        return seq;
    }

    // Runs the loop until the event with this sequence number (first argument) has come.
    const KernelEvent* Wait(DISPID dispid, LONG seq) {
        const KernelEvent* found = nullptr;
        RunLoopUntil([&] {
            for (const auto& s : seen)
                if (s.event.dispid == dispid && s.event.args[0].value == seq)
                    found = &s.event;
            return found != nullptr;
        });
        return found;
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& s : seen)
            if (s.event.dispid == OV_DISPID_ON_USER_MESSAGE_RECEIVED)
                texts.push_back(s.event.args[4].bytes);
        return texts;
    }

    void Stop() {
        if (!kernel)
            return;
        LONG seq = 0;
        kernel->Logout(&seq);
        kernel->Deinit();
        events.Disconnect();
        kernel.Reset();
    }

    ComPtr<IOVService> kernel;
    OVServiceEventConnection events{this};
    std::vector<Seen> seen;
    LONG pin = 0;
};

// Counts messages on the kernel's own threads, without the GUI loop running.
class MessageCounter final : public OVServiceEventHandler {
public:
    void OnUserMessageReceived(LONG, LONG, LONG, LONG, std::string_view, LONG) override { ++count; }
    std::atomic<int> count{0};
};

class KernelOnQtLoop : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("ovqtloop-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        setenv("ORVANE_REGISTRY", (dir_ / "registry").c_str(), 1);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        pump_ = std::make_unique<QtApartmentPump>(Apartment::Current());
        for (const char* lib : {"OVSock.so", "OVKernel.so"})
            ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + lib), S_OK) << lib;

        ov::server::ServerConfig config;
        config.listen.port = 0;
        config.passwordCost = ov::server::PasswordCost::kMinimal;
        server_ = std::make_unique<ov::server::Server>(config, nullptr, &log_);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
    }
    void TearDown() override {
        alice_.Stop();
        bob_.Stop();
        RunLoopUntil([] { return false; }, 20ms);
        pump_.reset();
        Apartment::Current()->PumpPending();
        CoUninitialize();
        server_->Stop();
        server_->Join();
        unsetenv("ORVANE_REGISTRY");
        std::filesystem::remove_all(dir_);
    }

    std::filesystem::path dir_;
    ov::server::Log log_{[](std::string_view) {}};
    std::unique_ptr<ov::server::Server> server_;
    std::unique_ptr<QtApartmentPump> pump_;
    Client alice_;
    Client bob_;
};

TEST_F(KernelOnQtLoop, EventsArriveOnTheGuiThreadInOrderAndStopAtDisconnect) {
    const auto gui = std::this_thread::get_id();
    ASSERT_NO_FATAL_FAILURE(alice_.Start(server_->Port()));
    ASSERT_NO_FATAL_FAILURE(bob_.Start(server_->Port()));
    ASSERT_NO_FATAL_FAILURE(alice_.RegisterAndLogIn("alice"));
    ASSERT_NO_FATAL_FAILURE(bob_.RegisterAndLogIn("bob"));

    constexpr int kMessages = 20;
    std::vector<std::string> sent;
    LONG lastSeq = 0;
    for (int i = 0; i < kMessages; ++i) {
        sent.push_back("message " + std::to_string(i));
        lastSeq = alice_.Send(bob_.pin, sent.back());
        ASSERT_NE(lastSeq, 0);
    }
    ASSERT_TRUE(RunLoopUntil([&] { return bob_.Messages().size() == kMessages; }));
    EXPECT_EQ(bob_.Messages(), sent);
    ASSERT_TRUE(alice_.Wait(OV_DISPID_ON_SEND_TO_USER_REPLY, lastSeq));

    // Each command's events in the order the kernel raises them, all on this thread.
    for (const auto* c : {&alice_, &bob_})
        for (const auto& s : c->seen)
            ASSERT_EQ(s.thread, gui) << s.event.dispid;
    std::map<int32_t, std::vector<DISPID>> perCommand;
    for (const auto& s : alice_.seen) {
        DISPID d = s.event.dispid;
        if (d == OV_DISPID_ON_COMMAND_SEND || d == OV_DISPID_ON_COMMAND_SENT ||
            d == OV_DISPID_ON_SEND_TO_USER_REPLY)
            perCommand[s.event.args[0].value].push_back(d);
    }
    for (LONG seq = lastSeq - kMessages + 1; seq <= lastSeq; ++seq) {
        const auto& order = perCommand[seq];
        ASSERT_GE(order.size(), 2u) << seq;
        EXPECT_EQ(order[0], OV_DISPID_ON_COMMAND_SEND) << seq;
        EXPECT_EQ(order[1], OV_DISPID_ON_COMMAND_SENT) << seq;
        EXPECT_EQ(std::count(order.begin(), order.end(), OV_DISPID_ON_SEND_TO_USER_REPLY), 1)
            << seq;
    }

    // Bob's kernel raises more messages while this thread does not run the loop, so they
    // wait for it; Bob's window then disconnects, and none of them reaches it.
    MessageCounter counter;
    OVServiceEventConnection raw(&counter);
    ASSERT_EQ(raw.Connect(bob_.kernel.Get(), true), S_OK);
    for (int i = 0; i < 5; ++i)
        lastSeq = alice_.Send(bob_.pin, "late " + std::to_string(i));
    for (int i = 0; i < 20000 && counter.count < 5; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(counter.count, 5);
    bob_.events.Disconnect();
    ASSERT_TRUE(alice_.Wait(OV_DISPID_ON_SEND_TO_USER_REPLY, lastSeq));
    RunLoopUntil([] { return false; }, 50ms);
    EXPECT_EQ(bob_.Messages().size(), static_cast<size_t>(kMessages));
    raw.Disconnect();
}

}  // namespace
