#include "shell/wizards/widgets/user_search_wizard.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "common/protocol/vocabulary.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

using namespace wizard_ui;

namespace {

using Field = UserSearchModel::Field;
using Mode = UserSearchModel::Mode;

// Room for the results list's columns beside the picture.
constexpr int kPageMinimumWidth = 480;
constexpr int kComboWidth = 220;

enum Column : int { kPinColumn, kUserNameColumn, kNickNameColumn, kLocationColumn, kStatusColumn };

QRadioButton* Radio(const QString& text) {
    auto* button = new QRadioButton(text);
    button->setAccessibleName(text);
    return button;
}

QPushButton* Button(const char* text) {
    auto* button = new QPushButton(Utf8(text));
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
    return button;
}

// A choice with an empty first entry: no criterion.
QComboBox* Criterion(const char* name) {
    auto* combo = new QComboBox;
    combo->setAccessibleName(Utf8(name));
    combo->setMinimumWidth(kComboWidth);
    combo->setMaxVisibleItems(16);
    combo->addItem(QString());
    return combo;
}

template <class T>
std::optional<T> ChosenCode(const QComboBox* combo) {
    const QVariant data = combo->currentData();
    if (!data.isValid())
        return std::nullopt;
    return static_cast<T>(data.toLongLong());
}

void ChooseCode(QComboBox* combo, const std::optional<qlonglong>& code) {
    combo->setCurrentIndex(code ? std::max(0, combo->findData(*code)) : 0);
}

QString StatusText(quint32 status) {
    switch (status) {
        case OV_ONLINE_STATUS_OFFLINE:
            return Utf8("离线");
        case OV_ONLINE_STATUS_AWAY:
        case OV_ONLINE_STATUS_AWAY_AUTO:
            return Utf8("离开");
        case OV_ONLINE_STATUS_DND:
            return Utf8("请勿打扰");
        default:
            return Utf8("在线");
    }
}

}  // namespace

UserSearchWizard::UserSearchWizard(OVShellApp& app, QWidget* parent)
    : WizardFrame(app, Utf8("查找添加用户"), "sSearchUser", parent), model_(app) {
    Pages()->setMinimumWidth(kPageMinimumWidth);
    AddPage(MakeModePage());
    AddPage(MakeQueryPage());
    AddPage(MakeSearchingPage());
    AddPage(MakeFailedPage());
    AddPage(MakeResultsPage());
    connect(&model_, &UserSearchModel::PageChanged, this, &UserSearchWizard::ShowPage);
    connect(&model_, &UserSearchModel::UsersChanged, this, &UserSearchWizard::ShowUsers);
    connect(&model_, &UserSearchModel::WizardEnded, this, &UserSearchWizard::CloseEnded);
    connect(&model_, &UserSearchModel::OnlineUsersTextChanged, this, [this](const QString& text) {
        onlineUsers_->setText(text);
        onlineUsers_->setAccessibleDescription(text);
    });
    ShowInput();
    ShowPage(model_.CurrentPage());
    pin_->setFocus(Qt::OtherFocusReason);
}

UserSearchWizard::~UserSearchWizard() = default;

UserSearchWizard* UserSearchWizard::Open(OVShellApp& app) {
    return OpenOnePerApp<UserSearchWizard>(app);
}

UserSearchWizard* UserSearchWizard::OpenWithText(OVShellApp& app, const QString& text) {
    UserSearchWizard* wizard = Open(app);
    wizard->SearchText(text);
    return wizard;
}

void UserSearchWizard::SearchText(const QString& text) {
    CopyInput();  // what was typed and not sent stays, but for the field the text fills
    model_.StartWithText(text);
    ShowInput();
}

QWidget* UserSearchWizard::MakeModePage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "欢迎使用“查找用户向导”");
    modes_ = new QButtonGroup(this);
    pin_ = Edit("OV号码", 10);
    pin_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), pin_));
    userName_ = Edit("登录名", OV_USERNAME_SIZE - 1);
    eMail_ = Edit("电子邮件地址", OV_EMAIL_SIZE - 1);
    nickName_ = Edit("用户的昵称", OV_NICKNAME_SIZE - 1);
    QLineEdit* const fields[] = {pin_, userName_, eMail_, nickName_, nullptr, nullptr};
    const char* const texts[] = {"通过OV号码查找",       "通过用户的登录名查找",
                                 "通过电子邮件地址查找", "通过用户的昵称查找",
                                 "查看在线用户",         "高级查找(组合查询注册用户)"};
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    for (int mode = 0; mode < 6; ++mode) {
        QRadioButton* radio = Radio(Utf8(texts[mode]));
        modes_->addButton(radio, mode);
        grid->addWidget(radio, mode, 0);
        if (QLineEdit* field = fields[mode]) {
            grid->addWidget(field, mode, 1);
            // Typing into a field chooses its way of searching.
            connect(field, &QLineEdit::textEdited, radio, [radio] { radio->setChecked(true); });
        }
        if (mode == UserSearchModel::kOnlineUsers)
            onlineUsers_ = radio;
    }
    onlineUsers_->setText(model_.OnlineUsersText());
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    layout->addStretch();
    return page;
}

QWidget* UserSearchWizard::MakeQueryPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "组合查询");
    const ReferenceLists& lists = app_.References();
    queryNickName_ = Edit("昵称", OV_NICKNAME_SIZE - 1);
    lastName_ = Edit("姓", OV_LASTNAME_SIZE - 1);
    firstName_ = Edit("名", OV_FIRSTNAME_SIZE - 1);
    ageRange_ = Criterion("年龄段");
    for (const ReferenceEntry& e : lists.AgeRanges())
        ageRange_->addItem(e.name, e.code);
    sex_ = Criterion("性别");
    sex_->addItem(Utf8("男士"), 0);
    sex_->addItem(Utf8("女士"), 1);
    location_ = Criterion("所在地");
    for (const LocationEntry& e : lists.Locations())
        location_->addItem(lists.LocationText(e.code), static_cast<qlonglong>(e.code));
    language_ = Criterion("语言");
    for (const ReferenceEntry& e : lists.Languages())
        language_->addItem(e.name, e.code);

    QFormLayout* form = Form();
    form->addRow(FormLabel("昵称", queryNickName_), queryNickName_);
    form->addRow(FormLabel("姓", lastName_), lastName_);
    form->addRow(FormLabel("名", firstName_), firstName_);
    form->addRow(FormLabel("年龄段", ageRange_), ageRange_);
    form->addRow(FormLabel("性别", sex_), sex_);
    form->addRow(FormLabel("所在地", location_), location_);
    form->addRow(FormLabel("语言", language_), language_);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* UserSearchWizard::MakeSearchingPage() {
    return WaitingPage("正在查找......", &animation_);
}

QWidget* UserSearchWizard::MakeFailedPage() {
    return FailurePage("查找失败！", &failure_);
}

QWidget* UserSearchWizard::MakeResultsPage() {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, "查询结果");
    users_ = new QTreeWidget;
    users_->setAccessibleName(Utf8("查询结果"));
    users_->setRootIsDecorated(false);
    users_->setUniformRowHeights(true);
    users_->setAlternatingRowColors(true);
    users_->setSelectionMode(QAbstractItemView::SingleSelection);
    users_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    users_->setHeaderLabels(
        {Utf8("OV号码"), Utf8("登录名"), Utf8("昵称"), Utf8("所在地"), Utf8("状态")});
    users_->header()->setStretchLastSection(false);
    // Short numbers and names would leave the columns cramped against each other.
    users_->header()->setMinimumSectionSize(users_->fontMetrics().horizontalAdvance(u'0') * 10);
    users_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    users_->header()->setSectionResizeMode(kLocationColumn, QHeaderView::Stretch);
    layout->addWidget(users_, 1);

    userInfo_ = Button("用户信息");
    addBuddy_ = Button("添加好友");
    previousPage_ = Button("上一页");
    nextPage_ = Button("下一页");
    all_ = Button("全部");
    auto* row = new QHBoxLayout;
    row->addWidget(userInfo_);
    row->addWidget(addBuddy_);
    row->addStretch();
    row->addWidget(previousPage_);
    row->addWidget(nextPage_);
    row->addWidget(all_);
    layout->addLayout(row);

    connect(userInfo_, &QPushButton::clicked, this, [this] { model_.OpenUserInfo(SelectedRow()); });
    connect(addBuddy_, &QPushButton::clicked, this, [this] { model_.AddBuddy(SelectedRow()); });
    connect(users_, &QTreeWidget::itemActivated, this,
            [this] { model_.OpenUserInfo(SelectedRow()); });
    connect(users_, &QTreeWidget::itemSelectionChanged, this,
            &UserSearchWizard::UpdateResultButtons);
    connect(previousPage_, &QPushButton::clicked, this, [this] { model_.PreviousPage(); });
    connect(nextPage_, &QPushButton::clicked, this, [this] { model_.NextPage(); });
    connect(all_, &QPushButton::clicked, this, [this] { model_.ShowAll(); });
    return page;
}

void UserSearchWizard::CopyInput() {
    UserSearchModel::Input& input = model_.Entered();
    if (modes_->checkedId() >= 0)
        input.mode = static_cast<Mode>(modes_->checkedId());
    input.pin = pin_->text();
    input.userName = userName_->text();
    input.eMail = eMail_->text();
    input.nickName = nickName_->text();
    UserSearchModel::Criteria& q = input.query;
    q.nickName = queryNickName_->text();
    q.lastName = lastName_->text();
    q.firstName = firstName_->text();
    q.ageRange = ChosenCode<int>(ageRange_);
    q.sex = ChosenCode<int>(sex_);
    q.location = ChosenCode<quint32>(location_);
    q.language = ChosenCode<int>(language_);
}

void UserSearchWizard::ShowInput() {
    const UserSearchModel::Input& input = model_.Entered();
    modes_->button(input.mode)->setChecked(true);
    pin_->setText(input.pin);
    userName_->setText(input.userName);
    eMail_->setText(input.eMail);
    nickName_->setText(input.nickName);
    const UserSearchModel::Criteria& q = input.query;
    queryNickName_->setText(q.nickName);
    lastName_->setText(q.lastName);
    firstName_->setText(q.firstName);
    ChooseCode(ageRange_, q.ageRange);
    ChooseCode(sex_, q.sex);
    ChooseCode(location_, q.location);
    ChooseCode(language_, q.language);
}

void UserSearchWizard::OnNext() {
    CopyInput();
    QLineEdit* target = nullptr;
    switch (model_.Next()) {
        case Field::Pin:
            target = pin_;
            break;
        case Field::UserName:
            target = userName_;
            break;
        case Field::EMail:
            target = eMail_;
            break;
        case Field::NickName:
            target = nickName_;
            break;
        case Field::QueryNickName:
            target = queryNickName_;
            break;
        case Field::None:
            return;
    }
    target->setFocus(Qt::OtherFocusReason);
    target->selectAll();
}

void UserSearchWizard::ShowPage(int page) {
    if (page == UserSearchModel::kFailed) {
        failure_->setText(model_.FailureText());
        failure_->setAccessibleName(model_.FailureText());
    }
    if (page == UserSearchModel::kSearching)
        PlayAnimation(animation_, "sSearchUserAVI");
    else
        StopAnimation();
    ShowFramePage(page);
    SetButtons(model_.CanBack(), model_.CanNext(), model_.CanCancel(), model_.CanFinish());
    UpdateResultButtons();
    if (page == UserSearchModel::kResults)
        users_->setFocus(Qt::OtherFocusReason);
    else if (page == UserSearchModel::kFailed)
        BackButton()->setFocus(Qt::OtherFocusReason);
    else if (page == UserSearchModel::kQuery)
        queryNickName_->setFocus(Qt::OtherFocusReason);
}

void UserSearchWizard::ShowUsers() {
    users_->clear();
    const ReferenceLists& lists = app_.References();
    for (const UserSearchModel::FoundUser& u : model_.Users()) {
        auto* item = new QTreeWidgetItem(users_);
        item->setText(kPinColumn, QString::number(u.pin));
        item->setText(kUserNameColumn, u.userName);
        item->setText(kNickNameColumn, u.nickName);
        item->setText(kLocationColumn, lists.LocationText(u.location));
        item->setText(kStatusColumn, StatusText(u.onlineStatus));
    }
    if (users_->topLevelItemCount() > 0)
        users_->setCurrentItem(users_->topLevelItem(0));
    UpdateResultButtons();
}

void UserSearchWizard::UpdateResultButtons() {
    const bool chosen = SelectedRow() >= 0;
    userInfo_->setEnabled(chosen);
    addBuddy_->setEnabled(chosen);
    nextPage_->setEnabled(model_.CanNextPage());
    previousPage_->setEnabled(model_.CanPreviousPage());
    all_->setEnabled(model_.CanShowAll());
}

int UserSearchWizard::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = users_->selectedItems();
    return selected.isEmpty() ? -1 : users_->indexOfTopLevelItem(selected.first());
}

}  // namespace ov::shell
