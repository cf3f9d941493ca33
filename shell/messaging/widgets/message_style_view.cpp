#include "shell/messaging/widgets/message_style_view.h"

#include <QDateTime>
#include <QPalette>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>
#include <cstdlib>

namespace ov::shell {

namespace {

constexpr int kSmallestPixels = 13;

}  // namespace

QColor ToColor(ColorRef c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

QFont StyleFont(const MessageStyle& style) {
    QFont font;
    if (!style.face.isEmpty())
        font.setFamilies({style.face, font.family()});
    font.setPixelSize(std::max(kSmallestPixels, std::abs(style.height)));
    font.setBold(style.bold);
    font.setItalic(style.italic);
    font.setUnderline(style.underline);
    return font;
}

void ApplyStyle(QTextEdit* edit, const MessageStyle& style) {
    edit->setFont(StyleFont(style));
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, ToColor(style.text));
    palette.setColor(QPalette::Base, ToColor(style.background));
    edit->setPalette(palette);
}

void ShowHistory(QTextBrowser* view, const QList<MessageRecord>& records, const QString& ownName,
                 const QString& peerName) {
    view->clear();
    QTextCursor cursor(view->document());
    QTextCharFormat heading;
    heading.setForeground(QColor(0x6B, 0x77, 0x85));
    for (const MessageRecord& r : records) {
        const bool own = r.nKind == kMessageSent;
        const QString when =
            QDateTime::fromSecsSinceEpoch(r.nTime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        heading.setForeground(own ? QColor(0x1F, 0x5F, 0xCC) : QColor(0x2E, 0x8B, 0x57));
        if (!cursor.atStart())
            cursor.insertBlock();
        cursor.insertText((own ? ownName : peerName) + QStringLiteral("  ") + when, heading);
        QTextCharFormat body;
        const MessageStyle style = StyleOf(r);
        body.setFont(StyleFont(style));
        body.setForeground(ToColor(style.text));
        cursor.insertBlock();
        cursor.insertText(r.sText, body);
    }
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
}

}  // namespace ov::shell
