#include "tools/console/console_line.h"

#include <charconv>

#include "common/byte_array_variant.h"
#include "platform/com/bstr.h"
#include "platform/text/cp936.h"

namespace ov::console {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseNumber(std::string_view word, int64_t* out) {
    bool negative = !word.empty() && word[0] == '-';
    if (negative)
        word.remove_prefix(1);
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
    }
    uint64_t v = 0;
    auto r = std::from_chars(word.data(), word.data() + word.size(), v, base);
    if (word.empty() || r.ec != std::errc() || r.ptr != word.data() + word.size())
        return false;
    *out = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

bool ParseWord(std::string_view word, Token* t, std::string* error) {
    if (word == "null") {
        t->kind = Token::Kind::Null;
        return true;
    }
    if (word.substr(0, 4) == "hex:") {
        std::string_view digits = word.substr(4);
        if (digits.size() % 2 != 0) {
            *error = "odd number of hex digits";
            return false;
        }
        t->kind = Token::Kind::Hex;
        for (size_t i = 0; i < digits.size(); i += 2) {
            int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
            if (hi < 0 || lo < 0) {
                *error = "bad hex digit";
                return false;
            }
            t->bytes += static_cast<char>(hi * 16 + lo);
        }
        return true;
    }
    t->kind = Token::Kind::Number;
    if (!ParseNumber(word, &t->number)) {
        *error = "not a number: " + std::string(word);
        return false;
    }
    return true;
}

}  // namespace

bool ParseLine(std::string_view text, Line* line, std::string* error) {
    *line = Line{};
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r'))
            ++i;
    };
    skipBlanks();
    if (i == text.size() || text[i] == '#')
        return true;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r')
        ++i;
    line->name = std::string(text.substr(start, i - start));
    for (;;) {
        skipBlanks();
        if (i == text.size())
            return true;
        Token t;
        if (text[i] == '"') {
            t.kind = Token::Kind::Text;
            ++i;
            for (;;) {
                if (i == text.size()) {
                    *error = "unterminated text";
                    return false;
                }
                char c = text[i++];
                if (c == '"')
                    break;
                if (c != '\\') {
                    t.text += c;
                    continue;
                }
                if (i == text.size()) {
                    *error = "unterminated text";
                    return false;
                }
                char e = text[i++];
                if (e == 'n')
                    t.text += '\n';
                else if (e == '"' || e == '\\')
                    t.text += e;
                else {
                    *error = std::string("unknown escape \\") + e;
                    return false;
                }
            }
        } else {
            size_t s = i;
            while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r')
                ++i;
            if (!ParseWord(text.substr(s, i - s), &t, error))
                return false;
        }
        line->args.push_back(std::move(t));
    }
}

bool ToArgument(char kind, const Token& token, Variant* out, std::string* error) {
    switch (kind) {
        case 'L':
            if (token.kind != Token::Kind::Number || token.number < INT32_MIN ||
                token.number > UINT32_MAX) {
                *error = "expected a number";
                return false;
            }
            *out = Variant::Long(static_cast<LONG>(static_cast<uint32_t>(token.number)));
            return true;
        case 'S':
            if (token.kind == Token::Kind::Null) {
                *out = Variant::NullString();
            } else if (token.kind == Token::Kind::Text) {
                *out = Variant::String(ov::Utf8ToUtf16(token.text));
            } else {
                *error = "expected a quoted text or null";
                return false;
            }
            return true;
        case 'V': {
            std::string bytes;
            if (token.kind == Token::Kind::Hex)
                bytes = token.bytes;
            else if (token.kind == Token::Kind::Text)
                bytes = ov::Utf8ToCp936(token.text);
            else {
                *error = "expected hex: bytes or a quoted text";
                return false;
            }
            CByteArrayVariant array(bytes);
            VARIANT raw;
            VariantInit(&raw);
            array.Detach(&raw);
            out->Attach(&raw);
            return true;
        }
        default:
            *error = "this member cannot be called from the console";
            return false;
    }
}

std::string HexOf(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

namespace {
std::string Quote(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}
}  // namespace

std::string FormatValue(const VARIANT& v) {
    switch (v.vt) {
        case VT_I4:
            return std::to_string(v.lVal);
        case VT_I2:
            return std::to_string(v.iVal);
        case VT_BOOL:
            return v.boolVal ? "-1" : "0";
        case VT_UI4:
            return std::to_string(v.ulVal);
        case VT_BSTR:
            return v.bstrVal ? Quote(BstrToUtf8(v.bstrVal)) : "null";
        case VT_EMPTY:
            return "";
        case VT_ARRAY | VT_UI1:
            return "hex:" + HexOf(CByteArrayVariant(v).View());
        default:
            return "?";
    }
}

}  // namespace ov::console
