// The private chat's small protocol: what the component code of a chat message means, the
// line counter that numbers each message sent, and how a typed line reads in the view.
//
//   ChatLineCounter counter;
//   const qint32 code = ChatCode(kChatLine, counter.Next());      // for SendToUser
//   if (ChatKindOf(received) == kChatAck && ChatNumberOf(received) == pending) ...
//   ChatLineText line = FormatChatLine(shortName, typed);         // "<name> text" or "* name text"
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace ov::shell {

// Bits 16 to 19 of the component code; the low 16 bits carry a line or request number.
enum ChatKind : qint32 {
    kChatLine = 0x00000,     // a line; the receiver acknowledges it
    kChatAck = 0x10000,      // acknowledgement of a line
    kChatRequest = 0x20000,  // a request to chat; the text is its message
    kChatAccept = 0x30000,   // the request of that number is accepted
    kChatRefuse = 0x40000,   // the request of that number is refused
    kChatClose = 0x50000,    // the chat window was closed
};

constexpr qint32 kChatKindMask = 0xF0000;
constexpr qint32 kChatNumberMask = 0xFFFF;

constexpr qint32 ChatKindOf(qint32 code) {
    return code & kChatKindMask;
}
constexpr qint32 ChatNumberOf(qint32 code) {
    return code & kChatNumberMask;
}
constexpr qint32 ChatCode(ChatKind kind, qint32 number) {
    return kind | (number & kChatNumberMask);
}

// Numbers the messages a window sends: incremented before each send; after 0xFFF0 it starts
// again at 10, so a number never reaches the top of its 16 bits.
class ChatLineCounter {
public:
    static constexpr qint32 kLast = 0xFFF0;
    static constexpr qint32 kRestart = 10;

    qint32 Next() {
        value_ = value_ >= kLast ? kRestart : value_ + 1;
        return value_;
    }
    qint32 Current() const { return value_; }

private:
    qint32 value_ = 0;
};

// The lines sent and not yet acknowledged, oldest first. An acknowledgement takes the newest
// line of its number: after the counter's restart an old unanswered line may share it.
class ChatPendingLines {
public:
    struct Line {
        long seq = 0;  // the send command; 0 once the server took it
        qint32 number = 0;
        qint64 key = 0;  // the line in the view
        bool action = false;
    };

    void Add(const Line& line) { lines_.push_back(line); }
    std::optional<Line> Acknowledge(qint32 number);
    // The send command failed: its line leaves the list.
    std::optional<Line> Fail(long seq);
    // The server took the command: only the peer's acknowledgement is awaited now.
    void Delivered(long seq);
    QList<qint32> Numbers() const;
    bool Empty() const { return lines_.isEmpty(); }

private:
    QList<Line> lines_;
};

// A typed line as the view shows it (without the time): an action when the text is longer
// than 4 characters and starts with "/me ".
struct ChatLineText {
    bool action = false;
    QString text;
};
ChatLineText FormatChatLine(const QString& name, const QString& typed);

}  // namespace ov::shell
