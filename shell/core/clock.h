// The calendar clock of the shell core: whole seconds since 1970. Objects that stamp times
// (terminal identifiers, pending items) take one, so tests hand in a fixed or stepped clock.
#pragma once

#include <QtGlobal>
#include <functional>

namespace ov::shell {

using SecondsClock = std::function<qint64()>;

// The system's clock (QDateTime::currentSecsSinceEpoch).
SecondsClock SystemSecondsClock();

}  // namespace ov::shell
