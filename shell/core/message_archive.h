// MessageArchive: every text message sent to or received from another user, one file per
// other user ("<number>.msg" in the user's directory), read on first use and kept.
//
//   MessageArchive archive;
//   archive.Open(directory, userName, [&](int code, qint32 number) { ... });   // at login
//   archive.Add(record);                     // appended to record.nPeerNumber's file
//   QList<MessageRecord> list;
//   archive.Get(10001, &list);               // appends copies, file order
//   archive.Remove(10001, time);             // the first record of that time
//   archive.Close();                         // at logout
//
// A file holds 288, the record count and the records (message_record.h), 32-bit little-endian.
// Adding appends the record and then writes the new count in place: a write cut short leaves
// the old count over whole records, and the next append first cuts the file back to the end
// of the last counted record. A file that must be rewritten (a removal, a foreign format) is
// written to a temporary file that is renamed over the old one.
//
// The observer is told code 11 (kArchiveNumbers) when a number enters or leaves the archive and
// code 10 (kArchiveMessages) when a number's messages changed; it is called after the lock is
// released. All members are safe from any thread.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMutex>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "shell/core/message_record.h"

namespace ov::shell {

enum MessageArchiveEvent : int {
    kArchiveMessages = 10,  // the number's messages changed
    kArchiveNumbers = 11,   // a number entered or left the archive
};

constexpr qint32 kMessageFileFormat = 288;
// The peer number of system messages.
constexpr qint32 kSystemMessagePeer = 2000;

// One record found by a search, with the number of the file it is in.
struct ArchiveHit {
    qint32 number = 0;
    MessageRecord record;
};

// A ".msg" file's bytes, read: whether the format number was 288, the records that read whole
// (at most the count), whether all counted records did, and where the last of them ends.
struct MessageArchiveContent {
    bool format = false;
    bool whole = false;
    QList<MessageRecord> records;
    qint64 end = 0;
};
MessageArchiveContent DecodeMessageFile(QByteArrayView data, const QByteArray& key);
QByteArray EncodeMessageFile(const QList<MessageRecord>& records, const QByteArray& key);

class MessageArchive {
public:
    using Observer = std::function<void(int code, qint32 number)>;

    MessageArchive();
    ~MessageArchive();
    MessageArchive(const MessageArchive&) = delete;
    MessageArchive& operator=(const MessageArchive&) = delete;

    // Lists the directory's "*.msg" files (numbers known, lists not yet read) and "*.cht"
    // files (read into the chat table). userName keys the scrambled fields.
    void Open(const QString& directory, const QString& userName, Observer observer = {});
    // Forgets everything (the files stay).
    void Close();
    bool IsOpen() const;

    // Appends to the record's peer number; false when the file could not be written (the
    // record stays in memory for this session).
    bool Add(const MessageRecord& record);
    // Appends copies of the number's records in file order; nothing for an unknown number.
    void Get(qint32 number, QList<MessageRecord>* list);
    // Removes the first record of the number with that time: 1 when removed, else 0. The last
    // record's removal deletes the file and the number leaves the archive.
    int Remove(qint32 number, qint32 time);
    // Every number that has an archive.
    QList<qint32> Numbers() const;
    // The records whose text contains text (case-insensitive), from every number, newest
    // first; at most limit of them (0: all).
    QList<ArchiveHit> Search(const QString& text, qsizetype limit = 0);

    // What a "<number>.cht" file held: two integers and a text.
    struct ChatEntry {
        qint32 value1 = 0;
        qint32 value2 = 0;
        QString text;
    };
    QList<qint32> ChatNumbers() const;
    std::optional<ChatEntry> Chat(qint32 number) const;

private:
    struct List;
    // With mutex_ held: the number's list, read from its file on first use; null when the
    // number is not in the archive.
    List* Loaded(qint32 number);
    QString FilePath(qint32 number) const;
    bool Append(qint32 number, List* list, const MessageRecord& record);
    bool WriteWhole(qint32 number, List* list);
    // Without the lock.
    void Tell(const std::vector<std::pair<int, qint32>>& told);

    mutable QMutex mutex_;  // guards every member below, held for each whole operation
    QString directory_;
    QByteArray key_;
    Observer observer_;
    std::map<qint32, std::unique_ptr<List>> lists_;  // null until the number's file is read
    std::map<qint32, ChatEntry> chats_;
    bool open_ = false;
};

}  // namespace ov::shell
