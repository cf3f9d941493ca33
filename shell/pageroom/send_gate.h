// PageroomSendGate: when the user last sent to any Pageroom group. Every Pageroom window of
// one client shares it, so that messages come at most one a second however many browser
// windows are open.
//
//   PageroomSendGate gate(app.Desktop().clock);    // one per login session
//   if (gate.TooSoon()) ...refuse...;  else if (sent) gate.Sent();
#pragma once

#include <QtGlobal>

#include "shell/core/clock.h"

namespace ov::shell {

class PageroomSendGate {
public:
    explicit PageroomSendGate(SecondsClock clock) : clock_(std::move(clock)) {}

    // Less than a second since the last send (whole seconds: the same second).
    bool TooSoon() const { return sent_ && clock_() - last_ < 1; }
    void Sent() {
        last_ = clock_();
        sent_ = true;
    }

private:
    SecondsClock clock_;
    qint64 last_ = 0;
    bool sent_ = false;
};

}  // namespace ov::shell
