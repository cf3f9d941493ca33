#include "shell/diagnostics/widgets/saving_file_window.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace ov::shell {

SavingFileWindow::SavingFileWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    const QString title = QStringLiteral("正在保存文件") + QStringLiteral("...");
    setWindowTitle(title);
    setAccessibleName(title);
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(title, this);
    label->setAccessibleName(title);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // how long it takes is not known
    bar->setTextVisible(false);
    bar->setAccessibleName(title);
    layout->addWidget(label);
    layout->addWidget(bar);
    setFixedSize(sizeHint().expandedTo(QSize(280, 0)));
}

void SavingFileWindow::ShowNow() {
    show();
    raise();
    QApplication::processEvents();
}

}  // namespace ov::shell
