// The numbered timers of a transfer window on the shell's timers: each fires once per Arm and
// hands its number to the window's protocol object.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "shell/core/desktop/timers.h"
#include "transfer/transfer_timers.h"

namespace ov::shell {

class NumberedTimers final : public transfer::TransferTimers {
public:
    NumberedTimers(Timers& timers, std::function<void(int)> fire)
        : timers_(timers), fire_(std::move(fire)) {}

    void Arm(int id, int ms) override {
        std::unique_ptr<ShellTimer>& timer = running_[id];
        if (!timer) {
            timer = timers_.Create([this, id] {
                running_[id]->Stop();
                fire_(id);
            });
        }
        timer->Start(ms);
    }
    void Kill(int id) override {
        auto it = running_.find(id);
        if (it != running_.end())
            it->second->Stop();
    }

private:
    Timers& timers_;
    std::function<void(int)> fire_;
    std::map<int, std::unique_ptr<ShellTimer>> running_;
};

}  // namespace ov::shell
