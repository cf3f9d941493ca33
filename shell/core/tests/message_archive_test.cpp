// The message archive: the ".msg" bytes, appends that never rewrite the file and survive a
// writer killed at any point, removals, foreign and damaged files, search, the "*.cht" table.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <random>
#include <utility>
#include <vector>

#include "shell/core/field_scramble.h"
#include "shell/core/message_archive.h"
#include "shell/core/private_files.h"

namespace ov::shell {
namespace {

using Told = std::vector<std::pair<int, qint32>>;

MessageRecord Message(qint32 peer, qint32 time, const QString& text, qint32 kind = kMessageSent) {
    MessageRecord r;
    r.nPeerNumber = peer;
    r.nTime = time;
    r.sText = text;
    r.nKind = kind;
    return r;
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void PutFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class MessageArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void Open() {
        archive_.Close();
        told_.clear();
        archive_.Open(dir_.path(), QStringLiteral("ab"),
                      [this](int code, qint32 number) { told_.emplace_back(code, number); });
    }
    QString Path(qint32 number) const {
        return dir_.filePath(QStringLiteral("%1.msg").arg(number));
    }
    QList<MessageRecord> Get(qint32 number) {
        QList<MessageRecord> list;
        archive_.Get(number, &list);
        return list;
    }

    QTemporaryDir dir_;
    MessageArchive archive_;
    Told told_;
};

TEST_F(MessageArchiveTest, TwoRecordsAreStoredScrambledWithTheUserName) {
    Open();
    MessageRecord first = Message(10001, 1000, QStringLiteral("a\nb"));
    MessageRecord second = Message(10001, 1001, QString(), kMessageReceived);
    second.nExtra = 7;
    second.bBold = 0;
    second.bItalic = 1;
    second.bUnderline = 1;
    ASSERT_TRUE(archive_.Add(first));
    ASSERT_TRUE(archive_.Add(second));

    // Key "ab" = 61 62; every field starts again at its first byte. Counts are plain.
    const QByteArray expected = QByteArray::fromHex(
        "20010000"
        "02000000"
        // kind 1, time 1000, peer 10001, extra 0
        "60626162"
        "89616162"
        "70456162"
        "61626162"
        // text "a\r\nb" (the line break as the files keep it), face "宋体" in code page 936
        "04000000"
        "006f6b00"
        "04000000"
        "aaacad87"
        // size 12, bold 1, italic 0, underline 0, colours 0x800000 and 0xFFFFFF
        "6d626162"
        "60"
        "61"
        "61"
        "6162e162"
        "9e9d9e62"
        // kind 2, time 1001, peer 10001, extra 7, empty text, the same face
        "63626162"
        "88616162"
        "70456162"
        "66626162"
        "00000000"
        "04000000"
        "aaacad87"
        "6d626162"
        "61"
        "60"
        "60"
        "6162e162"
        "9e9d9e62");
    EXPECT_EQ(FileBytes(Path(10001)).toHex(), expected.toHex());

    Open();
    const QList<MessageRecord> back = Get(10001);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0], first);
    EXPECT_EQ(back[1], second);
}

TEST_F(MessageArchiveTest, EqualPlainFieldsAreEqualBytes) {
    Open();
    MessageRecord r = Message(5, 5, QStringLiteral("xx"), 5);
    r.nExtra = 5;
    r.sFontFace = QStringLiteral("xx");
    ASSERT_TRUE(archive_.Add(r));
    const QByteArray bytes = FileBytes(Path(5));
    const QByteArray kind = bytes.mid(8, 4);
    EXPECT_EQ(bytes.mid(12, 4), kind);
    EXPECT_EQ(bytes.mid(16, 4), kind);
    EXPECT_EQ(bytes.mid(20, 4), kind);
    // The text and the face: count, then "xx" scrambled alike.
    EXPECT_EQ(bytes.mid(24, 6), bytes.mid(30, 6));
    EXPECT_EQ(bytes.mid(28, 2), QByteArray::fromHex("191a"));
}

TEST_F(MessageArchiveTest, FirstMessageCreatesThePrivateFileAndLastRemovalDeletesIt) {
    Open();
    ASSERT_TRUE(archive_.Add(Message(10001, 50, QStringLiteral("hello"))));
    EXPECT_EQ(told_, (Told{{kArchiveNumbers, 10001}, {kArchiveMessages, 10001}}));
    const QByteArray bytes = FileBytes(Path(10001));
    EXPECT_EQ(bytes.left(8).toHex(), QByteArray("2001000001000000"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path(10001)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(archive_.Numbers(), QList<qint32>{10001});

    told_.clear();
    EXPECT_EQ(archive_.Remove(10001, 49), 0);
    EXPECT_TRUE(told_.empty());
    EXPECT_EQ(archive_.Remove(10001, 50), 1);
    EXPECT_EQ(told_, (Told{{kArchiveMessages, 10001}, {kArchiveNumbers, 10001}}));
    EXPECT_FALSE(QFile::exists(Path(10001)));
    EXPECT_TRUE(archive_.Numbers().isEmpty());
    EXPECT_EQ(archive_.Remove(10001, 50), 0);
}

TEST_F(MessageArchiveTest, RemovalTakesTheFirstOfEqualTimesAndRewritesTheFile) {
    Open();
    archive_.Add(Message(7, 10, QStringLiteral("one")));
    archive_.Add(Message(7, 20, QStringLiteral("two")));
    archive_.Add(Message(7, 20, QStringLiteral("three")));
    EXPECT_EQ(archive_.Remove(7, 20), 1);
    // The rewrite leaves a file that appends continue from.
    archive_.Add(Message(7, 30, QStringLiteral("four")));
    Open();
    QStringList texts;
    for (const MessageRecord& r : Get(7))
        texts << r.sText;
    EXPECT_EQ(texts, (QStringList{"one", "three", "four"}));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"7.msg"});  // no temporaries
}

TEST_F(MessageArchiveTest, AddingAppendsInPlace) {
    Open();
    archive_.Add(Message(8, 1, QStringLiteral("first")));
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(Path(8)).constData(), &before), 0);
    const QByteArray old = FileBytes(Path(8));
    archive_.Add(Message(8, 2, QStringLiteral("second")));
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(Path(8)).constData(), &after), 0);
    // The same file, not a renamed copy; its old records untouched, the count updated.
    EXPECT_EQ(after.st_ino, before.st_ino);
    const QByteArray now = FileBytes(Path(8));
    EXPECT_EQ(now.mid(8, old.size() - 8), old.mid(8));
    EXPECT_EQ(now.mid(4, 4).toHex(), QByteArray("02000000"));
}

TEST_F(MessageArchiveTest, ForeignFormatShowsNothingAndIsReplacedByTheNextMessage) {
    QByteArray foreign = EncodeMessageFile({Message(9, 1, QStringLiteral("old"))}, "ab");
    foreign[0] = 0x21;
    PutFile(Path(9), foreign);
    Open();
    EXPECT_EQ(archive_.Numbers(), QList<qint32>{9});
    EXPECT_TRUE(Get(9).isEmpty());
    const MessageRecord fresh = Message(9, 2, QStringLiteral("new"));
    ASSERT_TRUE(archive_.Add(fresh));
    EXPECT_EQ(told_, (Told{{kArchiveMessages, 9}}));  // the number was known already
    EXPECT_EQ(FileBytes(Path(9)), EncodeMessageFile({fresh}, "ab"));
}

TEST_F(MessageArchiveTest, HalfWrittenRecordIsCutByTheNextAppend) {
    const MessageRecord first = Message(11, 1, QStringLiteral("kept"));
    const MessageRecord lost = Message(11, 2, QStringLiteral("cut short"));
    const QByteArray whole = EncodeMessageFile({first, lost}, "ab");
    // The second record's bytes began to arrive; the count still says one.
    QByteArray cut = whole.left(whole.size() - 5);
    cut[4] = 1;
    PutFile(Path(11), cut);
    Open();
    ASSERT_EQ(Get(11), QList<MessageRecord>{first});

    const MessageRecord next = Message(11, 3, QStringLiteral("next"));
    ASSERT_TRUE(archive_.Add(next));
    EXPECT_EQ(FileBytes(Path(11)), EncodeMessageFile({first, next}, "ab"));
    Open();
    EXPECT_EQ(Get(11), (QList<MessageRecord>{first, next}));
}

TEST_F(MessageArchiveTest, CountBeyondTheRecordsKeepsWhatReadAndRewrites) {
    const MessageRecord first = Message(12, 1, QStringLiteral("only"));
    QByteArray bytes = EncodeMessageFile({first}, "ab");
    bytes[4] = 3;
    PutFile(Path(12), bytes);
    Open();
    EXPECT_EQ(Get(12), QList<MessageRecord>{first});
    const MessageRecord next = Message(12, 2, QStringLiteral("more"));
    ASSERT_TRUE(archive_.Add(next));
    EXPECT_EQ(FileBytes(Path(12)), EncodeMessageFile({first, next}, "ab"));
}

TEST_F(MessageArchiveTest, AFileTooBigToReadIsNeverOverwritten) {
    {
        QFile big(Path(13));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(kMaxPrivateFileSize + 1));  // sparse: no disk taken
    }
    Open();
    EXPECT_TRUE(Get(13).isEmpty());
    EXPECT_FALSE(archive_.Add(Message(13, 1, QStringLiteral("new"))));
    EXPECT_EQ(QFileInfo(Path(13)).size(), kMaxPrivateFileSize + 1);
    EXPECT_EQ(archive_.Remove(13, 1), 0);
    EXPECT_EQ(QFileInfo(Path(13)).size(), kMaxPrivateFileSize + 1);
}

TEST_F(MessageArchiveTest, SearchCoversEveryNumberNewestFirst) {
    PutFile(Path(20), EncodeMessageFile({Message(20, 100, QStringLiteral("Hello there")),
                                         Message(20, 300, QStringLiteral("nothing"))},
                                        "ab"));
    Open();
    archive_.Add(Message(21, 200, QStringLiteral("say HELLO")));
    archive_.Add(Message(22, 400, QStringLiteral("hello 中文")));
    archive_.Add(Message(22, 400, QStringLiteral("hello again, same second")));

    const QList<ArchiveHit> hits = archive_.Search(QStringLiteral("hello"));
    QList<std::pair<qint32, QString>> got;
    for (const ArchiveHit& h : hits)
        got.push_back({h.number, h.record.sText});
    EXPECT_EQ(got, (QList<std::pair<qint32, QString>>{{22, "hello again, same second"},
                                                      {22, "hello 中文"},
                                                      {21, "say HELLO"},
                                                      {20, "Hello there"}}));
    ASSERT_EQ(archive_.Search(QStringLiteral("hello"), 2).size(), 2);
    EXPECT_EQ(archive_.Search(QStringLiteral("hello"), 2)[1].record.sText, "hello 中文");
    EXPECT_EQ(archive_.Search(QStringLiteral("中文")).size(), 1);
    EXPECT_TRUE(archive_.Search(QStringLiteral("absent")).isEmpty());
}

TEST_F(MessageArchiveTest, ChatFilesAreReadAndOddNamesIgnored) {
    ArchiveWriter out;
    out.Int32(256);
    out.ScrambledInt32(3, "ab");
    out.ScrambledInt32(-4, "ab");
    out.ScrambledString(QByteArray("room"), "ab");
    PutFile(dir_.filePath("10005.cht"), out.Data());
    PutFile(dir_.filePath("10006.cht"), QByteArray::fromHex("00010000"));
    PutFile(dir_.filePath("notes.msg"), QByteArray("x"));
    Open();
    EXPECT_EQ(archive_.ChatNumbers(), QList<qint32>{10005});
    const auto chat = archive_.Chat(10005);
    ASSERT_TRUE(chat.has_value());
    EXPECT_EQ(chat->value1, 3);
    EXPECT_EQ(chat->value2, -4);
    EXPECT_EQ(chat->text, "room");
    EXPECT_TRUE(archive_.Numbers().isEmpty());
    archive_.Close();
    EXPECT_FALSE(archive_.Add(Message(1, 1, "x")));
}

// A writer killed at random points, or stopped by a full disk in the middle of a record: every
// add it finished is in the file once, in order, and the file reads whole; at most the add
// that was under way when it died is there too.
TEST(MessageArchiveCrashTest, KilledWriterLosesNoFinishedMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::mt19937 random(20261208);
    constexpr int kRounds = 8;
    std::vector<int> finished;
    int cutTails = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Odd rounds: the file may grow only a little, so that a record is cut where the limit
        // falls (as on a full disk) and the writer gives up.
        const QFileInfo file(dir.filePath("10001.msg"));
        const off_t limit = round % 2 ? (file.exists() ? file.size() : 0) +
                                            std::uniform_int_distribution<int>(100, 4000)(random)
                                      : 0;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(fds[0]);
            if (limit) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit size{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
                ::setrlimit(RLIMIT_FSIZE, &size);
            }
            MessageArchive archive;
            archive.Open(dir.path(), QStringLiteral("ab"));
            for (int i = 0; i < 100000; ++i) {
                MessageRecord r = Message(
                    10001, round * 100000 + i,
                    QStringLiteral("%1:%2 %3").arg(round).arg(i).arg(QString(i % 97, u'x')));
                if (!archive.Add(r))
                    ::_exit(2);
                if (::write(fds[1], &i, sizeof i) != sizeof i)
                    ::_exit(3);
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        const int wanted = std::uniform_int_distribution<int>(1, 400)(random);
        int last = -1;
        int i = 0;
        for (int got = 0; got < wanted && ::read(fds[0], &i, sizeof i) == sizeof i; ++got)
            last = i;
        ::kill(pid, SIGKILL);
        while (::read(fds[0], &i, sizeof i) == sizeof i)  // reported before it died
            last = i;
        ::close(fds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (limit)
            ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 2);
        else
            ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed: " << WEXITSTATUS(status);
        finished.push_back(last + 1);
        // Between rounds the file reads whole; bytes after the last counted record are what a
        // killed append left, for the next writer to cut.
        const QByteArray now = FileBytes(dir.filePath("10001.msg"));
        const MessageArchiveContent seen = DecodeMessageFile(now, ScrambleKey("ab"));
        ASSERT_TRUE(seen.format && seen.whole) << "round " << round;
        cutTails += seen.end < now.size() ? 1 : 0;
    }
    ::testing::Test::RecordProperty("rounds_with_a_cut_tail", cutTails);
    EXPECT_GE(cutTails, 1) << "no writer stopped inside a record";

    const auto bytes = FileBytes(dir.filePath("10001.msg"));
    const MessageArchiveContent content = DecodeMessageFile(bytes, ScrambleKey("ab"));
    ASSERT_TRUE(content.format && content.whole);
    int at = 0;
    for (int round = 0; round < kRounds; ++round) {
        int count = 0;
        while (at < content.records.size() && content.records[at].nTime / 100000 == round) {
            ASSERT_EQ(content.records[at].nTime, round * 100000 + count) << "round " << round;
            ASSERT_TRUE(content.records[at].sText.startsWith(
                QStringLiteral("%1:%2 ").arg(round).arg(count)));
            ++count;
            ++at;
        }
        EXPECT_GE(count, finished[round]) << "round " << round;
        EXPECT_LE(count, finished[round] + 1) << "round " << round;
    }
    EXPECT_EQ(at, content.records.size());

    MessageArchive archive;
    archive.Open(dir.path(), QStringLiteral("ab"));
    QList<MessageRecord> list;
    archive.Get(10001, &list);
    EXPECT_EQ(list, content.records);
}

}  // namespace
}  // namespace ov::shell
