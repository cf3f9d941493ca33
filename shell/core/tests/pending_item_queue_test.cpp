// The pending-item queue: the order items are taken in, lifetimes, blocked kinds, the
// notifications (posted, never from inside a call), and "Remind.dat" against bytes laid out
// by hand.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include "shell/core/pending_item_queue.h"
#include "shell/core/tests/test_files.h"
#include "shell/core/user_directories.h"

namespace ov::shell {
namespace {

using testing::CoreTest;
using testing::ModeOf;
using testing::ReadBytes;
using testing::WriteBytes;
using namespace std::string_literals;

SecondsClock StoppedClock(qint64 seconds) {
    return [seconds] { return seconds; };
}

// Records every notification, with whether it arrived while a queue call was running.
struct Recorder {
    explicit Recorder(PendingItemQueue* queue) {
        QObject::connect(
            queue, &PendingItemQueue::Changed, queue,
            [this](int kind, int number) {
                seen.append({kind, number});
                insideCall = insideCall || calling;
            },
            Qt::DirectConnection);
    }
    QList<std::pair<int, int>> Drain() {
        QCoreApplication::sendPostedEvents();
        return std::exchange(seen, {});
    }
    QList<std::pair<int, int>> seen;
    bool calling = false;
    bool insideCall = false;
};

QList<qint32> TakeAllNumbers(PendingItemQueue& queue) {
    QList<qint32> numbers;
    while (std::optional<PendingItem> item = queue.Take(0, 0, true))
        numbers.append(item->nNumber);
    return numbers;
}

TEST(PendingItemQueueTest, HighestPriorityFirstThenQueueOrder) {
    PendingItemQueue queue(StoppedClock(500));
    queue.Add(PendingItem::Message(1, MessageRecord{}));         // priority 3
    queue.Add(PendingItem::ChatRequest(2, "chat", 0));           // 5
    queue.Add(PendingItem::BuddyRequest(3, "bob", "hello", 0));  // 7
    queue.Add(PendingItem::FileOffer(4, "file", 0, 0));          // 5
    queue.Add(PendingItem::Message(5, MessageRecord{}));         // 3
    EXPECT_EQ(TakeAllNumbers(queue), (QList<qint32>{3, 2, 4, 1, 5}));
    EXPECT_FALSE(queue.Take(0, 0, true).has_value());
    EXPECT_EQ(queue.Current()->nNumber, 5);  // the last one taken stays current
}

TEST(PendingItemQueueTest, TakeFiltersByKindAndNumber) {
    PendingItemQueue queue(StoppedClock(500));
    queue.Add(PendingItem::Message(10, MessageRecord{}));
    queue.Add(PendingItem::BuddyRequest(10, "a", "b", 0));
    queue.Add(PendingItem::Message(20, MessageRecord{}));
    queue.Add(PendingItem::ChatRequest(20, "c", 0));

    std::optional<PendingItem> peek = queue.Take(kPendingMessage, 20, false);
    ASSERT_TRUE(peek);
    EXPECT_EQ(peek->nKind, kPendingMessage);
    EXPECT_EQ(peek->nNumber, 20);
    EXPECT_EQ(peek->nTime, 500);  // stamped by the queue's clock
    EXPECT_EQ(queue.Count(), 4);  // only looked at
    EXPECT_EQ(*queue.Current(), *peek);

    EXPECT_EQ(queue.Take(0, 10, false)->nKind, kPendingBuddyRequest);
    EXPECT_FALSE(queue.Take(kPendingFileOffer, 0, true));
    EXPECT_FALSE(queue.Take(kPendingMessage, 30, true));
    EXPECT_EQ(queue.TakeOfKinds(true, 0, {kPendingMessage, kPendingChatRequest})->nKind,
              kPendingChatRequest);
    EXPECT_FALSE(queue.TakeOfKinds(true, 0, QList<qint32>{}));
    EXPECT_EQ(queue.TakeOfKinds(true, 10, {kPendingMessage})->nNumber, 10);
    EXPECT_EQ(queue.Count(), 2);
}

TEST(PendingItemQueueTest, LifetimeCountsDownWithEachTick) {
    PendingItemQueue queue(StoppedClock(1));
    Recorder recorder(&queue);
    PendingItem shortLived = PendingItem::ChatRequest(1, "x", 0);
    shortLived.nLifetime = 2;
    queue.Add(shortLived);
    queue.Add(PendingItem::ChatRequest(2, "y", 0));  // lifetime 0: never expires
    recorder.Drain();

    queue.Tick();
    EXPECT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.Items()[0].nLifetime, 1);
    EXPECT_TRUE(recorder.Drain().isEmpty());
    queue.Tick();
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.Items()[0].nNumber, 2);
    EXPECT_EQ(recorder.Drain(), (QList<std::pair<int, int>>{{0, 0}}));
    for (int i = 0; i < 5; ++i)
        queue.Tick();
    EXPECT_EQ(queue.Count(), 1);
}

TEST(PendingItemQueueTest, BlockedKindsAreNotAdded) {
    PendingItemQueue queue(StoppedClock(1));
    queue.BlockKind(kPendingChatRequest);
    queue.BlockKind(kPendingChatRequest);
    EXPECT_EQ(queue.BlockedKinds(), QList<qint32>{kPendingChatRequest});
    queue.Add(PendingItem::ChatRequest(1, "x", 0));
    queue.Add(PendingItem::FileOffer(2, "f", 0, 0));
    EXPECT_EQ(queue.Count(), 1);
    queue.UnblockKind(kPendingChatRequest);
    queue.Add(PendingItem::ChatRequest(3, "x", 0));
    EXPECT_EQ(queue.Count(), 2);
}

TEST(PendingItemQueueTest, ChangesArePostedNeverCalledFromInsideTheQueue) {
    PendingItemQueue queue(StoppedClock(1));
    Recorder recorder(&queue);
    recorder.calling = true;
    queue.Add(PendingItem::FileOffer(7, "f", 0, 0));
    queue.Take(0, 0, false);  // looking changes nothing
    queue.Take(0, 7, true);
    recorder.calling = false;
    EXPECT_TRUE(recorder.seen.isEmpty());
    EXPECT_EQ(recorder.Drain(),
              (QList<std::pair<int, int>>{{kPendingFileOffer, 7}, {kPendingFileOffer, 7}}));
    EXPECT_FALSE(recorder.insideCall);

    // A receiver may call back into the queue: it holds none of its locks.
    int taken = 0;
    QObject::connect(&queue, &PendingItemQueue::Changed, &queue, [&queue, &taken] {
        if (queue.Take(0, 0, true))
            ++taken;
    });
    queue.Add(PendingItem::ChatRequest(8, "c", 0));
    recorder.Drain();
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(queue.Count(), 0);
}

TEST(PendingItemQueueTest, PendingNotificationsDieWithTheQueue) {
    bool heard = false;
    {
        PendingItemQueue queue(StoppedClock(1));
        QObject::connect(&queue, &PendingItemQueue::Changed, [&heard] { heard = true; });
        queue.Add(PendingItem::ChatRequest(1, "x", 0));
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(heard);
}

// User "ab": every scrambled field is XORed with 61 62 61 62 ...
const std::string kRemindFile =
    "\x00\x01\x00\x00"  // 256
    "\x04\x00\x00\x00"  // four reminding items
    // kind 3, number 10002, time 1000, priority 3, then the record, scrambled:
    "\x03\x00\x00\x00\x12\x27\x00\x00\xe8\x03\x00\x00\x03\x00\x00\x00"
    "\x63\x62\x61\x62"                  // kind 2
    "\x89\x61\x61\x62"                  // time 1000
    "\x73\x45\x61\x62"                  // peer 10002
    "\x61\x62\x61\x62"                  // extra 0
    "\x02\x00\x00\x00\x09\x0b"          // "hi"
    "\x04\x00\x00\x00\xaa\xac\xad\x87"  // "宋体" (CB CE CC E5)
    "\x6d\x62\x61\x62"                  // size 12
    "\x60\x61\x61"                      // bold 1, italic 0, underline 0
    "\x61\x62\xe1\x62"                  // colour 0x800000
    "\x9e\x9d\x9e\x62"                  // background 0xFFFFFF
    // kind 4, number 10003, time 1000, priority 5: "f.txt", 127.0.0.1, 5000
    "\x04\x00\x00\x00\x13\x27\x00\x00\xe8\x03\x00\x00\x05\x00\x00\x00"
    "\x05"
    "f.txt"
    "\x7f\x00\x00\x01\x88\x13\x00\x00"
    // kind 5, number 10004, time 1000, priority 7: "bob", "hello", 1
    "\x05\x00\x00\x00\x14\x27\x00\x00\xe8\x03\x00\x00\x07\x00\x00\x00"
    "\x03"
    "bob"
    "\x05"
    "hello"
    "\x01\x00\x00\x00"
    // kind 10, number 10005, time 1000, priority 5: a 300-byte text, 7
    "\x0a\x00\x00\x00\x15\x27\x00\x00\xe8\x03\x00\x00\x05\x00\x00\x00"
    "\xff\x2c\x01"s +
    std::string(300, 'z') + "\x07\x00\x00\x00"s;

QList<PendingItem> RemindItems() {
    MessageRecord record;
    record.nKind = kMessageReceived;
    record.nTime = 1000;
    record.nPeerNumber = 10002;
    record.sText = "hi";
    PendingItem message = PendingItem::Message(10002, record);
    PendingItem file = PendingItem::FileOffer(10003, "f.txt", 0x0100007F, 5000);
    PendingItem request = PendingItem::BuddyRequest(10004, "bob", "hello", 1);
    PendingItem chat = PendingItem::ChatRequest(10005, QString(300, u'z'), 7);
    for (PendingItem* item : {&file, &request, &chat})
        item->bRemind = true;  // notices are not kept by default; these are, to be written
    return {message, file, request, chat};
}

class RemindFileTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        if (HasFatalFailure())
            return;
        dirs_.emplace(DataHome());
        directory_ = dirs_->UserDirectory("ab");
    }
    QString RemindPath() const { return directory_ + "/Remind.dat"; }

    std::optional<UserDirectories> dirs_;
    QString directory_;
};

TEST_F(RemindFileTest, ReminderItemsAreWrittenByteForByte) {
    PendingItemQueue queue(StoppedClock(1000));
    queue.SetDirectory(directory_);
    EXPECT_FALSE(QDir(directory_).exists());  // nothing read, nothing written yet
    queue.Add(PendingItem::FileOffer(99, "not kept", 0, 0));
    EXPECT_FALSE(QFile::exists(RemindPath()));
    for (const PendingItem& item : RemindItems())
        queue.Add(item);

    EXPECT_EQ(ReadBytes(RemindPath()), kRemindFile);
    EXPECT_EQ(ModeOf(RemindPath()), 0600);
    EXPECT_EQ(ModeOf(directory_), 0700);  // made when first needed
}

TEST_F(RemindFileTest, ALoginReadsTheUsersReminders) {
    ASSERT_TRUE(dirs_->Create("ab"));
    WriteBytes(RemindPath(), kRemindFile);
    PendingItemQueue queue(StoppedClock(1));
    queue.Add(PendingItem::ChatRequest(1, "of the previous user", 0));
    QCoreApplication::sendPostedEvents();
    Recorder recorder(&queue);
    queue.SetDirectory("");  // ignored
    EXPECT_EQ(queue.Count(), 1);
    queue.SetDirectory(directory_);
    EXPECT_EQ(queue.Directory(), directory_);
    EXPECT_EQ(recorder.Drain(), (QList<std::pair<int, int>>{{0, 0}}));

    QList<PendingItem> expected = RemindItems();
    for (PendingItem& item : expected)
        item.nTime = 1000;
    EXPECT_EQ(queue.Items(), expected);

    // Taking a reminding item rewrites the file without it.
    EXPECT_EQ(queue.Take(0, 0, true)->nKind, kPendingBuddyRequest);
    QList<PendingItem> left;
    ASSERT_TRUE(DecodeRemindFile(QByteArray::fromStdString(ReadBytes(RemindPath())), "ab", &left));
    EXPECT_EQ(left.size(), 3);
}

TEST_F(RemindFileTest, UnknownKindsKeepTheirHeaderAlone) {
    const std::string bytes(
        "\x00\x01\x00\x00\x01\x00\x00\x00"
        "\x63\x00\x00\x00\x01\x00\x00\x00\x02\x00\x00\x00\x09\x00\x00\x00",
        24);
    QList<PendingItem> items;
    ASSERT_TRUE(DecodeRemindFile(QByteArray::fromStdString(bytes), "ab", &items));
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].nKind, 99);
    EXPECT_EQ(items[0].nPriority, 9);
    EXPECT_TRUE(items[0].bRemind);
    EXPECT_EQ(EncodeRemindFile(items, "ab").toStdString(), bytes);
}

TEST_F(RemindFileTest, DamagedFileLeavesTheQueueEmpty) {
    ASSERT_TRUE(dirs_->Create("ab"));
    const QByteArray whole = QByteArray::fromStdString(kRemindFile);
    QList<PendingItem> items;
    for (qsizetype size = 0; size < whole.size(); ++size)
        EXPECT_FALSE(DecodeRemindFile(whole.first(size), "ab", &items)) << size;
    EXPECT_TRUE(items.isEmpty());

    QByteArray otherFormat = whole;
    otherFormat[1] = 0x02;
    QByteArray hugeCount = whole;
    hugeCount.replace(4, 4, QByteArray("\xff\xff\xff\x7f", 4));
    QByteArray hugeString = whole;
    hugeString.replace(8 + 16 + 16, 4, QByteArray("\xff\xff\xff\x7f", 4));
    for (const QByteArray& bytes : {otherFormat, hugeCount, hugeString, whole.first(100)}) {
        WriteBytes(RemindPath(), bytes.toStdString());
        PendingItemQueue queue(StoppedClock(1));
        queue.Add(PendingItem::ChatRequest(1, "x", 0));
        queue.SetDirectory(directory_);
        EXPECT_EQ(queue.Count(), 0);
    }
}

}  // namespace
}  // namespace ov::shell
