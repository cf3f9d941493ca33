// What the Pageroom watcher draws: the two views of the Pageroom window (0 the site, 1 the
// page; each a user list and a chat view), its caption, and the logo with its two counts.
// The program implements it with the Pageroom window and logo; tests record it.
#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include "shell/messaging/chat_line.h"

namespace ov::shell {

class OVGroupInfo;

enum PageroomView : int { kSiteView = 0, kPageView = 1 };

// A member as the user lists show it.
struct PageroomUser {
    qint32 pin = 0;
    QString name;     // the nickname, else "[user name]", else "[PIN]"
    qint32 icon = 0;  // face
    int overlay = 8;  // status overlay of the face-icon set
    friend bool operator==(const PageroomUser&, const PageroomUser&) = default;
};

class PageroomDisplay {
public:
    virtual ~PageroomDisplay() = default;
    virtual void AddLine(int view, const ChatLine& line) = 0;
    virtual void SetLineKind(int view, qint64 key, ChatLineKind kind) = 0;
    virtual void SetUsers(int view, const QList<PageroomUser>& users) = 0;
    virtual void AddUser(int view, const PageroomUser& user) = 0;
    virtual void RemoveUser(int view, qint32 pin) = 0;
    virtual void UpdateUser(int view, const PageroomUser& user) = 0;
    // The view the Pageroom window shows (-1 when it shows neither).
    virtual int WindowMode() const = 0;
    virtual void SetCaption(const QString& caption) = 0;
    // The logo: its animation running on (true) or stopped, one flash, a count.
    virtual void LogoAnimate(bool on) = 0;
    virtual void LogoFlash() = 0;
    virtual void LogoCount(int view, int count) = 0;
    // The tab's logo and Pageroom window shown or hidden; the group a view shows (null: none).
    virtual void ShowLogo(bool shown) = 0;
    virtual void ShowWindow(bool shown) = 0;
    virtual void SetViewGroup(int view, OVGroupInfo* group) = 0;
    // Where the tab's browser window stands on the screen (logical pixels; empty while
    // unknown), and whether the tab is the one its browser window shows: the logo and the
    // window appear only for that tab, placed against those bounds.
    virtual void SetBrowserBounds(const QRect& bounds) { (void)bounds; }
    virtual void SetActive(bool active) { (void)active; }
};

}  // namespace ov::shell
