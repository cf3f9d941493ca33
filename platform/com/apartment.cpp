#include "platform/com/apartment.h"

namespace {

// The free-threaded apartment is shared by every thread that joins it.
std::shared_ptr<Apartment> FreeApartment() {
    static std::shared_ptr<Apartment> free = std::make_shared<Apartment>(false);
    return free;
}

struct ThreadApartment {
    std::shared_ptr<Apartment> apartment;
    int initCount = 0;
};

thread_local ThreadApartment tlsApartment;

}  // namespace

Apartment::Apartment(bool singleThreaded)
    : singleThreaded_(singleThreaded), thread_(std::this_thread::get_id()) {}

Apartment::~Apartment() = default;

std::shared_ptr<Apartment> Apartment::Current() {
    return tlsApartment.apartment;
}

void Apartment::Post(Task task) {
    Dispatcher dispatcher;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_)
            return;
        if (!dispatcher_) {
            queue_.push_back(std::move(task));
            posted_.notify_all();
            return;
        }
        dispatcher = dispatcher_;
    }
    // Outside the lock: the dispatcher may take locks of its own loop.
    dispatcher(std::move(task));
}

void Apartment::SetDispatcher(Dispatcher dispatcher) {
    std::deque<Task> pending;
    Dispatcher target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dispatcher_ = std::move(dispatcher);
        if (dispatcher_) {
            // What the built-in queue still holds goes first, to keep the order.
            pending.swap(queue_);
            target = dispatcher_;
        }
    }
    for (auto& task : pending)
        target(std::move(task));
}

size_t Apartment::PumpPending() {
    std::deque<Task> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(queue_);
    }
    size_t ran = 0;
    for (auto& task : batch) {
        task();
        ++ran;
    }
    return ran;
}

bool Apartment::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        PumpPending();
        if (done())
            return true;
        std::unique_lock<std::mutex> lock(mutex_);
        if (queue_.empty() &&
            !posted_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) {
            lock.unlock();
            PumpPending();
            return done();
        }
    }
}

void Apartment::Close() {
    std::deque<Task> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        dropped.swap(queue_);
        dispatcher_ = nullptr;
    }
    // Tasks are destroyed outside the lock: they may release objects whose destructors post.
}

HRESULT CoInitializeEx(void*, DWORD coinit) {
    bool sta = (coinit & COINIT_APARTMENTTHREADED) != 0;
    ThreadApartment& t = tlsApartment;
    if (t.apartment) {
        if (t.apartment->IsSingleThreaded() != sta)
            return RPC_E_CHANGED_MODE;
        ++t.initCount;
        return S_FALSE;
    }
    t.apartment = sta ? std::make_shared<Apartment>(true) : FreeApartment();
    t.initCount = 1;
    return S_OK;
}

void CoUninitialize() {
    ThreadApartment& t = tlsApartment;
    if (!t.apartment || --t.initCount > 0)
        return;
    std::shared_ptr<Apartment> apartment = std::move(t.apartment);
    t.apartment.reset();
    if (apartment->IsSingleThreaded())
        apartment->Close();
}
