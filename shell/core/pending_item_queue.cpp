#include "shell/core/pending_item_queue.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

#include "shell/core/cp936_text.h"
#include "shell/core/field_scramble.h"
#include "shell/core/private_files.h"
#include "shell/core/user_directories.h"

namespace ov::shell {

namespace {

// The least an item takes in "Remind.dat": its four header integers.
constexpr qsizetype kMinRemindItemSize = 4 * 4;

PendingItem MakeItem(qint32 kind, qint32 number, qint32 priority, bool remind) {
    PendingItem item;
    item.nKind = kind;
    item.nNumber = number;
    item.nPriority = priority;
    item.bRemind = remind;
    return item;
}

void WritePayload(ArchiveWriter& out, const PendingItem& item, const QByteArray& key) {
    switch (item.nKind) {
        case kPendingMessage:
            WriteMessageRecord(out, item.message, key);
            break;
        case kPendingFileOffer:
            out.FrameworkString(ToCp936Bytes(item.text));
            out.Int32(item.value1);
            out.Int32(item.value2);
            break;
        case kPendingBuddyRequest:
            out.FrameworkString(ToCp936Bytes(item.text));
            out.FrameworkString(ToCp936Bytes(item.text2));
            out.Int32(item.value1);
            break;
        case kPendingChatRequest:
            out.FrameworkString(ToCp936Bytes(item.text));
            out.Int32(item.value1);
            break;
        default:  // other kinds keep their header alone
            break;
    }
}

void ReadPayload(ArchiveReader& in, PendingItem* item, const QByteArray& key) {
    switch (item->nKind) {
        case kPendingMessage:
            ReadMessageRecord(in, key, &item->message);
            break;
        case kPendingFileOffer:
            item->text = FromCp936Bytes(in.FrameworkString());
            item->value1 = in.Int32();
            item->value2 = in.Int32();
            break;
        case kPendingBuddyRequest:
            item->text = FromCp936Bytes(in.FrameworkString());
            item->text2 = FromCp936Bytes(in.FrameworkString());
            item->value1 = in.Int32();
            break;
        case kPendingChatRequest:
            item->text = FromCp936Bytes(in.FrameworkString());
            item->value1 = in.Int32();
            break;
        default:
            break;
    }
}

}  // namespace

PendingItem PendingItem::Message(qint32 number, const MessageRecord& message) {
    PendingItem item = MakeItem(kPendingMessage, number, 3, true);
    item.message = message;
    return item;
}

PendingItem PendingItem::FileOffer(qint32 number, const QString& text, qint32 value1,
                                   qint32 value2) {
    PendingItem item = MakeItem(kPendingFileOffer, number, 5, false);
    item.text = text;
    item.value1 = value1;
    item.value2 = value2;
    return item;
}

PendingItem PendingItem::BuddyRequest(qint32 number, const QString& text, const QString& text2,
                                      qint32 value1) {
    PendingItem item = MakeItem(kPendingBuddyRequest, number, 7, false);
    item.text = text;
    item.text2 = text2;
    item.value1 = value1;
    return item;
}

PendingItem PendingItem::ChatRequest(qint32 number, const QString& text, qint32 value1) {
    PendingItem item = MakeItem(kPendingChatRequest, number, 5, false);
    item.text = text;
    item.value1 = value1;
    return item;
}

QByteArray EncodeRemindFile(const QList<PendingItem>& items, const QString& userName) {
    const QByteArray key = ScrambleKey(userName);
    qint32 count = 0;
    for (const PendingItem& item : items)
        count += item.bRemind ? 1 : 0;
    ArchiveWriter out;
    out.Int32(kRemindFileFormat);
    out.Int32(count);
    for (const PendingItem& item : items) {
        if (!item.bRemind)
            continue;
        out.Int32(item.nKind);
        out.Int32(item.nNumber);
        out.Int32(item.nTime);
        out.Int32(item.nPriority);
        WritePayload(out, item, key);
    }
    return out.Data();
}

bool DecodeRemindFile(QByteArrayView data, const QString& userName, QList<PendingItem>* items) {
    const QByteArray key = ScrambleKey(userName);
    ArchiveReader in(data);
    if (in.Int32() != kRemindFileFormat)
        return false;
    const qint32 count = in.Int32();
    if (!in.Ok() || count < 0 || count > in.Remaining() / kMinRemindItemSize)
        return false;
    QList<PendingItem> out;
    out.reserve(count);
    for (qint32 i = 0; i < count; ++i) {
        PendingItem item;
        item.nKind = in.Int32();
        item.nNumber = in.Int32();
        item.nTime = in.Int32();
        item.nPriority = in.Int32();
        item.bRemind = true;
        ReadPayload(in, &item, key);
        if (!in.Ok())
            return false;
        out.append(std::move(item));
    }
    *items = std::move(out);
    return true;
}

PendingItemQueue::PendingItemQueue(SecondsClock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)) {}

PendingItemQueue::~PendingItemQueue() = default;

void PendingItemQueue::PostChanged(qint32 kind, qint32 number) {
    // Emitted later from this object's event loop, never from inside the caller's call; a
    // queue destroyed before then drops it.
    QMetaObject::invokeMethod(
        this, [this, kind, number] { Q_EMIT Changed(kind, number); }, Qt::QueuedConnection);
}

void PendingItemQueue::Add(const PendingItem& item) {
    {
        std::lock_guard lock(blockedMutex_);
        if (blocked_.contains(item.nKind))
            return;
    }
    PendingItem copy = item;
    if (copy.nTime == 0)
        copy.nTime = static_cast<qint32>(clock_());
    {
        std::lock_guard lock(itemsMutex_);
        items_.append(copy);
        if (copy.bRemind)
            WriteRemindFileLocked();
    }
    PostChanged(copy.nKind, copy.nNumber);
}

std::optional<PendingItem> PendingItemQueue::TakeMatching(bool remove, qint32 number,
                                                          const QList<qint32>& kinds) {
    std::optional<PendingItem> taken;
    {
        std::lock_guard lock(itemsMutex_);
        qsizetype best = -1;
        for (qsizetype i = 0; i < items_.size(); ++i) {
            const PendingItem& item = items_[i];
            if (!kinds.isEmpty() && !kinds.contains(item.nKind))
                continue;
            if (number != 0 && item.nNumber != number)
                continue;
            if (best < 0 || item.nPriority > items_[best].nPriority)
                best = i;
        }
        if (best < 0)
            return std::nullopt;
        current_ = items_[best];
        taken = current_;
        if (remove) {
            items_.removeAt(best);
            if (taken->bRemind)
                WriteRemindFileLocked();
        }
    }
    if (remove)
        PostChanged(taken->nKind, taken->nNumber);
    return taken;
}

std::optional<PendingItem> PendingItemQueue::Take(qint32 kind, qint32 number, bool remove) {
    return TakeMatching(remove, number, kind == 0 ? QList<qint32>() : QList<qint32>{kind});
}

std::optional<PendingItem> PendingItemQueue::TakeOfKinds(bool remove, qint32 number,
                                                         std::initializer_list<qint32> kinds) {
    return TakeOfKinds(remove, number, QList<qint32>(kinds));
}

std::optional<PendingItem> PendingItemQueue::TakeOfKinds(bool remove, qint32 number,
                                                         const QList<qint32>& kinds) {
    if (kinds.isEmpty())
        return std::nullopt;
    return TakeMatching(remove, number, kinds);
}

std::optional<PendingItem> PendingItemQueue::Current() const {
    std::lock_guard lock(itemsMutex_);
    return current_;
}

void PendingItemQueue::Tick() {
    bool expired = false;
    {
        std::lock_guard lock(itemsMutex_);
        bool reminding = false;
        for (qsizetype i = 0; i < items_.size();) {
            PendingItem& item = items_[i];
            if (item.nLifetime == 1) {
                reminding = reminding || item.bRemind;
                items_.removeAt(i);
                expired = true;
                continue;
            }
            if (item.nLifetime > 1)
                --item.nLifetime;
            ++i;
        }
        if (reminding)
            WriteRemindFileLocked();
    }
    if (expired)
        PostChanged(0, 0);
}

void PendingItemQueue::SetDirectory(const QString& directory) {
    SetDirectory(directory, QFileInfo(QDir::cleanPath(directory)).fileName());
}

void PendingItemQueue::SetDirectory(const QString& directory, const QString& userName) {
    if (directory.isEmpty())
        return;
    bool changed = false;
    {
        std::lock_guard lock(itemsMutex_);
        changed = !items_.isEmpty();
        items_.clear();
        current_.reset();
        directory_ = directory;
        userName_ = userName;
        QList<PendingItem> loaded;
        const std::optional<QByteArray> bytes =
            ReadWholeFile(directory_ + u'/' + QLatin1String(kRemindFileName));
        if (bytes && DecodeRemindFile(*bytes, userName_, &loaded)) {
            changed = changed || !loaded.isEmpty();
            items_ = std::move(loaded);
        }
    }
    if (changed)
        PostChanged(0, 0);
}

QString PendingItemQueue::Directory() const {
    std::lock_guard lock(itemsMutex_);
    return directory_;
}

void PendingItemQueue::WriteRemindFileLocked() const {
    if (directory_.isEmpty())
        return;
    // Failures go unreported: the queue in memory stays right, and the next change rewrites.
    if (MakePrivateDirectory(directory_))
        WritePrivateFile(directory_ + u'/' + QLatin1String(kRemindFileName),
                         EncodeRemindFile(items_, userName_));
}

void PendingItemQueue::BlockKind(qint32 kind) {
    std::lock_guard lock(blockedMutex_);
    if (!blocked_.contains(kind))
        blocked_.append(kind);
}

void PendingItemQueue::UnblockKind(qint32 kind) {
    std::lock_guard lock(blockedMutex_);
    blocked_.removeAll(kind);
}

QList<qint32> PendingItemQueue::BlockedKinds() const {
    std::lock_guard lock(blockedMutex_);
    return blocked_;
}

QList<PendingItem> PendingItemQueue::Items() const {
    std::lock_guard lock(itemsMutex_);
    return items_;
}

qsizetype PendingItemQueue::Count() const {
    std::lock_guard lock(itemsMutex_);
    return items_.size();
}

}  // namespace ov::shell
