#include "shell/core/clock.h"

#include <QDateTime>

namespace ov::shell {

SecondsClock SystemSecondsClock() {
    return [] { return QDateTime::currentSecsSinceEpoch(); };
}

}  // namespace ov::shell
