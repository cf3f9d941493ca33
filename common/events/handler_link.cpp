#include "common/events/handler_link.h"

#include <algorithm>
#include <vector>

namespace {
// The links this thread holds pins on, once per pin.
thread_local std::vector<const HandlerLink*> tlsPinned;
}  // namespace

HandlerLink::Pin HandlerLink::Acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handler_ == nullptr)
        return Pin(nullptr, nullptr);
    ++pins_;
    tlsPinned.push_back(this);
    return Pin(this, handler_);
}

HandlerLink::Pin::~Pin() {
    if (link_)
        link_->Release();
}

void HandlerLink::Release() {
    auto it = std::find(tlsPinned.rbegin(), tlsPinned.rend(), this);
    if (it != tlsPinned.rend())
        tlsPinned.erase(std::next(it).base());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --pins_;
    }
    released_.notify_all();
}

void HandlerLink::Detach() {
    const int own = static_cast<int>(std::count(tlsPinned.begin(), tlsPinned.end(), this));
    std::unique_lock<std::mutex> lock(mutex_);
    handler_ = nullptr;
    released_.wait(lock, [&] { return pins_ <= own; });
}
