// The progress fields both transfer windows show: the file's name, the file's and the whole
// transfer's progress (with bars), the time taken, the speed and the time left.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

#include "shell/filetransfer/transfer_progress.h"

class QLabel;
class QProgressBar;

namespace ov::shell {

class TransferProgressView final : public QWidget {
    Q_OBJECT
public:
    // withFileBar: the send window shows a bar for the current file too.
    explicit TransferProgressView(bool withFileBar, QWidget* parent = nullptr);
    void Show(const TransferProgress& progress);
    // Shows what progress() gives within a tenth of a second: a transfer changes its fields
    // for every 4 KB, far more often than anyone reads them, and every change of a label's text
    // costs a repaint and an accessibility event.
    void ShowSoon(std::function<TransferProgress()> progress);

private:
    QLabel* name_;
    QLabel* file_;
    QProgressBar* fileBar_ = nullptr;
    QLabel* total_;
    QProgressBar* totalBar_;
    QLabel* elapsed_;
    QLabel* speed_;
    QLabel* remaining_;
    QTimer soon_;
    std::function<TransferProgress()> pending_;
};

}  // namespace ov::shell
