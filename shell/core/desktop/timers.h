// Timers of the shell's logic. The program runs them on Qt's event loop; tests run them in
// virtual time (testing/virtual_time.h), the same time the kernel's worker threads see.
#pragma once

#include <functional>
#include <memory>

namespace ov::shell {

// One timer of a window or object, firing on the GUI thread until stopped.
class ShellTimer {
public:
    virtual ~ShellTimer() = default;
    // (Re)starts it: the first time-out after periodMs (0: as soon as the loop runs), then
    // every periodMs.
    virtual void Start(int periodMs) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

class Timers {
public:
    virtual ~Timers() = default;
    virtual std::unique_ptr<ShellTimer> Create(std::function<void()> onTimeout) = 0;
};

}  // namespace ov::shell
