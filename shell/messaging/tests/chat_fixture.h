// Clients logged in to the reference server that chat with each other, and the chat window
// on the offscreen platform, found by its controls' accessible names.
#pragma once

#include <QPlainTextEdit>

#include "shell/messaging/widgets/chat_view.h"
#include "shell/messaging/widgets/chat_window.h"
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {

inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

class ChatTest : public WizardWindowTest<ChatWindow> {
protected:
    void TearDown() override {
        sessions_.clear();
        // Every window of the test goes before its clients and timers do.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<ChatWindow*>(w) != nullptr)
                delete w;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        WizardWindowTest<ChatWindow>::TearDown();
    }

    // A registered account's client, logged in with its buddy tree and black list in.
    ShellClient& LogIn(const QString& name) {
        EXPECT_EQ(Register(name, "pw", "n-" + name), name);
        ShellClient& c = WizardWindowTest<ChatWindow>::LogIn(name);
        c.sounds.Clear();
        return c;
    }
    static qint32 Pin(ShellClient& c) { return c.Frame().OwnPin(); }

    // A chat of the client with a user, as an open window would hold it.
    ChatSession& Chat(ShellClient& c, qint32 peer) {
        sessions_.push_back(std::make_unique<ChatSession>(c.App(), peer));
        return *sessions_.back();
    }
    static QStringList Texts(const ChatSession& chat) {
        QStringList texts;
        for (const ChatLine& line : chat.Lines())
            texts << line.text.mid(8);  // without "[hh:mm] "
        return texts;
    }
    static QList<ChatLineKind> Kinds(const ChatSession& chat) {
        QList<ChatLineKind> kinds;
        for (const ChatLine& line : chat.Lines())
            kinds << line.kind;
        return kinds;
    }

    // Alice asks bob (whose window with her is open) and he accepts.
    void Connect(ChatSession& asking, ChatSession& asked) {
        ASSERT_TRUE(asking.Send(QString::fromUtf8("一起聊聊？")));
        ASSERT_TRUE(time_->RunUntil([&] { return asked.Offered(); }));
        asked.Accept();
        ASSERT_TRUE(time_->RunUntil([&] { return asking.Connected(); }));
        ASSERT_TRUE(asked.Connected());
    }

    std::vector<std::unique_ptr<ChatSession>> sessions_;
};

}  // namespace ov::shell::testing
