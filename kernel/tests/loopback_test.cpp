// The kernel through the runtime, on the real socket component, against a scripted server
// on loopback: handshake, login, a list in parts, messages both ways, strangers' datagrams,
// Deinit from an event on the socket's thread, and protocol time driven by the process clock.
#include <arpa/inet.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <future>

#include "common/protocol/wire.h"
#include "kernel/tests/kernel_test_support.h"
#include "kernel/tests/scripted_peer.h"
#include "platform/time/virtual_clock.h"
#include "platform/win32/message_box.h"

namespace ov::kernel::testing {
namespace {

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("ovkernel-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        setenv("ORVANE_REGISTRY", (dir_ / "registry").c_str(), 1);
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (const char* lib : {"OVSock.so", "OVKernel.so"})
            ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + lib), S_OK) << lib;
        ASSERT_EQ(CoCreateInstance(CLSID_OVService, &kernel_), S_OK);
        recorder_ = std::make_unique<EventRecorder>();
        ASSERT_EQ(recorder_->Attach(kernel_.Get()), S_OK);
        LONG ok = 0;
        Bstr any = Bstr::Empty();
        kernel_->Init(any, 0, &ok);
        ASSERT_EQ(ok, 1);
    }
    void TearDown() override {
        kernel_->Deinit();
        recorder_->Detach();
        kernel_.Reset();
        peer_.Stop();
        CoUninitialize();
        unsetenv("ORVANE_REGISTRY");
        std::filesystem::remove_all(dir_);
    }

    std::filesystem::path dir_;
    ScriptedPeer peer_;
    ComPtr<IOVService> kernel_;
    std::unique_ptr<EventRecorder> recorder_;
};

std::string BuddyEntry(uint32_t id, const char* name) {
    wire::Writer w;
    w.U32(id);
    w.U32(id < OV_FIRST_USER_PIN ? 0 : 1);
    w.U32(0);
    w.Text(name, OV_DISPLAYNAME_SIZE);
    w.Text(name, OV_USERNAME_SIZE);
    w.Text("", OV_NICKNAME_SIZE);
    w.U32(3);
    w.U8(2);
    w.U8(1);
    w.U32(OV_ONLINE_STATUS_ONLINE);
    return w.Bytes();
}

TEST_F(Loopback, HandshakeLoginListsAndMessagesRunThroughTheRealSocket) {
    peer_.OnCommand(OV_CCMD_HANDSHACK_SERVER, [this](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_NONE);
        w.U16(1);
        w.Text("127.0.0.1", OV_SERVER_ADDR_SIZE);
        w.U16(peer_.Port());
        return std::vector<std::string>{w.Bytes()};
    });
    peer_.OnCommand(OV_CCMD_USR_LOGIN, [](uint16_t, uint32_t, const std::string& body) {
        wire::Reader r(body);
        uint32_t pin = 0;
        std::string name;
        r.U32(&pin);
        r.Text(&name, OV_USERNAME_SIZE);
        wire::Writer w;
        w.U16(name == "alice" ? OV_ERR_NONE : OV_ERR_BAD_USR_OR_PASSWD);
        w.U32(0);
        w.U32(10001);
        w.U32(0x77);
        w.U32(0x0100007F);
        return std::vector<std::string>{w.Bytes()};
    });
    peer_.OnCommand(OV_CCMD_BUDDY_GET_LST2, [](uint16_t, uint32_t pin, const std::string&) {
        EXPECT_EQ(pin, 10001u);  // the header carries the login
        wire::Writer head, tail;
        head.U16(OV_ERR_NONE), head.U16(3), head.U16(OV_LISTFLAG_HEAD), head.U16(2);
        head.Raw(BuddyEntry(1, "Friends")), head.Raw(BuddyEntry(10002, "bob"));
        tail.U16(OV_ERR_NONE), tail.U16(3), tail.U16(OV_LISTFLAG_TAIL), tail.U16(1);
        tail.Raw(BuddyEntry(10003, "carol"));
        return std::vector<std::string>{head.Bytes(), tail.Bytes()};
    });
    peer_.OnCommand(OV_CCMD_SENDTO_USR, [](uint16_t, uint32_t, const std::string& body) {
        wire::Reader r(body);
        uint32_t type, component, code;
        std::string text;
        r.U32(&type), r.U32(&component), r.U32(&code);
        r.Payload(&text);
        wire::Writer w;
        w.U16(text == "hello bob" ? OV_ERR_NONE : OV_ERR_BAD_FIELD);
        return std::vector<std::string>{w.Bytes()};
    });

    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, peer_.Port(), &seq);
    ASSERT_EQ(seq, 1001);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY));
    auto hs = recorder_->Named(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY)[0];
    EXPECT_EQ(hs.numbers, (std::vector<int64_t>{1001, 0, 1}));
    ASSERT_EQ(hs.blobs[0].size(), sizeof(OV_SERVER_INFO));
    OV_SERVER_INFO server;
    std::memcpy(&server, hs.blobs[0].data(), sizeof server);
    EXPECT_STREQ(server.sServerAddr, "127.0.0.1");
    EXPECT_EQ(server.nServerPort, peer_.Port());

    Bstr name = Bstr::FromUtf8("alice"), password = Bstr::FromUtf8("pw");
    kernel_->Login(0, name, password, OV_ONLINE_STATUS_ONLINE, 0, &seq);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_LOGIN_REPLY));
    EXPECT_EQ(recorder_->Named(OV_DISPID_ON_LOGIN_REPLY)[0].numbers,
              (std::vector<int64_t>{seq, 0, 0, 10001, 0x0100007F}));

    kernel_->RequestBuddyTree2(&seq);
    ASSERT_NE(seq, 0);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2, 2));
    auto parts = recorder_->Named(OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2);
    EXPECT_EQ(parts[0].numbers, (std::vector<int64_t>{seq, 0, 3, OV_LISTFLAG_HEAD, 2}));
    EXPECT_EQ(parts[1].numbers, (std::vector<int64_t>{seq, 0, 3, OV_LISTFLAG_TAIL, 1}));
    ASSERT_EQ(parts[0].blobs[0].size(), 2 * sizeof(OV_BUDDY_TREE_NODE));
    OV_BUDDY_TREE_NODE nodes[2];
    std::memcpy(nodes, parts[0].blobs[0].data(), sizeof nodes);
    EXPECT_EQ(nodes[0].bIsBuddyGroup, 1);
    EXPECT_EQ(nodes[1].bIsBuddyGroup, 0);
    EXPECT_STREQ(nodes[1].sUserName, "bob");

    CByteArrayVariant text("hello bob");
    kernel_->SendToUser(10002, OV_MSGT_SAVE, OV_COMPONENT_MESSAGER, 0, text.Variant(), &seq);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_SEND_TO_USER_REPLY));
    EXPECT_EQ(recorder_->Named(OV_DISPID_ON_SEND_TO_USER_REPLY)[0].numbers,
              (std::vector<int64_t>{seq, 0}));

    // A message pushed by the server arrives once even when it comes twice.
    wire::Writer msg;
    msg.U32(10002), msg.U16(0), msg.U32(10001), msg.U32(OV_COMPONENT_MESSAGER), msg.U32(0);
    msg.Text("hi alice", OV_MSG_SIZE);
    msg.U32(1'700'000'000);
    peer_.Push(OV_SCMD_MESSAGE, msg.Bytes());
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_USER_MESSAGE_RECEIVED));
    auto m = recorder_->Named(OV_DISPID_ON_USER_MESSAGE_RECEIVED)[0];
    EXPECT_EQ(m.numbers,
              (std::vector<int64_t>{10002, 10001, OV_COMPONENT_MESSAGER, 0, 1'700'000'000}));
    EXPECT_EQ(m.blobs, (std::vector<std::string>{"hi alice"}));

    // Every server datagram was acknowledged: handshake, login, two list parts, send reply,
    // message.
    EXPECT_TRUE(peer_.WaitForAcks(6));

    kernel_->Deinit();
    recorder_->Clear();
    MessageBoxRecorder boxes;
    kernel_->RequestBuddyTree2(&seq);  // after Deinit: the init guard
    EXPECT_EQ(seq, 0);
    EXPECT_EQ(boxes.Count(), 1u);
}

// A sender on another loopback address: what a stranger who learnt the client's port sends.
class Stranger {
public:
    Stranger() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(0x7F000002);  // 127.0.0.2
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Stranger() { close(fd_); }
    bool Bound() const { return bound_; }
    void SendTo(const sockaddr_in& to, const std::string& bytes) {
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    }
    // Whether anything arrives within the limit.
    bool Hears(int limitMs) {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, limitMs) > 0;
    }

private:
    int fd_ = -1;
    bool bound_ = false;
};

std::string ServerDatagram(uint16_t command, uint32_t packetSeq, const std::string& body) {
    wire::Writer w;
    wire::WriteServerHeader(w, wire::ServerHeader{wire::kVersion, command, packetSeq, 0});
    w.Raw(body);
    return w.Bytes();
}

std::string MessageBody(const char* text) {
    wire::Writer msg;
    msg.U32(10002), msg.U16(0), msg.U32(10001), msg.U32(OV_COMPONENT_MESSAGER), msg.U32(0);
    msg.Text(text, OV_MSG_SIZE);
    msg.U32(1'700'000'000);
    return msg.Bytes();
}

TEST_F(Loopback, DatagramsFromAStrangerAreNeitherAcknowledgedNorRaised) {
    Stranger stranger;
    ASSERT_TRUE(stranger.Bound());
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, peer_.Port(), &seq);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_COMMAND_SENT));
    const sockaddr_in client = peer_.Client();

    // A message in a buddy's name, and a file offer that would have the client connect to an
    // address of the stranger's choosing; then the server's own message.
    wire::Writer offer;
    offer.U32(10002), offer.Text("bob", OV_USERNAME_SIZE), offer.Text("", OV_NICKNAME_SIZE);
    offer.U32(OV_COMPONENT_FILE), offer.U32(0), offer.U32(0x0200007F), offer.U16(6666);
    offer.Text("x.exe", OV_MSG_SIZE);
    stranger.SendTo(client, ServerDatagram(OV_SCMD_MESSAGE, 7001, MessageBody("trust me")));
    stranger.SendTo(client, ServerDatagram(OV_SCMD_PTP_REQUEST, 7002, offer.Bytes()));
    peer_.Push(OV_SCMD_MESSAGE, MessageBody("from the server"));

    // The socket reads datagrams in order: once the server's is raised, the others were read.
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_USER_MESSAGE_RECEIVED));
    auto messages = recorder_->Named(OV_DISPID_ON_USER_MESSAGE_RECEIVED);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].blobs, (std::vector<std::string>{"from the server"}));
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_PTP_CONNECTION_REQUEST), 0u);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_SOCKET_DATA_RECEIVED), 2u);  // the ack and the push
    EXPECT_TRUE(peer_.WaitForAcks(1));
    EXPECT_FALSE(stranger.Hears(200));
}

TEST_F(Loopback, DeinitFromAnEventOnTheSocketsReceiveThread) {
    std::promise<void> returned;
    EventRecorder hook([&](DISPID id) {
        if (id == OV_DISPID_ON_USER_MESSAGE_RECEIVED) {
            kernel_->Deinit();
            returned.set_value();
        }
    });
    ASSERT_EQ(hook.Attach(kernel_.Get()), S_OK);
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, peer_.Port(), &seq);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_COMMAND_SENT));
    peer_.Push(OV_SCMD_MESSAGE, MessageBody("bye"));
    EXPECT_EQ(returned.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    hook.Detach();

    // The kernel can start again; the previous session's threads and socket are finished.
    LONG ok = 0;
    Bstr any = Bstr::Empty();
    kernel_->Init(any, 0, &ok);
    EXPECT_EQ(ok, 1);
}

// The kernel as its callers' tests get it: through the runtime only, with the process clock.
class LoopbackInVirtualTime : public Loopback {
protected:
    void SetUp() override {
        clock_ = std::make_shared<VirtualClock>();
        SetProcessTestClock(clock_);
        Loopback::SetUp();
        ASSERT_TRUE(clock_->Settle(kWorkers));
    }
    void TearDown() override {
        Loopback::TearDown();
        SetProcessTestClock(nullptr);
    }
    void Advance(uint32_t seconds) { ASSERT_TRUE(clock_->AdvanceSeconds(seconds, kWorkers)); }

    static constexpr size_t kWorkers = 3;
    std::shared_ptr<VirtualClock> clock_;
};

TEST_F(LoopbackInVirtualTime, AnUnacknowledgedCommandIsResentThenGivenUp) {
    peer_.IgnoreCommand(OV_CCMD_HANDSHACK_SERVER);
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, peer_.Port(), &seq);
    ASSERT_NE(seq, 0);
    ASSERT_TRUE(peer_.WaitForCommands(1));
    Advance(34);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_COMMAND_SEND_ERROR), 0u);
    Advance(1);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_COMMAND_SEND_ERROR));
    EXPECT_EQ(recorder_->Named(OV_DISPID_ON_COMMAND_SEND_ERROR)[0].numbers,
              (std::vector<int64_t>{seq, OV_ERR_TIME_OUT}));
    ASSERT_TRUE(peer_.WaitForCommands(7));  // the first transmission and six more
    EXPECT_EQ(peer_.Commands(), std::vector<uint16_t>(7, OV_CCMD_HANDSHACK_SERVER));
}

TEST_F(LoopbackInVirtualTime, ALoginReplyThatNeverComesTimesOutAfterSixtySeconds) {
    peer_.OnCommand(OV_CCMD_HANDSHACK_SERVER, [](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_NONE), w.U16(0);
        return std::vector<std::string>{w.Bytes()};
    });
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, peer_.Port(), &seq);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY));
    // The peer acknowledges the login and never answers it.
    Bstr name = Bstr::FromUtf8("alice"), password = Bstr::FromUtf8("pw");
    kernel_->Login(0, name, password, OV_ONLINE_STATUS_ONLINE, 0, &seq);
    ASSERT_NE(seq, 0);
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_COMMAND_SENT, 2));
    ASSERT_TRUE(clock_->Settle(kWorkers));
    Advance(60);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_LOGIN_REPLY), 0u);
    Advance(10);  // the next check finds it more than sixty seconds old
    ASSERT_TRUE(recorder_->WaitFor(OV_DISPID_ON_LOGIN_REPLY));
    EXPECT_EQ(recorder_->Named(OV_DISPID_ON_LOGIN_REPLY)[0].numbers,
              (std::vector<int64_t>{seq, OV_ERR_TIME_OUT, 0, 0, 0}));
}

}  // namespace
}  // namespace ov::kernel::testing
