#include "shell/app/status_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ov::shell {

namespace {

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(text);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

StatusWindow::StatusWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Orvane"));
    setAccessibleName(QStringLiteral("Orvane状态"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

    icon_ = new QLabel(this);
    icon_->setFixedSize(32, 32);
    icon_->setAccessibleName(QStringLiteral("状态图标"));
    tip_ = new QLabel(this);
    tip_->setAccessibleName(QStringLiteral("状态提示"));
    tip_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tip_->setMinimumWidth(200);

    status_ = Button(QStringLiteral("我的状态"), this);
    menu_ = Button(QStringLiteral("菜单"), this);
    next_ = Button(QStringLiteral("打开下一项"), this);
    connect(status_, &QPushButton::clicked, this, &StatusWindow::StatusMenuRequested);
    connect(menu_, &QPushButton::clicked, this, &StatusWindow::MenuRequested);
    connect(next_, &QPushButton::clicked, this, &StatusWindow::OpenNextRequested);

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(icon_);
    top->addWidget(tip_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_);
    buttons->addWidget(menu_);
    buttons->addStretch(1);
    buttons->addWidget(next_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addLayout(top);
    layout->addLayout(buttons);
    // The window follows its tip's length.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void StatusWindow::SetIcon(const QIcon& icon) {
    setWindowIcon(icon);
    icon_->setPixmap(icon.pixmap(32, 32));
}

void StatusWindow::SetTip(const QString& tip) {
    tip_->setText(tip);
    setToolTip(tip);
    setAccessibleDescription(tip);
}

QString StatusWindow::Tip() const {
    return tip_->text();
}

QPoint StatusWindow::MenuPosition() const {
    return mapToGlobal(QPoint(status_->x(), status_->geometry().bottom() + 2));
}

void StatusWindow::closeEvent(QCloseEvent* event) {
    // The program lives on behind this window as it would behind a tray icon; "退出" in its
    // menu ends it.
    event->ignore();
    showMinimized();
}

}  // namespace ov::shell
