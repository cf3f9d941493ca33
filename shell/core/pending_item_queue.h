// The pending-item queue: what waits for the user's attention (unread messages, file offers,
// add-buddy requests, chat requests), kept across restarts in "Remind.dat" of the user's
// directory.
//
//   PendingItemQueue queue(clock);
//   QObject::connect(&queue, &PendingItemQueue::Changed, frame, &Frame::OnPendingChanged);
//   queue.SetDirectory(userDirectory);           // at login: the user's reminders
//   queue.Add(PendingItem::Message(sender, record));
//   std::optional<PendingItem> next = queue.Take(0, 0, true);   // any kind, any number
//   queue.Tick();                                 // every second
//
// Changed(kind, number) is never emitted from inside a call to the queue: each change is
// posted to the queue's thread and emitted from its event loop, as a posted window message
// was, so a receiver may call back into the queue and never runs under one of its locks.
// A change of several items reports kind 0 and number 0.
//
// "Remind.dat" (32-bit little-endian integers): 256; the count of reminding items; for each in
// queue order kind, number, time, priority (plain), then the payload: kind 3 a MessageRecord
// in its file layout (scrambled with the user's name); kind 4 a text and two integers; kind 5
// two texts and an integer; kind 10 a text and an integer (texts in the framework's string
// format, code page 936, not scrambled). Items of other kinds carry no payload.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <initializer_list>
#include <mutex>
#include <optional>

#include "shell/core/clock.h"
#include "shell/core/message_record.h"

namespace ov::shell {

enum PendingItemKind : qint32 {
    kPendingMessage = 3,       // a text message (MessageRecord)
    kPendingFileOffer = 4,     // text, two integers
    kPendingBuddyRequest = 5,  // two texts, an integer
    kPendingChatRequest = 10,  // text, an integer
};

constexpr qint32 kRemindFileFormat = 256;

struct PendingItem {
    qint32 nKind = 0;
    qint32 nNumber = 0;    // the user the item is about
    qint32 nTime = 0;      // creation time, seconds since 1970; 0: stamped by Add
    qint32 nPriority = 0;  // higher is taken first
    bool bRemind = false;  // kept in "Remind.dat"
    qint32 nLifetime = 0;  // ticks left; 0 never expires

    // Payload. Kind 3: message. Kinds 4, 5, 10: the texts and integers in file order
    // (kind 4: text, value1, value2; kind 5: text, text2, value1; kind 10: text, value1).
    MessageRecord message;
    QString text;
    QString text2;
    qint32 value1 = 0;
    qint32 value2 = 0;

    // The kinds with the priority and remind flag of their constructors.
    static PendingItem Message(qint32 number, const MessageRecord& message);  // 3, 3, remind
    static PendingItem FileOffer(qint32 number, const QString& text, qint32 value1,
                                 qint32 value2);  // 4, 5
    static PendingItem BuddyRequest(qint32 number, const QString& text, const QString& text2,
                                    qint32 value1);                                     // 5, 7
    static PendingItem ChatRequest(qint32 number, const QString& text, qint32 value1);  // 10, 5

    friend bool operator==(const PendingItem&, const PendingItem&) = default;
};

// The file form of the reminding items, and back. Decoding gives false (items untouched) for
// anything but a whole file; loaded items have the remind flag and lifetime 0.
QByteArray EncodeRemindFile(const QList<PendingItem>& items, const QString& userName);
bool DecodeRemindFile(QByteArrayView data, const QString& userName, QList<PendingItem>* items);

class PendingItemQueue final : public QObject {
    Q_OBJECT

public:
    explicit PendingItemQueue(SecondsClock clock = SystemSecondsClock(), QObject* parent = nullptr);
    ~PendingItemQueue() override;

    // Appends a copy unless its kind is blocked; an item without a time gets the clock's.
    // Writes "Remind.dat" when the item has the remind flag. Changed(kind, number).
    void Add(const PendingItem& item);

    // Of the items matching kind and number (0 = any), the highest priority, the first in
    // queue order among equals. A copy becomes the current item. With remove the item leaves
    // the queue (Changed; "Remind.dat" rewritten for a reminding item).
    std::optional<PendingItem> Take(qint32 kind, qint32 number, bool remove);
    // As Take, with the kind one of kinds.
    std::optional<PendingItem> TakeOfKinds(bool remove, qint32 number,
                                           std::initializer_list<qint32> kinds);
    std::optional<PendingItem> TakeOfKinds(bool remove, qint32 number, const QList<qint32>& kinds);
    // The item last taken.
    std::optional<PendingItem> Current() const;

    // The periodic step: lifetime 1 expires, larger lifetimes count down, 0 stays. Changed(0,0)
    // when anything expired.
    void Tick();

    // At login: with a non-empty directory, drops every item, then reads that directory's
    // "Remind.dat" (Changed(0,0) when items were dropped or read). An empty directory changes
    // nothing.
    // The user's name keys the scrambled messages of the file; a user directory is named by
    // it, so the one-argument form takes the directory's last component.
    void SetDirectory(const QString& directory);
    void SetDirectory(const QString& directory, const QString& userName);
    QString Directory() const;

    // Add ignores items of blocked kinds.
    void BlockKind(qint32 kind);
    void UnblockKind(qint32 kind);
    QList<qint32> BlockedKinds() const;

    QList<PendingItem> Items() const;
    qsizetype Count() const;

Q_SIGNALS:
    void Changed(int kind, int number);

private:
    std::optional<PendingItem> TakeMatching(bool remove, qint32 number, const QList<qint32>& kinds);
    // With items_mutex_ held.
    void WriteRemindFileLocked() const;
    void PostChanged(qint32 kind, qint32 number);

    SecondsClock clock_;

    mutable std::mutex itemsMutex_;  // guards items_, current_, directory_ and userName_
    QList<PendingItem> items_;
    std::optional<PendingItem> current_;
    QString directory_;
    QString userName_;

    mutable std::mutex blockedMutex_;  // guards blocked_
    QList<qint32> blocked_;
};

}  // namespace ov::shell
