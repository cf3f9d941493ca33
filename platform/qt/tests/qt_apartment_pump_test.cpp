// The apartment on a Qt event loop: events fired on worker threads reach a sink of the GUI
// thread's apartment on that thread, in order, through the Qt loop; an unadvised sink hears
// nothing of what was still queued; replacing the pump midway loses and reorders nothing.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/com/tests/test_support.h"
#include "platform/qt/qt_apartment_pump.h"
#include "platform/qt/tests/qt_test_support.h"

namespace {

class QtPumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(RegisterServerLibrary(TestComponentPath()), S_OK);
        sta_ = Apartment::Current();
        pump_ = std::make_unique<QtApartmentPump>(sta_);
    }
    void TearDown() override {
        RunLoopUntil([] { return true; });
        sta_->PumpPending();
        pump_.reset();
        CoUninitialize();
    }

    ScopedRegistry registry_;
    std::shared_ptr<Apartment> sta_;
    std::unique_ptr<QtApartmentPump> pump_;
};

TEST_F(QtPumpTest, WorkerEventsArriveOnTheGuiThreadInOrderThroughTheLoop) {
    ComPtr<ITestWidget> widget;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
    ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
    DWORD cookie = 0;
    ASSERT_EQ(AtlAdvise(widget.Get(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie), S_OK);
    constexpr LONG kEvents = 200;
    widget->FireFromWorker(kEvents);
    ASSERT_TRUE(RunLoopUntil([&] { return sink->Done() == 1; }));
    auto ticks = sink->Ticks();
    ASSERT_EQ(ticks.size(), static_cast<size_t>(kEvents));
    for (LONG i = 0; i < kEvents; ++i) {
        EXPECT_EQ(ticks[i].n, i + 1);
        EXPECT_EQ(ticks[i].text, "tick " + std::to_string(i + 1));
        EXPECT_EQ(ticks[i].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, cookie), S_OK);
}

TEST_F(QtPumpTest, AnUnadvisedSinkHearsNothingTheLoopHadNotRunYet) {
    ComPtr<ITestWidget> widget;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
    ComPtr<RecordingSink> sink = MakeComObject<RecordingSink>();
    DWORD cookie = 0;
    ASSERT_EQ(AtlAdvise(widget.Get(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie), S_OK);
    widget->FireFromWorker(30);
    VARIANT_BOOL finished = VARIANT_FALSE;
    widget->WaitWorker(10000, &finished);
    ASSERT_EQ(finished, VARIANT_TRUE);
    // The rings wait in Qt's queue, the events in the apartment's.
    EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, cookie), S_OK);
    RunLoopUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(sink->Ticks().empty());
    EXPECT_EQ(sink->Done(), 0);
}

TEST_F(QtPumpTest, ReplacingThePumpWhileManyThreadsPostKeepsEveryPostInOrder) {
    constexpr int kFirers = 4;
    constexpr int kEach = 3000;
    std::vector<std::vector<int>> seen(kFirers);
    std::atomic<int> done{0};
    std::vector<std::thread> firers;
    for (int f = 0; f < kFirers; ++f) {
        firers.emplace_back([&, f] {
            for (int i = 0; i < kEach; ++i)
                sta_->Post([&seen, f, i] { seen[f].push_back(i); });
            ++done;
        });
    }
    // Swap the pump for a new one (and run for a while without any) as the posts pour in.
    for (int round = 0; done < kFirers || round < 20; ++round) {
        if (round % 2 == 0)
            pump_ = std::make_unique<QtApartmentPump>(sta_);
        else
            pump_.reset();
        QCoreApplication::processEvents();
        ASSERT_LT(round, 1000000);
    }
    for (auto& t : firers)
        t.join();
    pump_ = std::make_unique<QtApartmentPump>(sta_);
    size_t total = 0;
    ASSERT_TRUE(RunLoopUntil([&] {
        total = 0;
        for (auto& s : seen)
            total += s.size();
        return total == kFirers * kEach;
    }));
    for (int f = 0; f < kFirers; ++f)
        for (int i = 0; i < kEach; ++i)
            ASSERT_EQ(seen[f][i], i) << "firer " << f;
}

}  // namespace
