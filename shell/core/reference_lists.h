// The reference lists of user information, read from the program's commdata/ directory at
// start-up: "agerange.dat", "language.dat" and "career.dat" hold records of a decimal number
// and a name, "location.dat" records of a hexadecimal code and two names. Records are
// separated by white space (code page 936 text, names without blanks); reading stops at the
// end of the file or at the first record that does not parse.
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace ov::shell {

inline constexpr char kLocationListFile[] = "location.dat";
inline constexpr char kAgeRangeListFile[] = "agerange.dat";
inline constexpr char kLanguageListFile[] = "language.dat";
inline constexpr char kCareerListFile[] = "career.dat";

struct ReferenceEntry {
    int code = 0;
    QString name;
    friend bool operator==(const ReferenceEntry&, const ReferenceEntry&) = default;
};

struct LocationEntry {
    quint32 code = 0;
    QString name;     // first name of the record (the region)
    QString subName;  // second name (the place within it)
    friend bool operator==(const LocationEntry&, const LocationEntry&) = default;
};

// "%d%s" records.
QList<ReferenceEntry> ParseReferenceList(QByteArrayView text);
// "%x%s%s" records.
QList<LocationEntry> ParseLocationList(QByteArrayView text);

class ReferenceLists {
public:
    // Reads all four files from the directory; loaded only when every one could be read.
    bool Load(const QString& commdataDirectory);
    bool Loaded() const { return loaded_; }

    const QList<LocationEntry>& Locations() const { return locations_; }
    const QList<ReferenceEntry>& AgeRanges() const { return ageRanges_; }
    const QList<ReferenceEntry>& Languages() const { return languages_; }
    const QList<ReferenceEntry>& Careers() const { return careers_; }

    std::optional<LocationEntry> FindLocation(quint32 code) const;
    // The location's names joined by a space, or "未知地区" for a code without an entry.
    QString LocationText(quint32 code) const;
    // The entry's name, or empty.
    static QString NameOf(const QList<ReferenceEntry>& list, int code);

private:
    bool loaded_ = false;
    QList<LocationEntry> locations_;
    QList<ReferenceEntry> ageRanges_;
    QList<ReferenceEntry> languages_;
    QList<ReferenceEntry> careers_;
};

}  // namespace ov::shell
