#include "shell/core/key_file_lines.h"

#include <QFileInfo>
#include <algorithm>
#include <climits>

#include "common/config/config_values.h"
#include "common/config/ovdb_codec.h"
#include "common/text_escape.h"
#include "shell/core/cp936_text.h"
#include "shell/core/private_files.h"
#include "shell/core/user_settings.h"

namespace ov::shell {

void KeyFileLines::Section(const char* name) {
    lines_.push_back(std::string("[") + name + "]");
}

void KeyFileLines::Raw(const char* key, std::string value) {
    lines_.push_back(std::string(key) + " = " + value);
}

void KeyFileLines::Int(const char* key, int value) {
    Raw(key, std::to_string(value));
}

void KeyFileLines::Bool(const char* key, bool value) {
    Raw(key, ov::config::FormatBool(value));
}

namespace {

// The value's characters in code page 936, each passed through transform, for as many whole
// characters as fit in room bytes.
template <typename Transform>
std::string FitCharacters(const QString& value, size_t room, Transform transform) {
    std::string out;
    for (qsizetype i = 0; i < value.size();) {
        const qsizetype length =
            value[i].isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate() ? 2
                                                                                                : 1;
        const std::string piece = transform(ToCp936(value.sliced(i, length)));
        if (out.size() + piece.size() > room)
            break;
        out += piece;
        i += length;
    }
    return out;
}

size_t RoomFor(const char* key) {
    const size_t used = std::char_traits<char>::length(key) + 3;  // key and " = "
    return used < KeyFileLines::kMaxLine ? KeyFileLines::kMaxLine - used : 0;
}

}  // namespace

void KeyFileLines::String(const char* key, const QString& value) {
    QString line = value;
    line.remove(u'\n').remove(u'\r').remove(QChar(0));
    Raw(key, FitCharacters(line, RoomFor(key), [](std::string piece) { return piece; }));
}

void KeyFileLines::EscapedString(const char* key, const QString& value) {
    Raw(key, FitCharacters(value, RoomFor(key),
                           [](const std::string& piece) { return ov::EscapeText(piece); }));
}

void KeyFileLines::Color(const char* key, COLORREF value) {
    Raw(key, ov::config::FormatColor(value));
}

void KeyFileLines::Rect(const char* key, const QRect& value) {
    Raw(key, ov::config::FormatRect(ToRect(value)));
}

void KeyFileLines::Font(const char* key, const FontSetting& value) {
    LOGFONT font{};
    font.lfHeight = value.height;
    font.lfWeight = value.weight;
    font.lfItalic = value.italic;
    font.lfUnderline = value.underline;
    font.lfCharSet = static_cast<BYTE>(value.charSet);
    // The face name ends at a quote and holds at most 31 bytes, cut at a whole character.
    QString face = value.faceName;
    face.remove(u'"').remove(u'\n').remove(u'\r').remove(QChar(0));
    std::string bytes = ToCp936(face);
    while (bytes.size() > LF_FACESIZE - 1) {
        face.chop(1);
        bytes = ToCp936(face);
    }
    std::copy(bytes.begin(), bytes.end(), font.lfFaceName);
    Raw(key, ov::config::FormatFont(font));
}

bool KeyFileLines::Save(const QString& path, bool scrambled) const {
    std::string data;
    if (scrambled) {
        if (!ov::config::EncodeScrambled(lines_, &data))
            return false;
    } else {
        for (const std::string& line : lines_) {
            data += line;
            data += '\n';
        }
    }
    return MakePrivateDirectory(QFileInfo(path).absolutePath()) &&
           WritePrivateFile(path, QByteArrayView(data.data(), static_cast<qsizetype>(data.size())));
}

RECT ToRect(const QRect& rect) {
    return RECT{rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

QRect FromRect(const RECT& rect) {
    const auto span = [](LONG from, LONG to) {
        return static_cast<int>(std::clamp<qint64>(qint64{to} - from, 0, INT_MAX / 2));
    };
    const int left = std::clamp<LONG>(rect.left, INT_MIN / 2, INT_MAX / 2);
    const int top = std::clamp<LONG>(rect.top, INT_MIN / 2, INT_MAX / 2);
    return QRect(QPoint(left, top),
                 QSize(span(rect.left, rect.right), span(rect.top, rect.bottom)));
}

}  // namespace ov::shell
