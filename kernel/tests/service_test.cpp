// The service object's methods: guards, login state, the bytes they send, and the receive
// path's acknowledgements and duplicate filter.
#include "kernel/tests/kernel_fixture.h"

#include <cstring>
#include <thread>

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
    EXPECT_EQ(replies[0].numbers, (std::vector<int64_t>{loginSeq_, 0, 7, 10001, 0x0100007F}));

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

TEST_F(Service, ALoginReplyNobodyAskedForChangesNothing) {
    // Another account's login sent with this client's address as its source: the server's
    // reply arrives here, under a command number this client may even have used before.
    LogIn(10001, 0xABCD);
    recorder_->Clear();
    for (uint16_t cmdSeq : {static_cast<uint16_t>(loginSeq_), uint16_t{4242}}) {
        wire::Writer body;
        body.U16(OV_ERR_NONE);
        body.U32(0);
        body.U32(20002);
        body.U32(0x6666);
        body.U32(0x0100007F);
        socket_->Deliver(ServerPacket(OV_CCMD_USR_LOGIN, nextServerSeq_++, cmdSeq, body.Bytes()));
    }
    ASSERT_TRUE(clock_->Settle(kWorkerThreads));
    EXPECT_TRUE(recorder_->Named(OV_DISPID_ON_LOGIN_REPLY).empty());
    socket_->ClearSent();
    LONG seq = 0;
    kernel_->RequestBuddyTree(&seq);
    ASSERT_NE(seq, 0);
    // Still this client's own PIN and login ID in the header.
    const std::string packet = socket_->SentPackets().back().bytes;
    EXPECT_EQ(wire::LoadU32(packet.data() + 8), 10001u);
    EXPECT_EQ(wire::LoadU32(packet.data() + 12), 0xABCDu);
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

// The command code of the last datagram sent.
uint16_t LastCommand(const ScriptedSocket& socket) {
    auto sent = socket.SentPackets();
    return sent.empty() ? 0 : wire::LoadU16(sent.back().bytes.data() + 2);
}

// Expected bytes as hexadecimal digits, one field per group; the spaces are dropped.
std::string Fields(std::string_view spaced) {
    std::string digits;
    for (char c : spaced)
        if (c != ' ')
            digits += c;
    return digits;
}

TEST_F(Service, RecordAndGroupBodiesAreByteExact) {
    LogIn();
    socket_->ClearSent();
    LONG seq = 0;

    // Search: record texts by their mask bits (a set bit with an empty text is L = 1), the
    // password never, then language to career.
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_USERNAME | OV_UFLD_FIRSTNAME | OV_UFLD_EMAIL;
    std::strcpy(u.sUserName, "bob");
    std::strcpy(u.sPassword, "secret");
    std::strcpy(u.sNickName, "Nick");
    std::strcpy(u.sLastName, "x");
    std::strcpy(u.sEMail, "b@c");
    u.nLanguage = 0x0102;
    u.nLocation = 86;
    u.nAgeRange = 3;
    u.nSex = 1;
    u.nCareer = 7;
    u.nIcon = 9;
    CByteArrayVariant search(&u, sizeof u);
    kernel_->SearchUser(search.Variant(), &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x104);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              Fields("52000000 0400626f6200 0000 010000 0000 040062406300 0201 56000000 03 01 07"));
    AckLast();

    // Search 2: the record's PIN after the mask; online and start at the end.
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_NICKNAME;
    u.nPin = 10002;
    std::strcpy(u.sNickName, "Al");
    CByteArrayVariant search2(&u, sizeof u);
    kernel_->SearchUser2(20, 1, search2.Variant(), &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x109);
    EXPECT_EQ(Hex(LastBody(*socket_)), Fields("08000000 12270000 0000 0300416c00 0000 0000 0000 "
                                              "0000 00000000 00 00 00 01000000 14000000"));
    AckLast();

    // Own information: the numbers after career, then the six further texts; About is cut
    // to 256 bytes and its zero.
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_NICKNAME | OV_UFLD_EMAIL2 | OV_UFLD_MOBILE | OV_UFLD_ABOUT;
    std::strcpy(u.sNickName, "Ally");
    std::strcpy(u.sEMail1, "e1");
    std::strcpy(u.sEMail2, "e2@x");
    std::strcpy(u.sPhone, "123");
    std::strcpy(u.sMobile, "139");
    std::memset(u.sAbout, 'a', sizeof u.sAbout);  // no zero at all: the field's end stops it
    u.nSex = 2;
    u.nIcon = 5;
    u.nMode = OV_UMODE_HIDE_EMAIL;
    u.nAge = 30;
    u.nLanguage1 = 1;
    u.nLanguage2 = 2;
    u.nLanguage3 = 3;
    CByteArrayVariant self(&u, sizeof u);
    kernel_->UpdateSelfUserInfo(self.Variant(), &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x107);
    std::string about = "0101";
    for (int i = 0; i < 256; ++i)
        about += "61";
    EXPECT_EQ(Hex(LastBody(*socket_)),
              Fields("0800a002 0000 0500416c6c7900 0000 0000 0000 0000 00000000 00 02 00 "
                     "05000000 10000000 1e00 0100 0200 0300 "
                     "0000 05006532407800 0000 040031333900 0000 ") +
                  about + "00");
    AckLast();

    // Groups: 16-bit type, 32-bit identifier, the name in code page 936; a null password is
    // an empty text.
    Bstr chinese = Bstr::FromUtf8("你好"), noPassword;
    kernel_->EnterGroup(OV_GT_URL, 77, chinese, noPassword, &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x403);
    EXPECT_EQ(Hex(LastBody(*socket_)), Fields("0200 4d000000 0500c4e3bac300 010000"));
    AckLast();
    Bstr site = Bstr::FromUtf8("a.b");
    kernel_->RequestGroupOnlineUserList(OV_GT_SITE, 0x10203040, site, &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x406);
    EXPECT_EQ(Hex(LastBody(*socket_)), Fields("0100 40302010 0400612e6200"));
    AckLast();
}

TEST_F(Service, PayloadAndAnswerBodiesAreByteExact) {
    LogIn();
    socket_->ClearSent();
    LONG seq = 0;

    CByteArrayVariant hi("hi");
    kernel_->SendToGroup(OV_GT_SITE_CHAT, 0x01020304, OV_MSGT_OUSR, OV_COMPONENT_CHAT, 9,
                         hi.Variant(), &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x502);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              Fields("02000000 f40f2d01 09000000 0300 04030201 0300686900"));
    AckLast();

    CByteArrayVariant file("a.txt");
    kernel_->RequestPTPConnection(10002, OV_COMPONENT_FILE, 5, 0x0100007F, 40000, file.Variant(),
                                  &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x503);
    EXPECT_EQ(Hex(LastBody(*socket_)),
              Fields("12270000 f5aa2d01 05000000 7f000001 409c 0600612e74787400"));
    AckLast();

    kernel_->ReplyAddBuddyRequest(10003, OV_BUDDY_ACCEPT, &seq);
    EXPECT_EQ(LastCommand(*socket_), 0x601);
    EXPECT_EQ(Hex(LastBody(*socket_)), Fields("13270000 01"));
    AckLast();
}

TEST_F(Service, LoginLeavesTheStatusOfChangeOnlineStatusAlone) {
    LogIn(10001, 5);
    LONG seq = 0;
    kernel_->ChangeOnlineStatus(OV_ONLINE_STATUS_AWAY, &seq);
    const uint32_t statusSeq = LastPacketSeq();
    // A new login, queued behind the status change, asks for another status.
    Bstr name = Bstr::FromUtf8("alice");
    LONG login = 0;
    kernel_->Login(0, name, name, OV_ONLINE_STATUS_INVISIBLE, 0, &login);
    wire::Writer body;
    body.U16(OV_ERR_NONE), body.U32(0), body.U32(10001), body.U32(6), body.U32(0);
    socket_->Deliver(ServerPacket(OV_CCMD_USR_LOGIN, nextServerSeq_++, static_cast<uint16_t>(login),
                                  body.Bytes()));
    recorder_->Clear();
    socket_->Deliver(wire::ServerAck(statusSeq));
    auto changed = recorder_->Named(OV_DISPID_ON_USER_STATUS_CHANGED);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].numbers, (std::vector<int64_t>{10001, OV_ONLINE_STATUS_AWAY}));
}

TEST_F(Service, OnlyTheServerNamedByTheHandshakeIsHeard) {
    LogIn(10001, 9);
    recorder_->Clear();
    socket_->ClearSent();
    wire::Writer message;
    message.U32(10002), message.U16(0), message.U32(10001), message.U32(OV_COMPONENT_MESSAGER),
        message.U32(0), message.Text("trust me", OV_MSG_SIZE), message.U32(1'700'000'000);
    wire::Writer ptp;
    ptp.U32(10002), ptp.Text("bob", OV_USERNAME_SIZE), ptp.Text("", OV_NICKNAME_SIZE),
        ptp.U32(OV_COMPONENT_FILE), ptp.U32(0), ptp.U32(0x0A0000CB), ptp.U16(6666),
        ptp.Text("x.exe", OV_MSG_SIZE);
    const std::string forgedMessage = ServerPacket(OV_SCMD_MESSAGE, 7001, 0, message.Bytes());
    const std::string forgedOffer = ServerPacket(OV_SCMD_PTP_REQUEST, 7002, 0, ptp.Bytes());

    // Another host on the server's port, or the server's host on another port.
    socket_->Deliver(forgedMessage, "127.0.0.2", 9999);
    socket_->Deliver(forgedOffer, "127.0.0.2", 9999);
    socket_->Deliver(forgedMessage, "127.0.0.1", 9998);
    socket_->Deliver(forgedOffer, "localhost", 9999);  // a sender is always an address
    // Nor may a stranger acknowledge a command for the server.
    LONG seq = 0;
    kernel_->RequestBlackList(&seq);
    ASSERT_NE(seq, 0);
    socket_->Deliver(wire::ServerAck(LastPacketSeq()), "127.0.0.2", 9999);
    EXPECT_TRUE(recorder_->Events().empty());
    ASSERT_EQ(socket_->SentPackets().size(), 1u);  // the command; no acknowledgement

    socket_->Deliver(forgedMessage);
    socket_->Deliver(forgedOffer);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_USER_MESSAGE_RECEIVED), 1u);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_PTP_CONNECTION_REQUEST), 1u);
    EXPECT_EQ(socket_->SentPackets().size(), 3u);  // both acknowledged
}

TEST_F(Service, AServerNameIsResolvedOnceAndItsAddressHeard) {
    LONG seq = 0;
    Bstr name = Bstr::FromUtf8("localhost");
    kernel_->HandshakeServer(name, 9999, &seq);
    ASSERT_NE(seq, 0);
    Bstr address;
    kernel_->get_ServerAddress(address.Out());
    EXPECT_EQ(address.ToUtf8(), "localhost");
    // Not looked up by the call (the GUI thread's): the socket resolves the first datagram.
    EXPECT_EQ(socket_->SentPackets().back().host, "localhost");
    wire::Writer reply;
    reply.U16(OV_ERR_NONE), reply.U16(0);
    socket_->Deliver(wire::ServerAck(LastPacketSeq()));
    socket_->Deliver(
        ServerPacket(OV_CCMD_HANDSHACK_SERVER, 1, static_cast<uint16_t>(seq), reply.Bytes()));
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_COMMAND_SENT), 1u);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY), 1u);
    // Looked up by the receive path, the address is where later commands go.
    CByteArrayVariant user(std::string(sizeof(OV_USER_INFO), '\0'));
    kernel_->RegisterUser(user.Variant(), &seq);
    EXPECT_EQ(socket_->SentPackets().back().host, "127.0.0.1");
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

// A handler living in a single-threaded apartment, as a window does.
class WindowHandler final : public OVServiceEventHandler {
public:
    void OnBuddyStatusChanged(LONG nPin, LONG) override { pins.push_back(nPin); }
    std::vector<LONG> pins;
};

class ServiceInApartment : public Service {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        Service::SetUp();
    }
    void TearDown() override {
        Service::TearDown();
        Apartment::Current()->PumpPending();
        CoUninitialize();
    }
    // A buddy status notification, delivered on another thread as the socket's would be.
    void StatusFromTheSocketThread(uint32_t pin) {
        wire::Writer b;
        b.U32(pin);
        b.U32(OV_ONLINE_STATUS_ONLINE);
        std::thread([&] {
            socket_->Deliver(ServerPacket(OV_SCMD_BUDDY_STATUS, nextServerSeq_++, 0, b.Bytes()));
        }).join();
    }
};

TEST_F(ServiceInApartment, UnadviseAllConnectionsDropsWhatWaitsForTheWindowsThread) {
    WindowHandler window;
    OVServiceEventConnection connection(&window);
    ASSERT_EQ(connection.Connect(kernel_->GetUnknown()), S_OK);
    auto sta = Apartment::Current();
    StatusFromTheSocketThread(20001);
    sta->PumpPending();
    EXPECT_EQ(window.pins, (std::vector<LONG>{20001}));

    // Raised and posted, not yet delivered, when the window unadvises everything.
    StatusFromTheSocketThread(20002);
    kernel_->UnadviseAllConnections();
    sta->PumpPending();
    EXPECT_EQ(window.pins, (std::vector<LONG>{20001}));

    // The connection itself stays: a new session raises to it again.
    kernel_->Deinit();
    LONG ok = 0;
    kernel_->Init(nullptr, 0, &ok);
    ASSERT_EQ(ok, 1);
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel_->HandshakeServer(host, 9999, &seq);
    StatusFromTheSocketThread(20003);
    sta->PumpPending();
    EXPECT_EQ(window.pins, (std::vector<LONG>{20001, 20003}));
    connection.Disconnect();
}

TEST_F(Service, ProxySettingsPassThroughToTheSocket) {
    Bstr host = Bstr::FromUtf8("proxy.example"), user = Bstr::FromUtf8("u"),
         pass = Bstr::FromUtf8("p");
    kernel_->SetProxy(OV_ACCESS_SOCKS5, host, 1080, OV_PROXY_AUTH_USERNAME_PASSWORD, user, pass);
    ScriptedSocket::Proxy proxy = socket_->LastProxy();
    EXPECT_EQ(proxy.accessType, OVSOCK_ACCESS_SOCKS5);
    EXPECT_EQ(proxy.host, "proxy.example");
    EXPECT_EQ(proxy.port, 1080);
    EXPECT_EQ(proxy.authMethod, OVSOCK_AUTH_USERNAME_PASSWORD);
    EXPECT_EQ(proxy.userName, "u");
    EXPECT_EQ(proxy.password, "p");
}

}  // namespace
}  // namespace ov::kernel::testing
