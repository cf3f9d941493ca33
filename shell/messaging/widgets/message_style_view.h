// How the message windows show a message style and the archive's records: the style's font
// and colours for an edit or a view, and the history of messages with one user.
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>

#include "shell/core/message_record.h"
#include "shell/core/message_text.h"

class QTextBrowser;
class QTextEdit;

namespace ov::shell {

QColor ToColor(ColorRef c);
// The style's font; a stored height too small to read on today's screens is raised.
QFont StyleFont(const MessageStyle& style);
// The edit writes in the style: font, text and background colour.
void ApplyStyle(QTextEdit* edit, const MessageStyle& style);

// The records as the history views show them: "name  time" ("%Y-%m-%d %H:%M:%S") over the
// text in its style, oldest first.
void ShowHistory(QTextBrowser* view, const QList<MessageRecord>& records, const QString& ownName,
                 const QString& peerName);

}  // namespace ov::shell
