#include "shell/wizards/widgets/user_info_dialog.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/wizards/widgets/user_info_pages.h"

namespace ov::shell {

namespace {

QPushButton* Button(const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    button->setAccessibleName(QString::fromUtf8(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

UserInfoDialog::UserInfoDialog(OVShellApp& app, qint32 pin, const QString& userName,
                               QWidget* parent)
    : QDialog(parent), model_(app, pin, userName) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("用户信息"));
    setAccessibleName(windowTitle());

    pages_ = new UserInfoPages(app, UserInfoPages::Mode::ReadOnly);
    status_ = new QLabel;
    status_->setAccessibleName(QStringLiteral("状态"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fetch_ = Button("获取资料(&G)", "获取资料");
    addBuddy_ = Button("加为好友(&A)", "加为好友");
    close_ = Button("关闭", "关闭");
    connect(fetch_, &QPushButton::clicked, this, [this] { model_.Fetch(); });
    connect(addBuddy_, &QPushButton::clicked, this, [this] { model_.AddBuddy(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::close);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addSpacing(12);
    buttons->addWidget(fetch_);
    buttons->addWidget(addBuddy_);
    buttons->addSpacing(8);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(pages_, 1);
    layout->addSpacing(4);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(&model_, &UserInfoModel::Filled, this, &UserInfoDialog::ShowInfo);
    connect(&model_, &UserInfoModel::StatusChanged, status_, &QLabel::setText);
    connect(&model_, &UserInfoModel::DialogEnded, this, [this] {
        if (!closing_)
            close();
    });
    ShowInfo();
    model_.Fetch();
}

UserInfoDialog::~UserInfoDialog() = default;

UserInfoDialog* UserInfoDialog::Open(OVShellApp& app, qint32 pin, const QString& userName) {
    if (!UserInfoModel::MayOpen(pin, userName))
        return nullptr;
    static QHash<OVShellApp*, QList<QPointer<UserInfoDialog>>> dialogs;
    QList<QPointer<UserInfoDialog>>& open = dialogs[&app];
    open.removeAll(nullptr);
    UserInfoDialog* dialog = nullptr;
    for (const QPointer<UserInfoDialog>& d : open) {
        if (!d->model_.Ended() && d->model_.IsFor(pin, userName)) {
            dialog = d;
            break;
        }
    }
    if (dialog == nullptr) {
        dialog = new UserInfoDialog(app, pin, userName);
        open.append(dialog);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

void UserInfoDialog::ShowInfo() {
    UserProfile shown = model_.Shown();
    // Before the first reply the pages show whom the dialog is for.
    if (!model_.HasInfo()) {
        shown.pin = static_cast<quint32>(model_.Pin());
        shown.userName = model_.UserName();
    }
    pages_->Show(shown, Privacy::OfMode(shown.mode));
    pages_->SetDetailsHidden(model_.DetailsHidden());
    UpdateButtons();
}

void UserInfoDialog::UpdateButtons() {
    addBuddy_->setEnabled(model_.CanAddBuddy());
}

void UserInfoDialog::reject() {
    close();
}

void UserInfoDialog::closeEvent(QCloseEvent* event) {
    closing_ = true;
    model_.Close();
    event->accept();
}

}  // namespace ov::shell
