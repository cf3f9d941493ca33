// Feeds arbitrary datagrams into a kernel's receive path, as if they came from the server:
// header checks, acknowledgements, the duplicate filter, the dispatcher and every handler.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel/service.h"
#include "kernel/tests/kernel_test_support.h"
#include "platform/time/virtual_clock.h"

using namespace ov::kernel;
using namespace ov::kernel::testing;

namespace {
struct Harness {
    Harness() {
        clock = std::make_shared<ov::VirtualClock>();
        kernel = MakeComObject<COVService>();
        kernel->SetClock(clock);
        kernel->SetSocketFactory([this](ComPtr<IOVSocket>* out) {
            socket = MakeComObject<ScriptedSocket>(clock);
            *out = socket;
            return S_OK;
        });
        recorder.Attach(kernel->GetUnknown());
        LONG ok = 0;
        kernel->Init(nullptr, 0, &ok);
        // Only the server's datagrams get past the sender check; the fuzzer speaks as it.
        LONG seq = 0;
        Bstr server = Bstr::FromUtf8("127.0.0.1");
        kernel->HandshakeServer(server, 9999, &seq);
    }
    std::shared_ptr<ov::VirtualClock> clock;
    ComPtr<COVService> kernel;
    ComPtr<ScriptedSocket> socket;
    EventRecorder recorder;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* harness = new Harness;  // lives for the whole run
    harness->socket->Deliver(std::string(reinterpret_cast<const char*>(data), size));
    harness->socket->ClearSent();
    harness->recorder.Clear();
    return 0;
}
