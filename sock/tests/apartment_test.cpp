// Events reach a sink of a single-threaded apartment on that apartment's thread, through the
// runtime's proxy, while the socket's threads go on; agile sinks are called directly.
#include "sock/tests/sock_test_support.h"

namespace ov::sock::test {
namespace {

using ApartmentRecorder = BasicRecorder<>;  // not agile: lives in its apartment

class ApartmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + "OVSock.so"), S_OK);
    }
    void TearDown() override { CoUninitialize(); }

    ScopedRegistry registry_;
};

TEST_F(ApartmentTest, EventsArePostedToTheSinksThreadInOrder) {
    auto sta = Apartment::Current();
    ComPtr<ApartmentRecorder> sink = MakeComObject<ApartmentRecorder>();
    ComPtr<Recorder> agile = MakeComObject<Recorder>();
    {
        ComPtr<IOVSocket> socket;
        ASSERT_EQ(CoCreateInstance(CLSID_OVSocket, &socket), S_OK);
        OVSOCKErrorCodeEnum init = OVSOCK_ERR_EVENT;
        socket->InitializeSocket(&init);
        ASSERT_EQ(init, OVSOCK_ERR_NONE);
        DWORD cookie = 0, agileCookie = 0;
        ASSERT_EQ(AtlAdvise(socket.Get(), sink->GetUnknown(), DIID_IOVSocketEvents, &cookie), S_OK);
        ASSERT_EQ(AtlAdvise(socket.Get(), agile->GetUnknown(), DIID_IOVSocketEvents, &agileCookie),
                  S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        socket->Create(OVSOCK_UDP, &ok);
        socket->Bind(Bstr::FromUtf8("127.0.0.1"), 0, &ok);
        ASSERT_TRUE(Flag(ok));

        RawSocket peer = RawSocket::UdpBound();
        EXPECT_EQ(SendBytesTo(socket.Get(), "127.0.0.1", peer.Port(), "hi"), 101);
        peer.WriteTo(LocalPort(socket.Get()), "back");
        // The socket's threads do not wait for this thread: the agile sink hears everything
        // while nothing has been pumped here yet.
        ASSERT_TRUE(agile->WaitUntil([](const auto& events) {
            return SendEvents(events).size() >= 2 &&
                   std::count_if(events.begin(), events.end(), [](const SocketEvent& e) {
                       return e.id == OVSOCK_DISPID_ON_DATA_AVAILABLE;
                   }) == 1;
        }));
        EXPECT_TRUE(sink->All().empty());
        EXPECT_EQ(peer.ReadDatagram(), "hi");

        ASSERT_TRUE(sta->PumpUntil([&] { return sink->All().size() >= 3; }, kEventTimeout));
        auto events = sink->All();
        EXPECT_EQ(SendEvents(events), (std::vector<std::vector<LONG>>{
                                          {OVSOCK_DISPID_ON_SEND_PROGRESS, 101, 0, 2, 0},
                                          {OVSOCK_DISPID_ON_SEND_PROGRESS, 101, 2, 2, -1}}));
        for (const auto& e : events)
            EXPECT_EQ(e.thread, std::this_thread::get_id());
        for (const auto& e : agile->All())
            EXPECT_NE(e.thread, std::this_thread::get_id());

        Bstr host;
        LONG port = 0;
        Variant data;
        socket->ReceiveFrom(host.Out(), &port, &data, &ok);
        EXPECT_TRUE(Flag(ok));
        EXPECT_EQ(CByteArrayVariant(data).View(), "back");
        EXPECT_EQ(AtlUnadvise(socket.Get(), DIID_IOVSocketEvents, cookie), S_OK);
    }
    sta->PumpPending();  // the proxy hands the sink's last release back to this thread
}

}  // namespace
}  // namespace ov::sock::test
