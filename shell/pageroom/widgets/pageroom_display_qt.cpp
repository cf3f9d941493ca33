#include "shell/pageroom/widgets/pageroom_display_qt.h"

#include "shell/pageroom/widgets/pageroom_logo.h"
#include "shell/pageroom/widgets/pageroom_window.h"

namespace ov::shell {

QtPageroomDisplay::QtPageroomDisplay(OVShellApp& app, PageroomSendGate& gate,
                                     PageroomWindowModel::Sender sender)
    : logo_(std::make_unique<PageroomLogo>(app)),
      window_(std::make_unique<PageroomWindow>(app, gate, std::move(sender))) {
    QObject::connect(logo_.get(), &PageroomLogo::Clicked, logo_.get(), [this] { LogoClicked(); });
    QObject::connect(window_.get(), &PageroomWindow::HideRequested, window_.get(), [this] {
        windowWanted_ = false;
        Update();
    });
}

QtPageroomDisplay::~QtPageroomDisplay() = default;

void QtPageroomDisplay::AddLine(int view, const ChatLine& line) {
    window_->AddLine(view, line);
}

void QtPageroomDisplay::SetLineKind(int view, qint64 key, ChatLineKind kind) {
    window_->SetLineKind(view, key, kind);
}

void QtPageroomDisplay::SetUsers(int view, const QList<PageroomUser>& users) {
    window_->SetUsers(view, users);
}

void QtPageroomDisplay::AddUser(int view, const PageroomUser& user) {
    window_->AddUser(view, user);
}

void QtPageroomDisplay::RemoveUser(int view, qint32 pin) {
    window_->RemoveUser(view, pin);
}

void QtPageroomDisplay::UpdateUser(int view, const PageroomUser& user) {
    window_->UpdateUser(view, user);
}

int QtPageroomDisplay::WindowMode() const {
    return window_->Model().Mode();
}

void QtPageroomDisplay::SetCaption(const QString& caption) {
    window_->SetCaption(caption);
}

void QtPageroomDisplay::LogoAnimate(bool on) {
    on ? logo_->StartAnimation() : logo_->StopAnimation();
}

void QtPageroomDisplay::LogoFlash() {
    logo_->Flash();
}

void QtPageroomDisplay::LogoCount(int view, int count) {
    logo_->SetCount(view, count);
}

void QtPageroomDisplay::ShowLogo(bool shown) {
    logoWanted_ = shown;
    Update();
}

void QtPageroomDisplay::ShowWindow(bool shown) {
    windowWanted_ = shown;
    Update();
}

void QtPageroomDisplay::SetViewGroup(int view, OVGroupInfo* group) {
    window_->SetViewGroup(view, group);
}

void QtPageroomDisplay::SetBrowserBounds(const QRect& bounds) {
    bounds_ = bounds;
    logo_->SetBounds(bounds);
    window_->SetBounds(bounds);
    Update();
}

void QtPageroomDisplay::SetActive(bool active) {
    active_ = active;
    Update();
}

void QtPageroomDisplay::LogoClicked() {
    windowWanted_ = !window_->isVisible();
    Update();
    if (window_->isVisible())
        window_->raise();
}

void QtPageroomDisplay::Update() {
    const bool placed = !bounds_.isEmpty();
    logo_->setVisible(placed && active_ && logoWanted_);
    window_->setVisible(placed && windowWanted_ && (active_ || window_->Model().Pinned()));
}

}  // namespace ov::shell
