// PageroomLogo: the small badge of a browser window - how many users are on the same site and
// on the same page, an animation while the site is being entered - that opens and closes the
// Pageroom window when clicked. A frameless tool window that never takes the focus, placed
// against the browser window's bounds by its anchor (dragging it moves the anchor, kept in
// the settings). Until the user has clicked a logo once, hovering shows how to use it.
//
//   auto* logo = new PageroomLogo(app);
//   logo->SetBounds(browserBounds);
//   logo->SetCount(kSiteView, 12);
//   connect(logo, &PageroomLogo::Clicked, ...);   // show or hide the Pageroom window
#pragma once

#include <QPointer>
#include <QRect>
#include <memory>

#include "shell/pageroom/logo_anchor.h"
#include "shell/skin/widgets/skin_form.h"

class OVSkinBitmap;
class OVSkinDigit;
class OVSkinLabel;
class QLabel;

namespace ov::shell {

class OVShellApp;
class ShellTimer;

class PageroomLogo final : public OVSkinForm {
    Q_OBJECT
public:
    explicit PageroomLogo(OVShellApp& app);
    ~PageroomLogo() override;

    // The browser window's bounds on the screen; the logo moves when they change.
    void SetBounds(const QRect& bounds);
    const QRect& Bounds() const { return bounds_; }
    const LogoAnchor& Anchor() const { return anchor_; }

    void SetCount(int view, int count);
    int Count(int view) const;

    // The animation runs on (continuous) until stopped, then ends its cycle at the first frame.
    void StartAnimation();
    void StopAnimation();
    // One cycle of the animation.
    void Flash();
    bool Animating() const;
    int Frame() const { return frame_; }

    // The hover tip, null while none is shown.
    QWidget* Tip() const;
    // Shows or removes the tip as the cursor is over the logo or not (the timer's check).
    void CheckHover(bool over);

Q_SIGNALS:
    // Pressed and released without dragging.
    void Clicked();

protected:
    void OnApply() override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Place();
    void NextFrame();
    void ShowFrame(const QString& file);
    void RemoveTip();

    OVShellApp& app_;
    OVSkinDigit* counts_[2] = {nullptr, nullptr};
    OVSkinLabel* captions_[2] = {nullptr, nullptr};
    OVSkinBitmap* picture_ = nullptr;
    QPointer<QLabel> tip_;
    std::unique_ptr<ShellTimer> aniTimer_;
    std::unique_ptr<ShellTimer> hoverTimer_;

    LogoAnchor anchor_;
    QRect bounds_;
    // The animation as the skin gives it.
    QString aniName_;
    int aniCount_ = 0;
    int aniSpeed_ = 10000;
    QPoint aniOffset_{1, 1};
    int frame_ = 0;
    bool continuous_ = false;
    // A press that may become a drag.
    bool pressed_ = false;
    bool dragging_ = false;
    QPoint pressGlobal_;
    QPoint pressPos_;
};

}  // namespace ov::shell
