// Feeds arbitrary bytes to every conversion as CP936, UTF-8 and UTF-16 and checks what must
// hold whatever the input: bounded sizes, well-formed output, and that a second round trip
// changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text/cp936.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool HasSurrogate(std::u16string_view s) {
    for (char16_t c : s) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// Well-formed UTF-16: every surrogate is part of a high-low pair.
bool IsWellFormed(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::u16string ReplaceLoneSurrogates(std::u16string_view s) {
    std::u16string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        bool high = out[i] >= 0xD800 && out[i] <= 0xDBFF;
        if (high && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;
        } else if (out[i] >= 0xD800 && out[i] <= 0xDFFF) {
            out[i] = 0xFFFD;
        }
    }
    return out;
}

void FuzzCp936(std::string_view bytes) {
    const std::u16string text = ov::Cp936ToUtf16(bytes);
    // Every CP936 character is one or two bytes and lies in the BMP; a bad byte is one U+FFFD.
    Check(text.size() <= bytes.size(), "CP936 decode grew");
    Check(!bytes.empty() || text.empty(), "CP936 decode of nothing");
    Check(bytes.empty() || !text.empty(), "CP936 decode lost everything");
    Check(!HasSurrogate(text), "CP936 decode produced a surrogate");

    const std::string encoded = ov::Utf16ToCp936(text);
    Check(encoded.size() <= 2 * text.size(), "CP936 encode grew");
    Check(text.empty() || !encoded.empty(), "CP936 encode lost everything");
    // What the encoder writes is valid CP936, so it decodes cleanly and re-encodes unchanged.
    const std::u16string again = ov::Cp936ToUtf16(encoded);
    Check(again.find(char16_t{0xFFFD}) == std::u16string::npos, "encoder wrote invalid CP936");
    Check(ov::Utf16ToCp936(again) == encoded, "CP936 round trip not stable");
    // Input that decoded without replacements comes back byte for byte.
    if (text.find(char16_t{0xFFFD}) == std::u16string::npos) {
        Check(encoded == bytes, "valid CP936 did not round-trip");
    }
    Check(ov::Cp936ToUtf8(bytes) == ov::Utf16ToUtf8(text), "CP936 to UTF-8 disagrees");
}

void FuzzUtf8(std::string_view bytes) {
    const std::u16string text = ov::Utf8ToUtf16(bytes);
    Check(text.size() <= bytes.size(), "UTF-8 decode grew");
    Check(IsWellFormed(text), "UTF-8 decode produced a lone surrogate");
    const std::string utf8 = ov::Utf16ToUtf8(text);
    Check(ov::Utf8ToUtf16(utf8) == text, "UTF-8 output is not well formed");
    if (text.find(char16_t{0xFFFD}) == std::u16string::npos) {
        Check(utf8 == bytes, "valid UTF-8 did not round-trip");
    }
    Check(ov::Utf8ToCp936(bytes) == ov::Utf16ToCp936(text), "UTF-8 to CP936 disagrees");
}

void FuzzUtf16(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    }
    const std::string utf8 = ov::Utf16ToUtf8(units);
    Check(utf8.size() <= 3 * units.size(), "UTF-16 encode grew");
    Check(ov::Utf8ToUtf16(utf8) == ReplaceLoneSurrogates(units), "UTF-16 round trip");

    const std::string gbk = ov::Utf16ToCp936(units);
    Check(gbk.size() <= 2 * units.size(), "CP936 encode grew");
    Check(units.empty() || !gbk.empty(), "CP936 encode lost everything");
    Check(ov::Cp936ToUtf16(gbk).find(char16_t{0xFFFD}) == std::u16string::npos,
          "encoder wrote invalid CP936");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FuzzCp936(bytes);
    FuzzUtf8(bytes);
    FuzzUtf16(bytes);
    return 0;
}
