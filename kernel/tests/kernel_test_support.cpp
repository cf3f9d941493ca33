#include "kernel/tests/kernel_test_support.h"

#include <future>
#include <thread>

#include "common/protocol/wire.h"

namespace ov::kernel::testing {

std::string SeenEvent::Name() const {
    const OVServiceEventInfo* info = FindOVServiceEvent(dispid);
    return info ? std::string(info->name) : "dispid " + std::to_string(dispid);
}

void EventRecorder::OnServiceEvent(const KernelEvent& event) {
    SeenEvent e{event.dispid, {}, {}};
    for (const EventArg& a : event.args) {
        if (a.kind == EventArg::Kind::Bytes)
            e.blobs.push_back(a.bytes);
        else
            e.numbers.push_back(a.value);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(e));
    }
    changed_.notify_all();
    if (hook_)
        hook_(event.dispid);
}

void EventRecorder::OnEventRefused(DISPID dispid, HRESULT hr) {
    ADD_FAILURE() << "event " << dispid << " refused: " << std::hex << hr;
}

std::vector<SeenEvent> EventRecorder::Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<SeenEvent> EventRecorder::Named(DISPID id) const {
    std::vector<SeenEvent> out;
    for (auto& e : Events())
        if (e.dispid == id)
            out.push_back(e);
    return out;
}

size_t EventRecorder::Count(DISPID id) const {
    return Named(id).size();
}

void EventRecorder::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}

std::vector<std::string> EventRecorder::Sequence() const {
    std::vector<std::string> names;
    for (auto& e : Events())
        if (e.dispid != OV_DISPID_ON_SOCKET_DATA_SENT &&
            e.dispid != OV_DISPID_ON_SOCKET_DATA_RECEIVED)
            names.push_back(e.Name());
    return names;
}

bool EventRecorder::WaitFor(DISPID id, size_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
        size_t n = 0;
        for (auto& e : events_)
            if (e.dispid == id)
                ++n;
        return n >= count;
    });
}

bool EndsInTime(std::function<void()> f, std::chrono::milliseconds limit) {
    auto ended = std::make_shared<std::promise<void>>();
    std::future<void> done = ended->get_future();
    std::thread t([f = std::move(f), ended] {
        f();
        ended->set_value();
    });
    if (done.wait_for(limit) != std::future_status::ready) {
        t.detach();
        return false;
    }
    t.join();
    return true;
}

std::vector<ScriptedSocket::Sent> ScriptedSocket::SentPackets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

void ScriptedSocket::ClearSent() {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.clear();
}

void ScriptedSocket::Complete(LONG packetId) {
    LONG size = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& s : sent_)
            if (s.packetId == packetId)
                size = static_cast<LONG>(s.bytes.size());
    }
    events_.Fire(OVSOCK_DISPID_ON_SEND_PROGRESS, packetId, size, size,
                 static_cast<SHORT>(VARIANT_TRUE));
}

void ScriptedSocket::Deliver(const std::string& bytes, const std::string& host, LONG port) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inbound_.push_back(Inbound{host, port, bytes});
    }
    events_.Fire(OVSOCK_DISPID_ON_DATA_AVAILABLE);
}

HRESULT ScriptedSocket::InitializeSocket(OVSOCKErrorCodeEnum* e) {
    *e = failInitialize_ ? OVSOCK_ERR_SYSNOTREADY : OVSOCK_ERR_NONE;
    return S_OK;
}

HRESULT ScriptedSocket::SendTo(BSTR host, LONG port, VARIANT data, LONG* id) {
    *id = 0;
    if (refuse_)
        return S_OK;
    std::lock_guard<std::mutex> lock(mutex_);
    *id = ++nextId_;
    sent_.push_back(Sent{BstrToUtf8(host), port, std::string(CByteArrayVariant(data).View()), *id,
                         clock_->Now()});
    return S_OK;
}

HRESULT ScriptedSocket::ReceiveFrom(BSTR* host, LONG* port, VARIANT* data, VARIANT_BOOL* r) {
    Inbound next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (inbound_.empty()) {
            *host = Bstr::FromUtf8("  ").Detach();
            *port = 0;
            return Flag(r, false);
        }
        next = std::move(inbound_.front());
        inbound_.pop_front();
    }
    *host = Bstr::FromUtf8(next.host).Detach();
    *port = next.port;
    CByteArrayVariant bytes(next.bytes);
    VariantClear(data);
    bytes.Detach(data);
    return Flag(r, true);
}

HRESULT ScriptedSocket::SetProxy(OVSOCKAccessTypeEnum type, BSTR host, LONG port,
                                 OVSOCKProxyAuthMethodEnum auth, BSTR user, BSTR password) {
    proxy_ = Proxy{type, BstrToUtf8(host), port, auth, BstrToUtf8(user), BstrToUtf8(password)};
    return S_OK;
}

std::string ServerPacket(uint16_t command, uint32_t packetSeq, uint16_t cmdSeqNum,
                         const std::string& body) {
    wire::Writer w;
    wire::WriteServerHeader(w, wire::ServerHeader{wire::kVersion, command, packetSeq, cmdSeqNum});
    w.Raw(body);
    return w.Bytes();
}

}  // namespace ov::kernel::testing
