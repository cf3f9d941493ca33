// Desktop notifications: a short note outside the program's windows (the desktop's
// notification service), for something that waits for the user.
#pragma once

#include <QString>

namespace ov::shell {

class Notifier {
public:
    virtual ~Notifier() = default;
    // Shows summary and body; returns at once. Silent where the desktop has no service.
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

}  // namespace ov::shell
