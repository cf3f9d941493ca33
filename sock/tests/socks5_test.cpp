// Sockets through a SOCKS5 proxy played by the test: the exact bytes of the negotiation (with
// and without user name and password, TCP CONNECT and UDP ASSOCIATE), the request header on
// datagrams both ways, and proxies that refuse or break off - each a failure, never a hang.
#include <future>
#include <initializer_list>

#include "sock/tests/sock_test_support.h"

namespace ov::sock::test {
namespace {

constexpr std::chrono::milliseconds kPeerTimeout = 5s;

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// What the proxy read, message by message, for comparing with what the client must send.
using Transcript = std::vector<std::string>;

// One step of a proxy's script: read this many bytes, then answer (empty: no answer).
struct Exchange {
    size_t read;
    std::string answer;
};

// A SOCKS5 proxy on 127.0.0.1 that takes one connection and plays a script on it. The
// connection stays open until the test ends, as a proxy keeps its control connection.
class ScriptedProxy {
public:
    explicit ScriptedProxy(std::vector<Exchange> script) {
        done_ = std::async(std::launch::async, [this, script = std::move(script)] {
            Transcript heard;
            conn_ = listener_.Accept(kPeerTimeout);
            if (conn_.Fd() < 0)
                return heard;
            for (const Exchange& step : script) {
                heard.push_back(conn_.ReadExactly(step.read, kPeerTimeout));
                if (!step.answer.empty())
                    conn_.Write(step.answer);
            }
            return heard;
        });
    }
    LONG Port() const { return listener_.Port(); }
    Transcript Heard() { return done_.get(); }
    const RawSocket& Connection() const { return conn_; }  // after Heard

private:
    RawSocket listener_ = RawSocket::TcpListening();
    RawSocket conn_;
    std::future<Transcript> done_;
};

void UseProxy(IOVSocket* socket, LONG port, OVSOCKProxyAuthMethodEnum method = OVSOCK_AUTH_NONE,
              const char* user = "", const char* password = "") {
    socket->SetProxy(OVSOCK_ACCESS_SOCKS5, Bstr::FromUtf8("127.0.0.1"), port, method,
                     Bstr::FromUtf8(user), Bstr::FromUtf8(password));
}

// 05 00 00 01, 127.0.0.1 and the port: a successful reply naming a local relay or binding.
std::string SuccessReply(LONG port) {
    return Bytes({5, 0, 0, 1, 127, 0, 0, 1, (port >> 8) & 0xFF, port & 0xFF});
}

const std::string kConnectTo10001Port8000 = Bytes({5, 1, 0, 1, 10, 0, 0, 1, 0x1F, 0x40});

class Socks5Test : public SockTest {};

TEST_F(Socks5Test, ConnectWithoutAuthenticationSendsTheExactRequestAndThenCarriesData) {
    ScriptedProxy proxy({{3, Bytes({5, 0})}, {10, SuccessReply(4660)}});
    Endpoint client = NewSocket(OVSOCK_TCP);
    UseProxy(client.socket.Get(), proxy.Port());
    ASSERT_TRUE(ConnectTo(client.socket.Get(), "10.0.0.1", 8000));
    EXPECT_EQ(proxy.Heard(), (Transcript{Bytes({5, 1, 0}), kConnectTo10001Port8000}));

    // The negotiated connection is the data connection, both ways.
    SendBytes(client.socket.Get(), "ping");
    EXPECT_EQ(proxy.Connection().ReadExactly(4), "ping");
    proxy.Connection().Write("pong");
    Variant data;
    VARIANT_BOOL ok = VARIANT_FALSE;
    client->Receive(&data, &ok);
    EXPECT_TRUE(Flag(ok));
    EXPECT_EQ(CByteArrayVariant(data).View(), "pong");
    // Stream bytes that look like a relay's header are the target's data, kept whole.
    const std::string headerLike = Bytes({0, 0, 0, 1, 10, 0, 0, 2, 0, 0x35, 'x'});
    proxy.Connection().Write(headerLike);
    ASSERT_TRUE(client.events->WaitForCount(OVSOCK_DISPID_ON_DATA_AVAILABLE, 1));
    Datagram got = ReceiveDatagram(client.socket.Get());
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.data, headerLike);
    // No connection event for a connection made through the proxy.
    EXPECT_EQ(client.events->Count(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED), 0u);
    client->Close();  // the shared descriptor is closed once, by its last holder
}

TEST_F(Socks5Test, UserNameAndPasswordGoInOneMessageWithTheirCp936Lengths) {
    {
        ScriptedProxy proxy({{3, Bytes({5, 2})}, {7, Bytes({1, 0})}, {10, SuccessReply(1)}});
        Endpoint client = NewSocket(OVSOCK_TCP);
        UseProxy(client.socket.Get(), proxy.Port(), OVSOCK_AUTH_USERNAME_PASSWORD, "ab", "pw");
        EXPECT_TRUE(ConnectTo(client.socket.Get(), "10.0.0.1", 8000));
        EXPECT_EQ(proxy.Heard(), (Transcript{Bytes({5, 1, 2}),
                                             "\x01\x02"
                                             "ab\x02"
                                             "pw",
                                             kConnectTo10001Port8000}));
    }
    {
        // Two Chinese characters are four bytes in code page 936; an empty password is 00.
        ScriptedProxy proxy({{3, Bytes({5, 2})}, {7, Bytes({1, 0})}, {10, SuccessReply(1)}});
        Endpoint client = NewSocket(OVSOCK_TCP);
        UseProxy(client.socket.Get(), proxy.Port(), OVSOCK_AUTH_USERNAME_PASSWORD,
                 "\xE4\xB8\xAD\xE6\x96\x87", "");
        EXPECT_TRUE(ConnectTo(client.socket.Get(), "10.0.0.1", 8000));
        Transcript heard = proxy.Heard();
        ASSERT_EQ(heard.size(), 3u);
        EXPECT_EQ(heard[1], Bytes({1, 4, 0xD6, 0xD0, 0xCE, 0xC4, 0}));
    }
    {
        // Refused credentials.
        ScriptedProxy proxy({{3, Bytes({5, 2})}, {5, Bytes({1, 1})}});
        Endpoint client = NewSocket(OVSOCK_TCP);
        UseProxy(client.socket.Get(), proxy.Port(), OVSOCK_AUTH_USERNAME_PASSWORD, "a", "b");
        EXPECT_FALSE(ConnectTo(client.socket.Get(), "10.0.0.1", 8000));
        EXPECT_EQ(proxy.Heard().size(), 2u);
    }
}

TEST_F(Socks5Test, AProxyThatRefusesOrBreaksOffMakesConnectFalse) {
    struct Case {
        const char* what;
        std::vector<Exchange> script;
    };
    const std::vector<Case> cases = {
        {"no acceptable method", {{3, Bytes({5, 0xFF})}}},
        {"another method than offered", {{3, Bytes({5, 2})}}},
        {"wrong version", {{3, Bytes({4, 0})}}},
        {"short method reply", {{3, Bytes({5})}}},
        {"request refused", {{3, Bytes({5, 0})}, {10, Bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0})}}},
        {"reply without its address", {{3, Bytes({5, 0})}, {10, Bytes({5, 0, 0, 1, 127})}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedProxy proxy(c.script);
        Endpoint client = NewSocket(OVSOCK_TCP);
        UseProxy(client.socket.Get(), proxy.Port());
        EXPECT_FALSE(ConnectTo(client.socket.Get(), "10.0.0.1", 8000));
        proxy.Heard();
    }
    // Nobody at the proxy's address.
    LONG closedPort = RawSocket::TcpBound().Port();
    Endpoint client = NewSocket(OVSOCK_TCP);
    UseProxy(client.socket.Get(), closedPort);
    EXPECT_FALSE(ConnectTo(client.socket.Get(), "10.0.0.1", 8000));
    EXPECT_EQ(LastError(client.socket.Get()), OVSOCK_ERR_CONNREFUSED);
}

TEST_F(Socks5Test, DatagramsTravelThroughTheRelayWithTheirHeaders) {
    RawSocket relay = RawSocket::UdpBound();
    ScriptedProxy proxy({{3, Bytes({5, 0})}, {10, SuccessReply(relay.Port())}});
    Endpoint client = NewBoundUdp();
    UseProxy(client.socket.Get(), proxy.Port());

    // Queued before the association exists: the send step that makes it sends it to the relay.
    LONG id = SendBytesTo(client.socket.Get(), "10.0.0.1", 8000, "hi");
    EXPECT_EQ(relay.ReadDatagram(), Bytes({0, 0, 0, 1, 10, 0, 0, 1, 0x1F, 0x40, 'h', 'i'}));
    EXPECT_TRUE(client.events->WaitForCount(OVSOCK_DISPID_ON_SEND_PROGRESS, 1));
    EXPECT_EQ(client.events->Count(OVSOCK_DISPID_ON_SEND_ERROR), 0u) << id;

    // UDP ASSOCIATE names the address the datagrams come from: 127.0.0.1, where the socket
    // is bound, whatever the machine's first address is.
    Transcript heard = proxy.Heard();
    ASSERT_EQ(heard.size(), 2u);
    const LONG port = LocalPort(client.socket.Get());
    EXPECT_EQ(heard[1], Bytes({5, 3, 0, 1, 127, 0, 0, 1, (port >> 8) & 0xFF, port & 0xFF}));

    // Incoming datagrams lose their header and name the sender it gives.
    struct Case {
        std::string datagram;
        Datagram expected;
    };
    std::string v6 = Bytes({0, 0, 0, 4});
    v6 += std::string(15, '\0') + Bytes({1, 0x12, 0x34, 'z'});
    const std::vector<Case> cases = {
        {Bytes({0, 0, 0, 1, 10, 0, 0, 2, 0, 0x35, 'x'}), {true, "10.0.0.2", 53, "x"}},
        {Bytes({0, 0, 0, 3, 9, 'l', 'o', 'c', 'a', 'l', 'h', 'o', 's', 't', 0, 7, 'n'}),
         {true, "127.0.0.1", 7, "n"}},
        {v6, {true, "::1", 0x1234, "z"}},
        // Cut off inside the header it announces: nobody's data.
        {Bytes({0, 0, 0, 1, 10, 0, 0}), {false, "  ", 0, ""}},
        {Bytes({0, 0, 0, 3, 200, 'a'}), {false, "  ", 0, ""}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        relay.WriteTo(port, c.datagram);
        // Each read arms the report of the next datagram.
        ASSERT_TRUE(client.events->WaitForCount(OVSOCK_DISPID_ON_DATA_AVAILABLE, i + 1));
        Datagram got = ReceiveDatagram(client.socket.Get());
        EXPECT_EQ(got.ok, c.expected.ok);
        EXPECT_EQ(got.host, c.expected.host);
        EXPECT_EQ(got.port, c.expected.port);
        EXPECT_EQ(got.data, c.expected.data);
    }

    // The control connection stays open while the association lives, and Close ends it.
    EXPECT_FALSE(proxy.Connection().Readable(50ms));
    client->Close();
    EXPECT_TRUE(proxy.Connection().Readable(kPeerTimeout));
    EXPECT_EQ(proxy.Connection().ReadExactly(1, 1s), "");
}

TEST_F(Socks5Test, AFailedAssociationEndsTheDatagramInOnSendErrorAndTheNextSendTriesAgain) {
    RawSocket relay = RawSocket::UdpBound();
    Endpoint client = NewBoundUdp();
    {
        ScriptedProxy refusing({{3, Bytes({5, 0xFF})}});
        UseProxy(client.socket.Get(), refusing.Port());
        LONG id = SendBytesTo(client.socket.Get(), "10.0.0.1", 8000, "lost");
        ASSERT_TRUE(client.events->WaitForCount(OVSOCK_DISPID_ON_SEND_ERROR, 1));
        EXPECT_EQ(SendEvents(client.events->All()).back(),
                  (std::vector<LONG>{OVSOCK_DISPID_ON_SEND_ERROR, id}));
        refusing.Heard();
    }
    ScriptedProxy proxy({{3, Bytes({5, 0})}, {10, SuccessReply(relay.Port())}});
    UseProxy(client.socket.Get(), proxy.Port());
    SendBytesTo(client.socket.Get(), "10.0.0.1", 8000, "ok");
    EXPECT_EQ(relay.ReadDatagram(), Bytes({0, 0, 0, 1, 10, 0, 0, 1, 0x1F, 0x40, 'o', 'k'}));
    proxy.Heard();
}

}  // namespace
}  // namespace ov::sock::test
