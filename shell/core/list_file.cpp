#include "shell/core/list_file.h"

#include <QtEndian>
#include <cstring>

#include "shell/core/archive_stream.h"
#include "shell/core/cp936_text.h"
#include "shell/core/field_scramble.h"
#include "shell/core/private_files.h"

namespace ov::shell {

namespace {

constexpr int kNodeSize = sizeof(OV_BUDDY_TREE_NODE);
static_assert(kNodeSize + 12 * 4 == kBuddyNodeRecordSize);

// The least an other-user entry takes in the file: five 4-byte values and an empty name.
constexpr qsizetype kMinOtherUserEntrySize = 5 * 4;

template <size_t N>
void Terminate(char (&text)[N]) {
    text[N - 1] = '\0';
}

}  // namespace

BuddyNodeRecord BuddyNodeRecord::FromKernel(const OV_BUDDY_TREE_NODE& node) {
    BuddyNodeRecord record;
    record.node = node;
    record.display.back() = -1;
    return record;
}

QByteArray BuddyNodeRecord::ToBytes() const {
    QByteArray bytes(kBuddyNodeRecordSize, '\0');
    std::memcpy(bytes.data(), &node, kNodeSize);
    for (size_t i = 0; i < display.size(); ++i)
        qToLittleEndian(display[i], bytes.data() + kNodeSize + 4 * i);
    return bytes;
}

bool BuddyNodeRecord::FromBytes(QByteArrayView bytes, BuddyNodeRecord* record) {
    if (bytes.size() != kBuddyNodeRecordSize)
        return false;
    BuddyNodeRecord out;
    std::memcpy(&out.node, bytes.data(), kNodeSize);
    Terminate(out.node.sDisplayName);
    Terminate(out.node.sUserName);
    Terminate(out.node.sNickName);
    for (size_t i = 0; i < out.display.size(); ++i)
        out.display[i] = qFromLittleEndian<qint32>(bytes.data() + kNodeSize + 4 * i);
    *record = out;
    return true;
}

QByteArray EncodeListFile(const ListFileContent& content, const QString& userName) {
    const QByteArray key = ScrambleKey(userName);
    ArchiveWriter out;
    out.Int32(kListFileFormat);
    out.Int32(static_cast<qint32>(content.nodes.size()));
    for (const BuddyNodeRecord& node : content.nodes)
        out.Bytes(ScrambledField(node.ToBytes(), key));
    out.Int32(static_cast<qint32>(content.others.size()));
    for (const OtherUserEntry& entry : content.others) {
        out.ScrambledInt32(static_cast<qint32>(entry.nPin), key);
        out.ScrambledInt32(entry.kind, key);
        out.ScrambledInt32(entry.flags, key);
        out.ScrambledString(ToCp936Bytes(entry.displayName), key);
        out.ScrambledInt32(entry.icon, key);
    }
    return out.Data();
}

bool DecodeListFile(QByteArrayView data, const QString& userName, ListFileContent* content) {
    const QByteArray key = ScrambleKey(userName);
    ArchiveReader in(data);
    if (in.Int32() != kListFileFormat)
        return false;
    ListFileContent out;
    // Counts are checked against the bytes left before anything is reserved.
    const qint32 nodes = in.Int32();
    if (!in.Ok() || nodes < 0 || nodes > in.Remaining() / kBuddyNodeRecordSize)
        return false;
    out.nodes.reserve(nodes);
    for (qint32 i = 0; i < nodes; ++i) {
        BuddyNodeRecord record;
        if (!BuddyNodeRecord::FromBytes(ScrambledField(in.Bytes(kBuddyNodeRecordSize), key),
                                        &record))
            return false;
        out.nodes.append(record);
    }
    const qint32 others = in.Int32();
    if (!in.Ok() || others < 0 || others > in.Remaining() / kMinOtherUserEntrySize)
        return false;
    out.others.reserve(others);
    for (qint32 i = 0; i < others; ++i) {
        OtherUserEntry entry;
        entry.nPin = static_cast<quint32>(in.ScrambledInt32(key));
        entry.kind = in.ScrambledInt32(key);
        entry.flags = in.ScrambledInt32(key);
        entry.displayName = FromCp936Bytes(in.ScrambledString(key));
        entry.icon = in.ScrambledInt32(key);
        if (!in.Ok())
            return false;
        out.others.append(entry);
    }
    *content = std::move(out);
    return true;
}

bool SaveListFile(const QString& path, const ListFileContent& content, const QString& userName) {
    return WritePrivateFile(path, EncodeListFile(content, userName));
}

bool LoadListFile(const QString& path, const QString& userName, ListFileContent* content) {
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    return bytes && DecodeListFile(*bytes, userName, content);
}

}  // namespace ov::shell
