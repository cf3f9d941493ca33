// The kernel's sink on its UDP socket. Agile: the socket calls it directly on its own
// threads. It forwards the two events the kernel handles and ignores the rest.
#pragma once

#include <shared_mutex>

#include "common/interfaces/ovsock.h"

namespace ov::kernel {

class COVService;

class SocketSink final : public DispatchObject<SocketSink, IDispatch, IAgileObject> {
public:
    explicit SocketSink(COVService* owner) : owner_(owner) {}

    static const DispatchTable<SocketSink>& DispatchMap();

    void OnDataAvailable();
    void OnSendProgress(LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete);

    // After Detach returns no call reaches the owner any more; calls in progress have ended.
    void Detach();

private:
    std::shared_mutex mutex_;  // guards owner_; held shared for the length of each call
    COVService* owner_;
};

}  // namespace ov::kernel
