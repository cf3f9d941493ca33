// A component library end to end: self-registration, creation by CLSID and ProgID,
// interfaces, events to several sinks, and the object's lifetime.
#include <gtest/gtest.h>

#include "platform/com/tests/test_support.h"
#include "platform/win32/registry.h"

namespace {

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(RegisterServerLibrary(TestComponentPath()), S_OK);
    }
    void TearDown() override { CoUninitialize(); }

    LONG LiveObjects() {
        HMODULE lib = LoadLibrary(TestComponentPath());
        auto live = reinterpret_cast<PFN_TestComponentLiveObjects>(
            GetProcAddress(lib, "TestComponentLiveObjects"));
        LONG n = live ? live() : -1;
        FreeLibrary(lib);
        return n;
    }

    ScopedRegistry registry_;
};

}  // namespace

TEST_F(ComponentTest, RegistrationRecordsClassProgIdsAndThreadingModel) {
    RegistryStore reg = RegistryStore::Default();
    const std::string key = "CLSID\\" + GuidToString(CLSID_TestWidget);
    EXPECT_EQ(reg.GetString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", ""), TestComponentPath());
    EXPECT_EQ(ThreadingModelOf(CLSID_TestWidget), "Free");
    std::string progId;
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestWidget, &progId), S_OK);
    EXPECT_EQ(progId, "OVTest.TestWidget.1");
    EXPECT_EQ(reg.GetString(HKEY_CLASSES_ROOT, "OVTest.TestWidget\\CurVer", ""),
              "OVTest.TestWidget.1");

    EXPECT_EQ(UnregisterServerLibrary(TestComponentPath()), S_OK);
    ComPtr<ITestWidget> w;
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, &w), REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("OVTest.TestWidget", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(RegisterServerLibrary("/nonexistent/libnothing.so"), CO_E_DLLNOTFOUND);
}

TEST_F(ComponentTest, CreatesByClsidAndProgIdAndAnswersForTwoInterfaces) {
    CLSID byName{};
    ASSERT_EQ(CLSIDFromProgID("OVTest.TestWidget", &byName), S_OK);
    EXPECT_EQ(byName, CLSID_TestWidget);
    ASSERT_EQ(CLSIDFromProgID("OVTest.TestWidget.1", &byName), S_OK);

    ComPtr<ITestWidget> widget;
    ASSERT_EQ(CoCreateInstance(byName, &widget), S_OK);
    ComPtr<ITestCounter> counter;
    ASSERT_EQ(widget.As(&counter), S_OK);
    LONG v = 0;
    counter->Increment(&v);
    counter->Increment(&v);
    EXPECT_EQ(v, 2);

    // Identity: every interface answers IUnknown with the same pointer.
    ComPtr<IUnknown> a = widget.As<IUnknown>();
    ComPtr<IUnknown> b = counter.As<IUnknown>();
    EXPECT_EQ(a.Get(), b.Get());
    ComPtr<IDispatch> disp = counter.As<IDispatch>();
    EXPECT_TRUE(disp);
    ComPtr<IClassFactory> notOffered;
    EXPECT_EQ(widget.As(&notOffered), E_NOINTERFACE);
    EXPECT_FALSE(notOffered);

    CLSID unknownClass{};
    GuidFromString("{00000000-1111-2222-3333-444444444444}", &unknownClass);
    ComPtr<ITestWidget> none;
    EXPECT_EQ(CoCreateInstance(unknownClass, &none), REGDB_E_CLASSNOTREG);
}

TEST_F(ComponentTest, ObjectEndsWithItsLastReference) {
    LONG before = LiveObjects();
    {
        ComPtr<ITestWidget> widget;
        ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
        ComPtr<ITestCounter> counter = widget.As<ITestCounter>();
        EXPECT_EQ(LiveObjects(), before + 1);
        widget.Reset();
        EXPECT_EQ(LiveObjects(), before + 1);  // the counter reference still holds it
    }
    EXPECT_EQ(LiveObjects(), before);
}

TEST_F(ComponentTest, EventsReachEverySinkInAdviseOrder) {
    ComPtr<ITestWidget> widget;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);

    std::vector<std::string> order;
    ComPtr<RecordingSink> first = MakeComObject<RecordingSink>();
    ComPtr<RecordingSink> second = MakeComObject<RecordingSink>();
    first->ShareOrderLog(&order, "first");
    second->ShareOrderLog(&order, "second");

    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(AtlAdvise(widget.Get(), first->GetUnknown(), DIID_ITestWidgetEvents, &c1), S_OK);
    ASSERT_EQ(AtlAdvise(widget.Get(), second->GetUnknown(), DIID_ITestWidgetEvents, &c2), S_OK);
    EXPECT_NE(c1, 0u);
    EXPECT_NE(c1, c2);

    // Fired through the vtable and through the DISPID alike.
    widget->FireEvents(2);
    EXPECT_EQ(DispCall(widget.Get(), 5, DISPATCH_METHOD, nullptr, 1), S_OK);

    EXPECT_EQ(order,
              (std::vector<std::string>{"first", "second", "first", "second", "first", "second"}));
    auto ticks = second->Ticks();
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[1].n, 2);
    EXPECT_EQ(ticks[1].text, "tick 2");
    EXPECT_EQ(ticks[1].bytes, (std::vector<uint8_t>{2, 0xAB, 0xCD}));
    EXPECT_EQ(first->Done(), 2);

    EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, c1 + c2 + 100),
              CONNECT_E_NOCONNECTION);
    EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, c1), S_OK);
    EXPECT_EQ(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, c1), CONNECT_E_NOCONNECTION);
    widget->FireEvents(1);
    EXPECT_EQ(first->Ticks().size(), 3u);
    EXPECT_EQ(second->Ticks().size(), 4u);

    ComPtr<IConnectionPoint> none;
    ComPtr<IConnectionPointContainer> container = widget.As<IConnectionPointContainer>();
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, none.ReleaseAndGetAddressOf()),
              CONNECT_E_NOCONNECTION);
}

namespace {
// Reports what TryAddRef gives once its count has reached zero.
class PinProbe final : public ComObject<PinProbe, IUnknown> {
public:
    explicit PinProbe(int* pinnedWhileDying) : pinnedWhileDying_(pinnedWhileDying) {}
    ~PinProbe() override { *pinnedWhileDying_ = TryAddRef() ? 1 : 0; }

private:
    int* pinnedWhileDying_;
};
}  // namespace

TEST(ComObjectTest, TryAddRefPinsOnlyWhileTheCountIsAboveZero) {
    int pinnedWhileDying = -1;
    ComPtr<PinProbe> probe = MakeComObject<PinProbe>(&pinnedWhileDying);
    ASSERT_TRUE(probe->TryAddRef());
    EXPECT_EQ(probe->Release(), 1u);  // the pin was a reference of its own
    probe.Reset();
    EXPECT_EQ(pinnedWhileDying, 0);
}

namespace {
// A sink whose every Invoke fails.
class FailingSink final : public ComObject<FailingSink, IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPCOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        ++calls;
        return E_FAIL;
    }
    int calls = 0;
};
}  // namespace

TEST_F(ComponentTest, FailingSinkDoesNotStopTheOthers) {
    ComPtr<ITestWidget> widget;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, &widget), S_OK);
    ComPtr<FailingSink> bad = MakeComObject<FailingSink>();
    ComPtr<RecordingSink> good = MakeComObject<RecordingSink>();
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(AtlAdvise(widget.Get(), bad->GetUnknown(), DIID_ITestWidgetEvents, &c1), S_OK);
    ASSERT_EQ(AtlAdvise(widget.Get(), good->GetUnknown(), DIID_ITestWidgetEvents, &c2), S_OK);
    widget->FireEvents(3);
    EXPECT_EQ(bad->calls, 4);  // three ticks and the done event
    EXPECT_EQ(good->Ticks().size(), 3u);
    EXPECT_EQ(good->Done(), 1);

    // Advising a sink keeps it alive; releasing the source releases the sinks.
    ComPtr<IUnknown> probe = good.As<IUnknown>();
    good.Reset();
    widget.Reset();
    EXPECT_EQ(probe->AddRef(), 2u);
    probe->Release();
}

TEST_F(ComponentTest, RegistrationsMustNameAnExistingFileAndProgramsClaimTheirOwn) {
    RegistryStore reg = RegistryStore::Default();
    const std::string key = "CLSID\\" + GuidToString(CLSID_TestWidget) + "\\InprocServer32";
    auto point = [&](const std::string& path) {
        ASSERT_TRUE(reg.Transact([&](RegistryTree& tree) {
            tree.Create(HKEY_CLASSES_ROOT, key).SetValue("", path);
            return true;
        }));
    };
    ComPtr<ITestWidget> w;
    // A bare name would be found by the loader's own search, a file that is gone not at all:
    // neither is a registration of a file.
    point("libovtestcomponent.so");
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, &w), REGDB_E_CLASSNOTREG);
    point("/nonexistent/libovtestcomponent.so");
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, &w), REGDB_E_CLASSNOTREG);

    // Another build tree's copy is registered; the program claims the class for its own file.
    auto other = std::filesystem::temp_directory_path() /
                 ("ovother-" + std::to_string(getpid()) + "-libovtestcomponent.so");
    std::filesystem::copy_file(TestComponentPath(), other,
                               std::filesystem::copy_options::overwrite_existing);
    point(other.string());
    EXPECT_EQ(EnsureRegisteredFrom(CLSID_TestWidget, TestComponentPath()), S_OK);
    EXPECT_EQ(RegisteredLibraryOf(CLSID_TestWidget), TestComponentPath());
    EXPECT_EQ(EnsureRegisteredFrom(CLSID_TestWidget, TestComponentPath()), S_FALSE);
    point("/nonexistent/libovtestcomponent.so");
    EXPECT_EQ(EnsureRegisteredFrom(CLSID_TestWidget, TestComponentPath()), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, &w), S_OK);
    std::filesystem::remove(other);
}
