// The test component library.
#include "platform/com/tests/test_component/test_widget.h"

#include <atomic>
#include <thread>

#include "common/byte_array_variant.h"
#include "platform/com/module.h"
#include "platform/win32/events.h"

namespace {

std::atomic<LONG> liveObjects{0};

const ComponentClassInfo kClassInfo{CLSID_TestWidget, "TestWidget Class", "OVTest.TestWidget.1",
                                    "OVTest.TestWidget", "Free"};

class CTestWidget final
    : public DispatchObject<CTestWidget, ITestWidget, ITestCounter, IConnectionPointContainer> {
public:
    CTestWidget() : events_(this, DIID_ITestWidgetEvents), workerDone_(CreateEvent(TRUE, TRUE)) {
        ++liveObjects;
    }
    ~CTestWidget() override {
        if (worker_.joinable())
            worker_.join();
        CloseHandle(workerDone_);
        --liveObjects;
    }

    static const DispatchTable<ITestWidget>& DispatchMap() { return TestWidgetDispatch(); }

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        if (sum == nullptr)
            return E_POINTER;
        *sum = a + b;
        return S_OK;
    }
    HRESULT Echo(BSTR text, BSTR* copy) override {
        if (copy == nullptr)
            return E_POINTER;
        *copy = text ? SysAllocStringLen(text, SysStringLen(text)) : nullptr;
        return S_OK;
    }
    HRESULT get_Name(BSTR* name) override {
        if (name == nullptr)
            return E_POINTER;
        *name = Bstr::FromUtf8("widget").Detach();
        return S_OK;
    }
    HRESULT Split(VARIANT bytes, LONG* first, VARIANT* rest, VARIANT_BOOL* ok) override {
        if (first == nullptr || rest == nullptr || ok == nullptr)
            return E_POINTER;
        CByteArrayVariant in(bytes);
        *ok = in.Size() > 0 ? VARIANT_TRUE : VARIANT_FALSE;
        *first = in.Size() > 0 ? in.Data()[0] : -1;
        CByteArrayVariant tail(in.Size() > 1 ? in.Data() + 1 : nullptr,
                               in.Size() > 1 ? in.Size() - 1 : 0);
        VariantClear(rest);
        tail.Detach(rest);
        return S_OK;
    }
    HRESULT FireEvents(LONG count) override {
        Fire(count);
        return S_OK;
    }
    HRESULT FireFromWorker(LONG count) override {
        if (worker_.joinable())
            worker_.join();
        ResetEvent(workerDone_);
        worker_ = std::thread([this, count] {
            Fire(count);
            SetEvent(workerDone_);
        });
        return S_OK;
    }
    HRESULT WaitWorker(LONG timeoutMs, VARIANT_BOOL* finished) override {
        if (finished == nullptr)
            return E_POINTER;
        DWORD r = WaitForSingleObject(workerDone_, static_cast<DWORD>(timeoutMs));
        *finished = r == WAIT_OBJECT_0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT Fail() override { return E_FAIL; }

    HRESULT Increment(LONG* value) override {
        if (value == nullptr)
            return E_POINTER;
        *value = ++counter_;
        return S_OK;
    }

    HRESULT EnumConnectionPoints(void** ppEnum) override {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        return FindConnectionPointIn({&events_}, riid, ppCP);
    }

private:
    // Each tick carries its own text and bytes, freed as soon as the call returns, so a sink
    // that kept a borrowed pointer would read freed memory.
    void Fire(LONG count) {
        for (LONG i = 1; i <= count; ++i) {
            Bstr text = Bstr::FromUtf8("tick " + std::to_string(i));
            uint8_t raw[3] = {static_cast<uint8_t>(i), 0xAB, 0xCD};
            CByteArrayVariant bytes(raw, sizeof raw);
            events_.Fire(TEST_DISPID_ON_TICK, i, text.Get(), bytes.Variant());
        }
        events_.Fire(TEST_DISPID_ON_DONE);
    }

    ConnectionPoint events_;
    HANDLE workerDone_;   // set while no worker is firing
    std::thread worker_;  // owned: joined before the next start and in the destructor
    std::atomic<LONG> counter_{0};
};

}  // namespace

extern "C" LONG TestComponentLiveObjects() {
    return liveObjects.load();
}

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (clsid == CLSID_TestWidget)
        return GetClassFactory<CTestWidget>(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT DllRegisterServer() {
    return RegisterComponentClass(
        kClassInfo, GetModuleFileName(reinterpret_cast<const void*>(&DllRegisterServer)));
}

extern "C" HRESULT DllUnregisterServer() {
    return UnregisterComponentClass(kClassInfo);
}
