// One program per user and data home: the first instance listens on a local socket named
// after both; a later one finds it, asks it to come forward and ends, unless the registry
// value AllowMutilInstance (section Setting) is not 0.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

namespace ov::shell {

class SingleInstance {
public:
    // activate runs (on this thread's event loop) when a later instance asks us to come
    // forward.
    SingleInstance(const QString& dataHome, std::function<void()> activate);
    ~SingleInstance();

    // Reads AllowMutilInstance (writing it back, so the value always exists). True when this
    // instance may run (the first one takes the name); false when another one runs and
    // multiple instances are not allowed.
    bool Claim();
    // Asks the instance that runs to come forward.
    void ActivateRunning();
    // The name of the local socket.
    const QString& Name() const { return name_; }

    static bool MultipleInstancesAllowed();

private:
    QString name_;
    std::function<void()> activate_;
    QLocalServer server_;
};

// What a later instance shows before it ends.
QString AlreadyRunningText();

}  // namespace ov::shell
