// The typed sink's weak reference to its handler (the window or object it calls).
//
// The sink is a COM object of its own, kept alive by whoever fires at it; the handler is
// owned elsewhere (a QObject by its parent, say) and must not be kept alive, nor deleted, by
// the sink. Each call pins the handler; Detach cuts the link and waits for pins that other
// threads hold, so once it returns no call reaches the handler. A pin held by the detaching
// thread itself (a handler that disconnects from inside one of its events) is not waited
// for: that call is already on its way out.
#pragma once

#include <condition_variable>
#include <mutex>

class HandlerLink {
public:
    explicit HandlerLink(void* handler) : handler_(handler) {}
    HandlerLink(const HandlerLink&) = delete;
    HandlerLink& operator=(const HandlerLink&) = delete;

    class Pin {
    public:
        Pin(HandlerLink* link, void* handler) : link_(link), handler_(handler) {}
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;
        ~Pin();
        void* Get() const { return handler_; }

    private:
        HandlerLink* link_;
        void* handler_;
    };

    // The handler, pinned for the life of the Pin; Get() is null once detached.
    Pin Acquire();
    void Detach();

private:
    void Release();

    std::mutex mutex_;  // guards handler_ and pins_
    std::condition_variable released_;
    void* handler_;
    int pins_ = 0;
};
