// orvane-selfcheck: proves the component runtime works on this machine. Registers a component
// library by its own DllRegisterServer, creates it by ProgID, calls it through its vtable and
// through IDispatch, receives its events in this thread's apartment, and releases it.
//
//   orvane-selfcheck [--temporary-registry]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "common/byte_array_variant.h"
#include "platform/com/com.h"
#include "platform/com/tests/test_component/test_widget.h"
#include "platform/text/cp936.h"

namespace {

int failures = 0;

void Step(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

std::string Hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

class PrintingSink final : public DispatchObject<PrintingSink, IDispatch> {
public:
    static const DispatchTable<PrintingSink>& DispatchMap() {
        static const DispatchTable<PrintingSink> table{
            DispEvent(TEST_DISPID_ON_TICK, "OnTick", &PrintingSink::OnTick),
            DispEvent(TEST_DISPID_ON_DONE, "OnDone", &PrintingSink::OnDone),
        };
        return table;
    }
    void OnTick(LONG n, BSTR text, VARIANT bytes) {
        std::printf("     event OnTick %d \"%s\" %zu bytes\n", n, BstrToUtf8(text).c_str(),
                    CByteArrayVariant(bytes).Size());
        ++ticks;
    }
    void OnDone() { done = true; }
    int ticks = 0;
    bool done = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path tempDir;
    if (argc > 1 && std::string(argv[1]) == "--temporary-registry") {
        tempDir = std::filesystem::temp_directory_path() /
                  ("orvane-selfcheck-" + std::to_string(getpid()));
        std::filesystem::create_directories(tempDir);
        setenv("ORVANE_REGISTRY", (tempDir / "registry").c_str(), 1);
    }
    std::printf("Orvane self-check: component runtime\n");

    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Step(SUCCEEDED(hr), "joined a single-threaded apartment");

    const std::string library = GetProgramDirectory() + "libovtestcomponent.so";
    hr = RegisterServerLibrary(library);
    Step(hr == S_OK, "registered " + library + " (" + Hex(hr) + ")");

    CLSID clsid{};
    hr = CLSIDFromProgID("OVTest.TestWidget", &clsid);
    Step(hr == S_OK, "ProgID OVTest.TestWidget -> " + GuidToString(clsid));

    {
        ComPtr<ITestWidget> widget;
        hr = CoCreateInstance(clsid, &widget);
        Step(hr == S_OK && widget, "created the object by CLSID (" + Hex(hr) + ")");
        if (widget) {
            LONG sum = 0;
            widget->Add(19, 23, &sum);
            Step(sum == 42, "vtable call Add(19, 23) = " + std::to_string(sum));

            Variant result;
            hr = DispCall(widget.Get(), 1, DISPATCH_METHOD, &result, 40, 2);
            Step(hr == S_OK && result.lVal == 42,
                 "dispatch call DISPID 1 (40, 2) = " + std::to_string(result.lVal));

            Bstr hello = Bstr::FromUtf8("你好");
            std::string gbk = hello.ToCp936();
            Step(gbk.size() == 4,
                 "\"你好\" is " + std::to_string(gbk.size()) + " bytes in code page 936");

            ComPtr<PrintingSink> sink = MakeComObject<PrintingSink>();
            DWORD cookie = 0;
            hr = AtlAdvise(widget.Get(), sink->GetUnknown(), DIID_ITestWidgetEvents, &cookie);
            Step(hr == S_OK, "advised an event sink, cookie " + std::to_string(cookie));
            widget->FireFromWorker(3);
            bool arrived = Apartment::Current()->PumpUntil([&] { return sink->done; },
                                                           std::chrono::seconds(10));
            Step(arrived && sink->ticks == 3,
                 "3 events fired on a worker thread ran on this thread");
            Step(AtlUnadvise(widget.Get(), DIID_ITestWidgetEvents, cookie) == S_OK,
                 "unadvised the sink");
        }
    }
    Apartment::Current()->PumpPending();
    hr = UnregisterServerLibrary(library);
    Step(hr == S_OK, "unregistered the library");
    CoUninitialize();

    if (!tempDir.empty())
        std::filesystem::remove_all(tempDir);
    std::printf("%s\n", failures == 0 ? "self-check passed" : "self-check FAILED");
    return failures == 0 ? 0 : 1;
}
