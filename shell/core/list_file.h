// "list.dat": the snapshot of a user's buddy tree and other-user lists. All integers 32-bit
// little-endian; "field" is a value scrambled with the user's key (field_scramble.h):
//
//   288                                  format (plain)
//   N, then N node records               plain count; each 148-byte record one field
//   M, then M entries                    plain count; each entry:
//     nPin, kind, flags                  4-byte fields
//     display name                       byte count (plain), code page 936 bytes as one field
//     icon                               4-byte field
//
// Anything that does not parse whole gives "not loaded", never a partial list.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>

#include "common/protocol/vocabulary.h"

namespace ov::shell {

constexpr qint32 kListFileFormat = 288;
constexpr int kBuddyNodeRecordSize = 148;

// The kernel's node followed by 48 bytes (12 words) of display state, as held in memory.
struct BuddyNodeRecord {
    OV_BUDDY_TREE_NODE node{};
    std::array<qint32, 12> display{};

    // A node as it arrives from the kernel: display words 0, 0, 0, ..., -1.
    static BuddyNodeRecord FromKernel(const OV_BUDDY_TREE_NODE& node);
    // The record's 148 bytes, and back (the size must be exactly 148). Text fields of the
    // node that lack their terminating zero get one in their last byte.
    QByteArray ToBytes() const;
    static bool FromBytes(QByteArrayView bytes, BuddyNodeRecord* record);
};

// Kinds of other-user entries.
enum OtherUserKind : qint32 {
    kOtherUserBlackList = 3,
};

struct OtherUserEntry {
    quint32 nPin = 0;
    QString displayName;
    qint32 kind = 0;
    qint32 flags = 0;
    qint32 icon = -1;  // -1 until known
    friend bool operator==(const OtherUserEntry&, const OtherUserEntry&) = default;
};

struct ListFileContent {
    QList<BuddyNodeRecord> nodes;
    QList<OtherUserEntry> others;
};

QByteArray EncodeListFile(const ListFileContent& content, const QString& userName);
// False (content untouched) for anything but a whole, well-formed file; bytes after the last
// entry are ignored.
bool DecodeListFile(QByteArrayView data, const QString& userName, ListFileContent* content);

bool SaveListFile(const QString& path, const ListFileContent& content, const QString& userName);
bool LoadListFile(const QString& path, const QString& userName, ListFileContent* content);

}  // namespace ov::shell
