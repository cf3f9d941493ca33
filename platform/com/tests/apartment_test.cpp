// Apartments: events fired on a worker thread reach a sink of a single-threaded apartment on
// that apartment's thread, in order, with their own copies of the arguments, while the
// firing thread goes on without waiting; agile sinks are called directly.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/com/event_proxy.h"
#include "platform/com/tests/test_support.h"

namespace {

class ApartmentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RegisterServerLibrary(TestComponentPath()), S_OK); }
    ScopedRegistry registry_;
};

class AgileRecordingSink final
    : public DispatchObject<AgileRecordingSink, IDispatch, IAgileObject> {
public:
    static const DispatchTable<AgileRecordingSink>& DispatchMap() {
        static const DispatchTable<AgileRecordingSink> table{
            DispEvent(TEST_DISPID_ON_TICK, "OnTick", &AgileRecordingSink::OnTick),
        };
        return table;
    }
    void OnTick(LONG, BSTR, VARIANT) { thread = std::this_thread::get_id(); }
    std::atomic<std::thread::id> thread{};
};

}  // namespace

TEST_F(ApartmentTest, JoiningAndLeaving) {
    EXPECT_EQ(Apartment::Current(), nullptr);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    auto sta = Apartment::Current();
    ASSERT_TRUE(sta);
    EXPECT_TRUE(sta->IsSingleThreaded());
    EXPECT_TRUE(sta->IsCurrentThread());
    CoUninitialize();
    EXPECT_EQ(Apartment::Current(), sta);  // one join still open
    CoUninitialize();
    EXPECT_EQ(Apartment::Current(), nullptr);

    // Free-threaded threads share one apartment.
    std::shared_ptr<Apartment> a, b;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        a = Apartment::Current();
        CoUninitialize();
    }).join();
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        b = Apartment::Current();
        CoUninitialize();
    }).join();
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a->IsSingleThreaded());
}

TEST_F(ApartmentTest, WorkerEventsRunOnTheSinkThreadInOrderWithoutBlockingTheFirer) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    auto sta = Apartment::Current();
    {
        ComPtr<ITestWidget> widget;
        ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
        ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
        DWORD cookie = 0;
        ASSERT_EQ(AtlAdvise(widget.Get(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie),
                  S_OK);

        constexpr LONG kEvents = 50;
        widget->FireFromWorker(kEvents);
        // This thread does not pump yet: a firing thread that waited for the sink would
        // never finish.
        VARIANT_BOOL finished = VARIANT_FALSE;
        widget->WaitWorker(10000, &finished);
        EXPECT_EQ(finished, VARIANT_TRUE);
        EXPECT_TRUE(sink->Ticks().empty());

        ASSERT_TRUE(sta->PumpUntil([&] { return sink->Done() == 1; }, std::chrono::seconds(10)));
        auto ticks = sink->Ticks();
        ASSERT_EQ(ticks.size(), static_cast<size_t>(kEvents));
        for (LONG i = 0; i < kEvents; ++i) {
            EXPECT_EQ(ticks[i].n, i + 1);
            // The worker freed its text and bytes right after firing: these are copies.
            EXPECT_EQ(ticks[i].text, "tick " + std::to_string(i + 1));
            EXPECT_EQ(ticks[i].bytes,
                      (std::vector<uint8_t>{static_cast<uint8_t>(i + 1), 0xAB, 0xCD}));
            EXPECT_EQ(ticks[i].thread, std::this_thread::get_id());
        }

        // Fired on the apartment's own thread, the call goes straight through.
        widget->FireEvents(1);
        EXPECT_EQ(sink->Ticks().size(), static_cast<size_t>(kEvents + 1));
        EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, cookie), S_OK);
    }
    sta->PumpPending();  // the proxy hands the sink's last release back to this thread
    CoUninitialize();
}

TEST_F(ApartmentTest, AgileSinksAreCalledOnTheFiringThread) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ComPtr<ITestWidget> widget;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
    ComPtr<AgileRecordingSink> sink = MakeComObject<AgileRecordingSink>();
    DWORD cookie = 0;
    ASSERT_EQ(AtlAdvise(widget.Get(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie), S_OK);
    widget->FireFromWorker(1);
    VARIANT_BOOL finished = VARIANT_FALSE;
    widget->WaitWorker(10000, &finished);
    ASSERT_EQ(finished, VARIANT_TRUE);
    std::thread::id firedOn = sink->thread.load();
    EXPECT_NE(firedOn, std::thread::id());
    EXPECT_NE(firedOn, std::this_thread::get_id());
    widget.Reset();
    CoUninitialize();
}

TEST_F(ApartmentTest, DoorbellAsksForAPumpAndOrderIsTheQueues) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    auto sta = Apartment::Current();
    std::vector<int> ran;
    sta->Post([&] { ran.push_back(1); });  // queued before the doorbell exists
    std::atomic<int> rings{0};
    sta->SetDoorbell([&] { ++rings; });
    EXPECT_EQ(rings, 1);  // tasks were waiting
    sta->Post([&] { ran.push_back(2); });
    EXPECT_EQ(rings, 1);  // a ring is outstanding: no second one
    EXPECT_EQ(sta->PumpPending(), 2u);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    sta->Post([&] { ran.push_back(3); });
    EXPECT_EQ(rings, 2);  // the pump emptied the queue: the next post rings again

    // A task that pumps again (a nested loop) takes the next tasks in order.
    sta->Post([&] {
        ran.push_back(4);
        sta->PumpPending();
    });
    sta->Post([&] { ran.push_back(5); });
    sta->PumpPending();
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 4, 5}));

    // Removed, the doorbell is not rung; the queue still fills and pumps.
    sta->SetDoorbell(nullptr);
    int before = rings;
    sta->Post([&] { ran.push_back(6); });
    EXPECT_EQ(rings, before);
    sta->PumpPending();
    CoUninitialize();
    sta->Post([&] { ran.push_back(7); });  // closed: dropped
    EXPECT_EQ(sta->PumpPending(), 0u);
    EXPECT_EQ(ran.back(), 6);
}

TEST_F(ApartmentTest, PostingOrderHoldsWhileTheDoorbellChangesUnderManyFirers) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    auto sta = Apartment::Current();
    constexpr int kFirers = 4;
    constexpr int kEach = 2000;
    std::vector<std::vector<int>> seen(kFirers);
    std::atomic<int> rings{0};
    sta->SetDoorbell([&] { ++rings; });
    std::atomic<bool> go{false};
    std::vector<std::thread> firers;
    for (int f = 0; f < kFirers; ++f) {
        firers.emplace_back([&, f] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < kEach; ++i)
                sta->Post([&seen, f, i] { seen[f].push_back(i); });
        });
    }
    go = true;
    // The doorbell is swapped and removed while the firers post; this thread pumps between.
    for (int round = 0; round < 200; ++round) {
        if (round % 3 == 0)
            sta->SetDoorbell([&] { ++rings; });
        else if (round % 3 == 1)
            sta->SetDoorbell(nullptr);
        sta->PumpPending();
    }
    for (auto& t : firers)
        t.join();
    sta->PumpPending();
    for (int f = 0; f < kFirers; ++f) {
        ASSERT_EQ(seen[f].size(), static_cast<size_t>(kEach)) << f;
        for (int i = 0; i < kEach; ++i)
            ASSERT_EQ(seen[f][i], i) << "firer " << f;  // each firer's posts in its order
    }
    CoUninitialize();
}

TEST_F(ApartmentTest, CloseDropsWhatIsQueuedAndWhatComesAfter) {
    auto sta = std::make_shared<Apartment>(true);
    std::atomic<int> ran{0};
    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};
    std::thread poster([&] {
        for (int i = 0; i < 5000; ++i) {
            bool wasClosed = closed;
            sta->Post([&, wasClosed] {
                ++ran;
                if (wasClosed)
                    ++afterClose;
            });
        }
    });
    for (int i = 0; i < 50; ++i)
        sta->PumpPending();
    sta->Close();
    closed = true;
    poster.join();
    EXPECT_EQ(sta->PumpPending(), 0u);
    EXPECT_EQ(afterClose, 0);
}

TEST_F(ApartmentTest, UnadvisedSinksHearNothingOfWhatWasQueued) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    auto sta = Apartment::Current();
    {
        ComPtr<ITestWidget> widget;
        ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
        ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
        DWORD cookie = 0;
        ASSERT_EQ(AtlAdvise(widget.Get(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie),
                  S_OK);
        widget->FireFromWorker(20);
        VARIANT_BOOL finished = VARIANT_FALSE;
        widget->WaitWorker(10000, &finished);
        ASSERT_EQ(finished, VARIANT_TRUE);
        // Twenty events wait in the queue; the sink ends its connection before they run.
        EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, cookie), S_OK);
        sta->PumpPending();
        EXPECT_TRUE(sink->Ticks().empty());
        EXPECT_EQ(sink->Done(), 0);
    }
    sta->PumpPending();
    CoUninitialize();
}

TEST_F(ApartmentTest, DroppingQueuedEventsKeepsTheConnection) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    auto sta = Apartment::Current();
    {
        struct Source final : ComObject<Source, IConnectionPointContainer> {
            Source() : point(this, DIID_ITestWidgetEvents) {}
            HRESULT EnumConnectionPoints(void**) override { return E_NOTIMPL; }
            HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
                return FindConnectionPointIn({&point}, riid, pp);
            }
            ConnectionPoint point;
        };
        ComPtr<Source> source = MakeComObject<Source>();
        ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
        DWORD cookie = 0;
        ASSERT_EQ(
            AtlAdvise(source->GetUnknown(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie),
            S_OK);
        std::thread([&] { source->point.Fire(TEST_DISPID_ON_DONE); }).join();
        source->point.DropQueuedEvents();
        std::thread([&] { source->point.Fire(TEST_DISPID_ON_DONE); }).join();
        sta->PumpPending();
        EXPECT_EQ(sink->Done(), 1);  // only the one fired after
        EXPECT_EQ(source->point.Count(), 1u);
        source->point.UnadviseAll();
    }
    sta->PumpPending();
    CoUninitialize();
}
