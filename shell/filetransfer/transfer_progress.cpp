#include "shell/filetransfer/transfer_progress.h"

namespace ov::shell {
namespace {

constexpr double kBytesToMb = 1.0 / 1048576;
constexpr double kBytesToKb = 1.0 / 1024;

int Percent(quint64 done, quint64 whole) {
    return whole == 0 ? 0 : static_cast<int>(done * 100 / whole);
}

}  // namespace

QString ClockText(qint64 seconds) {
    if (seconds < 0)
        seconds = 0;
    return QString::asprintf("%02d:%02d:%02d", static_cast<int>(seconds / 3600 % 24),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

TransferProgress FormatProgress(const TransferNumbers& n) {
    TransferProgress p;
    p.name = QStringLiteral("文件名:%1").arg(n.fileName);
    p.filePercent = Percent(n.fileDone, n.fileSize);
    // Sizes reach 4 GiB - 1: shown unsigned, never as negative numbers.
    p.file = QStringLiteral("已经完成 %1 byte中的 %2  (%3%)")
                 .arg(n.fileSize)
                 .arg(n.fileDone)
                 .arg(p.filePercent);
    p.totalPercent = Percent(n.done, n.total);
    p.total = QStringLiteral("已经完成 %1 MB中的 %2  (%3%)")
                  .arg(n.total * kBytesToMb, 0, 'f', 2)
                  .arg(n.done * kBytesToMb, 0, 'f', 2)
                  .arg(p.totalPercent);
    p.elapsed = QStringLiteral("时间 %1").arg(ClockText(n.elapsedSeconds));
    // Within the first second there is no speed yet (and nothing to divide by).
    const quint64 perSecond =
        n.elapsedSeconds > 0 ? n.done / static_cast<quint64>(n.elapsedSeconds) : 0;
    p.speed = QStringLiteral("传输速度 %1 K/s").arg(perSecond * kBytesToKb, 0, 'f', 2);
    const quint64 left = n.total > n.done ? n.total - n.done : 0;
    p.remaining = QStringLiteral("剩余时间 %1")
                      .arg(ClockText(perSecond == 0 ? 0 : static_cast<qint64>(left / perSecond)));
    return p;
}

}  // namespace ov::shell
