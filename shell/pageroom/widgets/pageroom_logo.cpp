#include "shell/pageroom/widgets/pageroom_logo.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

#include "shell/core/shell_app.h"
#include "shell/pageroom/pageroom_display.h"
#include "shell/skin/skin_bitmap.h"
#include "shell/skin/skin_manager.h"
#include "shell/skin/widgets/skin_controls.h"

namespace ov::shell {

namespace {

constexpr int kHoverCheckMs = 1000;  // the hover tip's check
const QSize kDefaultSize(164, 40);   // without a skin

}  // namespace

PageroomLogo::PageroomLogo(OVShellApp& app) : OVSkinForm("Pageroom"), app_(app) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Pageroom"));
    setAccessibleName(QStringLiteral("Pageroom"));
    SetCaptionButtons({});
    resize(kDefaultSize);

    picture_ = new OVSkinBitmap(this);
    picture_->setAccessibleName(QStringLiteral("Pageroom动画"));
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);

    const char* captionNames[2] = {"SameSite", "SameURL"};
    const char* captionTexts[2] = {"Same Site", "Same Page"};
    const char* countNames[2] = {"SameSiteUserNum", "SameURLUserNum"};
    const QString tips[2] = {QStringLiteral("当前网站在线用户数"),
                             QStringLiteral("当前网页在线用户数")};
    for (int view : {kSiteView, kPageView}) {
        captions_[view] = new OVSkinLabel(this);
        captions_[view]->setText(QString::fromLatin1(captionTexts[view]));
        captions_[view]->setAccessibleName(QString::fromLatin1(captionTexts[view]));
        captions_[view]->setAttribute(Qt::WA_TransparentForMouseEvents);
        AddChild(captions_[view], captionNames[view]);
        // The name says which count it is; the digit widget puts its number in the
        // accessible description, which is how a screen reader (and the checks) read it.
        counts_[view] = new OVSkinDigit(this);
        counts_[view]->setToolTip(tips[view]);
        counts_[view]->setAccessibleName(tips[view]);
        counts_[view]->SetValue(0);
        AddChild(counts_[view], countNames[view]);
    }

    aniTimer_ = app_.Desktop().timers->Create([this] { NextFrame(); });
    hoverTimer_ = app_.Desktop().timers->Create([this] {
        // Another tab's logo may have been clicked meanwhile.
        if (app_.Settings().bClickedPageroom != 0) {
            hoverTimer_->Stop();
            RemoveTip();
            return;
        }
        CheckHover(isVisible() && frameGeometry().contains(QCursor::pos()));
    });
    if (app_.Settings().bClickedPageroom == 0)
        hoverTimer_->Start(kHoverCheckMs);

    const UserSettings& s = app_.Settings();
    anchor_ = MakeLogoAnchor(s.nPageroomBarDockTypeX, s.nPageroomBarDockOffsetX,
                             s.nPageroomBarDockTypeY, s.nPageroomBarDockOffsetY);
    SetSkin(app_.Desktop().skin);
}

PageroomLogo::~PageroomLogo() {
    RemoveTip();
    SetSkin(nullptr);
}

void PageroomLogo::OnApply() {
    OVSkinForm::OnApply();
    aniName_.clear();
    aniCount_ = 0;
    aniSpeed_ = 10000;
    aniOffset_ = QPoint(1, 1);
    std::string name;
    if (GetString("sLogoAniName", &name))
        aniName_ = QString::fromStdString(name);
    GetInt("nLogoAniCount", &aniCount_);
    GetInt("nLogoAniSpeed", &aniSpeed_);
    POINT offset{};
    if (GetPoint("ptLogoAniOffset", &offset))
        aniOffset_ = QPoint(offset.x, offset.y);
    if (aniSpeed_ <= 0)
        aniSpeed_ = 10000;
    // Frame 0 is up; a cycle goes on from the next one.
    frame_ = aniCount_ > 1 ? 1 : 0;
    picture_->SetPicture(nullptr);
    ShowFrame(QStringLiteral("pageroom.logo0.bmp"));
    resize(size().expandedTo(minimumSize()).boundedTo(maximumSize()));
    Place();
}

void PageroomLogo::resizeEvent(QResizeEvent* event) {
    OVSkinForm::resizeEvent(event);
    // The picture has no place of its own in the skin: it sits at the animation's offset.
    if (const COVBitmap* p = picture_->Picture())
        picture_->setGeometry(QRect(aniOffset_, p->Size()));
}

void PageroomLogo::ShowFrame(const QString& file) {
    OVSkin* skin = Skin();
    const COVBitmap* frame = skin ? skin->GetBitmap(file.toStdString()) : nullptr;
    if (frame == nullptr)
        return;  // a missing frame leaves the last one up
    picture_->SetPicture(frame);
    picture_->setGeometry(QRect(aniOffset_, frame->Size()));
    picture_->show();
}

void PageroomLogo::SetBounds(const QRect& bounds) {
    if (bounds == bounds_)
        return;
    bounds_ = bounds;
    Place();
}

void PageroomLogo::Place() {
    if (bounds_.isEmpty() || dragging_)
        return;
    move(PlaceLogo(anchor_, size(), bounds_));
}

void PageroomLogo::SetCount(int view, int count) {
    if (view == kSiteView || view == kPageView)
        counts_[view]->SetValue(count);
}

int PageroomLogo::Count(int view) const {
    return view == kSiteView || view == kPageView ? counts_[view]->Value() : 0;
}

void PageroomLogo::StartAnimation() {
    continuous_ = true;
    if (aniCount_ > 0)
        aniTimer_->Start(aniSpeed_);
}

void PageroomLogo::StopAnimation() {
    continuous_ = false;
}

void PageroomLogo::Flash() {
    if (aniCount_ > 0 && !aniTimer_->Active())
        aniTimer_->Start(aniSpeed_);
}

bool PageroomLogo::Animating() const {
    return aniTimer_->Active();
}

void PageroomLogo::NextFrame() {
    if (aniCount_ <= 0) {
        aniTimer_->Stop();
        return;
    }
    ShowFrame(QStringLiteral("%1%2.bmp").arg(aniName_).arg(frame_));
    ++frame_;
    if (frame_ >= aniCount_)
        frame_ = 0;
    // Frame 0 was just shown: the cycle is over.
    if (frame_ == 1 % aniCount_ && !continuous_)
        aniTimer_->Stop();
}

QWidget* PageroomLogo::Tip() const {
    return tip_.data();
}

void PageroomLogo::CheckHover(bool over) {
    if (over && tip_.isNull()) {
        auto* tip = new QLabel(QStringLiteral("请单击此窗口显示或隐藏聊天窗口!"));
        tip->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
        tip->setAttribute(Qt::WA_ShowWithoutActivating);
        tip->setAttribute(Qt::WA_DeleteOnClose);
        tip->setAccessibleName(QStringLiteral("Pageroom提示"));
        tip->setMargin(4);
        tip->setStyleSheet(QStringLiteral(
            "QLabel { background: #FFFFE1; color: #1F2933; border: 1px solid #767676; }"));
        tip->adjustSize();
        // Below the logo, or above it when the screen ends there.
        QPoint at = frameGeometry().bottomLeft() + QPoint(0, 4);
        if (const QScreen* screen = this->screen())
            if (at.y() + tip->height() > screen->geometry().bottom())
                at = frameGeometry().topLeft() - QPoint(0, tip->height() + 4);
        tip->move(at);
        tip->show();
        tip_ = tip;
    } else if (!over) {
        RemoveTip();
    }
}

void PageroomLogo::RemoveTip() {
    if (!tip_.isNull())
        tip_->close();
    tip_ = nullptr;
}

void PageroomLogo::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = true;
    dragging_ = false;
    pressGlobal_ = event->globalPosition().toPoint();
    pressPos_ = pos();
}

void PageroomLogo::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_)
        return;
    const QPoint delta = event->globalPosition().toPoint() - pressGlobal_;
    if (!dragging_ && delta.manhattanLength() < QApplication::startDragDistance())
        return;
    dragging_ = true;
    QPoint to = pressPos_ + delta;
    if (!bounds_.isEmpty())
        to = PlaceLogo(
            MakeLogoAnchor(kLogoLeft, to.x() - bounds_.x(), kLogoTop, to.y() - bounds_.y()), size(),
            bounds_);
    move(to);
}

void PageroomLogo::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    UserSettings& s = app_.Settings();
    if (dragging_) {
        dragging_ = false;
        if (!bounds_.isEmpty()) {
            anchor_ = AnchorForDrop(pos(), size(), bounds_);
            s.nPageroomBarDockTypeX = anchor_.sideX;
            s.nPageroomBarDockOffsetX = anchor_.offsetX;
            s.nPageroomBarDockTypeY = anchor_.sideY;
            s.nPageroomBarDockOffsetY = anchor_.offsetY;
            s.Save();
        }
        return;
    }
    hoverTimer_->Stop();
    RemoveTip();
    if (s.bClickedPageroom == 0) {
        s.bClickedPageroom = 1;
        s.Save();
    }
    Q_EMIT Clicked();
}

void PageroomLogo::mouseDoubleClickEvent(QMouseEvent* event) {
    // A quick second click is another click, not a maximise.
    mousePressEvent(event);
}

}  // namespace ov::shell
