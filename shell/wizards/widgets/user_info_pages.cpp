#include "shell/wizards/widgets/user_info_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "shell/core/reference_lists.h"
#include "shell/core/shell_app.h"
#include "shell/wizards/widgets/face_chooser.h"

namespace ov::shell {

namespace {

constexpr int kFieldWidth = 240;
constexpr int kFaceIconSize = 24;
constexpr int kAboutLines = 4;

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

// text keeps its "(&X)" accelerator; the accessible name goes without it.
QRadioButton* Radio(const char* text, const char* name) {
    auto* button = new QRadioButton(Utf8(text));
    button->setAccessibleName(Utf8(name));
    return button;
}

QCheckBox* Check(const char* text, const char* name) {
    auto* box = new QCheckBox(Utf8(text));
    box->setAccessibleName(Utf8(name));
    return box;
}

QFormLayout* Form(QWidget* page) {
    auto* form = new QFormLayout(page);
    form->setContentsMargins(16, 14, 16, 12);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setVerticalSpacing(8);
    return form;
}

// A form row whose label names its control.
QLabel* AddRow(QFormLayout* form, const char* label, QWidget* field) {
    auto* caption = new QLabel(Utf8(label));
    caption->setBuddy(field);
    caption->setAccessibleName(caption->text());
    form->addRow(caption, field);
    return caption;
}

// A text that cannot be edited reads as text, not as an empty field waiting for input.
void ShowAsText(QLineEdit* edit) {
    edit->setReadOnly(true);
    edit->setFrame(false);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

// The item with this number, added (blank for 0, else the number) when the list lacks it:
// what was received is kept as it was.
void SelectCode(QComboBox* combo, qint64 code) {
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toLongLong() == code) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    combo->addItem(code == 0 ? QString() : QString::number(code), code);
    combo->setCurrentIndex(combo->count() - 1);
}

void CollectCode(const QComboBox* combo, quint32* value) {
    if (combo->currentIndex() >= 0)
        *value = static_cast<quint32>(combo->currentData().toLongLong());
}

// Checks button id of the group, or none when there is no such button.
void CheckId(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

void FillReference(QComboBox* combo, const QList<ReferenceEntry>& list, bool blankFirst) {
    if (blankFirst)
        combo->addItem(QString(), qlonglong{0});
    for (const ReferenceEntry& e : list)
        combo->addItem(e.name, qlonglong{e.code});
}

}  // namespace

UserInfoPages::UserInfoPages(OVShellApp& app, Mode mode, QWidget* parent)
    : QTabWidget(parent), mode_(mode) {
    setAccessibleName(Utf8("用户资料"));
    addTab(MakeBasicPage(app), Utf8("基本资料"));
    addTab(MakePersonalPage(app), Utf8("个人信息"));
    addTab(MakeContactPage(app), Utf8("联系方式"));
    addTab(MakePrivacyPage(), Utf8("隐私设置"));
    if (mode_ == Mode::ReadOnly) {
        for (QComboBox* c : findChildren<QComboBox*>())
            c->setEnabled(false);
        for (QAbstractButton* b : findChildren<QAbstractButton*>())
            b->setEnabled(false);
        age_->setEnabled(false);
        age_->setButtonSymbols(QAbstractSpinBox::NoButtons);
        about_->setReadOnly(true);
    }
}

UserInfoPages::~UserInfoPages() = default;

QLineEdit* UserInfoPages::Edit(const char* name, int maxLength) {
    auto* edit = new QLineEdit;
    edit->setAccessibleName(Utf8(name));
    edit->setMaxLength(maxLength);
    edit->setMinimumWidth(kFieldWidth);
    if (mode_ == Mode::ReadOnly)
        ShowAsText(edit);
    return edit;
}

QComboBox* UserInfoPages::Combo(const char* name) {
    auto* combo = new QComboBox;
    combo->setAccessibleName(Utf8(name));
    combo->setMinimumWidth(kFieldWidth);
    combo->setMaxVisibleItems(16);
    return combo;
}

QWidget* UserInfoPages::MakeBasicPage(OVShellApp& app) {
    auto* page = new QWidget;
    QFormLayout* form = Form(page);
    pin_ = Edit("OV号码", 10);
    ShowAsText(pin_);
    userName_ = Edit("登录名", OV_USERNAME_SIZE - 1);
    ShowAsText(userName_);
    nickName_ = Edit("昵称", OV_NICKNAME_SIZE - 1);
    lastName_ = Edit("姓", OV_LASTNAME_SIZE - 1);
    firstName_ = Edit("名", OV_FIRSTNAME_SIZE - 1);
    eMail_ = Edit("电子邮件", OV_EMAIL_SIZE - 1);
    face_ = Combo("头像");
    FillFaceChooser(face_, app.ProgramDirectory(), kFaceIconSize);
    about_ = new QPlainTextEdit;
    about_->setAccessibleName(Utf8("个人说明"));
    about_->setTabChangesFocus(true);
    about_->setFixedWidth(kFieldWidth);
    about_->setFixedHeight(about_->fontMetrics().lineSpacing() * kAboutLines + 12);

    AddRow(form, "OV号码:", pin_);
    AddRow(form, "登录名:", userName_);
    AddRow(form, "昵称(&N):", nickName_);
    AddRow(form, "头像(&I):", face_);
    details_ << AddRow(form, "姓(&L):", lastName_) << lastName_;
    details_ << AddRow(form, "名(&R):", firstName_) << firstName_;
    details_ << AddRow(form, "电子邮件(&E):", eMail_) << eMail_;
    details_ << AddRow(form, "个人说明(&A):", about_) << about_;
    return page;
}

QWidget* UserInfoPages::MakePersonalPage(OVShellApp& app) {
    auto* page = new QWidget;
    QFormLayout* form = Form(page);
    const ReferenceLists& lists = app.References();

    ageRange_ = Combo("年龄段");
    FillReference(ageRange_, lists.AgeRanges(), false);
    age_ = new QSpinBox;
    age_->setAccessibleName(Utf8("年龄"));
    age_->setRange(0, 0xFFFF);
    age_->setSpecialValueText(QStringLiteral(" "));  // 0: not given
    age_->setMinimumWidth(kFieldWidth / 3);

    auto* sexRow = new QWidget;
    sexRow->setAccessibleName(Utf8("性别"));
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

    language_ = Combo("母语");
    language1_ = Combo("第二语言");
    language2_ = Combo("第三语言");
    language3_ = Combo("第四语言");
    for (QComboBox* c : {language_, language1_, language2_, language3_})
        FillReference(c, lists.Languages(), true);
    career_ = Combo("职业");
    FillReference(career_, lists.Careers(), true);

    AddRow(form, "年龄段(&G):", ageRange_);
    AddRow(form, "年龄(&Y):", age_);
    auto* sexLabel = new QLabel(Utf8("性别:"));
    sexLabel->setAccessibleName(sexLabel->text());
    form->addRow(sexLabel, sexRow);
    AddRow(form, "母语(&T):", language_);
    AddRow(form, "第二语言:", language1_);
    AddRow(form, "第三语言:", language2_);
    AddRow(form, "第四语言:", language3_);
    AddRow(form, "职业(&C):", career_);
    details_ << page;
    return page;
}

QWidget* UserInfoPages::MakeContactPage(OVShellApp& app) {
    auto* page = new QWidget;
    QFormLayout* form = Form(page);
    eMail1_ = Edit("备用电子邮件一", OV_EMAIL_SIZE - 1);
    eMail2_ = Edit("备用电子邮件二", OV_EMAIL_SIZE - 1);
    phone_ = Edit("电话", OV_PHONE_SIZE - 1);
    mobile_ = Edit("手机", OV_MOBILE_SIZE - 1);
    homepage_ = Edit("个人主页", OV_HOMEPAGE_SIZE - 1);
    location_ = Combo("所在地");
    const ReferenceLists& lists = app.References();
    location_->addItem(QString(), qlonglong{0});
    for (const LocationEntry& e : lists.Locations())
        location_->addItem(lists.LocationText(e.code), static_cast<qlonglong>(e.code));

    AddRow(form, "备用电子邮件一:", eMail1_);
    AddRow(form, "备用电子邮件二:", eMail2_);
    AddRow(form, "电话(&P):", phone_);
    AddRow(form, "手机(&O):", mobile_);
    AddRow(form, "个人主页(&W):", homepage_);
    AddRow(form, "所在地(&D):", location_);
    details_ << page;
    return page;
}

QWidget* UserInfoPages::MakePrivacyPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 14, 16, 12);
    hideDetails_ = Check("隐藏我的个人详细信息（此选项对好友无效）(&H)",
                         "隐藏我的个人详细信息（此选项对好友无效）");
    hideEMail_ =
        Check("隐藏第一个电子邮件，只用于找回密码(&E)", "隐藏第一个电子邮件，只用于找回密码");
    layout->addWidget(hideDetails_);
    layout->addWidget(hideEMail_);
    layout->addSpacing(6);

    const auto group = [this, layout](const char* title, const char* const(*choices)[2],
                                      QButtonGroup** buttons) {
        auto* box = new QGroupBox(Utf8(title));
        box->setAccessibleName(box->title());
        auto* column = new QVBoxLayout(box);
        *buttons = new QButtonGroup(this);
        for (int i = 0; i < 3; ++i) {
            QRadioButton* button = Radio(choices[i][0], choices[i][1]);
            (*buttons)->addButton(button, i);
            column->addWidget(button);
        }
        layout->addWidget(box);
    };
    // In the order of MessageRule and AddBuddyRule.
    const char* const messages[][2] = {
        {"接收所有人发出的消息(&A)", "接收所有人发出的消息"},
        {"只接收好友和与我在同一网站的用户发出的消息(&W)",
         "只接收好友和与我在同一网站的用户发出的消息"},
        {"只接收好友发出的消息(&B)", "只接收好友发出的消息"},
    };
    const char* const addBuddy[][2] = {
        {"任何人都可以将我加为好友(&N)", "任何人都可以将我加为好友"},
        {"需要经过我同意才能将我加为好友(&R)", "需要经过我同意才能将我加为好友"},
        {"禁止任何人将我加为好友(&D)", "禁止任何人将我加为好友"},
    };
    group("即时短消息", messages, &messages_);
    group("添加好友设置", addBuddy, &addBuddy_);
    layout->addStretch();
    details_ << page;
    return page;
}

void UserInfoPages::Show(const UserProfile& p, const Privacy& privacy) {
    pin_->setText(p.pin != 0 ? QString::number(p.pin) : QString());
    userName_->setText(p.userName);
    nickName_->setText(p.nickName);
    lastName_->setText(p.lastName);
    firstName_->setText(p.firstName);
    eMail_->setText(p.eMail);
    SelectCode(face_, p.icon);
    about_->setPlainText(p.about);
    SelectCode(ageRange_, p.ageRange);
    age_->setValue(static_cast<int>(p.age));
    // A record without the field shows no choice rather than the first.
    CheckId(sex_, p.Has(OV_UFLD_SEX) ? static_cast<int>(p.sex) : -1);
    SelectCode(language_, p.language);
    SelectCode(language1_, p.language1);
    SelectCode(language2_, p.language2);
    SelectCode(language3_, p.language3);
    SelectCode(career_, p.career);
    eMail1_->setText(p.eMail1);
    eMail2_->setText(p.eMail2);
    phone_->setText(p.phone);
    mobile_->setText(p.mobile);
    homepage_->setText(p.homepage);
    SelectCode(location_, p.location);
    hideDetails_->setChecked(privacy.hideDetails);
    hideEMail_->setChecked(privacy.hideEMail);
    const bool hasMode = p.Has(OV_UFLD_MODE);
    CheckId(messages_, hasMode ? static_cast<int>(privacy.messages) : -1);
    CheckId(addBuddy_, hasMode ? static_cast<int>(privacy.addBuddy) : -1);
}

void UserInfoPages::Collect(UserProfile* p, Privacy* privacy) const {
    p->nickName = nickName_->text();
    p->lastName = lastName_->text();
    p->firstName = firstName_->text();
    p->eMail = eMail_->text();
    CollectCode(face_, &p->icon);
    p->about = about_->toPlainText();
    CollectCode(ageRange_, &p->ageRange);
    p->age = static_cast<quint32>(age_->value());
    if (sex_->checkedId() >= 0)
        p->sex = static_cast<quint32>(sex_->checkedId());
    CollectCode(language_, &p->language);
    CollectCode(language1_, &p->language1);
    CollectCode(language2_, &p->language2);
    CollectCode(language3_, &p->language3);
    CollectCode(career_, &p->career);
    p->eMail1 = eMail1_->text();
    p->eMail2 = eMail2_->text();
    p->phone = phone_->text();
    p->mobile = mobile_->text();
    p->homepage = homepage_->text();
    CollectCode(location_, &p->location);
    privacy->hideDetails = hideDetails_->isChecked();
    privacy->hideEMail = hideEMail_->isChecked();
    if (messages_->checkedId() >= 0)
        privacy->messages = static_cast<MessageRule>(messages_->checkedId());
    if (addBuddy_->checkedId() >= 0)
        privacy->addBuddy = static_cast<AddBuddyRule>(addBuddy_->checkedId());
}

void UserInfoPages::SetDetailsHidden(bool hidden) {
    for (QWidget* w : details_)
        w->setEnabled(!hidden);
}

}  // namespace ov::shell
