#include "shell/filetransfer/widgets/transfer_progress_view.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace ov::shell {
namespace {

// A label showing a value: assistive technology reads its text as its name and finds it by
// its description.
QLabel* ValueLabel(const QString& description) {
    auto* label = new QLabel;
    label->setAccessibleDescription(description);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QProgressBar* Bar(const QString& name) {
    auto* bar = new QProgressBar;
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(10);
    bar->setAccessibleName(name);
    return bar;
}

}  // namespace

TransferProgressView::TransferProgressView(bool withFileBar, QWidget* parent)
    : QWidget(parent),
      name_(ValueLabel(QStringLiteral("file name"))),
      file_(ValueLabel(QStringLiteral("file progress"))),
      total_(ValueLabel(QStringLiteral("total progress"))),
      totalBar_(Bar(QStringLiteral("total progress bar"))),
      elapsed_(ValueLabel(QStringLiteral("elapsed time"))),
      speed_(ValueLabel(QStringLiteral("speed"))),
      remaining_(ValueLabel(QStringLiteral("time left"))) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(name_);
    layout->addWidget(file_);
    if (withFileBar) {
        fileBar_ = Bar(QStringLiteral("file progress bar"));
        layout->addWidget(fileBar_);
    }
    layout->addSpacing(4);
    layout->addWidget(total_);
    layout->addWidget(totalBar_);
    auto* times = new QGridLayout;
    times->setHorizontalSpacing(16);
    times->addWidget(elapsed_, 0, 0);
    times->addWidget(speed_, 0, 1);
    times->addWidget(remaining_, 0, 2);
    layout->addLayout(times);
    soon_.setSingleShot(true);
    soon_.setInterval(100);
    connect(&soon_, &QTimer::timeout, this, [this] {
        if (pending_)
            Show(pending_());
    });
}

void TransferProgressView::ShowSoon(std::function<TransferProgress()> progress) {
    pending_ = std::move(progress);
    if (!soon_.isActive())
        soon_.start();
}

void TransferProgressView::Show(const TransferProgress& progress) {
    name_->setText(progress.name);
    file_->setText(progress.file);
    if (fileBar_)
        fileBar_->setValue(progress.filePercent);
    total_->setText(progress.total);
    totalBar_->setValue(progress.totalPercent);
    elapsed_->setText(progress.elapsed);
    speed_->setText(progress.speed);
    remaining_->setText(progress.remaining);
}

}  // namespace ov::shell
