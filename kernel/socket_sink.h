// The kernel's sink on its UDP socket. Agile: the socket calls it directly on its own
// threads. It forwards the two events the kernel handles and ignores the rest.
#pragma once

#include <condition_variable>
#include <mutex>

#include "common/interfaces/ovsock.h"

namespace ov::kernel {

class COVService;

class SocketSink final : public DispatchObject<SocketSink, IDispatch, IAgileObject> {
public:
    explicit SocketSink(COVService* owner) : owner_(owner) {}

    static const DispatchTable<SocketSink>& DispatchMap();

    void OnDataAvailable();
    void OnSendProgress(LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete);

    // After Detach no new call reaches the owner. With waitForCalls it also waits until the
    // calls in progress have ended; without, it returns at once: a caller on one of the
    // socket's threads may be inside such a call itself.
    void Detach(bool waitForCalls);

private:
    // The owner to call, counted as a call in progress; null once detached.
    COVService* Enter();
    void Leave();

    std::mutex mutex_;  // guards owner_ and calls_; never held while the owner is called
    std::condition_variable idle_;
    COVService* owner_;
    int calls_ = 0;
};

}  // namespace ov::kernel
