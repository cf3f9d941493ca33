// The text of a message on the wire: a style header naming font, colours and attributes,
// directly followed by the escaped body (code page 936), and the 400-byte limit of the body.
//
//   MessageStyle style = SendStyle(settings.lfSendMsgMessageFont, settings.clrSendMsgMessageColor,
//                                  settings.clrSendMsgMessageBk);
//   QByteArray wire = ComposeMessage(style, edit->toPlainText());     // for SendToUser
//   ParsedMessage m = ParseMessage(received);                          // m.body, m.style
//   if (auto cut = OverLimitCut(text, caret)) edit->remove(cut->start, cut->end);
//
// In memory a line break is "\n"; on the wire (and in the files) it is "\r\n".
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "shell/core/message_record.h"
#include "shell/core/user_settings.h"

namespace ov::shell {

// The bytes of escaped body a message or a chat line may carry.
constexpr int kMessageLimit = 400;

struct MessageStyle {
    QString face = QStringLiteral("宋体");
    int height = 12;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    ColorRef text = 0x000000;
    ColorRef background = 0xFFFFFF;
    friend bool operator==(const MessageStyle&, const MessageStyle&) = default;
};

// The sender's style from the settings (bold at weight 700 and more).
MessageStyle SendStyle(const FontSetting& font, ColorRef text, ColorRef background);

// "<Font=FONT(\"face\",h,b,i,u);MsgClr=RGB(r,g,b);BkClr=RGB(r,g,b);>" in code page 936.
QByteArray StyleHeader(const MessageStyle& style);
// The body as it travels: line breaks as "\r\n", code page 936, escaped.
QByteArray EscapedBody(const QString& text);
// How many bytes EscapedBody(text) has.
int EscapedLength(const QString& text);
QByteArray ComposeMessage(const MessageStyle& style, const QString& text);
// The unescaped text of a chat line or header-less message ("\r\n" read as one line break).
QString UnescapedBody(QByteArrayView wire);

struct ParsedMessage {
    bool styled = false;  // a valid header was read; otherwise style is the default
    MessageStyle style;
    QString body;
};
// A received text: with a valid header its style and the body after it; otherwise the whole
// text, unescaped, in the default style.
ParsedMessage ParseMessage(QByteArrayView wire);

// A record of the message for the archive and the pending items.
MessageRecord RecordOf(const ParsedMessage& message, qint32 kind, qint32 peer, qint32 time);
// The style a record was written in.
MessageStyle StyleOf(const MessageRecord& record);

// When the text's escaped body is longer than limit: the range just before the selection's
// end (selectionEnd) to delete, found by walking back from it; the start never goes below 0,
// so the range may not suffice when the text after the caret alone is too long.
struct TextCut {
    int start = 0;
    int end = 0;
};
std::optional<TextCut> OverLimitCut(const QString& text, int selectionEnd,
                                    int limit = kMessageLimit);

}  // namespace ov::shell
