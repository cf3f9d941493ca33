#include "shell/core/widgets/login_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/security_level.h"
#include "shell/core/shell_app.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

namespace {

constexpr int kWidth = 380;
constexpr QMargins kPadding(16, 14, 16, 14);

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QLabel* FieldLabel(const char* text, QWidget* buddy) {
    auto* label = new QLabel(Text(text));
    label->setBuddy(buddy);
    return label;
}

}  // namespace

LoginDialog::LoginDialog(OVShellApp& app, QWidget* parent)
    : OVSkinForm("LoginDlg", parent), app_(app), model_(app) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text("Orvane登录"));
    setAccessibleName(windowTitle());
    SetCaptionButtons(OVSkinForm::Minimize | OVSkinForm::Close);

    name_ = new QComboBox;
    name_->setEditable(true);
    name_->setInsertPolicy(QComboBox::NoInsert);
    name_->setAccessibleName(Text("登录名"));
    name_->lineEdit()->setMaxLength(OV_USERNAME_SIZE - 1);

    password_ = new QLineEdit;
    password_->setEchoMode(QLineEdit::Password);
    password_->setAccessibleName(Text("密码"));
    password_->installEventFilter(this);

    status_ = new QComboBox;
    status_->setAccessibleName(Text("登录状态"));
    const char* const statuses[][2] = {{"正常上线", "sStatusOnline"},
                                       {"暂时离开", "sStatusAway"},
                                       {"请勿打扰", "sStatusDND"},
                                       {"假装离线", "sStatusInvis"}};
    const OVSkin* skin = app_.Desktop().skin;
    for (const auto& [text, icon] : statuses)
        status_->addItem(skin ? skin->LoadIcon("Icons.Menu", icon) : QIcon(), Text(text));

    pageroom_ = new QCheckBox(Text("启用Pageroom"));
    pageroom_->setAccessibleName(Text("启用Pageroom"));

    level_ = new QSlider(Qt::Horizontal);
    level_->setRange(0, kSecurityLevelCount - 1);
    level_->setPageStep(1);
    level_->setTickPosition(QSlider::TicksBelow);
    level_->setTickInterval(1);
    level_->setAccessibleName(Text("安全级别"));
    levelName_ = new QLabel;
    QFont bold = levelName_->font();
    bold.setBold(true);
    levelName_->setFont(bold);
    levelHint_ = new QLabel;
    levelHint_->setStyleSheet(QStringLiteral("color: #5B6B7D;"));
    levelText_ = new QLabel;
    levelText_->setWordWrap(true);
    levelText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ok_ = new QPushButton(Text("确定"));
    ok_->setAccessibleName(Text("确定"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(Text("取消"));
    cancel_->setAccessibleName(Text("取消"));
    register_ = new QPushButton(Text("注册新用户"));
    register_->setAccessibleName(Text("注册新用户"));

    auto* fields = new QFormLayout;
    fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    fields->setHorizontalSpacing(10);
    fields->setVerticalSpacing(8);
    fields->addRow(FieldLabel("登录名:", name_), name_);
    fields->addRow(FieldLabel("密码:", password_), password_);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_, 1);
    statusRow->addSpacing(8);
    statusRow->addWidget(pageroom_);
    fields->addRow(FieldLabel("登录状态:", status_), statusRow);

    auto* levelBox = levelBox_ = new QFrame;
    levelBox->setObjectName(QStringLiteral("levelBox"));
    levelBox->setStyleSheet(QStringLiteral(
        "#levelBox { background: #FFFFFF; border: 1px solid #D5DCE4; border-radius: 4px; }"));
    auto* levelLayout = new QVBoxLayout(levelBox);
    levelLayout->setContentsMargins(12, 8, 12, 10);
    levelLayout->setSpacing(4);
    levelLayout->addWidget(level_);
    levelLayout->addSpacing(2);
    levelLayout->addWidget(levelName_);
    levelLayout->addWidget(levelHint_);
    levelLayout->addWidget(levelText_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(register_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addLayout(fields);
    layout->addWidget(levelBox);
    layout->addLayout(buttons);

    connect(level_, &QSlider::valueChanged, this, &LoginDialog::ShowLevel);
    connect(name_, &QComboBox::activated, this,
            [this](int index) { ChooseUser(name_->itemText(index)); });
    connect(name_->lineEdit(), &QLineEdit::textEdited, this, &LoginDialog::NameEdited);
    connect(password_, &QLineEdit::textEdited, this, [this] { placeholder_ = false; });
    connect(ok_, &QPushButton::clicked, this, &LoginDialog::Ok);
    connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
    connect(register_, &QPushButton::clicked, this, &LoginDialog::Register);

    // A name just registered comes first, then whoever logged in last.
    knownUsers_ = model_.KnownUsers();
    QString first = app_.Login().userName;
    if (first.isEmpty() && !knownUsers_.isEmpty())
        first = knownUsers_.first();
    name_->addItems(knownUsers_);
    if (!first.isEmpty() && !knownUsers_.contains(first))
        name_->insertItem(0, first);
    name_->setCurrentText(first);
    ChooseUser(first);
    ShowLevel(level_->value());
    (first.isEmpty() ? static_cast<QWidget*>(name_) : password_)->setFocus();

    if (app_.Desktop().skin)
        SetSkin(app_.Desktop().skin);
    FitSize();
}

LoginDialog::~LoginDialog() = default;

void LoginDialog::OnApply() {
    OVSkinForm::OnApply();
    FitSize();
}

void LoginDialog::FitSize() {
    if (!layout())
        return;
    layout()->setContentsMargins(ClientMargins() + kPadding);
    // Room for the longest description, so the dialog keeps its size as the slider moves.
    // The description's width follows from the dialog's: children are not laid out before
    // the dialog shows.
    ensurePolished();
    const QMargins outer = layout()->contentsMargins();
    const QMargins inner = levelBox_->layout()->contentsMargins();
    const int width = kWidth - outer.left() - outer.right() - 2 * levelBox_->frameWidth() -
                      levelBox_->contentsMargins().left() - levelBox_->contentsMargins().right() -
                      inner.left() - inner.right();
    const QString shown = levelText_->text();
    int tallest = 0;
    for (int level = 0; level < kSecurityLevelCount; ++level) {
        levelText_->setText(SecurityLevelTexts(level).description);
        tallest = std::max(tallest, levelText_->heightForWidth(width));
    }
    levelText_->setText(shown);
    levelText_->setMinimumHeight(tallest);
    const int height = heightForWidth(kWidth);
    setFixedSize(kWidth, height > 0 ? height : sizeHint().height());
}

void LoginDialog::ChooseUser(const QString& userName) {
    // A name this computer does not know (or none yet) gets a new user's defaults, not the
    // slider's lowest level, which keeps nothing.
    const LoginDialogModel::UserChoice choice = model_.ChooseUser(userName);
    ShowPlaceholder(choice.savedPassword);
    level_->setValue(choice.securityLevel);
    pageroom_->setChecked(choice.pageroom);
    status_->setCurrentIndex(choice.statusIndex);
}

void LoginDialog::NameEdited(const QString& text) {
    if (knownUsers_.contains(text))
        ChooseUser(text);
    else if (placeholder_)
        ShowPlaceholder(false);  // it stood for another user's password
}

void LoginDialog::ShowPlaceholder(bool saved) {
    placeholder_ = saved;
    password_->setText(saved ? LoginDialogModel::SavedPasswordPlaceholder() : QString());
}

void LoginDialog::ShowLevel(int level) {
    const SecurityLevelText texts = SecurityLevelTexts(level);
    levelName_->setText(texts.name);
    levelHint_->setText(texts.hint);
    levelText_->setText(texts.description);
    level_->setAccessibleDescription(texts.name);
}

void LoginDialog::Ok() {
    using Outcome = LoginDialogModel::Outcome;
    switch (model_.Accept(name_->currentText(), password_->text(), status_->currentIndex(),
                          level_->value(), pageroom_->isChecked())) {
        case Outcome::EmptyName:
        case Outcome::BadName:
            name_->setFocus();
            name_->lineEdit()->selectAll();
            break;
        case Outcome::EmptyPassword:
            password_->setFocus();
            break;
        case Outcome::BackToPassword:
            password_->setFocus();
            password_->selectAll();
            break;
        case Outcome::Accepted:
            ended_ = true;
            close();
            break;
    }
}

void LoginDialog::Register() {
    ended_ = true;
    if (CHiddenFrame* frame = app_.Frame())
        frame->PostCommand(ID_FUNCTION_REGISTER);
    close();
}

void LoginDialog::closeEvent(QCloseEvent* event) {
    if (!ended_) {
        ended_ = true;
        if (CHiddenFrame* frame = app_.Frame())
            frame->PostCommand(ID_FUNCTION_LOGIN_CANCELED);
    }
    OVSkinForm::closeEvent(event);
}

void LoginDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Ok();
            return;
        case Qt::Key_Escape:
            close();
            return;
        default:
            OVSkinForm::keyPressEvent(event);
    }
}

bool LoginDialog::eventFilter(QObject* watched, QEvent* event) {
    // The placeholder is not a password to edit: the first key typed starts a new one.
    if (watched == password_ && placeholder_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool edits = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                           (!key->text().isEmpty() && key->text().at(0).isPrint());
        if (edits) {
            placeholder_ = false;
            password_->clear();
            if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete)
                return true;
        }
    }
    return OVSkinForm::eventFilter(watched, event);
}

}  // namespace ov::shell
