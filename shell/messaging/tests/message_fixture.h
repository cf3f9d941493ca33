// Clients of the reference server that exchange messages, with the message windows on the
// offscreen platform: each test's windows go before its clients do.
#pragma once

#include <QApplication>
#include <QWidget>

#include "shell/wizards/tests/add_buddy_fixture.h"

namespace ov::shell::testing {

class MessageTest : public AddBuddyTest {
protected:
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            delete w;
        AddBuddyTest::TearDown();
    }
    // The control of that accessible name (or the label of that description).
    template <class T>
    static T* In(QWidget* window, const QString& name) {
        for (T* w : window->findChildren<T*>())
            if (w->accessibleName() == name || w->accessibleDescription() == name)
                return w;
        ADD_FAILURE() << "no " << name.toStdString();
        return nullptr;
    }
    // Runs the loop in real time for the sockets and moves virtual time on in steps of 100 ms
    // for the timers, until done (false after the rounds).
    bool Drive(const std::function<bool()>& done, int rounds = 600) {
        for (int i = 0; i < rounds; ++i) {
            if (time_->RunUntil(done, std::chrono::milliseconds(50)))
                return true;
            time_->Advance(100);
        }
        return done();
    }
    // What the client's archive keeps of its messages with pin.
    QList<MessageRecord> Archived(ShellClient& c, qint32 pin) {
        QList<MessageRecord> list;
        c.App().UserData().GetMessages(pin, &list);
        return list;
    }
};

}  // namespace ov::shell::testing
