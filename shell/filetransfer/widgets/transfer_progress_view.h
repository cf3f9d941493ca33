// The progress fields both transfer windows show: the file's name, the file's and the whole
// transfer's progress (with bars), the time taken, the speed and the time left.
#pragma once

#include <QWidget>

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

private:
    QLabel* name_;
    QLabel* file_;
    QProgressBar* fileBar_ = nullptr;
    QLabel* total_;
    QProgressBar* totalBar_;
    QLabel* elapsed_;
    QLabel* speed_;
    QLabel* remaining_;
};

}  // namespace ov::shell
