#include "shell/core/message_text.h"

#include <algorithm>
#include <cstdio>

#include "common/text_escape.h"
#include "shell/core/cp936_text.h"

namespace ov::shell {
namespace {

constexpr char kHeaderStart[] = "<Font=FONT(\"";
constexpr qsizetype kHeaderStartSize = sizeof(kHeaderStart) - 1;  // 12
constexpr qsizetype kMaxFaceBytes = 31;

QByteArray Unescaped(QByteArrayView escaped) {
    return QByteArray::fromStdString(
        UnescapeText(std::string_view(escaped.data(), static_cast<size_t>(escaped.size()))));
}

QString FromWireText(QByteArrayView cp936) {
    QString text = FromCp936Bytes(cp936);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// The numbers after the face name, read as the scanning of the header's format does: each
// literal character must match, each number may have leading spaces and a sign. Returns how
// many numbers were read before the first mismatch.
int ScanNumbers(QByteArrayView in, int (&numbers)[10]) {
    static constexpr char kFormat[] = ",%d,%d,%d,%d);MsgClr=RGB(%d,%d,%d);BkClr=RGB(%d,%d,%d);>";
    qsizetype pos = 0;
    int count = 0;
    for (const char* f = kFormat; *f; ++f) {
        if (f[0] == '%' && f[1] == 'd') {
            ++f;
            while (pos < in.size() && (in[pos] == ' ' || in[pos] == '\t' || in[pos] == '\n' ||
                                       in[pos] == '\r' || in[pos] == '\v' || in[pos] == '\f'))
                ++pos;
            bool negative = false;
            if (pos < in.size() && (in[pos] == '-' || in[pos] == '+'))
                negative = in[pos++] == '-';
            if (pos >= in.size() || in[pos] < '0' || in[pos] > '9')
                return count;
            long long value = 0;
            while (pos < in.size() && in[pos] >= '0' && in[pos] <= '9') {
                if (value < 0x7FFFFFFF)
                    value = value * 10 + (in[pos] - '0');
                ++pos;
            }
            numbers[count++] = static_cast<int>(negative ? -value : value);
            continue;
        }
        if (pos >= in.size() || in[pos] != *f)
            return count;
        ++pos;
    }
    return count;
}

ColorRef Rgb(int r, int g, int b) {
    return static_cast<ColorRef>((r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16);
}

}  // namespace

MessageStyle SendStyle(const FontSetting& font, ColorRef text, ColorRef background) {
    MessageStyle style;
    style.face = font.faceName;
    style.height = font.height;
    style.bold = font.weight >= 700;
    style.italic = font.italic;
    style.underline = font.underline;
    style.text = text;
    style.background = background;
    return style;
}

QByteArray StyleHeader(const MessageStyle& s) {
    auto r = [](ColorRef c) { return static_cast<int>(c & 0xFF); };
    auto g = [](ColorRef c) { return static_cast<int>((c >> 8) & 0xFF); };
    auto b = [](ColorRef c) { return static_cast<int>((c >> 16) & 0xFF); };
    char numbers[160];
    std::snprintf(numbers, sizeof numbers,
                  ",%d,%d,%d,%d);MsgClr=RGB(%d,%d,%d);BkClr=RGB(%d,%d,%d);>", s.height,
                  s.bold ? 1 : 0, s.italic ? 1 : 0, s.underline ? 1 : 0, r(s.text), g(s.text),
                  b(s.text), r(s.background), g(s.background), b(s.background));
    return QByteArray(kHeaderStart) + ToCp936Bytes(s.face) + '"' + numbers;
}

QByteArray EscapedBody(const QString& text) {
    QString wire = text;
    wire.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    wire.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return QByteArray::fromStdString(EscapeText(ToCp936(wire)));
}

int EscapedLength(const QString& text) {
    return static_cast<int>(EscapedBody(text).size());
}

QByteArray ComposeMessage(const MessageStyle& style, const QString& text) {
    return StyleHeader(style) + EscapedBody(text);
}

QString UnescapedBody(QByteArrayView wire) {
    return FromWireText(Unescaped(wire));
}

ParsedMessage ParseMessage(QByteArrayView wire) {
    ParsedMessage parsed;
    parsed.body = UnescapedBody(wire);
    if (wire.isEmpty() || wire[0] != '<' || !wire.contains('>') ||
        !wire.startsWith(QByteArrayView(kHeaderStart, kHeaderStartSize)))
        return parsed;
    // The face ends at the next double quote; a longer name is cut, and the numbers are then
    // looked for inside it, where they are not found.
    qsizetype faceEnd = kHeaderStartSize;
    while (faceEnd < wire.size() && wire[faceEnd] != '"' &&
           faceEnd - kHeaderStartSize < kMaxFaceBytes)
        ++faceEnd;
    const QByteArrayView face = wire.sliced(kHeaderStartSize, faceEnd - kHeaderStartSize);
    qsizetype rest = faceEnd;
    if (rest < wire.size() && wire[rest] == '"')
        ++rest;
    int n[10] = {};
    if (ScanNumbers(wire.sliced(rest), n) != 10)
        return parsed;
    const qsizetype close = wire.indexOf('>', faceEnd);
    if (close < 0)
        return parsed;
    parsed.styled = true;
    parsed.style.face = FromCp936Bytes(face);
    parsed.style.height = n[0];
    parsed.style.bold = n[1] != 0;
    parsed.style.italic = n[2] != 0;
    parsed.style.underline = n[3] != 0;
    parsed.style.text = Rgb(n[4], n[5], n[6]);
    parsed.style.background = Rgb(n[7], n[8], n[9]);
    parsed.body = UnescapedBody(wire.sliced(close + 1));
    return parsed;
}

MessageRecord RecordOf(const ParsedMessage& message, qint32 kind, qint32 peer, qint32 time) {
    MessageRecord r;
    r.sFontFace = message.style.face;
    r.nFontSize = message.style.height;
    r.bBold = message.style.bold ? 1 : 0;
    r.bItalic = message.style.italic ? 1 : 0;
    r.bUnderline = message.style.underline ? 1 : 0;
    r.clrText = static_cast<qint32>(message.style.text);
    r.clrBackground = static_cast<qint32>(message.style.background);
    r.sText = message.body;
    r.nTime = time;
    r.nKind = kind;
    r.nPeerNumber = peer;
    return r;
}

MessageStyle StyleOf(const MessageRecord& r) {
    MessageStyle s;
    s.face = r.sFontFace;
    s.height = r.nFontSize;
    s.bold = r.bBold != 0;
    s.italic = r.bItalic != 0;
    s.underline = r.bUnderline != 0;
    s.text = static_cast<ColorRef>(r.clrText);
    s.background = static_cast<ColorRef>(r.clrBackground);
    return s;
}

std::optional<TextCut> OverLimitCut(const QString& text, int selectionEnd, int limit) {
    const int e = std::clamp(selectionEnd, 0, static_cast<int>(text.size()));
    auto lengthWithout = [&](int p) {
        return EscapedLength(QStringView(text).first(p).toString() +
                             QStringView(text).sliced(e).toString());
    };
    if (EscapedLength(text) <= limit || e == 0)
        return std::nullopt;
    int p = e - 1;
    for (;;) {
        const int excess = lengthWithout(p) - limit;
        if (excess <= 0 || p == 0)
            break;
        p -= excess > 4 ? excess / 2 : excess;
        if (p < 0)
            p = 0;
        // A line break goes whole (one written as "\r\n" in the text too).
        if (p > 0 && text[p - 1] == QLatin1Char('\r'))
            --p;
        if (p > 0 && text[p].isLowSurrogate())
            --p;
    }
    return TextCut{p, e};
}

}  // namespace ov::shell
