// Test doubles for the kernel: a scripted socket that records what the kernel sends and
// delivers what the test injects, and an event recorder for IOVServiceEvents.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/events/event_sink.h"
#include "common/interfaces/ovkernel.h"
#include "common/interfaces/ovsock.h"
#include "platform/time/clock.h"

namespace ov::kernel::testing {

// One event as a sink saw it: its DISPID and its arguments, longs and flags as numbers and
// byte arrays as their bytes.
struct SeenEvent {
    DISPID dispid;
    std::vector<int64_t> numbers;    // VT_I4 / VT_BOOL arguments in declaration order
    std::vector<std::string> blobs;  // byte-array arguments in declaration order
    std::string Name() const;
};

// Records every event of a kernel, on the thread that raises it (connected agile), and runs
// an optional hook after each: for handlers that call back into the kernel. Any event whose
// arguments do not match the interface fails the test.
class EventRecorder final : public OVServiceEventForwarder {
public:
    explicit EventRecorder(std::function<void(DISPID)> hook = {}) : hook_(std::move(hook)) {}

    HRESULT Attach(IUnknown* kernel) { return connection_.Connect(kernel, true); }
    // After it returns no event reaches the recorder (nor its hook).
    void Detach() { connection_.Disconnect(); }

    void OnServiceEvent(const KernelEvent& event) override;
    void OnEventRefused(DISPID dispid, HRESULT hr) override;

    std::vector<SeenEvent> Events() const;
    std::vector<SeenEvent> Named(DISPID id) const;
    size_t Count(DISPID id) const;
    void Clear();
    // Names of the events seen, in order, leaving out the socket byte counters.
    std::vector<std::string> Sequence() const;
    // Waits in real time (bounded) until an event with the DISPID has been seen `count` times.
    bool WaitFor(DISPID id, size_t count = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    std::function<void(DISPID)> hook_;
    mutable std::mutex mutex_;  // guards events_
    std::condition_variable changed_;
    std::vector<SeenEvent> events_;
    OVServiceEventConnection connection_{this};  // last: disconnected before the rest goes
};

// Runs f on a thread of its own and waits (in real time, bounded) for it to end. False when
// it did not end in time: the thread is then left behind, detached.
bool EndsInTime(std::function<void()> f,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

// A socket that never touches the network. Datagrams the kernel sends are recorded with the
// clock's time; the test completes them (OnSendProgress) and injects datagrams from the server.
class ScriptedSocket final
    : public DispatchObject<ScriptedSocket, IOVSocket, IConnectionPointContainer> {
public:
    struct Sent {
        std::string host;
        LONG port;
        std::string bytes;
        LONG packetId;
        uint32_t time;
    };
    // The arguments of the last SetProxy, as the socket received them.
    struct Proxy {
        OVSOCKAccessTypeEnum accessType = OVSOCK_ACCESS_DIRECT;
        std::string host;
        LONG port = 0;
        OVSOCKProxyAuthMethodEnum authMethod = OVSOCK_AUTH_NONE;
        std::string userName;
        std::string password;
    };

    explicit ScriptedSocket(std::shared_ptr<Clock> clock)
        : clock_(std::move(clock)), events_(this, DIID_IOVSocketEvents) {}
    static const DispatchTable<IOVSocket>& DispatchMap() { return OVSocketDispatch(); }

    // Test side.
    std::vector<Sent> SentPackets() const;
    void ClearSent();
    void RefuseSends(bool refuse) { refuse_ = refuse; }
    // InitializeSocket reports failure while set.
    void FailInitialize(bool fail) { failInitialize_ = fail; }
    size_t AdvisedSinks() const { return events_.Count(); }
    // Fires OnSendProgress(id, size, size, true) for a packet the kernel sent.
    void Complete(LONG packetId);
    // Queues a datagram from host:port and fires OnDataAvailable, as the receive-watch thread
    // would.
    void Deliver(const std::string& bytes, const std::string& host = "127.0.0.1", LONG port = 9999);
    Proxy LastProxy() const { return proxy_; }

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(void**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override {
        return FindConnectionPointIn({&events_}, riid, pp);
    }

    // IOVSocket: what the kernel uses does something; the rest reports failure.
    HRESULT InitializeSocket(OVSOCKErrorCodeEnum* e) override;
    HRESULT Create(OVSOCKTypeEnum, VARIANT_BOOL* r) override { return Flag(r, true); }
    HRESULT Bind(BSTR, LONG, VARIANT_BOOL* r) override { return Flag(r, true); }
    HRESULT get_LocalIP(LONG* ip) override {
        *ip = 0x0100007F;
        return S_OK;
    }
    HRESULT SendTo(BSTR host, LONG port, VARIANT data, LONG* id) override;
    HRESULT ReceiveFrom(BSTR* host, LONG* port, VARIANT* data, VARIANT_BOOL* r) override;
    HRESULT SetProxy(OVSOCKAccessTypeEnum, BSTR host, LONG, OVSOCKProxyAuthMethodEnum, BSTR,
                     BSTR) override;
    HRESULT Close() override { return S_OK; }
    HRESULT get_Writeable(VARIANT_BOOL* r) override { return Flag(r, true); }
    HRESULT get_Readable(VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT ClearSendQueue() override { return S_OK; }
    HRESULT get_SendQueuePacketsCount(LONG* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT Send(VARIANT, LONG* id) override {
        *id = 0;
        return S_OK;
    }
    HRESULT SendString(BSTR, LONG* id) override {
        *id = 0;
        return S_OK;
    }
    HRESULT SendStringTo(BSTR, LONG, BSTR, LONG* id) override {
        *id = 0;
        return S_OK;
    }
    HRESULT ReceiveStringFrom(BSTR*, LONG*, BSTR*, VARIANT_BOOL* r) override {
        return Flag(r, false);
    }
    HRESULT Receive(VARIANT*, VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT ReceiveString(BSTR*, VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT Connect(BSTR, LONG, VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT Listen(LONG, VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT ResolveHost(BSTR, VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT IsIPAddress(BSTR, VARIANT_BOOL* r) override { return Flag(r, false); }
    HRESULT Accept(BSTR*, LONG*, IOVSocket** s) override {
        *s = nullptr;
        return S_OK;
    }
    HRESULT get_LastError(OVSOCKErrorCodeEnum* e) override {
        *e = OVSOCK_ERR_NONE;
        return S_OK;
    }
    HRESULT get_LocalHostName(BSTR* s) override {
        *s = nullptr;
        return S_OK;
    }
    HRESULT get_LocalIPString(BSTR* s) override {
        *s = nullptr;
        return S_OK;
    }
    HRESULT get_AccessType(OVSOCKAccessTypeEnum* a) override {
        *a = OVSOCK_ACCESS_DIRECT;
        return S_OK;
    }
    HRESULT get_LocalPort(LONG* p) override {
        *p = 0;
        return S_OK;
    }

private:
    static HRESULT Flag(VARIANT_BOOL* r, bool v) {
        *r = v ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    struct Inbound {
        std::string host;
        LONG port;
        std::string bytes;
    };

    std::shared_ptr<Clock> clock_;
    ConnectionPoint events_;
    mutable std::mutex mutex_;  // guards sent_, inbound_, nextId_
    std::vector<Sent> sent_;
    std::deque<Inbound> inbound_;
    LONG nextId_ = 100;
    std::atomic<bool> refuse_{false};
    std::atomic<bool> failInitialize_{false};
    Proxy proxy_;
};

// A server datagram: the 10-byte header and a body.
std::string ServerPacket(uint16_t command, uint32_t packetSeq, uint16_t cmdSeqNum,
                         const std::string& body);

}  // namespace ov::kernel::testing
