// The progress fields of the two transfer windows, as text: the current file, the whole
// transfer, the time taken, the speed and the time left.
//
//   TransferProgress p = FormatProgress({name, size, position, total, done, elapsedSeconds});
//   nameLabel->setText(p.name); totalBar->setValue(p.totalPercent); ...
#pragma once

#include <QString>

namespace ov::shell {

struct TransferNumbers {
    QString fileName;
    quint64 fileSize = 0;
    quint64 fileDone = 0;
    quint64 total = 0;
    quint64 done = 0;
    qint64 elapsedSeconds = 0;
};

struct TransferProgress {
    QString name;  // "文件名:%s"
    QString file;  // "已经完成 %d byte中的 %d  (%d%%)"
    int filePercent = 0;
    QString total;  // "已经完成 %.2f MB中的 %.2f  (%d%%)"
    int totalPercent = 0;
    QString elapsed;    // "时间 %s"
    QString speed;      // "传输速度 %.2f K/s"
    QString remaining;  // "剩余时间 %s"
};

TransferProgress FormatProgress(const TransferNumbers& n);

// "%H:%M:%S" of a span of seconds, the hours shown modulo 24.
QString ClockText(qint64 seconds);

}  // namespace ov::shell
