// UDP through socket objects: binding, datagrams both ways with their senders, an empty
// datagram, a failed send and the packets queued behind it, and packet IDs over their range.
#include <atomic>
#include <future>

#include "sock/tests/sock_test_support.h"

namespace ov::sock::test {
namespace {

class UdpTest : public SockTest {};

constexpr DISPID kData = OVSOCK_DISPID_ON_DATA_AVAILABLE;
constexpr DISPID kProgress = OVSOCK_DISPID_ON_SEND_PROGRESS;
constexpr DISPID kSendError = OVSOCK_DISPID_ON_SEND_ERROR;

const std::string kUnresolvable = std::string(70, 'q') + ".invalid";

TEST_F(UdpTest, BindTakesAnyAddressOrALiteralButNoNameAndNoPortInUse) {
    Endpoint any = NewSocket(OVSOCK_UDP);
    VARIANT_BOOL ok = VARIANT_FALSE;
    any->Bind(Bstr::Empty(), 0, &ok);
    EXPECT_TRUE(Flag(ok));
    EXPECT_NE(LocalPort(any.socket.Get()), 0);

    Endpoint named = NewSocket(OVSOCK_UDP);
    named->Bind(Bstr::FromUtf8("localhost"), 0, &ok);
    EXPECT_FALSE(Flag(ok));
    EXPECT_EQ(LastError(named.socket.Get()), OVSOCK_ERR_INVAL);

    RawSocket taken = RawSocket::UdpBound();
    named->Bind(Bstr::FromUtf8("127.0.0.1"), taken.Port(), &ok);
    EXPECT_FALSE(Flag(ok));
    EXPECT_EQ(LastError(named.socket.Get()), OVSOCK_ERR_ADDRINUSE);
    EXPECT_EQ(LocalPort(named.socket.Get()), 0);  // never bound

    // The machine's own address, as a file-transfer sender binds it.
    Endpoint own = NewSocket(OVSOCK_UDP);
    Bstr ip;
    own->get_LocalIPString(ip.Out());
    own->Bind(ip, 0, &ok);
    EXPECT_TRUE(Flag(ok)) << ip.ToUtf8();
}

TEST_F(UdpTest, DatagramsCarryTheirSenderAndAnEchoFromTheEventThreadComesBack) {
    // The receiver answers on its event thread, as the kernel's free-threaded sink does.
    // Set before anything is sent to it; atomic, as only the network orders the two threads.
    std::atomic<IOVSocket*> echoSocket{nullptr};
    std::vector<Datagram> heard;  // written by the event thread only, read after it is done
    Endpoint echo = NewBoundUdp([&](const SocketEvent& e) {
        if (e.id != kData)
            return;
        Datagram d = ReceiveDatagram(echoSocket.load());
        heard.push_back(d);
        if (d.ok)
            SendBytesTo(echoSocket.load(), d.host.c_str(), d.port, "re:" + d.data);
    });
    echoSocket = echo.socket.Get();
    Endpoint caller = NewBoundUdp();

    EXPECT_EQ(SendBytesTo(caller.socket.Get(), "127.0.0.1", LocalPort(echo.socket.Get()), "ping"),
              101);
    ASSERT_TRUE(caller.events->WaitForCount(kData, 1));
    Datagram back = ReceiveDatagram(caller.socket.Get());
    EXPECT_TRUE(back.ok);
    EXPECT_EQ(back.data, "re:ping");
    EXPECT_EQ(back.host, "127.0.0.1");
    EXPECT_EQ(back.port, LocalPort(echo.socket.Get()));
    // The echo may come back before the send thread has reported the completion.
    ASSERT_TRUE(caller.events->WaitForCount(kProgress, 2));
    EXPECT_EQ(
        SendEvents(caller.events->All()),
        (std::vector<std::vector<LONG>>{{kProgress, 101, 0, 4, 0}, {kProgress, 101, 4, 4, -1}}));
    ASSERT_TRUE(echo.events->WaitForCount(kProgress, 2));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].port, LocalPort(caller.socket.Get()));

    // Nothing pending: at once, false, two blanks and port 0.
    Datagram none = ReceiveDatagram(caller.socket.Get());
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.host, "  ");
    EXPECT_EQ(none.port, 0);
    EXPECT_EQ(none.data, "");
}

TEST_F(UdpTest, AnEmptyDatagramIsReceivedAndDoesNotBlockThoseBehindIt) {
    Endpoint receiver = NewBoundUdp();
    RawSocket peer = RawSocket::UdpBound();
    peer.WriteTo(LocalPort(receiver.socket.Get()), "");
    peer.WriteTo(LocalPort(receiver.socket.Get()), "x");
    ASSERT_TRUE(receiver.events->WaitForCount(kData, 1));
    Datagram empty = ReceiveDatagram(receiver.socket.Get());
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.data, "");
    EXPECT_EQ(empty.port, peer.Port());
    ASSERT_TRUE(receiver.events->WaitForCount(kData, 2));
    Datagram x = ReceiveDatagram(receiver.socket.Get());
    EXPECT_TRUE(x.ok);
    EXPECT_EQ(x.data, "x");

    // ReceiveString stops at the first zero byte.
    peer.WriteTo(LocalPort(receiver.socket.Get()), std::string("ab\0cd", 5));
    ASSERT_TRUE(receiver.events->WaitForCount(kData, 3));
    Bstr host, text;
    LONG port = 0;
    VARIANT_BOOL ok = VARIANT_FALSE;
    receiver->ReceiveStringFrom(host.Out(), &port, text.Out(), &ok);
    EXPECT_TRUE(Flag(ok));
    EXPECT_EQ(text.ToUtf8(), "ab");
    EXPECT_EQ(port, peer.Port());
}

TEST_F(UdpTest, ReceiveWaitingForADatagramGetsAllOfIt) {
    Endpoint receiver = NewBoundUdp();
    RawSocket peer = RawSocket::UdpBound();
    auto waiting = std::async(std::launch::async, [&] {
        Variant data;
        VARIANT_BOOL ok = VARIANT_FALSE;
        receiver->Receive(&data, &ok);  // nothing pending yet: waits
        return std::make_pair(Flag(ok), std::string(CByteArrayVariant(data).View()));
    });
    EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
    const std::string big(1000, 'b');
    peer.WriteTo(LocalPort(receiver.socket.Get()), big);
    ASSERT_EQ(waiting.wait_for(kEventTimeout), std::future_status::ready);
    auto [ok, data] = waiting.get();
    EXPECT_TRUE(ok);
    EXPECT_EQ(data, big);  // not the first ten bytes

    // An empty datagram reads as nothing and leaves the watch armed.
    size_t reports = receiver.events->Count(kData);
    peer.WriteTo(LocalPort(receiver.socket.Get()), "");
    ASSERT_TRUE(receiver.events->WaitForCount(kData, reports + 1));
    Variant empty;
    VARIANT_BOOL got = VARIANT_TRUE;
    receiver->Receive(&empty, &got);
    EXPECT_FALSE(Flag(got));
    peer.WriteTo(LocalPort(receiver.socket.Get()), "after");
    EXPECT_TRUE(receiver.events->WaitForCount(kData, reports + 2));
}

TEST_F(UdpTest, ADatagramWithNothingBeforeItLeavesWithoutWaitingForTheSendThread) {
    RawSocket peer = RawSocket::UdpBound();
    std::atomic<bool> arrivedBeforeReport{false};
    Endpoint sender = NewBoundUdp([&](const SocketEvent& e) {
        // The send thread reports the attempt, and holds still here: the datagram arrives
        // all the same, as SendTo has sent it already.
        if (e.id == kProgress && e.args[0] == 101 && e.args[3] == 0)
            arrivedBeforeReport = peer.Readable(kEventTimeout);
    });
    EXPECT_EQ(SendBytesTo(sender.socket.Get(), "127.0.0.1", peer.Port(), "early"), 101);
    // Read only once the report is over (its completion follows the hook).
    ASSERT_TRUE(sender.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 2; }));
    EXPECT_EQ(peer.ReadDatagram(), "early");
    // A datagram the socket refuses at once is reported as a failed send, by the send thread.
    EXPECT_EQ(SendBytesTo(sender.socket.Get(), "127.0.0.1", 0, "nowhere"), 102);
    ASSERT_TRUE(sender.events->WaitForCount(kSendError, 1));
    EXPECT_EQ(SendBytesTo(sender.socket.Get(), "127.0.0.1", peer.Port(), "after"), 103);
    EXPECT_EQ(peer.ReadDatagram(), "after");
    ASSERT_TRUE(sender.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 6; }));
    EXPECT_TRUE(arrivedBeforeReport);
    auto events = sender.events->All();
    EXPECT_EQ(SendEvents(events), (std::vector<std::vector<LONG>>{{kProgress, 101, 0, 5, 0},
                                                                  {kProgress, 101, 5, 5, -1},
                                                                  {kProgress, 102, 0, 7, 0},
                                                                  {kSendError, 102},
                                                                  {kProgress, 103, 0, 5, 0},
                                                                  {kProgress, 103, 5, 5, -1}}));
    for (const auto& e : events)
        EXPECT_NE(e.thread, std::this_thread::get_id());  // every report from the send thread
}

TEST_F(UdpTest, AFailedSendDropsItsPacketAndTheNextWaitsForTheNextSend) {
    RawSocket peer = RawSocket::UdpBound();
    ComPtr<IOVSocket> self;
    Endpoint sender = NewBoundUdp([&](const SocketEvent& e) {
        // Queued while the doomed packet is reported, so it waits behind it.
        if (e.id == kProgress && e.args[0] == 101 && e.args[3] == 0)
            SendBytesTo(self.Get(), "127.0.0.1", peer.Port(), "two");
    });
    self = sender.socket;
    EXPECT_EQ(SendBytesTo(self.Get(), kUnresolvable.c_str(), peer.Port(), "one"), 101);
    ASSERT_TRUE(sender.events->WaitForCount(kSendError, 1));
    EXPECT_FALSE(peer.ReadDatagram(200ms));  // "two" waits
    LONG count = 0;
    self->get_SendQueuePacketsCount(&count);
    EXPECT_EQ(count, 1);

    EXPECT_EQ(SendBytesTo(self.Get(), "127.0.0.1", peer.Port(), "three"), 103);
    EXPECT_EQ(peer.ReadDatagram(), "two");
    EXPECT_EQ(peer.ReadDatagram(), "three");
    ASSERT_TRUE(sender.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 6; }));
    self.Reset();
    EXPECT_EQ(SendEvents(sender.events->All()),
              (std::vector<std::vector<LONG>>{{kProgress, 101, 0, 3, 0},
                                              {kSendError, 101},
                                              {kProgress, 102, 0, 3, 0},
                                              {kProgress, 102, 3, 3, -1},
                                              {kProgress, 103, 0, 5, 0},
                                              {kProgress, 103, 5, 5, -1}}));
}

TEST_F(UdpTest, PacketIdsStartAt101AndWrapAfter100000) {
    Gate gate;
    Signal held;
    Endpoint sender = NewBoundUdp([&](const SocketEvent& e) {
        if (e.id == kProgress && e.args[0] == 101) {
            held.Raise();
            gate.Wait();  // keeps the send thread out of the way while IDs are drawn
        }
    });
    Variant nothing;
    LONG id = 0;
    sender->SendTo(Bstr::FromUtf8("127.0.0.1"), 9, nothing, &id);
    EXPECT_EQ(id, 101);
    ASSERT_TRUE(held.Wait());
    for (LONG expected = 102; expected <= 100000; ++expected) {
        sender->Send(nothing, &id);
        if (id != expected) {
            ADD_FAILURE() << "packet " << expected << " got ID " << id;
            break;
        }
    }
    sender->Send(nothing, &id);
    EXPECT_EQ(id, 100);
    sender->Send(nothing, &id);
    EXPECT_EQ(id, 101);
    sender->ClearSendQueue();
    gate.Open();
}

}  // namespace
}  // namespace ov::sock::test
