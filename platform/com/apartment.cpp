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
    std::shared_ptr<const Doorbell> ring;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_)
            return;
        queue_.push_back(std::move(task));
        if (doorbell_ && !ringing_) {
            ringing_ = true;
            ring = doorbell_;
            ++ringsInFlight_;
        }
    }
    posted_.notify_all();
    Ring(std::move(ring));
}

void Apartment::Ring(std::shared_ptr<const Doorbell> doorbell) {
    if (!doorbell)
        return;
    // Outside the lock: the doorbell takes locks of its own loop.
    (*doorbell)();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --ringsInFlight_;
    }
    rang_.notify_all();
}

void Apartment::SetDoorbell(Doorbell doorbell) {
    std::shared_ptr<const Doorbell> ring;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        doorbell_ = doorbell ? std::make_shared<const Doorbell>(std::move(doorbell)) : nullptr;
        // A ring of the old doorbell may be on its way: the new one rings on its own.
        ringing_ = false;
        rang_.wait(lock, [&] { return ringsInFlight_ == 0; });
        if (doorbell_ && !queue_.empty() && !closed_) {
            ringing_ = true;
            ring = doorbell_;
            ++ringsInFlight_;
        }
    }
    Ring(std::move(ring));
}

bool Apartment::TakeNext(Task* task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty())
        return false;
    *task = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

size_t Apartment::PumpPending() {
    size_t limit = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        limit = queue_.size();
    }
    // One task at a time, so that a task that pumps again (a nested loop) takes the next
    // ones in order instead of overtaking a batch held here. Tasks posted meanwhile wait for
    // the next pump, so a task that keeps posting cannot hold this loop for ever.
    size_t ran = 0;
    Task task;
    while (ran < limit && TakeNext(&task)) {
        task();
        task = nullptr;  // released on this thread, before the next one runs
        ++ran;
    }
    std::shared_ptr<const Doorbell> ring;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty()) {
            ringing_ = false;  // the next post rings again
        } else if (doorbell_) {
            ringing_ = true;  // left for the next pump: ask the loop for one
            ring = doorbell_;
            ++ringsInFlight_;
        }
    }
    Ring(std::move(ring));
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
        std::unique_lock<std::mutex> lock(mutex_);
        closed_ = true;
        dropped.swap(queue_);
        doorbell_ = nullptr;
        ringing_ = false;
        rang_.wait(lock, [&] { return ringsInFlight_ == 0; });
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
