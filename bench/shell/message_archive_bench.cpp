// shell_message_archive_bench: what adding one message costs on archives of 100, 10 000 and
// 100 000 records, beside a baseline that writes the whole file again at every add (what a
// simpler archive does), on the same data in the same run; and, on 100 000 records in 100
// people's files, a search over all of them and the opening of the message manager's model.
//
//   cmake --preset release >/dev/null
//   cmake --build build/release -j2 --target shell_message_archive_bench
//   build/release/bin/shell_message_archive_bench [runs]
//
//   add:     MessageArchive::Add of one message onto a file of N records (the list read
//            before), 200 adds a run; median and p99 per add. Baseline: the list in memory,
//            the new record appended and the whole file encoded and written anew (no fsync,
//            like ours), fewer adds on the biggest file;
//   search:  Search("会议") over 100 000 records (1 in 50 matches), lists already read, all
//            hits and the first 100;
//   manager: the user's data loaded and the model built (the tree), then the root selected
//            (every record read from the files and made a row), and one person of 1 000
//            records selected; the window (offscreen unless QT_QPA_PLATFORM) shown, then its
//            root item chosen until its list has painted.
//
// Figures are the medians of the runs (default 5); the ratio is ours / baseline.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench/shell/bench_stats.h"
#include "shell/core/field_scramble.h"
#include "shell/core/message_archive.h"
#include "shell/core/private_files.h"
#include "shell/core/user_data_store.h"
#include "shell/messaging/message_manager_model.h"
#include "shell/messaging/widgets/message_manager_window.h"

namespace {

using namespace ov::shell;
using ov::bench::Clock;
using ov::bench::Median;
using ov::bench::Ms;

constexpr int kAddsPerRun = 200;
constexpr int kPeople = 100;
constexpr int kPerPerson = 1000;

double P99(std::vector<double> v) {
    return ov::bench::Percentile(std::move(v), 0.99);
}

const char* const kTexts[] = {
    "你好，明天一起吃饭吗？",
    "好啊，老地方见。记得带伞，听说下午有雨。",
    "报告我已经发到你邮箱了，麻烦看一下第三部分的数据。",
    "ok",
    "周末去爬山吗？天气预报说是晴天。\n我可以开车。",
    "收到，谢谢！",
    "那个链接打不开，能再发一次吗 http://example.com/some/long/path?id=12345",
};

MessageRecord Record(qint32 peer, int i) {
    MessageRecord r;
    r.nPeerNumber = peer;
    r.nTime = 1700000000 + i * 37;
    r.nKind = i % 3 == 0 ? kMessageSent : kMessageReceived;
    r.sText = i % 50 == 0 ? QStringLiteral("下午三点开会议，别忘了带电脑")
                          : QString::fromUtf8(kTexts[i % std::size(kTexts)]);
    return r;
}

QList<MessageRecord> Records(qint32 peer, int count, int from = 0) {
    QList<MessageRecord> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list.push_back(Record(peer, from + i));
    return list;
}

// The old way: the whole file again at every add.
bool WriteWholeFile(const QString& path, const QByteArray& bytes) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

struct AddFigures {
    double median = 0;
    double p99 = 0;
};

AddFigures OursAdd(int size) {
    QTemporaryDir dir;
    const QByteArray key = ScrambleKey(QStringLiteral("alice"));
    WritePrivateFile(dir.filePath("10001.msg"), EncodeMessageFile(Records(10001, size), key));
    MessageArchive archive;
    archive.Open(dir.path(), QStringLiteral("alice"));
    QList<MessageRecord> read;
    archive.Get(10001, &read);
    std::vector<double> times;
    for (int i = 0; i < kAddsPerRun; ++i) {
        const MessageRecord r = Record(10001, size + i);
        const auto t0 = Clock::now();
        if (!archive.Add(r))
            std::fprintf(stderr, "add failed\n");
        times.push_back(Ms(t0, Clock::now()));
    }
    return {Median(times), P99(times)};
}

AddFigures BaselineAdd(int size) {
    QTemporaryDir dir;
    const QByteArray key = ScrambleKey(QStringLiteral("alice"));
    QList<MessageRecord> list = Records(10001, size);
    const QString path = dir.filePath("10001.msg");
    WriteWholeFile(path, EncodeMessageFile(list, key));
    const int adds = size >= 100000 ? 40 : kAddsPerRun;
    std::vector<double> times;
    for (int i = 0; i < adds; ++i) {
        const MessageRecord r = Record(10001, size + i);
        const auto t0 = Clock::now();
        list.push_back(r);
        if (!WriteWholeFile(path, EncodeMessageFile(list, key)))
            std::fprintf(stderr, "write failed\n");
        times.push_back(Ms(t0, Clock::now()));
    }
    return {Median(times), P99(times)};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    std::printf("Adding one message (ms per add; median of %d runs)\n", runs);
    std::printf("%10s  %12s %12s  %12s %12s  %8s\n", "records", "ours med", "ours p99", "whole med",
                "whole p99", "ratio");
    for (int size : {100, 10000, 100000}) {
        std::vector<double> om, op, bm, bp;
        for (int run = 0; run < runs; ++run) {
            const AddFigures o = OursAdd(size);
            const AddFigures b = BaselineAdd(size);
            om.push_back(o.median);
            op.push_back(o.p99);
            bm.push_back(b.median);
            bp.push_back(b.p99);
        }
        std::printf("%10d  %12.4f %12.4f  %12.4f %12.4f  %8.4f\n", size, Median(om), Median(op),
                    Median(bm), Median(bp), Median(om) / Median(bm));
    }

    // 100 people, 1 000 records each.
    QTemporaryDir home;
    const QString dir = home.filePath("alice");
    QDir().mkpath(dir);
    const QByteArray key = ScrambleKey(QStringLiteral("alice"));
    for (int p = 0; p < kPeople; ++p)
        WritePrivateFile(QDir(dir).filePath(QStringLiteral("%1.msg").arg(20001 + p)),
                         EncodeMessageFile(Records(20001 + p, kPerPerson, p * kPerPerson), key));

    std::vector<double> searchAll, searchFirst, firstSearch;
    qsizetype hits = 0;
    for (int run = 0; run < runs; ++run) {
        MessageArchive archive;
        archive.Open(dir, QStringLiteral("alice"));
        auto t0 = Clock::now();
        archive.Search(QStringLiteral("会议"));
        firstSearch.push_back(Ms(t0, Clock::now()));
        t0 = Clock::now();
        hits = archive.Search(QStringLiteral("会议")).size();
        searchAll.push_back(Ms(t0, Clock::now()));
        t0 = Clock::now();
        archive.Search(QStringLiteral("会议"), 100);
        searchFirst.push_back(Ms(t0, Clock::now()));
    }
    std::printf("\nSearch over %d records (ms, median of %d runs; %lld hits)\n",
                kPeople * kPerPerson, runs, static_cast<long long>(hits));
    std::printf("  first search (files read): %10.2f\n", Median(firstSearch));
    std::printf("  all hits:                  %10.2f\n", Median(searchAll));
    std::printf("  first 100 hits:            %10.2f\n", Median(searchFirst));

    std::vector<double> open, root, person;
    qsizetype rows = 0;
    for (int run = 0; run < runs; ++run) {
        UserDataStore data;
        auto t0 = Clock::now();
        data.Load(QStringLiteral("alice"), dir, 2);
        MessageManagerModel model(data, QStringLiteral("alice"));
        open.push_back(Ms(t0, Clock::now()));
        t0 = Clock::now();
        model.Select(0);
        root.push_back(Ms(t0, Clock::now()));
        rows = model.Rows().size();
        t0 = Clock::now();
        model.Select(model.NodeOf(20050));
        person.push_back(Ms(t0, Clock::now()));
        data.Unload();
    }
    std::printf("\nThe manager's model on %d records (ms, median of %d runs)\n",
                kPeople * kPerPerson, runs);
    std::printf("  load and build the tree:   %10.2f\n", Median(open));
    std::printf("  root selected (%lld rows): %10.2f\n", static_cast<long long>(rows),
                Median(root));
    std::printf("  one person (1 000 rows):   %10.2f\n", Median(person));

    std::vector<double> shown, filled;
    for (int run = 0; run < runs; ++run) {
        UserDataStore data;
        data.Load(QStringLiteral("alice"), dir, 2);
        auto t0 = Clock::now();
        auto* window = new MessageManagerWindow(data, QStringLiteral("alice"));
        window->show();
        QCoreApplication::processEvents();
        shown.push_back(Ms(t0, Clock::now()));
        t0 = Clock::now();
        window->Model().Select(0);
        QCoreApplication::processEvents();
        filled.push_back(Ms(t0, Clock::now()));
        delete window;
        data.Unload();
    }
    std::printf("  window shown:              %10.2f\n", Median(shown));
    std::printf("  window, root chosen:       %10.2f\n", Median(filled));
    return 0;
}
