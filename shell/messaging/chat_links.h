// What can be clicked in a chat line: a "<name>" span (a user) and links that start with a
// known prefix ("http://", "www.", "mailto:", ...), with the address a click opens.
//
//   if (auto link = LinkAt(line, column)) launcher->OpenUrl(LinkTarget(line.mid(link->start,
//   link->length))); if (auto name = NameSpanAt(line, column)) ...the user between the angle
//   brackets...
#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace ov::shell {

struct TextSpan {
    int start = 0;
    int length = 0;
    bool Contains(int pos) const { return pos >= start && pos < start + length; }
    friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

// The "<...>" span (brackets included) that holds pos; none when pos is outside one.
std::optional<TextSpan> NameSpanAt(const QString& line, int pos);

// Every link of the line in the order of its text; a link inside a longer one ("www." after
// "http://") is not listed again.
QList<TextSpan> FindLinks(const QString& line);
// The link that holds pos.
std::optional<TextSpan> LinkAt(const QString& line, int pos);

// The address to open: "http://" before "www." and "bbs.", "ftp://" before "ftp.".
QString LinkTarget(const QString& link);

}  // namespace ov::shell
