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
    // What the client's archive keeps of its messages with pin.
    QList<MessageRecord> Archived(ShellClient& c, qint32 pin) {
        QList<MessageRecord> list;
        c.App().UserData().GetMessages(pin, &list);
        return list;
    }
};

}  // namespace ov::shell::testing
