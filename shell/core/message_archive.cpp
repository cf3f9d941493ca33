#include "shell/core/message_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "shell/core/cp936_text.h"
#include "shell/core/field_scramble.h"
#include "shell/core/private_files.h"

namespace ov::shell {

namespace {

constexpr qint32 kChatFileFormat = 256;
// Where the record count stands in a ".msg" file, and where the records begin.
constexpr off_t kCountOffset = 4;
constexpr qint64 kHeaderSize = 8;
// The least a record takes: eight 4-byte fields, two string counts, three flags.
constexpr qsizetype kMinRecordSize = 8 * 4 + 2 * 4 + 3;

bool WriteAllAt(int fd, QByteArrayView bytes, off_t offset) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done,
                                   static_cast<size_t>(bytes.size() - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The decimal number before the first '.' of a file name; 0 when there is none.
qint32 NumberOfFileName(const QString& name) {
    bool ok = false;
    const qint32 number = name.section(u'.', 0, 0).toInt(&ok);
    return ok && number > 0 ? number : 0;
}

}  // namespace

struct MessageArchive::List {
    QList<MessageRecord> records;
    // The end of the last counted record in the file; appends start here.
    qint64 end = 0;
    // The file holds exactly the records above, so a record can be appended to it. False for
    // a missing or foreign file, one that did not read whole, or after a failed write.
    bool appendable = false;
    // The file is there but could not be read (too big, no access): it is never written, so
    // that messages nobody has seen are not replaced by the few added meanwhile.
    bool unreadable = false;
};

MessageArchiveContent DecodeMessageFile(QByteArrayView data, const QByteArray& key) {
    MessageArchiveContent content;
    ArchiveReader in(data);
    if (in.Int32() != kMessageFileFormat || !in.Ok())
        return content;
    content.format = true;
    const qint32 count = in.Int32();
    if (!in.Ok() || count < 0)
        return content;
    // A count no file of this size can hold is not believed further than the bytes go.
    const qsizetype most = in.Remaining() / kMinRecordSize;
    content.records.reserve(std::min<qsizetype>(count, most));
    content.end = data.size() - in.Remaining();
    for (qint32 i = 0; i < count; ++i) {
        MessageRecord record;
        if (!ReadMessageRecord(in, key, &record))
            return content;
        content.records.push_back(std::move(record));
        content.end = data.size() - in.Remaining();
    }
    content.whole = true;
    return content;
}

QByteArray EncodeMessageFile(const QList<MessageRecord>& records, const QByteArray& key) {
    ArchiveWriter out;
    out.Int32(kMessageFileFormat);
    out.Int32(static_cast<qint32>(records.size()));
    for (const MessageRecord& r : records)
        WriteMessageRecord(out, r, key);
    return out.Data();
}

MessageArchive::MessageArchive() = default;

MessageArchive::~MessageArchive() = default;

void MessageArchive::Open(const QString& directory, const QString& userName, Observer observer) {
    QMutexLocker lock(&mutex_);
    directory_ = directory;
    key_ = ScrambleKey(userName);
    observer_ = std::move(observer);
    lists_.clear();
    chats_.clear();
    const QDir dir(directory);
    for (const QString& name : dir.entryList({QStringLiteral("*.msg")}, QDir::Files)) {
        // Names that are not numbers ("x.msg") cannot be asked for, so they are not listed.
        if (const qint32 number = NumberOfFileName(name))
            lists_.emplace(number, nullptr);
    }
    // No part of the program writes "*.cht" files; those that are there are read once. The
    // file is looked for inside the directory, beside the message files.
    for (const QString& name : dir.entryList({QStringLiteral("*.cht")}, QDir::Files)) {
        const qint32 number = NumberOfFileName(name);
        if (!number)
            continue;
        const auto bytes = ReadWholeFile(dir.filePath(QStringLiteral("%1.cht").arg(number)));
        if (!bytes)
            continue;
        ArchiveReader in(*bytes);
        if (in.Int32() != kChatFileFormat)
            continue;
        ChatEntry entry;
        entry.value1 = in.ScrambledInt32(key_);
        entry.value2 = in.ScrambledInt32(key_);
        entry.text = FromCp936Bytes(in.ScrambledString(key_));
        if (in.Ok())
            chats_[number] = std::move(entry);
    }
    open_ = true;
}

void MessageArchive::Close() {
    QMutexLocker lock(&mutex_);
    lists_.clear();
    chats_.clear();
    directory_.clear();
    key_.clear();
    observer_ = nullptr;
    open_ = false;
}

bool MessageArchive::IsOpen() const {
    QMutexLocker lock(&mutex_);
    return open_;
}

QString MessageArchive::FilePath(qint32 number) const {
    return QDir(directory_).filePath(QStringLiteral("%1.msg").arg(number));
}

MessageArchive::List* MessageArchive::Loaded(qint32 number) {
    auto it = lists_.find(number);
    if (it == lists_.end())
        return nullptr;
    if (!it->second) {
        auto list = std::make_unique<List>();
        if (const auto bytes = ReadWholeFile(FilePath(number))) {
            MessageArchiveContent content = DecodeMessageFile(*bytes, key_);
            list->records = std::move(content.records);
            list->end = content.end;
            list->appendable = content.format && content.whole;
        } else {
            list->unreadable = QFile::exists(FilePath(number));
        }
        it->second = std::move(list);
    }
    return it->second.get();
}

bool MessageArchive::WriteWhole(qint32 number, List* list) {
    const QByteArray bytes = EncodeMessageFile(list->records, key_);
    list->appendable = WritePrivateFile(FilePath(number), bytes);
    list->end = list->appendable ? bytes.size() : 0;
    return list->appendable;
}

bool MessageArchive::Append(qint32 number, List* list, const MessageRecord& record) {
    // No fsync: a crash may lose the last messages, never the file's older ones, since the
    // count that makes a record part of the file is written after the record itself.
    const int fd = ::open(QFile::encodeName(FilePath(number)).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= list->end &&
              list->end >= kHeaderSize;
    ArchiveWriter out;
    WriteMessageRecord(out, record, key_);
    char count[4];
    qToLittleEndian(static_cast<qint32>(list->records.size()), count);
    // Whatever a cut write left after the last counted record goes first.
    ok = ok && (st.st_size == list->end || ::ftruncate(fd, list->end) == 0) &&
         WriteAllAt(fd, out.Data(), list->end) &&
         WriteAllAt(fd, QByteArrayView(count, 4), kCountOffset);
    ok = ::close(fd) == 0 && ok;
    if (ok)
        list->end += out.Data().size();
    return ok;
}

bool MessageArchive::Add(const MessageRecord& record) {
    std::vector<std::pair<int, qint32>> told;
    bool written = false;
    {
        QMutexLocker lock(&mutex_);
        if (!open_)
            return false;
        const qint32 number = record.nPeerNumber;
        List* list = Loaded(number);
        if (!list) {
            list = (lists_[number] = std::make_unique<List>()).get();
            told.emplace_back(kArchiveNumbers, number);
        }
        list->records.push_back(record);
        if (list->appendable)
            written = Append(number, list, record);
        // A file that is missing, foreign, damaged or could not take the append is written
        // whole from the list in memory.
        if (!written && !list->unreadable)
            written = WriteWhole(number, list);
        told.emplace_back(kArchiveMessages, number);
    }
    Tell(told);
    return written;
}

void MessageArchive::Get(qint32 number, QList<MessageRecord>* list) {
    QMutexLocker lock(&mutex_);
    if (const List* l = Loaded(number))
        list->append(l->records);
}

int MessageArchive::Remove(qint32 number, qint32 time) {
    std::vector<std::pair<int, qint32>> told;
    {
        QMutexLocker lock(&mutex_);
        List* list = Loaded(number);
        if (!list || list->unreadable)
            return 0;
        auto it = std::find_if(list->records.begin(), list->records.end(),
                               [time](const MessageRecord& r) { return r.nTime == time; });
        if (it == list->records.end())
            return 0;
        list->records.erase(it);
        told.emplace_back(kArchiveMessages, number);
        if (list->records.isEmpty()) {
            QFile::remove(FilePath(number));
            lists_.erase(number);
            told.emplace_back(kArchiveNumbers, number);
        } else {
            WriteWhole(number, list);
        }
    }
    Tell(told);
    return 1;
}

QList<qint32> MessageArchive::Numbers() const {
    QMutexLocker lock(&mutex_);
    QList<qint32> numbers;
    numbers.reserve(static_cast<qsizetype>(lists_.size()));
    for (const auto& [number, list] : lists_)
        numbers.push_back(number);
    return numbers;
}

QList<ArchiveHit> MessageArchive::Search(const QString& text, qsizetype limit) {
    QMutexLocker lock(&mutex_);
    struct Found {
        qint32 number;
        const MessageRecord* record;
        qsizetype order;  // later in the archive first among equal times
    };
    std::vector<Found> found;
    qsizetype order = 0;
    for (auto& [number, unused] : lists_) {
        const List* list = Loaded(number);
        for (const MessageRecord& r : list->records) {
            if (r.sText.contains(text, Qt::CaseInsensitive))
                found.push_back({number, &r, order});
            ++order;
        }
    }
    auto newer = [](const Found& a, const Found& b) {
        return a.record->nTime != b.record->nTime ? a.record->nTime > b.record->nTime
                                                  : a.order > b.order;
    };
    const size_t n = limit > 0 ? std::min(found.size(), static_cast<size_t>(limit)) : found.size();
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n), found.end(),
                      newer);
    QList<ArchiveHit> hits;
    hits.reserve(static_cast<qsizetype>(n));
    for (size_t i = 0; i < n; ++i)
        hits.push_back({found[i].number, *found[i].record});
    return hits;
}

QList<qint32> MessageArchive::ChatNumbers() const {
    QMutexLocker lock(&mutex_);
    QList<qint32> numbers;
    for (const auto& [number, entry] : chats_)
        numbers.push_back(number);
    return numbers;
}

std::optional<MessageArchive::ChatEntry> MessageArchive::Chat(qint32 number) const {
    QMutexLocker lock(&mutex_);
    auto it = chats_.find(number);
    if (it == chats_.end())
        return std::nullopt;
    return it->second;
}

void MessageArchive::Tell(const std::vector<std::pair<int, qint32>>& told) {
    Observer observer;
    {
        QMutexLocker lock(&mutex_);
        observer = observer_;
    }
    if (!observer)
        return;
    for (const auto& [code, number] : told)
        observer(code, number);
}

}  // namespace ov::shell
