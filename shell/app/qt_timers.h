// The shell's timers on Qt's event loop.
#pragma once

#include "shell/core/desktop/timers.h"

namespace ov::shell {

class QtTimers final : public Timers {
public:
    std::unique_ptr<ShellTimer> Create(std::function<void()> onTimeout) override;
};

}  // namespace ov::shell
