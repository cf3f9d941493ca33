#include "shell/messaging/chat_protocol.h"

namespace ov::shell {

ChatLineText FormatChatLine(const QString& name, const QString& typed) {
    static const QString kMe = QStringLiteral("/me ");
    if (typed.size() > kMe.size() && typed.startsWith(kMe))
        return {true, QStringLiteral("* %1 %2").arg(name, typed.mid(kMe.size()))};
    return {false, QStringLiteral("<%1> %2").arg(name, typed)};
}

std::optional<ChatPendingLines::Line> ChatPendingLines::Acknowledge(qint32 number) {
    for (qsizetype i = lines_.size() - 1; i >= 0; --i)
        if (lines_[i].number == number)
            return lines_.takeAt(i);
    return std::nullopt;
}

std::optional<ChatPendingLines::Line> ChatPendingLines::Fail(long seq) {
    for (qsizetype i = 0; i < lines_.size(); ++i)
        if (seq != 0 && lines_[i].seq == seq)
            return lines_.takeAt(i);
    return std::nullopt;
}

void ChatPendingLines::Delivered(long seq) {
    for (Line& line : lines_)
        if (line.seq == seq)
            line.seq = 0;
}

QList<qint32> ChatPendingLines::Numbers() const {
    QList<qint32> numbers;
    for (const Line& line : lines_)
        numbers << line.number;
    return numbers;
}

}  // namespace ov::shell
