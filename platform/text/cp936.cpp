#include "platform/text/cp936.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <mutex>

namespace ov {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// glibc knows code page 936 as "GBK" with "CP936" as an alias; other C libraries may only
// carry one of the two names.
constexpr const char* kCp936Names[] = {"CP936", "GBK"};
// Explicit byte order: plain "UTF-16" would add a byte order mark.
constexpr const char* kUtf16Name =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

iconv_t OpenCp936(bool to_cp936) {
    for (const char* name : kCp936Names) {
        iconv_t cd = to_cp936 ? iconv_open(name, kUtf16Name) : iconv_open(kUtf16Name, name);
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            return cd;
        }
    }
    static std::once_flag warned;
    std::call_once(warned, [] {
        std::fprintf(stderr,
                     "orvane: iconv cannot convert code page 936; only ASCII text converts\n");
    });
    return reinterpret_cast<iconv_t>(-1);
}

// An iconv_t carries conversion state and must not be used by two threads at once, so every
// thread keeps its own pair, opened on first use and closed when the thread ends.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        Close(to_cp936_);
        Close(from_cp936_);
    }

    // Returns (iconv_t)-1 when code page 936 is unavailable.
    iconv_t Get(bool to_cp936) {
        iconv_t& cd = to_cp936 ? to_cp936_ : from_cp936_;
        bool& tried = to_cp936 ? tried_to_ : tried_from_;
        if (!tried) {
            tried = true;
            cd = OpenCp936(to_cp936);
        }
        if (Valid(cd)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        }
        return cd;
    }

    static bool Valid(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

private:
    static void Close(iconv_t cd) {
        if (Valid(cd)) {
            iconv_close(cd);
        }
    }

    iconv_t to_cp936_ = reinterpret_cast<iconv_t>(-1);
    iconv_t from_cp936_ = reinterpret_cast<iconv_t>(-1);
    bool tried_to_ = false;
    bool tried_from_ = false;
};

Converters& ThreadConverters() {
    thread_local Converters converters;
    return converters;
}

// Number of UTF-16 units of the code point starting at text[i] (2 for a whole surrogate pair).
size_t CodePointUnits(std::u16string_view text, size_t i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        return 2;
    }
    return 1;
}

}  // namespace

std::string Utf16ToCp936(std::u16string_view text) {
    std::string out;
    iconv_t cd = ThreadConverters().Get(true);
    if (!Converters::Valid(cd)) {
        for (size_t i = 0; i < text.size(); i += CodePointUnits(text, i)) {
            out.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
        }
        return out;
    }

    // Most text is ASCII or two bytes per unit; grow on E2BIG for the rest.
    out.resize(text.size() * 2 + 16);
    size_t produced = 0;
    auto* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t in_left = text.size() * sizeof(char16_t);
    while (in_left > 0) {
        char* dst = out.data() + produced;
        size_t out_left = out.size() - produced;
        size_t rc = iconv(cd, &in, &in_left, &dst, &out_left);
        int err = errno;
        produced = out.size() - out_left;
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (err == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ: a character CP936 lacks, or a lone surrogate. EINVAL: a high surrogate at
        // the very end. Either way one '?' stands for the code point and conversion goes on.
        size_t at = text.size() - in_left / sizeof(char16_t);
        size_t skip = CodePointUnits(text, at);
        if (produced == out.size()) {
            out.resize(out.size() * 2);
        }
        out[produced++] = '?';
        in += skip * sizeof(char16_t);
        in_left -= skip * sizeof(char16_t);
    }
    out.resize(produced);
    return out;
}

std::u16string Cp936ToUtf16(std::string_view bytes) {
    std::u16string out;
    iconv_t cd = ThreadConverters().Get(false);
    if (!Converters::Valid(cd)) {
        for (char c : bytes) {
            auto b = static_cast<unsigned char>(c);
            out.push_back(b < 0x80 ? char16_t{b} : kReplacement);
        }
        return out;
    }

    // Code page 936 never yields more UTF-16 units than it has bytes.
    out.resize(bytes.size());
    size_t produced = 0;  // in UTF-16 units
    auto* in = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    while (in_left > 0) {
        char* dst = reinterpret_cast<char*>(out.data() + produced);
        size_t out_left = (out.size() - produced) * sizeof(char16_t);
        size_t rc = iconv(cd, &in, &in_left, &dst, &out_left);
        int err = errno;
        produced = out.size() - out_left / sizeof(char16_t);
        if (rc != static_cast<size_t>(-1)) {
            break;
        }
        if (err == E2BIG) {
            // Not expected given the sizing above, but a converter is free to disagree.
            out.resize(out.size() * 2 + 2);
            continue;
        }
        // EILSEQ or EINVAL (sequence cut off by the end): the offending byte becomes U+FFFD
        // and decoding resumes at the next byte, which may itself start a valid character.
        if (produced == out.size()) {
            out.resize(out.size() * 2 + 2);
        }
        out[produced++] = kReplacement;
        ++in;
        --in_left;
    }
    out.resize(produced);
    return out;
}

std::string Utf8ToCp936(std::string_view text) {
    return Utf16ToCp936(Utf8ToUtf16(text));
}

std::string Cp936ToUtf8(std::string_view bytes) {
    return Utf16ToUtf8(Cp936ToUtf16(bytes));
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const size_t n = text.size();
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    auto is_cont = [&](size_t i) { return i < n && (byte(i) & 0xC0) == 0x80; };

    size_t i = 0;
    while (i < n) {
        const unsigned char b0 = byte(i);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        // Sequence length and the allowed range of the second byte, which is where overlong
        // forms, encoded surrogates and values above U+10FFFF are ruled out.
        size_t len = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            len = 3;
            if (b0 == 0xE0) {
                lo = 0xA0;
            } else if (b0 == 0xED) {
                hi = 0x9F;
            }
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            len = 4;
            if (b0 == 0xF0) {
                lo = 0x90;
            } else if (b0 == 0xF4) {
                hi = 0x8F;
            }
        }
        bool ok = len != 0 && i + 1 < n && byte(i + 1) >= lo && byte(i + 1) <= hi;
        for (size_t k = 2; ok && k < len; ++k) {
            ok = is_cont(i + k);
        }
        if (!ok) {
            out.push_back(kReplacement);
            ++i;  // one replacement per bad byte; resynchronise on the next one
            continue;
        }
        char32_t cp = b0 & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) {
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = kReplacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

}  // namespace ov
