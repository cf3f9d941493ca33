// The typed sinks: every event of both interfaces reaches its member with its arguments, an
// argument of the wrong type is refused loudly, and a disconnected handler hears nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/events/event_sink.h"

namespace {

// Records what the generic forwarder hands over, and refusals.
class Recorder final : public OVServiceEventForwarder {
public:
    void OnServiceEvent(const KernelEvent& e) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(e);
    }
    void OnEventRefused(DISPID dispid, HRESULT hr) override {
        std::lock_guard<std::mutex> lock(mutex_);
        refused_.emplace_back(dispid, hr);
    }
    std::vector<KernelEvent> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    std::vector<std::pair<DISPID, HRESULT>> Refused() {
        std::lock_guard<std::mutex> lock(mutex_);
        return refused_;
    }

private:
    std::mutex mutex_;  // guards events_ and refused_
    std::vector<KernelEvent> events_;
    std::vector<std::pair<DISPID, HRESULT>> refused_;
};

// An event source with the kernel's connection point, firing on whatever thread calls it.
class FakeSource final : public ComObject<FakeSource, IConnectionPointContainer> {
public:
    FakeSource()
        : events_(this, DIID_IOVServiceEvents), socketEvents_(this, DIID_IOVSocketEvents) {}
    HRESULT EnumConnectionPoints(void**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        return FindConnectionPointIn({&events_, &socketEvents_}, riid, pp);
    }
    ConnectionPoint& Events() { return events_; }
    ConnectionPoint& SocketEvents() { return socketEvents_; }

    // Invokes every sink with raw arguments (declaration order), as a firer does.
    void Raise(DISPID id, std::vector<Variant> args, ConnectionPoint* point = nullptr) {
        std::vector<VARIANT> argv(args.size());
        for (size_t i = 0; i < args.size(); ++i)
            argv[args.size() - 1 - i] = args[i];
        for (const auto& sink : (point ? point : &events_)->Sinks()) {
            DISPPARAMS dp{argv.empty() ? nullptr : argv.data(), nullptr,
                          static_cast<UINT>(argv.size()), 0};
            UINT err = 0;
            sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, &err);
        }
    }

private:
    ConnectionPoint events_;
    ConnectionPoint socketEvents_;
};

Variant Bytes(const std::string& s) {
    CByteArrayVariant b(s);
    Variant v;
    VARIANT raw;
    VariantInit(&raw);
    b.Detach(&raw);
    v.Attach(&raw);
    return v;
}

// Arguments for an event as its kinds say, each with a value of its own.
std::pair<std::vector<Variant>, std::vector<EventArg>> ArgumentsFor(const OVServiceEventInfo& e) {
    std::vector<Variant> raw;
    std::vector<EventArg> expected;
    int n = 0;
    for (char kind : e.args) {
        ++n;
        switch (kind) {
            case 'L':
                raw.push_back(Variant::Long(e.dispid * 10 + n));
                expected.push_back(EventArg::Long(e.dispid * 10 + n));
                break;
            case 'B':
                raw.push_back(Variant::Bool(true));
                expected.push_back(EventArg::Bool(true));
                break;
            case 'V': {
                std::string bytes = std::string(e.name) + "#" + std::to_string(n);
                bytes.push_back('\0');  // payloads may hold zeros
                raw.push_back(Bytes(bytes));
                expected.push_back(EventArg::Bytes(bytes));
                break;
            }
            default:
                ADD_FAILURE() << "unknown kind " << kind;
        }
    }
    return {std::move(raw), std::move(expected)};
}

TEST(TypedSink, TablesMatchTheInterfaceDescriptions) {
    const auto& service = OVServiceEventsDispatch();
    EXPECT_EQ(service.Entries().size(), std::size(kOVServiceEvents));
    for (const auto& e : kOVServiceEvents) {
        const auto* entry = service.Find(e.dispid);
        ASSERT_NE(entry, nullptr) << e.name;
        EXPECT_EQ(entry->name, e.name);
        std::string kinds(e.args);
        std::replace(kinds.begin(), kinds.end(), 'B', 'L');  // a VARIANT_BOOL is a number here
        EXPECT_EQ(entry->params, kinds) << e.name;
    }
    const auto& socket = OVSocketEventsDispatch();
    EXPECT_EQ(socket.Entries().size(), std::size(kOVSocketEvents));
    for (const auto& e : kOVSocketEvents) {
        const auto* entry = socket.Find(e.dispid);
        ASSERT_NE(entry, nullptr) << e.name;
        EXPECT_EQ(entry->name, e.name);
        std::string kinds(e.args);
        std::replace(kinds.begin(), kinds.end(), 'H', 'L');
        EXPECT_EQ(entry->params, kinds) << e.name;
    }
}

TEST(TypedSink, EveryServiceEventArrivesWithItsArguments) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<FakeSource> source = MakeComObject<FakeSource>();
    Recorder recorder;
    OVServiceEventConnection connection(&recorder);
    ASSERT_EQ(connection.Connect(source->GetUnknown()), S_OK);

    std::vector<KernelEvent> expected;
    for (const auto& e : kOVServiceEvents) {
        auto [raw, values] = ArgumentsFor(e);
        source->Raise(e.dispid, raw);
        expected.push_back(KernelEvent{e.dispid, values});
    }
    EXPECT_EQ(recorder.Events(), expected);
    EXPECT_TRUE(recorder.Refused().empty());

    // A text where the error code belongs, a missing argument, an unknown event: refused
    // with the reason, never delivered as zeros.
    source->Raise(OV_DISPID_ON_SEND_TO_USER_REPLY, {Variant::Long(7), Variant::String(u"x")});
    source->Raise(OV_DISPID_ON_LOGIN_REPLY, {Variant::Long(7)});
    source->Raise(OV_DISPID_ON_ADD_BUDDY_NOTICE, {Variant::String(u"not bytes")});
    source->Raise(4242, {});
    auto refused = recorder.Refused();
    ASSERT_EQ(refused.size(), 4u);
    EXPECT_EQ(refused[0],
              std::make_pair(DISPID{OV_DISPID_ON_SEND_TO_USER_REPLY}, DISP_E_TYPEMISMATCH));
    EXPECT_EQ(refused[1], std::make_pair(DISPID{OV_DISPID_ON_LOGIN_REPLY}, DISP_E_BADPARAMCOUNT));
    EXPECT_EQ(refused[2],
              std::make_pair(DISPID{OV_DISPID_ON_ADD_BUDDY_NOTICE}, DISP_E_TYPEMISMATCH));
    EXPECT_EQ(refused[3], std::make_pair(DISPID{4242}, DISP_E_MEMBERNOTFOUND));
    EXPECT_EQ(recorder.Events().size(), expected.size());

    connection.Disconnect();
    EXPECT_EQ(source->Events().Count(), 0u);
    source->Raise(OV_DISPID_ON_CONNECTION_LOST, {});
    EXPECT_EQ(recorder.Events().size(), expected.size());
    CoUninitialize();
}

class SocketRecorder final : public OVSocketEventHandler {
public:
    void OnHostResolved(BSTR host) override { log.push_back("resolved " + BstrToUtf8(host)); }
    void OnSendProgress(LONG id, LONG sent, LONG size, SHORT complete) override {
        log.push_back("progress " + std::to_string(id) + " " + std::to_string(sent) + " " +
                      std::to_string(size) + " " + std::to_string(complete));
    }
    void OnSendError(LONG id) override { log.push_back("error " + std::to_string(id)); }
    void OnDataAvailable() override { log.push_back("data"); }
    void OnEventRefused(DISPID dispid, HRESULT) override {
        log.push_back("refused " + std::to_string(dispid));
    }
    std::vector<std::string> log;
};

TEST(TypedSink, SocketEventsArriveTyped) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<FakeSource> source = MakeComObject<FakeSource>();
    SocketRecorder recorder;
    OVSocketEventConnection connection(&recorder);
    ASSERT_EQ(connection.Connect(source->GetUnknown()), S_OK);
    ConnectionPoint* point = &source->SocketEvents();
    source->Raise(OVSOCK_DISPID_ON_HOST_RESOLVED, {Variant::String(u"127.0.0.1")}, point);
    Variant flag = Variant::Short(-1);
    source->Raise(OVSOCK_DISPID_ON_SEND_PROGRESS,
                  {Variant::Long(101), Variant::Long(5), Variant::Long(5), flag}, point);
    source->Raise(OVSOCK_DISPID_ON_SEND_ERROR, {Variant::Long(102)}, point);
    source->Raise(OVSOCK_DISPID_ON_DATA_AVAILABLE, {}, point);
    source->Raise(OVSOCK_DISPID_ON_CONNECT_START, {}, point);  // not overridden: nothing
    source->Raise(OVSOCK_DISPID_ON_SEND_ERROR, {Bytes("x")}, point);
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"resolved 127.0.0.1", "progress 101 5 5 -1",
                                                      "error 102", "data", "refused 1213"}));
    CoUninitialize();
}

// A handler whose event blocks until told, to hold a call in progress.
class BlockingHandler final : public OVServiceEventHandler {
public:
    void OnCommandSent(LONG) override {
        entered = true;
        while (!release)
            std::this_thread::yield();
        ++calls;
    }
    void OnConnectionLost() override {
        ++calls;
        if (connection)
            connection->Disconnect();  // from inside its own event: must not wait for itself
    }
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<int> calls{0};
    OVServiceEventConnection* connection = nullptr;
};

TEST(TypedSink, DisconnectWaitsForCallsElsewhereButNotForItsOwn) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComPtr<FakeSource> source = MakeComObject<FakeSource>();
    {
        BlockingHandler handler;
        OVServiceEventConnection connection(&handler);
        handler.connection = &connection;
        ASSERT_EQ(connection.Connect(source->GetUnknown()), S_OK);
        source->Raise(OV_DISPID_ON_CONNECTION_LOST, {});
        EXPECT_EQ(handler.calls, 1);
        EXPECT_FALSE(connection.Connected());
        source->Raise(OV_DISPID_ON_CONNECTION_LOST, {});
        EXPECT_EQ(handler.calls, 1);
    }
    {
        BlockingHandler handler;
        OVServiceEventConnection connection(&handler);
        ASSERT_EQ(connection.Connect(source->GetUnknown()), S_OK);
        // The firer fetched the sink before the disconnect: its call is in progress.
        std::thread firer([&] { source->Raise(OV_DISPID_ON_COMMAND_SENT, {Variant::Long(1)}); });
        for (int i = 0; i < 10000 && !handler.entered; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(handler.entered);
        std::atomic<bool> disconnected{false};
        std::thread closer([&] {
            connection.Disconnect();
            disconnected = true;
        });
        // Disconnect cannot return while the handler runs; once released, it does.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(disconnected);
        handler.release = true;
        closer.join();
        firer.join();
        EXPECT_TRUE(disconnected);
        EXPECT_EQ(handler.calls, 1);
    }
    CoUninitialize();
}

TEST(TypedSink, InASingleThreadedApartmentEventsComeHomeAndStopAtDisconnect) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    auto sta = Apartment::Current();
    ComPtr<FakeSource> source = MakeComObject<FakeSource>();
    Recorder recorder;
    auto connection = std::make_unique<OVServiceEventConnection>(&recorder);
    ASSERT_EQ(connection->Connect(source->GetUnknown()), S_OK);
    std::thread([&] {
        for (LONG i = 1; i <= 3; ++i)
            source->Raise(OV_DISPID_ON_COMMAND_SENT, {Variant::Long(i)});
    }).join();
    EXPECT_TRUE(recorder.Events().empty());  // posted, not yet delivered
    sta->PumpPending();
    auto events = recorder.Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2].args[0].value, 3);

    // Events queued before the disconnect are dropped: the handler may be gone by then.
    std::thread([&] {
        for (LONG i = 4; i <= 6; ++i)
            source->Raise(OV_DISPID_ON_COMMAND_SENT, {Variant::Long(i)});
    }).join();
    connection.reset();
    sta->PumpPending();
    EXPECT_EQ(recorder.Events().size(), 3u);
    source.Reset();
    sta->PumpPending();
    CoUninitialize();
}

}  // namespace
