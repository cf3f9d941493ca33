#include "shell/app/orvane_application.h"

#include <exception>

namespace ov::shell {

bool OrvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Caught(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Caught(QStringLiteral("unknown exception"));
    }
    return false;
}

void OrvaneApplication::Caught(const QString& what) {
    if (!handler_)
        return;
    // The notice's boxes run their own loops, where the same fault may strike again.
    const bool telling = telling_;
    telling_ = true;
    handler_(what, !telling);
    telling_ = telling;
}

}  // namespace ov::shell
