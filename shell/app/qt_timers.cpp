#include "shell/app/qt_timers.h"

#include <QTimer>

namespace ov::shell {

namespace {

class QtShellTimer final : public ShellTimer {
public:
    explicit QtShellTimer(std::function<void()> onTimeout) {
        QObject::connect(&timer_, &QTimer::timeout, std::move(onTimeout));
    }
    void Start(int periodMs) override { timer_.start(periodMs < 0 ? 0 : periodMs); }
    void Stop() override { timer_.stop(); }
    bool Active() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace

std::unique_ptr<ShellTimer> QtTimers::Create(std::function<void()> onTimeout) {
    return std::make_unique<QtShellTimer>(std::move(onTimeout));
}

}  // namespace ov::shell
