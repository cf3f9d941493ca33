#include "shell/wizards/widgets/own_info_dialog.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/wizards/widgets/user_info_pages.h"
#include "shell/wizards/widgets/wizard_frame.h"

namespace ov::shell {

namespace {

QPushButton* Button(const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    button->setAccessibleName(QString::fromUtf8(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

OwnInfoDialog::OwnInfoDialog(OVShellApp& app, QWidget* parent) : QDialog(parent), model_(app) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("修改个人资料"));
    setAccessibleName(windowTitle());

    pages_ = new UserInfoPages(app, UserInfoPages::Mode::Editable);
    status_ = new QLabel;
    status_->setAccessibleName(QStringLiteral("状态"));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    update_ = Button("修改资料(&U)", "修改资料");
    fetch_ = Button("获取资料(&G)", "获取资料");
    close_ = Button("关闭", "关闭");
    connect(update_, &QPushButton::clicked, this, [this] {
        pages_->Collect(&model_.Entered(), &model_.EnteredPrivacy());
        model_.Update();
    });
    connect(fetch_, &QPushButton::clicked, this, [this] { model_.Fetch(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::close);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addSpacing(12);
    buttons->addWidget(update_);
    buttons->addWidget(fetch_);
    buttons->addSpacing(8);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(pages_, 1);
    layout->addSpacing(4);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(&model_, &OwnInfoModel::Filled, this, &OwnInfoDialog::ShowReference);
    connect(&model_, &OwnInfoModel::StatusChanged, this, [this](const QString& text) {
        status_->setText(text);
        UpdateButtons();
    });
    connect(&model_, &OwnInfoModel::DialogEnded, this, [this] {
        if (!closing_)
            close();
    });
    ShowReference();
    model_.Fetch();
    UpdateButtons();
}

OwnInfoDialog::~OwnInfoDialog() = default;

OwnInfoDialog* OwnInfoDialog::Open(OVShellApp& app) {
    return OpenOnePerApp<OwnInfoDialog>(app);
}

void OwnInfoDialog::ShowReference() {
    pages_->Show(model_.Entered(), model_.EnteredPrivacy());
    UpdateButtons();
}

void OwnInfoDialog::UpdateButtons() {
    update_->setEnabled(model_.CanUpdate());
    update_->setDefault(model_.CanUpdate());
}

void OwnInfoDialog::reject() {
    close();
}

void OwnInfoDialog::closeEvent(QCloseEvent* event) {
    closing_ = true;
    model_.Close();
    event->accept();
}

}  // namespace ov::shell
