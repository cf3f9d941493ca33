// PageroomWindowModel: what the Pageroom window decides, apart from its widgets - which view
// it shows (the site's or the page's), its caption, the group behind each view, the pin, and
// sending a line from its edit box: refused locally (too soon after any Pageroom send, a
// repeat, nothing to send) with a line in the view, or handed to the view's group.
//
//   PageroomWindowModel model(gate, app.Desktop().clock);
//   model.SetViewGroup(kSiteView, &site);
//   PageroomSendResult r = model.Send(edit->text());
//   if (r.line) view->Add(*r.line);  edit->setText(r.edit);
//   edit->setText(PageroomWindowModel::ChatTarget("bob", edit->text()));  // double-click
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "shell/core/clock.h"
#include "shell/messaging/chat_line.h"
#include "shell/pageroom/pageroom_display.h"
#include "shell/pageroom/send_gate.h"

namespace ov::shell {

struct PageroomSendResult {
    bool sent = false;
    int view = kSiteView;          // where the line goes
    std::optional<ChatLine> line;  // a refusal, for that view
    QString edit;                  // what the edit box holds afterwards
};

class PageroomWindowModel {
public:
    // Hands a text to a group; true when the kernel took it.
    using Sender = std::function<bool(OVGroupInfo& group, const QString& text)>;

    // sender defaults to a messenger-component message to the group.
    PageroomWindowModel(PageroomSendGate& gate, SecondsClock clock, Sender sender = {});

    int Mode() const { return mode_; }
    // Shows a view (kSiteView or kPageView); false when it was shown already. The caption
    // follows when that view has a group.
    bool SetMode(int mode);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption) { caption_ = caption; }

    void SetViewGroup(int view, OVGroupInfo* group);
    OVGroupInfo* Group(int view) const;

    bool Pinned() const { return pinned_; }
    void SetPinned(bool pinned) { pinned_ = pinned; }

    // Sends the edit box's text in the shown view's group.
    PageroomSendResult Send(const QString& edit);
    const QString& LastSent() const { return lastSent_; }

    // The edit box aimed at a user: "对 <name> 说：" and what followed the first "："
    // in the edit box (everything when it has none).
    static QString ChatTarget(const QString& name, const QString& edit);
    // The proposed file name of the shown view's chat.
    QString SaveName() const;

private:
    ChatLine Refusal(const QString& text);

    PageroomSendGate& gate_;
    SecondsClock clock_;
    Sender sender_;
    int mode_ = kSiteView;
    QString caption_;
    OVGroupInfo* groups_[2] = {nullptr, nullptr};
    bool pinned_ = false;
    QString lastSent_;
    qint64 nextKey_ = -1;  // local lines count down, clear of the watcher's keys
};

}  // namespace ov::shell
