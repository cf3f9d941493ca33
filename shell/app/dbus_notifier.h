// Notifier over the desktop's org.freedesktop.Notifications service on the session bus. The
// call is asynchronous, so a slow or missing service never holds up the window system.
#pragma once

#include "shell/core/desktop/notifier.h"

namespace ov::shell {

class DBusNotifier final : public Notifier {
public:
    void Notify(const QString& summary, const QString& body) override;
};

}  // namespace ov::shell
