// The program's QApplication: an exception that escapes an event handler is an internal error
// the program caught - the handler's work is lost, the program is not, and the person is told
// (the crash notice) instead of the program ending.
#pragma once

#include <QApplication>
#include <functional>

namespace ov::shell {

class OrvaneApplication : public QApplication {
public:
    OrvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    // Told what was caught; a second error while the first is being told is only logged.
    void SetInternalErrorHandler(std::function<void(const QString& what, bool telling)> handler) {
        handler_ = std::move(handler);
    }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    void Caught(const QString& what);

    std::function<void(const QString&, bool)> handler_;
    bool telling_ = false;
};

}  // namespace ov::shell
