// What a Pageroom watcher drew, per view, for tests.
#pragma once

#include <QStringList>

#include "shell/pageroom/pageroom_display.h"

namespace ov::shell::testing {

// What the watcher drew, per view.
class DisplayRecorder final : public PageroomDisplay {
public:
    void AddLine(int view, const ChatLine& line) override { lines[view].push_back(line); }
    void SetLineKind(int view, qint64 key, ChatLineKind kind) override {
        for (ChatLine& l : lines[view])
            if (l.key == key)
                l.kind = kind;
    }
    void SetUsers(int view, const QList<PageroomUser>& list) override { users[view] = list; }
    void AddUser(int view, const PageroomUser& user) override { users[view].push_back(user); }
    void RemoveUser(int view, qint32 pin) override {
        users[view].removeIf([&](const PageroomUser& u) { return u.pin == pin; });
    }
    void UpdateUser(int view, const PageroomUser& user) override {
        for (PageroomUser& u : users[view])
            if (u.pin == user.pin)
                u = user;
    }
    int WindowMode() const override { return mode; }
    void SetCaption(const QString& text) override { caption = text; }
    void LogoAnimate(bool on) override { animating = on; }
    void LogoFlash() override { ++flashes; }
    void LogoCount(int view, int count) override { counts[view] = count; }
    void ShowLogo(bool shown) override { logoShown = shown; }
    void ShowWindow(bool shown) override {
        windowShown = shown;
        windowShows += shown;
    }
    void SetViewGroup(int view, OVGroupInfo* group) override { groups[view] = group; }
    void SetBrowserBounds(const QRect& b) override { bounds = b; }
    void SetActive(bool on) override { active = on; }

    // The lines' texts without their time.
    QStringList Texts(int view) const {
        QStringList texts;
        for (const ChatLine& l : lines[view])
            texts << l.text.mid(QStringLiteral("[00:00] ").size());
        return texts;
    }
    bool Has(int view, const QString& text) const { return Texts(view).contains(text); }
    QStringList Names(int view) const {
        QStringList names;
        for (const PageroomUser& u : users[view])
            names << u.name;
        return names;
    }

    QList<ChatLine> lines[2];
    QList<PageroomUser> users[2];
    int mode = kPageView;
    QString caption;
    bool animating = false;
    int flashes = 0;
    int counts[2] = {-1, -1};
    bool logoShown = false;
    bool windowShown = false;
    int windowShows = 0;
    OVGroupInfo* groups[2] = {nullptr, nullptr};
    QRect bounds;
    bool active = false;
};

}  // namespace ov::shell::testing
