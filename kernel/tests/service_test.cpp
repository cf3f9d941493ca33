// The service object's methods: guards, login state, the bytes they send, and the receive
// path's acknowledgements and duplicate filter.
#include "kernel/tests/kernel_fixture.h"

#include <cstring>

namespace ov::kernel::testing {
namespace {

using Service = KernelTest;

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The body of the last datagram sent.
std::string LastBody(const ScriptedSocket& socket) {
    auto sent = socket.SentPackets();
    if (sent.empty()) {
        ADD_FAILURE() << "nothing was sent";
        return {};
    }
    return sent.back().bytes.substr(wire::kRequestHeaderSize);
}

TEST(ServiceGuards, CommandsBeforeInitShowTheMessageOnceAndReturnZero) {
    MessageBoxRecorder boxes;
    ComPtr<COVService> kernel = MakeComObject<COVService>();
    LONG seq = 99;
    Bstr name = Bstr::FromUtf8("alice");
    kernel->Login(0, name, name, OV_ONLINE_STATUS_ONLINE, 0, &seq);
    EXPECT_EQ(seq, 0);
    CByteArrayVariant msg("hi");
    kernel->SendToUser(10002, 1, OV_COMPONENT_MESSAGER, 0, msg.Variant(), &seq);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Please Call Init() First!");
    EXPECT_EQ(boxes.Boxes()[0].caption, "COVService::Login()");
    EXPECT_EQ(boxes.Boxes()[1].caption, "COVService::SendToUser()");
    EXPECT_EQ(boxes.Boxes()[1].type, MB_OK);
    // Members without the guard just answer.
    LONG ok = 7;
    kernel->CancelAllCommands(&ok);
    EXPECT_EQ(ok, 0);
    kernel->About();
    EXPECT_EQ(boxes.Boxes().back().caption, "OVService");
    EXPECT_EQ(boxes.Boxes().back().text, "Orvane Client Kernel v1.03b");
}

TEST_F(Service, LoginStateDrivesTheHeaderAndTheLoginGuard) {
    LONG seq = 7;
    kernel_->Logout(&seq);  // not logged in: nothing sent
    EXPECT_EQ(seq, 0);
    EXPECT_TRUE(socket_->SentPackets().empty());

    LogIn(10001, 0xABCD);
    auto replies = recorder_->Named(OV_DISPID_ON_LOGIN_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].numbers,
              (std::vector<int64_t>{replies[0].numbers[0], 0, 7, 10001, 0x0100007F}));

    socket_->ClearSent();
    kernel_->RequestBuddyTree(&seq);
    ASSERT_NE(seq, 0);
    const std::string packet = socket_->SentPackets().back().bytes;
    wire::Reader r(packet);
    wire::RequestHeader h;
    ASSERT_TRUE(wire::ReadRequestHeader(r, &h));
    EXPECT_EQ(h.nPin, 10001u);
    EXPECT_EQ(h.nLoginID, 0xABCDu);
    AckLast();

    // A second login clears the first before its request is built.
    socket_->ClearSent();
    Bstr name = Bstr::FromUtf8("alice");
    kernel_->Login(0, name, name, OV_ONLINE_STATUS_ONLINE, 0, &seq);
    const std::string second = socket_->SentPackets().back().bytes;
    wire::Reader again(second);
    ASSERT_TRUE(wire::ReadRequestHeader(again, &h));
    EXPECT_EQ(h.nPin, 0u);
    EXPECT_EQ(h.nLoginID, 0u);
    kernel_->RequestBuddyTree(&seq);
    EXPECT_EQ(seq, 0);  // logged out until the new reply arrives
}

TEST_F(Service, LogoutCarriesTheOldPinAndStatusChangeReportsOnAcknowledgement) {
    LogIn(10001, 5);
    recorder_->Clear();
    LONG seq = 0;
    kernel_->ChangeOnlineStatus(OV_ONLINE_STATUS_AWAY, &seq);
    EXPECT_EQ(Hex(LastBody(*socket_)), "02000000");
    AckLast();
    EXPECT_EQ(recorder_->Sequence(),
              (std::vector<std::string>{"OnCommandSend", "OnCommandSent", "OnUserStatusChanged",
                                        "OnServerAckTime"}));
    EXPECT_EQ(recorder_->Named(OV_DISPID_ON_USER_STATUS_CHANGED)[0].numbers,
              (std::vector<int64_t>{10001, OV_ONLINE_STATUS_AWAY}));

    kernel_->Logout(&seq);
    ASSERT_NE(seq, 0);
    const std::string packet = socket_->SentPackets().back().bytes;
    wire::Reader r(packet);
    wire::RequestHeader h;
    ASSERT_TRUE(wire::ReadRequestHeader(r, &h));
    EXPECT_EQ(h.nCommand, OV_CCMD_USR_LOGOUT);
    EXPECT_EQ(h.nPin, 10001u);
    EXPECT_EQ(r.Remaining(), 0u);
    kernel_->RequestBlackList(&seq);
    EXPECT_EQ(seq, 0);
}

TEST_F(Service, RequestBodiesAreByteExact) {
    LONG seq = 0;
    // Login: 20-character name cut to 16 and its zero; status, terminal, two components.
    Bstr longName = Bstr::FromUtf8("abcdefghijklmnopqrst"), password = Bstr::FromUtf8("pw");
    kernel_->Login(0, longName, password, OV_ONLINE_STATUS_ONLINE, 3, &seq);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              "00000000"
              "1100"
              "6162636465666768696a6b6c6d6e6f70"
              "00"
              "0300"
              "7077"
              "00"
              "7f000001"
              "800d"
              "ffff0000"
              "03000000"
              "0200"
              "f0832d01"
              "f40f2d01");
    AckLast();
    LogIn();
    socket_->ClearSent();

    CByteArrayVariant five("hello");
    kernel_->SendToUser(10002, OV_MSGT_SAVE, OV_COMPONENT_MESSAGER, 0, five.Variant(), &seq);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              "01000000"
              "f0832d01"
              "00000000"
              "0600"
              "68656c6c6f"
              "00"
              "01000000"
              "12270000");
    AckLast();

    // A node list must be exactly count * 4 bytes.
    CByteArrayVariant eight("\x01\x00\x00\x00\xe8\x03\x00\x00", 8);
    CByteArrayVariant twelve(std::string(12, '\x01'));
    kernel_->RemoveNodesFromBuddyTree(2, twelve.Variant(), &seq);
    EXPECT_EQ(seq, 0);
    kernel_->RemoveNodesFromBuddyTree(2, eight.Variant(), &seq);
    ASSERT_NE(seq, 0);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              "0200"
              "01000000"
              "e8030000");
    AckLast();
    kernel_->RemoveUsersFromBlackList(0x10002, eight.Variant(), &seq);  // count read as 16 bits: 2
    EXPECT_NE(seq, 0);
    AckLast();

    // Register: a present empty text is L = 1 and a zero; an absent one L = 0.
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_USERNAME;
    CByteArrayVariant record(&u, sizeof u);
    kernel_->RegisterUser(record.Variant(), &seq);
    EXPECT_EQ(Hex(LastBody(*socket_).substr(0, 4 + 3 + 2 * 5)),
              "02000000"
              "0100"
              "00"
              "0000"
              "0000"
              "0000"
              "0000"
              "0000");
    AckLast();

    // Add-buddy: an empty message is absent; a group never carries one.
    Bstr none = Bstr::Empty(), display = Bstr::FromUtf8("Bob");
    kernel_->AddUserToBuddyTree(10002, none, display, 0, 1, &seq);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              "12270000"
              "01000000"
              "00000000"
              "0000"
              "0400426f6200");
    AckLast();
    // A message too long for its 16-bit length is refused rather than sent corrupt.
    CByteArrayVariant huge(std::string(70000, 'x'));
    kernel_->SendToUser(10002, 0, OV_COMPONENT_CHAT, 0, huge.Variant(), &seq);
    EXPECT_EQ(seq, 0);
}

TEST_F(Service, EveryServerDatagramIsAcknowledgedAndDuplicatesRaiseOnce) {
    LogIn(10001, 9);
    recorder_->Clear();
    socket_->ClearSent();
    auto status = [](uint32_t pin) {
        wire::Writer b;
        b.U32(pin);
        b.U32(OV_ONLINE_STATUS_ONLINE);
        return b.Bytes();
    };
    // With the login reply's number these make 201 distinct datagrams.
    for (uint32_t seq = 1001; seq <= 1200; ++seq)
        socket_->Deliver(ServerPacket(OV_SCMD_BUDDY_STATUS, seq, 0, status(seq)));
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_BUDDY_STATUS_CHANGED), 200u);
    auto acks = socket_->SentPackets();
    ASSERT_EQ(acks.size(), 200u);
    EXPECT_EQ(Hex(acks[0].bytes),
              "0100"
              "0100"
              "e9030000"
              "11270000"
              "09000000");

    // 201 numbers trimmed to the newest 150: 1050 is forgotten, 1051 still known.
    socket_->Deliver(ServerPacket(OV_SCMD_BUDDY_STATUS, 1051, 0, status(1051)));
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_BUDDY_STATUS_CHANGED), 200u);
    socket_->Deliver(ServerPacket(OV_SCMD_BUDDY_STATUS, 1050, 0, status(1050)));
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_BUDDY_STATUS_CHANGED), 201u);
    EXPECT_EQ(socket_->SentPackets().size(), 202u);  // both acknowledged

    // Not version 1: dropped without acknowledgement. Nine bytes, not an ack: dropped.
    std::string v2 = ServerPacket(OV_SCMD_BUDDY_STATUS, 5000, 0, status(1));
    v2[0] = 2;
    socket_->Deliver(v2);
    socket_->Deliver(ServerPacket(OV_SCMD_BUDDY_STATUS, 5001, 0, "").substr(0, 9));
    EXPECT_EQ(socket_->SentPackets().size(), 202u);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_SOCKET_DATA_RECEIVED), 204u);
}

TEST_F(Service, UnadvisedEventsStopButCommandsRun) {
    kernel_->UnadviseAllConnections();
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, 9999, &seq);
    EXPECT_NE(seq, 0);
    AckLast();
    EXPECT_TRUE(recorder_->Events().empty());
}

TEST_F(Service, ProxySettingsPassThroughToTheSocket) {
    Bstr host = Bstr::FromUtf8("proxy.example"), user = Bstr::FromUtf8("u"),
         pass = Bstr::FromUtf8("p");
    kernel_->SetProxy(OV_ACCESS_SOCKS5, host, 1080, OV_PROXY_AUTH_USERNAME_PASSWORD, user, pass);
    EXPECT_EQ(socket_->LastProxyHost(), "proxy.example");
}

}  // namespace
}  // namespace ov::kernel::testing
