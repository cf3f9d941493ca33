#include "shell/core/reference_lists.h"

#include <algorithm>
#include <climits>

#include "shell/core/cp936_text.h"
#include "shell/core/private_files.h"

namespace ov::shell {

namespace {

// The reference lists are small; anything larger is not one.
constexpr qint64 kMaxListFileSize = 4 * 1024 * 1024;

// Reads the text the way the C library's scanf reads "%d", "%x" and "%s".
class Scanner {
public:
    explicit Scanner(QByteArrayView text) : text_(text) {}

    bool Decimal(int* value) { return Number(10, value); }
    bool Hex(quint32* value) {
        int number = 0;
        if (!Number(16, &number))
            return false;
        *value = static_cast<quint32>(number);
        return true;
    }
    bool Word(QString* word) {
        SkipSpace();
        const qsizetype start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_]))
            ++pos_;
        if (pos_ == start)
            return false;
        *word = FromCp936Bytes(text_.sliced(start, pos_ - start));
        return true;
    }

private:
    static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    static int DigitValue(char c, int base) {
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        return v < base ? v : -1;
    }
    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            ++pos_;
    }
    bool Number(int base, int* value) {
        SkipSpace();
        qsizetype p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-'))
            negative = text_[p++] == '-';
        if (base == 16 && p + 2 < text_.size() && text_[p] == '0' &&
            (text_[p + 1] == 'x' || text_[p + 1] == 'X') && DigitValue(text_[p + 2], 16) >= 0)
            p += 2;  // "0x" before the digits
        qint64 magnitude = 0;
        const qsizetype digits = p;
        for (int d; p < text_.size() && (d = DigitValue(text_[p], base)) >= 0; ++p)
            magnitude = std::min<qint64>(magnitude * base + d, qint64{UINT_MAX});
        if (p == digits)
            return false;
        pos_ = p;
        // A hexadecimal code fills all 32 bits; a decimal number is clamped to int.
        const qint64 signedValue = negative ? -magnitude : magnitude;
        *value = base == 16 ? static_cast<int>(static_cast<quint32>(signedValue))
                            : static_cast<int>(std::clamp<qint64>(signedValue, INT_MIN, INT_MAX));
        return true;
    }

    QByteArrayView text_;
    qsizetype pos_ = 0;
};

bool ReadList(const QString& path, QByteArray* text) {
    std::optional<QByteArray> bytes = ReadWholeFile(path, kMaxListFileSize);
    if (!bytes)
        return false;
    *text = std::move(*bytes);
    return true;
}

}  // namespace

QList<ReferenceEntry> ParseReferenceList(QByteArrayView text) {
    QList<ReferenceEntry> list;
    Scanner scanner(text);
    ReferenceEntry entry;
    while (scanner.Decimal(&entry.code) && scanner.Word(&entry.name))
        list.append(entry);
    return list;
}

QList<LocationEntry> ParseLocationList(QByteArrayView text) {
    QList<LocationEntry> list;
    Scanner scanner(text);
    LocationEntry entry;
    while (scanner.Hex(&entry.code) && scanner.Word(&entry.name) && scanner.Word(&entry.subName))
        list.append(entry);
    return list;
}

bool ReferenceLists::Load(const QString& commdataDirectory) {
    *this = ReferenceLists();
    const auto path = [&commdataDirectory](const char* name) {
        return commdataDirectory + u'/' + QLatin1String(name);
    };
    QByteArray location, ageRange, language, career;
    if (!ReadList(path(kLocationListFile), &location) ||
        !ReadList(path(kAgeRangeListFile), &ageRange) ||
        !ReadList(path(kLanguageListFile), &language) || !ReadList(path(kCareerListFile), &career))
        return false;
    locations_ = ParseLocationList(location);
    ageRanges_ = ParseReferenceList(ageRange);
    languages_ = ParseReferenceList(language);
    careers_ = ParseReferenceList(career);
    loaded_ = true;
    return true;
}

std::optional<LocationEntry> ReferenceLists::FindLocation(quint32 code) const {
    for (const LocationEntry& entry : locations_) {
        if (entry.code == code)
            return entry;
    }
    return std::nullopt;
}

QString ReferenceLists::LocationText(quint32 code) const {
    const std::optional<LocationEntry> entry = FindLocation(code);
    if (!entry)
        return QStringLiteral("未知地区");
    return entry->name + u' ' + entry->subName;
}

QString ReferenceLists::NameOf(const QList<ReferenceEntry>& list, int code) {
    for (const ReferenceEntry& entry : list) {
        if (entry.code == code)
            return entry.name;
    }
    return {};
}

}  // namespace ov::shell
