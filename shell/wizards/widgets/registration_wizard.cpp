#include "shell/wizards/widgets/registration_wizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "shell/core/cp936_text.h"
#include "shell/core/shell_app.h"
#include "shell/wizards/widgets/face_chooser.h"

namespace ov::shell {

using namespace wizard_ui;

namespace {

using Field = RegistrationWizardModel::Field;

constexpr int kFieldWidth = 220;
constexpr int kFaceIconSize = 24;
// Wide enough for the terms to read comfortably beside the page picture.
constexpr int kPageMinimumWidth = 440;

// text keeps its "(&X)" accelerator; the accessible name is given without it.
QRadioButton* Radio(const char* text, const char* name) {
    auto* button = new QRadioButton(Utf8(text));
    button->setAccessibleName(Utf8(name));
    return button;
}

QComboBox* Combo(const char* name) {
    auto* combo = new QComboBox;
    combo->setAccessibleName(Utf8(name));
    combo->setMinimumWidth(kFieldWidth);
    combo->setMaxVisibleItems(16);
    return combo;
}

// A field with "(可选)" beside it.
QWidget* Optional(QWidget* field) {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(field);
    auto* mark = new QLabel(Utf8("(可选)"));
    mark->setAccessibleName(mark->text());
    mark->setEnabled(false);  // greyed: a hint, not a control
    row->addWidget(mark);
    row->addStretch();
    return box;
}

// An empty choice: the checks ask the user to choose one.
void Unchosen(QComboBox* combo) {
    combo->setCurrentIndex(-1);
}

template <class T>
std::optional<T> ChosenCode(const QComboBox* combo) {
    if (combo->currentIndex() < 0)
        return std::nullopt;
    return static_cast<T>(combo->currentData().toLongLong());
}

}  // namespace

RegistrationWizard::RegistrationWizard(OVShellApp& app, QWidget* parent)
    : WizardFrame(app, Utf8("新用户注册"), "sRegister", parent), model_(app) {
    Pages()->setMinimumWidth(kPageMinimumWidth);
    AddPage(MakeWelcomePage());
    AddPage(MakeTermsPage());
    AddPage(MakeBasicPage());
    AddPage(MakePersonalPage());
    AddPage(MakeNameTakenPage());
    AddPage(MakeRegisteringPage());
    AddPage(MakeFailedPage());
    AddPage(MakeSucceededPage());

    connect(&model_, &RegistrationWizardModel::PageChanged, this, &RegistrationWizard::ShowPage);
    connect(&model_, &RegistrationWizardModel::WizardEnded, this, &RegistrationWizard::CloseEnded);
    ShowPage(model_.CurrentPage());
}

RegistrationWizard::~RegistrationWizard() = default;

RegistrationWizard* RegistrationWizard::Open(OVShellApp& app) {
    return OpenOnePerApp<RegistrationWizard>(app);
}

QWidget* RegistrationWizard::MakeWelcomePage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "欢迎使用“Orvane新用户注册向导”");
    auto* registerNew = Radio("我要注册一个新用户。(&R)", "我要注册一个新用户。");
    logIn_ =
        Radio("我已经注册了Orvane用户，请让我登录。(&L)", "我已经注册了Orvane用户，请让我登录。");
    registerNew->setChecked(true);
    layout->addWidget(registerNew);
    layout->addSpacing(4);
    layout->addWidget(logIn_);
    layout->addStretch();
    return page;
}

QWidget* RegistrationWizard::MakeTermsPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "Orvane服务条款");
    auto* terms = new QPlainTextEdit;
    terms->setReadOnly(true);
    terms->setAccessibleName(Utf8("Orvane服务条款"));
    QFile file(app_.ProgramDirectory() + QStringLiteral("License.txt"));
    if (file.open(QIODevice::ReadOnly))
        terms->setPlainText(FromCp936Bytes(file.readAll()));
    layout->addWidget(terms, 1);
    accept_ = Radio("我接受以上的所有条款，并希望注册成为Orvane用户",
                    "我接受以上的所有条款，并希望注册成为Orvane用户");
    decline_ = Radio("我不能接受以上的条款", "我不能接受以上的条款");
    layout->addSpacing(6);
    layout->addWidget(accept_);
    layout->addWidget(decline_);
    connect(accept_, &QRadioButton::toggled, this, [this](bool on) {
        model_.SetTermsAccepted(on);
        UpdateButtons();
    });
    return page;
}

QWidget* RegistrationWizard::MakeBasicPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "基本信息");
    loginName_ = Edit("登录名", OV_USERNAME_SIZE - 1);
    password_ = Edit("密码", OV_PASSWORD_SIZE - 1, true);
    repeated_ = Edit("重复密码", OV_PASSWORD_SIZE - 1, true);
    nickName_ = Edit("昵称", OV_NICKNAME_SIZE - 1);
    lastName_ = Edit("姓", OV_LASTNAME_SIZE - 1);
    firstName_ = Edit("名", OV_FIRSTNAME_SIZE - 1);
    eMail_ = Edit("电子邮件", OV_EMAIL_SIZE - 1);
    hideEMail_ = new QCheckBox(Utf8("请隐藏我的电子邮件，只用于找回密码(&H)"));
    hideEMail_->setAccessibleName(Utf8("请隐藏我的电子邮件，只用于找回密码"));

    QFormLayout* form = Form();
    form->addRow(FormLabel("登录名", loginName_), Optional(loginName_));
    form->addRow(FormLabel("密码", password_), password_);
    form->addRow(FormLabel("重复密码", repeated_), repeated_);
    form->addRow(FormLabel("昵称", nickName_), Optional(nickName_));
    form->addRow(FormLabel("姓", lastName_), Optional(lastName_));
    form->addRow(FormLabel("名", firstName_), Optional(firstName_));
    form->addRow(FormLabel("电子邮件", eMail_), Optional(eMail_));
    form->addRow(QString(), hideEMail_);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addWidget(Note("如果你不输入登录名，系统将自动分配一个给您"));
    layout->addStretch();
    return page;
}

QWidget* RegistrationWizard::MakePersonalPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "个性化信息");
    const ReferenceLists& lists = app_.References();

    ageRange_ = Combo("年龄段");
    for (const ReferenceEntry& e : lists.AgeRanges())
        ageRange_->addItem(e.name, e.code);
    Unchosen(ageRange_);

    auto* sexRow = new QWidget;
    auto* sexLayout = new QHBoxLayout(sexRow);
    sexLayout->setContentsMargins(0, 0, 0, 0);
    sex_ = new QButtonGroup(this);
    const char* const sexes[][2] = {{"男(&M)", "男"}, {"女(&F)", "女"}, {"保密", "保密"}};
    for (int i = 0; i < 3; ++i) {
        QRadioButton* button = Radio(sexes[i][0], sexes[i][1]);
        sex_->addButton(button, i);
        sexLayout->addWidget(button);
    }
    sexLayout->addStretch();

    location_ = Combo("所在地");
    for (const LocationEntry& e : lists.Locations())
        location_->addItem(lists.LocationText(e.code), static_cast<qlonglong>(e.code));
    Unchosen(location_);

    language_ = Combo("语言");
    for (const ReferenceEntry& e : lists.Languages())
        language_->addItem(e.name, e.code);
    Unchosen(language_);

    career_ = Combo("职业");
    for (const ReferenceEntry& e : lists.Careers())
        career_->addItem(e.name, e.code);

    face_ = Combo("头像");
    FillFaceChooser(face_, app_.ProgramDirectory(), kFaceIconSize);

    QFormLayout* form = Form();
    form->addRow(FormLabel("年龄段", ageRange_), ageRange_);
    auto* sexLabel = new QLabel(Utf8("性别"));
    sexLabel->setAccessibleName(sexLabel->text());
    form->addRow(sexLabel, sexRow);
    form->addRow(FormLabel("所在地", location_), location_);
    form->addRow(FormLabel("语言", language_), language_);
    form->addRow(FormLabel("职业", career_), career_);
    form->addRow(FormLabel("头像", face_), face_);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* RegistrationWizard::MakeNameTakenPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "注册错误");
    chooseName_ = Radio("重新选择登录名(&S):", "重新选择登录名");
    suggestions_ = Combo("登录名建议");
    suggestions_->setEditable(true);
    suggestions_->lineEdit()->setMaxLength(OV_USERNAME_SIZE - 1);
    suggestions_->lineEdit()->setAccessibleName(Utf8("登录名建议"));
    assignNumber_ = Radio("让系统自动分配一个号码做为我的登录名。(&A)",
                          "让系统自动分配一个号码做为我的登录名。");
    connect(chooseName_, &QRadioButton::toggled, suggestions_, &QWidget::setEnabled);
    auto* row = new QHBoxLayout;
    row->addWidget(chooseName_);
    row->addWidget(suggestions_);
    row->addStretch();
    layout->addLayout(row);
    layout->addSpacing(4);
    layout->addWidget(assignNumber_);
    layout->addStretch();
    return page;
}

QWidget* RegistrationWizard::MakeRegisteringPage() {
    return WaitingPage("正在注册......", &animation_);
}

QWidget* RegistrationWizard::MakeFailedPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "注册失败！");
    layout->addWidget(Note("无法连接服务器，请检查您的网络连接！"));
    layout->addStretch();
    return page;
}

QWidget* RegistrationWizard::MakeSucceededPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "注册成功！");
    layout->addWidget(Note("欢迎您加入Orvane！"));
    layout->addSpacing(8);
    auto* row = new QHBoxLayout;
    // The name label alone goes by "您的登录名："; the caption reads as the whole line.
    nameCaption_ = new QLabel(Utf8("您的登录名："));
    confirmedName_ = new QLabel;
    confirmedName_->setAccessibleName(Utf8("您的登录名："));
    confirmedName_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = confirmedName_->font();
    bold.setBold(true);
    confirmedName_->setFont(bold);
    row->addWidget(nameCaption_);
    row->addWidget(confirmedName_);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    return page;
}

void RegistrationWizard::Collect() {
    switch (model_.CurrentPage()) {
        case RegistrationWizardModel::kWelcome:
            model_.SetLogInInstead(logIn_->isChecked());
            break;
        case RegistrationWizardModel::kBasic: {
            RegistrationWizardModel::BasicInfo& b = model_.Basic();
            b.loginName = loginName_->text();
            b.password = password_->text();
            b.repeatedPassword = repeated_->text();
            b.nickName = nickName_->text();
            b.lastName = lastName_->text();
            b.firstName = firstName_->text();
            b.eMail = eMail_->text();
            b.hideEMail = hideEMail_->isChecked();
            break;
        }
        case RegistrationWizardModel::kPersonal: {
            RegistrationWizardModel::PersonalInfo& p = model_.Personal();
            p.ageRange = ChosenCode<int>(ageRange_);
            p.sex = sex_->checkedId() >= 0 ? std::optional<int>(sex_->checkedId()) : std::nullopt;
            p.location = ChosenCode<quint32>(location_);
            p.language = ChosenCode<int>(language_);
            p.career = ChosenCode<int>(career_).value_or(0);
            p.icon = ChosenCode<quint32>(face_).value_or(0);
            break;
        }
        case RegistrationWizardModel::kNameTaken:
            model_.SetAssignNumber(assignNumber_->isChecked());
            model_.SetChosenName(suggestions_->currentText());
            break;
        default:
            break;
    }
}

void RegistrationWizard::OnNext() {
    Collect();
    const Field refused = model_.Next();
    if (refused != Field::None)
        FocusField(refused);
}

void RegistrationWizard::OnBack() {
    Collect();
    model_.Back();
}

void RegistrationWizard::FocusField(Field field) {
    QWidget* target = nullptr;
    switch (field) {
        case Field::LoginName:
            target = loginName_;
            break;
        case Field::Password:
            target = password_;
            break;
        case Field::EMail:
            target = eMail_;
            break;
        case Field::AgeRange:
            target = ageRange_;
            break;
        case Field::Sex:
            target = sex_->button(0);
            break;
        case Field::Location:
            target = location_;
            break;
        case Field::Language:
            target = language_;
            break;
        case Field::SuggestedName:
            target = suggestions_;
            break;
        case Field::None:
            break;
    }
    if (target == nullptr)
        return;
    target->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(target))
        edit->selectAll();
}

void RegistrationWizard::ShowPage(int page) {
    if (page == RegistrationWizardModel::kNameTaken) {
        suggestions_->clear();
        suggestions_->addItems(model_.Suggestions());
        suggestions_->setEditText(model_.ChosenName());
        chooseName_->setChecked(true);
    } else if (page == RegistrationWizardModel::kSucceeded) {
        confirmedName_->setText(model_.ConfirmedName());
        // A reader hears the label by its name; the name itself is its description.
        confirmedName_->setAccessibleDescription(model_.ConfirmedName());
        nameCaption_->setAccessibleName(nameCaption_->text() + model_.ConfirmedName());
    }

    if (page == RegistrationWizardModel::kRegistering)
        PlayAnimation(animation_, "sRegisterAVI");
    else
        StopAnimation();

    ShowFramePage(page);
    UpdateButtons();
    if (page == RegistrationWizardModel::kSucceeded)
        FinishButton()->setFocus(Qt::OtherFocusReason);
}

void RegistrationWizard::UpdateButtons() {
    SetButtons(model_.CanBack(), model_.CanNext(), model_.CanCancel(), model_.CanFinish());
}

}  // namespace ov::shell
