#include "shell/pageroom/widgets/pageroom_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QListWidgetItem>
#include <QMenu>
#include <algorithm>

#include "shell/core/cp936_text.h"
#include "shell/core/shell_app.h"
#include "shell/core/widgets/face_icon.h"
#include "shell/messaging/widgets/chat_view.h"
#include "shell/pageroom/group_info.h"
#include "shell/skin/skin_geometry.h"
#include "shell/skin/widgets/skin_controls.h"

namespace ov::shell {

namespace {

const char* const kListTip[2] = {
    "当前网站用户列表\n\n单击鼠标右键弹出快捷菜单\n双击鼠标左键将选中的用户设置为聊天对象",
    "当前网页用户列表\n\n单击鼠标右键弹出快捷菜单\n双击鼠标左键将选中的用户设置为聊天对象"};

}  // namespace

QString ChatText(const ChatView& view) {
    QString text;
    for (int i = 0; i < view.Count(); ++i)
        text += view.LineAt(i).text + QLatin1Char('\n');
    return text;
}

PageroomWindow::PageroomWindow(OVShellApp& app, PageroomSendGate& gate,
                               PageroomWindowModel::Sender sender)
    : OVSkinForm("PageroomWnd"), app_(app), model_(gate, app.Desktop().clock, std::move(sender)) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAccessibleName(QStringLiteral("Pageroom窗口"));
    // The pin and the system button take the caption's corners.
    SetCaptionButtons({});

    auto button = [this](OVSkinBitmapButton*& b, const char* skinName, const QString& tip) {
        b = new OVSkinBitmapButton(this);
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        AddChild(b, skinName);
    };
    button(system_, "System", QStringLiteral("系统菜单"));
    button(lock_, "Lock", QStringLiteral("是否固定窗口(不自动隐藏)"));
    button(site_, "Site", QStringLiteral("切换到网站模式"));
    button(url_, "URL", QStringLiteral("切换到网页模式"));
    button(send_, "SendMessage", QStringLiteral("发送信息"));
    lock_->setCheckable(true);
    // The shown view's button stays down.
    site_->setCheckable(true);
    url_->setCheckable(true);
    // Without a skin the buttons show words.
    system_->setText(QStringLiteral("菜单"));
    lock_->setText(QStringLiteral("固定"));
    site_->setText(QStringLiteral("网站"));
    url_->setText(QStringLiteral("网页"));
    send_->setText(QStringLiteral("发送"));

    edit_ = new OVSkinEdit(this);
    edit_->setAccessibleName(QStringLiteral("聊天信息"));
    AddChild(edit_, "MessageEdit");

    const char* listNames[2] = {"SiteUserList", "URLUserList"};
    const char* viewNames[2] = {"SiteChat", "URLChat"};
    const QString viewTitles[2] = {QStringLiteral("Site Chat Viewer"),
                                   QStringLiteral("URL Chat Viewer")};
    for (int view : {kSiteView, kPageView}) {
        lists_[view] = new OVSkinListBox(this);
        lists_[view]->setToolTip(QString::fromUtf8(kListTip[view]));
        lists_[view]->setAccessibleName(view == kSiteView ? QStringLiteral("当前网站用户列表")
                                                          : QStringLiteral("当前网页用户列表"));
        lists_[view]->setIconSize(QSize(16, 16));
        AddChild(lists_[view], listNames[view]);
        connect(lists_[view], &QListWidget::itemDoubleClicked, this,
                [this, view](QListWidgetItem* item) { Target(view, lists_[view]->row(item)); });
        lists_[view]->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(lists_[view], &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& at) { UserMenu(view, at); });

        views_[view] = new ChatView(app_, this);
        views_[view]->setWindowTitle(viewTitles[view]);
        views_[view]->setAccessibleName(viewTitles[view]);
        AddChild(views_[view], viewNames[view]);
        connect(views_[view], &ChatView::NameClicked, this, [this](const QString& name, qint32) {
            edit_->setText(PageroomWindowModel::ChatTarget(name, edit_->text()));
            edit_->setFocus();
        });
    }

    connect(system_, &QAbstractButton::clicked, this, &PageroomWindow::SystemMenu);
    connect(lock_, &QAbstractButton::toggled, this, [this](bool on) {
        model_.SetPinned(on);
        Q_EMIT PinnedChanged(on);
    });
    connect(site_, &QAbstractButton::clicked, this, [this] { SetMode(kSiteView); });
    connect(url_, &QAbstractButton::clicked, this, [this] { SetMode(kPageView); });
    connect(send_, &QAbstractButton::clicked, this, &PageroomWindow::SendTyped);
    connect(edit_, &QLineEdit::returnPressed, this, &PageroomWindow::SendTyped);

    setWindowTitle(model_.Caption());
    lock_->setChecked(model_.Pinned());
    ShowMode();
    edit_->setFocus();  // taken once the user clicks into the window
    resize(480, 420);
    SetSkin(app_.Desktop().skin);
}

PageroomWindow::~PageroomWindow() {
    SetSkin(nullptr);
}

void PageroomWindow::OnApply() {
    OVSkinForm::OnApply();
    PlaceViews();
}

void PageroomWindow::resizeEvent(QResizeEvent* event) {
    OVSkinForm::resizeEvent(event);
    PlaceViews();
}

void PageroomWindow::PlaceViews() {
    // The chat views are skinned items but not skinned controls: they are placed here.
    for (ChatView* view : views_) {
        OVPosition pos{};
        if (view->GetPosition("posWindow", &pos))
            view->setGeometry(ov::skin::CalcRect(pos, QRect(QPoint(0, 0), size())));
        else
            view->setGeometry(ClientRect());
    }
}

void PageroomWindow::closeEvent(QCloseEvent* event) {
    // The logo owns the window's life; closing only hides it.
    event->ignore();
    Q_EMIT HideRequested();
}

void PageroomWindow::SetBounds(const QRect& bounds) {
    if (bounds == bounds_)
        return;
    bounds_ = bounds;
    if (bounds_.isEmpty())
        return;
    // Below the browser's toolbars, over the left half of the page.
    setGeometry(QRect(bounds_.topLeft() + QPoint(0, 100),
                      QSize(bounds_.width() / 2, std::max(bounds_.height() - 120, 0))));
}

void PageroomWindow::AddLine(int view, const ChatLine& line) {
    if (view == kSiteView || view == kPageView)
        views_[view]->Add(line);
}

void PageroomWindow::SetLineKind(int view, qint64 key, ChatLineKind kind) {
    if (view == kSiteView || view == kPageView)
        views_[view]->Update(key, kind);
}

void PageroomWindow::Fill(QListWidgetItem* item, const PageroomUser& user) {
    item->setText(user.name);
    item->setData(Qt::UserRole, user.pin);
    // Away, busy and invisible members are faded: a row of this list has no room for the
    // buddy list's status marks.
    const bool faded = user.overlay == 2 || user.overlay == 4 || user.overlay == 5 ||
                       user.overlay == 6 || user.overlay == 7;
    item->setIcon(QIcon(FaceIcon(app_, user.icon, 16, faded)));
}

QListWidgetItem* PageroomWindow::ItemOf(int view, qint32 pin) const {
    QListWidget* list = lists_[view];
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toInt() == pin)
            return list->item(i);
    return nullptr;
}

void PageroomWindow::SetUsers(int view, const QList<PageroomUser>& users) {
    if (view != kSiteView && view != kPageView)
        return;
    lists_[view]->clear();
    for (const PageroomUser& u : users)
        AddUser(view, u);
}

void PageroomWindow::AddUser(int view, const PageroomUser& user) {
    if (view != kSiteView && view != kPageView)
        return;
    auto* item = new QListWidgetItem(lists_[view]);
    Fill(item, user);
}

void PageroomWindow::RemoveUser(int view, qint32 pin) {
    if (view != kSiteView && view != kPageView)
        return;
    delete ItemOf(view, pin);
}

void PageroomWindow::UpdateUser(int view, const PageroomUser& user) {
    if (view != kSiteView && view != kPageView)
        return;
    if (QListWidgetItem* item = ItemOf(view, user.pin))
        Fill(item, user);
}

void PageroomWindow::SetCaption(const QString& caption) {
    model_.SetCaption(caption);
    setWindowTitle(caption);
    update();
}

void PageroomWindow::SetViewGroup(int view, OVGroupInfo* group) {
    model_.SetViewGroup(view, group);
}

void PageroomWindow::SetMode(int mode) {
    const bool changed = model_.SetMode(mode);
    ShowMode();  // a click on the shown view's button must leave it down
    if (!changed)
        return;
    setWindowTitle(model_.Caption());
    update();
}

void PageroomWindow::ShowMode() {
    const int shown = model_.Mode();
    for (int view : {kSiteView, kPageView}) {
        lists_[view]->setVisible(view == shown);
        views_[view]->setVisible(view == shown);
    }
    site_->setChecked(shown == kSiteView);
    url_->setChecked(shown == kPageView);
}

void PageroomWindow::SetPinned(bool pinned) {
    lock_->setChecked(pinned);
}

void PageroomWindow::SendTyped() {
    const PageroomSendResult r = model_.Send(edit_->text());
    if (r.line)
        views_[r.view]->Add(*r.line);
    if (r.sent) {
        edit_->setText(r.edit);
        edit_->setCursorPosition(static_cast<int>(r.edit.size()));
    }
}

void PageroomWindow::Target(int view, int row) {
    if (view != kSiteView && view != kPageView)
        return;
    QListWidgetItem* item = lists_[view]->item(row);
    if (item == nullptr)
        return;
    edit_->setText(PageroomWindowModel::ChatTarget(item->text(), edit_->text()));
    edit_->setCursorPosition(static_cast<int>(edit_->text().size()));
    edit_->setFocus();
}

void PageroomWindow::SaveChat() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters({QStringLiteral("文本文件 (*.txt)"), QStringLiteral("所有文件 (*.*)")});
    dialog.selectFile(model_.SaveName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    SaveChatTo(dialog.selectedFiles().first());
}

bool PageroomWindow::SaveChatTo(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = ToCp936Bytes(ChatText(*views_[model_.Mode()]));
    return file.write(bytes) == bytes.size();
}

void PageroomWindow::UserMenu(int view, const QPoint& at) {
    QListWidget* list = lists_[view];
    QListWidgetItem* item = list->itemAt(at);
    if (item == nullptr)
        return;
    const int row = list->row(item);
    QMenu menu(this);
    menu.setAccessibleName(QStringLiteral("用户菜单"));
    menu.addAction(QStringLiteral("设置为聊天对象"), this,
                   [this, view, row] { Target(view, row); });
    menu.exec(list->viewport()->mapToGlobal(at));
}

void PageroomWindow::SystemMenu() {
    QMenu menu(this);
    menu.setAccessibleName(QStringLiteral("系统菜单"));
    menu.addAction(QStringLiteral("切换到网站模式"), this, [this] { SetMode(kSiteView); });
    menu.addAction(QStringLiteral("切换到网页模式"), this, [this] { SetMode(kPageView); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("保存聊天记录..."), this, &PageroomWindow::SaveChat);
    menu.addSeparator();
    menu.addAction(QStringLiteral("隐藏窗口"), this, &PageroomWindow::HideRequested);
    menu.exec(system_->mapToGlobal(QPoint(0, system_->height())));
}

}  // namespace ov::shell
