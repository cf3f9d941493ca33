#include "shell/wizards/widgets/add_buddy_wizard.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "common/protocol/vocabulary.h"
#include "shell/core/shell_app.h"
#include "shell/core/widgets/face_icon.h"

namespace ov::shell {

using namespace wizard_ui;

namespace {

using Model = AddBuddyModel;

constexpr int kPageMinimumWidth = 380;
constexpr int kFaceSize = 32;
constexpr int kFieldWidth = 220;

// The open wizards of each application, for one wizard per user.
QList<QPointer<AddBuddyWizard>>& OpenWizards(OVShellApp& app) {
    static QHash<OVShellApp*, QList<QPointer<AddBuddyWizard>>> wizards;
    QList<QPointer<AddBuddyWizard>>& list = wizards[&app];
    list.removeAll(nullptr);
    return list;
}

// The face at the screen's resolution.
QPixmap Face(OVShellApp& app, qint32 icon, const QWidget* on) {
    const qreal ratio = on->devicePixelRatioF();
    QPixmap face = FaceIcon(app, icon, qRound(kFaceSize * ratio));
    face.setDevicePixelRatio(ratio);
    return face;
}

}  // namespace

AddBuddyWizard::AddBuddyWizard(OVShellApp& app, QWidget* parent)
    : WizardFrame(app, Utf8("添加好友"), "sAddBuddy", parent), model_(app) {
    Pages()->setMinimumWidth(kPageMinimumWidth);
    AddPage(MakeWelcomePage());
    AddPage(MakeChooseGroupPage());
    AddPage(MakeAddingPage());
    AddPage(MakeVerificationPage());
    AddPage(MakeOutcomePage("验证信息发送成功", nullptr));
    AddPage(MakeOutcomePage("添加好友失败", "对方验证失败"));
    AddPage(MakeOutcomePage("添加好友失败", "无法连接服务器，请检查您的网络连接！"));
    AddPage(MakeOutcomePage("添加好友成功", "你可以经常和好友保持联系了"));
    connect(&model_, &Model::PageChanged, this, &AddBuddyWizard::ShowPage);
    connect(&model_, &Model::TargetChanged, this, &AddBuddyWizard::ShowTarget);
    connect(&model_, &Model::WizardEnded, this, &AddBuddyWizard::CloseEnded);
    OpenWizards(app).push_back(this);
    ShowMethod();
    ShowPage(model_.CurrentPage());
    entry_->setFocus(Qt::OtherFocusReason);
}

AddBuddyWizard::~AddBuddyWizard() = default;

AddBuddyWizard* AddBuddyWizard::Find(OVShellApp& app, qint32 pin) {
    for (const QPointer<AddBuddyWizard>& w : OpenWizards(app))
        if (!w->model_.Ended() && w->model_.TargetPin() == pin)
            return w;
    return nullptr;
}

AddBuddyWizard* AddBuddyWizard::Open(OVShellApp& app, qint32 pin, const QString& userName,
                                     qint32 icon) {
    if (pin != 0 && pin < Model::kLowestPin)
        return nullptr;
    AddBuddyWizard* wizard = pin != 0 ? Find(app, pin) : nullptr;
    if (wizard == nullptr) {
        wizard = new AddBuddyWizard(app);
        if (pin != 0)
            wizard->OpenFor(pin, userName, icon);
        else
            wizard->entry_->setText(userName);
    }
    wizard->show();
    wizard->raise();
    wizard->activateWindow();
    return wizard;
}

bool AddBuddyWizard::OpenFor(qint32 pin, const QString& userName, qint32 icon) {
    if (model_.OpenFor(pin, userName, icon))
        return true;
    // The model ended; a window never shown is not closed by its close.
    deleteLater();
    return false;
}

QWidget* AddBuddyWizard::MakeWelcomePage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "欢迎使用“添加好友向导”");
    byName_ = new QRadioButton(Utf8("通过用户名"));
    byName_->setAccessibleName(byName_->text());
    byName_->setChecked(true);
    byPin_ = new QRadioButton(Utf8("通过Orvane号码"));
    byPin_->setAccessibleName(byPin_->text());
    entry_ = Edit("用户名", OV_USERNAME_SIZE - 1);
    connect(byName_, &QRadioButton::toggled, this, [this] {
        model_.SetMethod(byName_->isChecked() ? Model::Method::ByName : Model::Method::ByPin);
        ShowMethod();
    });
    auto* indented = new QHBoxLayout;
    indented->addSpacing(20);
    indented->addWidget(entry_);
    indented->addStretch();
    layout->addWidget(byName_);
    layout->addWidget(byPin_);
    layout->addSpacing(6);
    layout->addLayout(indented);
    layout->addStretch();
    return page;
}

QWidget* AddBuddyWizard::MakeChooseGroupPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 8);
    caption_ = Heading("");
    caption_->setWordWrap(true);
    layout->addWidget(caption_);
    layout->addSpacing(12);

    face_ = new QLabel;
    face_->setFixedSize(kFaceSize, kFaceSize);
    face_->setAlignment(Qt::AlignCenter);
    face_->setAccessibleName(Utf8("头像"));
    groups_ = new QComboBox;
    groups_->setAccessibleName(Utf8("请选择加入的组:"));
    groups_->setMinimumWidth(kFieldWidth - kFaceSize);
    connect(groups_, &QComboBox::currentIndexChanged, this,
            [this](int index) { model_.ChooseGroup(index); });
    auto* prompt = FormLabel("请选择加入的组:", groups_);

    auto* row = new QHBoxLayout;
    row->addWidget(face_, 0, Qt::AlignTop);
    row->addSpacing(8);
    auto* column = new QVBoxLayout;
    column->addWidget(prompt);
    column->addWidget(groups_);
    row->addLayout(column);
    row->addStretch();
    layout->addLayout(row);
    layout->addSpacing(12);

    lookup_ = new QLabel;
    lookup_->setWordWrap(true);
    layout->addWidget(lookup_);
    layout->addStretch();
    return page;
}

QWidget* AddBuddyWizard::MakeAddingPage() {
    return WaitingPage("正在添加好友......", &animation_);
}

QWidget* AddBuddyWizard::MakeVerificationPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "好友验证");
    verification_ = new QPlainTextEdit;
    verification_->setAccessibleName(Utf8("验证信息"));
    verification_->setTabChangesFocus(true);
    auto* prompt = FormLabel("对方需要验证,请输入验证信息:", verification_);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    layout->addWidget(verification_, 1);
    return page;
}

QWidget* AddBuddyWizard::MakeOutcomePage(const char* heading, const char* line) {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, heading);
    if (line != nullptr)
        layout->addWidget(Note(line));
    layout->addStretch();
    return page;
}

void AddBuddyWizard::ShowMethod() {
    const bool byName = model_.CurrentMethod() == Model::Method::ByName;
    entry_->setAccessibleName(Utf8(byName ? "用户名" : "Orvane号码"));
    // A number has up to ten digits; a name is cut where the server's field ends.
    entry_->setMaxLength(byName ? OV_USERNAME_SIZE - 1 : 10);
}

void AddBuddyWizard::CopyFields() {
    model_.Entered() = entry_->text();
    model_.VerificationText() = verification_->toPlainText();
}

void AddBuddyWizard::OnBack() {
    model_.Back();
}

void AddBuddyWizard::OnNext() {
    CopyFields();
    const int before = model_.CurrentPage();
    model_.Next();
    if (model_.Ended() || model_.CurrentPage() != before)
        return;
    // Refused: back to what needs correcting.
    if (before == Model::kWelcome) {
        entry_->setFocus(Qt::OtherFocusReason);
        entry_->selectAll();
    } else if (before == Model::kVerification) {
        verification_->setFocus(Qt::OtherFocusReason);
    }
}

void AddBuddyWizard::ShowTarget() {
    caption_->setText(model_.GroupCaption());
    caption_->setAccessibleName(caption_->text());
    face_->setPixmap(Face(app_, model_.TargetIcon(), face_));
    switch (model_.LookupState()) {
        case Model::Lookup::Looking:
            lookup_->setText(Utf8("正在获得好友的具体信息"));
            break;
        case Model::Lookup::NotFound:
            lookup_->setText(Utf8("你想添加为好友的用户不存在!"));
            break;
        case Model::Lookup::None:
            lookup_->clear();
            break;
    }
    lookup_->setAccessibleName(lookup_->text());
    lookup_->setVisible(!lookup_->text().isEmpty());
    SetButtons(model_.CanBack(), model_.CanNext(), model_.CanCancel(), model_.CanFinish());
}

void AddBuddyWizard::ShowPage(int page) {
    if (page == Model::kChooseGroup) {
        const QSignalBlocker quiet(groups_);
        groups_->clear();
        for (const Model::Group& g : model_.Groups())
            groups_->addItem(g.name, g.id);
        groups_->setCurrentIndex(model_.ChosenGroup());
        ShowTarget();
    }
    if (page == Model::kAdding)
        PlayAnimation(animation_, "sRegisterAVI");
    else
        StopAnimation();
    ShowFramePage(page);
    SetButtons(model_.CanBack(), model_.CanNext(), model_.CanCancel(), model_.CanFinish());
    switch (page) {
        case Model::kWelcome:
            entry_->setFocus(Qt::OtherFocusReason);
            break;
        case Model::kChooseGroup:
            groups_->setFocus(Qt::OtherFocusReason);
            break;
        case Model::kVerification:
            verification_->setFocus(Qt::OtherFocusReason);
            break;
        default:
            if (model_.CanFinish())
                FinishButton()->setFocus(Qt::OtherFocusReason);
            break;
    }
}

}  // namespace ov::shell
