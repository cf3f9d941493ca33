// One line of a chat view: its kind (which picks its colour), its text and a key by which
// its owner updates it later (an own line's sending state).
#pragma once

#include <QString>
#include <QtGlobal>

namespace ov::shell {

enum class ChatLineKind {
    Text,       // the peer's line
    Action,     // the peer's "/me"
    Highlight,  // a line that mentions the own name
    Info,       // "*** " notices
    Error,      // errors and the peer's close
    OwnSending,
    OwnSent,
    OwnSendErr,
    OwnActionSending,
    OwnActionSent,
    OwnActionSendErr,
    Join,  // someone entered a group
    Part,  // someone left it
};

struct ChatLine {
    qint64 key = 0;
    ChatLineKind kind = ChatLineKind::Text;
    QString text;  // as shown, with its time
};

}  // namespace ov::shell
