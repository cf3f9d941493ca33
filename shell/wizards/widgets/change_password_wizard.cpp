#include "shell/wizards/widgets/change_password_wizard.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "common/protocol/vocabulary.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

using namespace wizard_ui;

namespace {

using Field = ChangePasswordModel::Field;

// Room for the longest failure text without a window taller than the picture.
constexpr int kPageMinimumWidth = 400;

}  // namespace

ChangePasswordWizard::ChangePasswordWizard(OVShellApp& app, QWidget* parent)
    : WizardFrame(app, Utf8("修改登录密码"), "sChangePassword", parent), model_(app) {
    Pages()->setMinimumWidth(kPageMinimumWidth);
    AddPage(MakeInputPage());
    AddPage(MakeSubmittingPage());
    AddPage(MakeFailedPage());
    AddPage(MakeSucceededPage());
    connect(&model_, &ChangePasswordModel::PageChanged, this, &ChangePasswordWizard::ShowPage);
    connect(&model_, &ChangePasswordModel::WizardEnded, this, &ChangePasswordWizard::CloseEnded);
    ShowPage(model_.CurrentPage());
    // The name is usually the logged-in user's: start where something is missing.
    (userName_->text().isEmpty() ? userName_ : oldPassword_)->setFocus(Qt::OtherFocusReason);
}

ChangePasswordWizard::~ChangePasswordWizard() = default;

ChangePasswordWizard* ChangePasswordWizard::Open(OVShellApp& app) {
    return OpenOnePerApp<ChangePasswordWizard>(app);
}

QWidget* ChangePasswordWizard::MakeInputPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "欢迎使用“修改密码向导”");
    userName_ = Edit("用户名", OV_USERNAME_SIZE - 1);
    userName_->setText(model_.Entered().userName);
    oldPassword_ = Edit("原密码", OV_PASSWORD_SIZE - 1, true);
    newPassword_ = Edit("新密码", OV_PASSWORD_SIZE - 1, true);
    repeated_ = Edit("重复新密码", OV_PASSWORD_SIZE - 1, true);
    QFormLayout* form = Form();
    form->addRow(FormLabel("用户名(&U):", userName_), userName_);
    form->addRow(FormLabel("原密码(&P):", oldPassword_), oldPassword_);
    form->addRow(FormLabel("新密码(&N):", newPassword_), newPassword_);
    form->addRow(FormLabel("重复新密码(&C):", repeated_), repeated_);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* ChangePasswordWizard::MakeSubmittingPage() {
    return WaitingPage("正在提交请求......", &animation_);
}

QWidget* ChangePasswordWizard::MakeFailedPage() {
    return FailurePage("修改密码失败！", &failure_);
}

QWidget* ChangePasswordWizard::MakeSucceededPage() {
    auto* page = new QWidget;
    PageLayout(page, "修改密码成功！")->addStretch();
    return page;
}

void ChangePasswordWizard::OnNext() {
    ChangePasswordModel::Input& input = model_.Entered();
    input.userName = userName_->text();
    input.oldPassword = oldPassword_->text();
    input.newPassword = newPassword_->text();
    input.repeatedPassword = repeated_->text();
    QLineEdit* target = nullptr;
    switch (model_.Next()) {
        case Field::UserName:
            target = userName_;
            break;
        case Field::OldPassword:
            target = oldPassword_;
            break;
        case Field::NewPassword:
            target = newPassword_;
            break;
        case Field::RepeatedPassword:
            target = repeated_;
            break;
        case Field::None:
            return;
    }
    target->setFocus(Qt::OtherFocusReason);
    target->selectAll();
}

void ChangePasswordWizard::ShowPage(int page) {
    if (page == ChangePasswordModel::kFailed) {
        failure_->setText(model_.FailureText());
        failure_->setAccessibleName(model_.FailureText());
    }
    if (page == ChangePasswordModel::kSubmitting)
        PlayAnimation(animation_, "sRegisterAVI");
    else
        StopAnimation();
    ShowFramePage(page);
    SetButtons(model_.CanBack(), model_.CanNext(), model_.CanCancel(), model_.CanFinish());
    if (page == ChangePasswordModel::kSucceeded)
        FinishButton()->setFocus(Qt::OtherFocusReason);
    else if (page == ChangePasswordModel::kFailed)
        BackButton()->setFocus(Qt::OtherFocusReason);
}

}  // namespace ov::shell
