// One line of a chat view: its kind (which picks its colour), its text and a key by which
// its owner updates it later (an own line's sending state).
#pragma once

#include <QString>
#include <QtGlobal>

namespace ov::shell {

// The numbers are those group chats name their lines by.
enum class ChatLineKind : int {
    Text = 0,       // the peer's line
    Action = 1,     // the peer's "/me"
    Part = 2,       // someone left a group
    Highlight = 3,  // a line that mentions the own name
    Info = 4,       // "*** " notices
    Join = 5,       // someone entered a group
    OwnSending = 6,
    OwnSent = 7,
    OwnSendErr = 8,
    OwnActionSending = 9,
    OwnActionSent = 10,
    Error = 11,  // errors and the peer's close
    OwnActionSendErr = 12,
};

struct ChatLine {
    qint64 key = 0;
    ChatLineKind kind = ChatLineKind::Text;
    QString text;    // as shown, with its time
    qint32 pin = 0;  // whose line it is; 0 for notices
};

}  // namespace ov::shell
