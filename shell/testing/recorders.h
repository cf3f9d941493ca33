// The desktop as tests see it: every box, sound, tray change and launch is recorded, and
// questions are answered from a script.
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "shell/core/desktop/launcher.h"
#include "shell/core/desktop/notifier.h"
#include "shell/core/desktop/prompts.h"
#include "shell/core/desktop/shell_windows.h"
#include "shell/core/desktop/sounds.h"
#include "shell/core/desktop/tray.h"

namespace ov::shell::testing {

class PromptRecorder final : public Prompts {
public:
    struct Box {
        QString text;
        QString caption;
        enum class Kind { Message, YesNo, YesNoDontAsk } kind;
    };

    void Message(const QString& text, const QString& caption, Icon icon) override;
    bool YesNo(const QString& text, const QString& caption) override;
    bool YesNoDontAsk(const QString& text, const QString& caption, bool* dontAsk) override;

    // Answers for the next questions, in order; unscripted questions are answered No.
    void Answer(bool yes, bool dontAsk = false) { answers_.push_back({yes, dontAsk}); }
    const std::vector<Box>& Boxes() const { return boxes_; }
    QStringList Texts() const;
    void Clear() { boxes_.clear(); }

private:
    struct Scripted {
        bool yes;
        bool dontAsk;
    };
    Scripted Next();

    std::vector<Box> boxes_;
    std::deque<Scripted> answers_;
};

class SoundRecorder final : public Sounds {
public:
    void Play(int id, const QString&) override { played_.push_back(id); }
    const std::vector<int>& Played() const { return played_; }
    void Clear() { played_.clear(); }

private:
    std::vector<int> played_;
};

class LaunchRecorder final : public Launcher {
public:
    void OpenUrl(const QString& url) override { opened_ << "url " + url; }
    void OpenFile(const QString& path) override { opened_ << "file " + path; }
    void OpenFolder(const QString& path) override { opened_ << "folder " + path; }
    const QStringList& Opened() const { return opened_; }

private:
    QStringList opened_;
};

class NotifyRecorder final : public Notifier {
public:
    // "summary|body" per notification.
    void Notify(const QString& summary, const QString& body) override {
        notes_ << summary + QLatin1Char('|') + body;
    }
    const QStringList& Notes() const { return notes_; }

private:
    QStringList notes_;
};

class TrayRecorder final : public Tray {
public:
    void SetGestures(Gestures gestures) override { gestures_ = std::move(gestures); }
    void SetIcon(const QString& key) override { icon_ = key; }
    void SetTip(const QString& tip) override { tip_ = tip; }
    void Animate(const TrayAnimation& kind) override { animation_ = kind; }
    void StopAnimation() override { animation_.clear(); }
    void ShowMenu(TrayMenu menu) override { menus_.push_back(menu); }
    void Remove() override { removed_ = true; }

    // What a person does with the icon.
    void LeftRelease() { Call(gestures_.leftRelease); }
    void DoubleClick() { Call(gestures_.doubleClick); }
    void RightRelease() { Call(gestures_.rightRelease); }

    const QString& Icon() const { return icon_; }
    const QString& Tip() const { return tip_; }
    // The running animation's kind, empty when none runs.
    const QString& Animation() const { return animation_; }
    const std::vector<TrayMenu>& Menus() const { return menus_; }
    bool Removed() const { return removed_; }

private:
    static void Call(const std::function<void()>& f) {
        if (f)
            f();
    }

    Gestures gestures_;
    QString icon_;
    QString tip_;
    TrayAnimation animation_;
    std::vector<TrayMenu> menus_;
    bool removed_ = false;
};

// The windows: what was asked to open, show and title.
class WindowRecorder final : public ShellWindows {
public:
    bool OpenLoginDialog() override {
        opened_ << "login";
        return true;
    }
    bool OpenRegistrationWizard() override {
        opened_ << "register";
        return true;
    }
    bool OpenWindow(int command) override {
        opened_ << QString::number(command);
        return false;
    }
    bool CanOpen(int command) const override { return !refused_.contains(command); }
    bool OpenUserInfo(qint32 pin, const QString& userName) override {
        opened_ << QStringLiteral("userinfo %1 %2").arg(pin).arg(userName);
        return true;
    }
    bool OpenAddBuddy(qint32 pin, const QString& userName, qint32 icon) override {
        opened_ << QStringLiteral("addbuddy %1 %2 %3").arg(pin).arg(userName).arg(icon);
        return true;
    }
    bool OpenSendMessage(qint32 pin) override {
        opened_ << QStringLiteral("send %1").arg(pin);
        return true;
    }
    bool OpenChat(qint32 pin) override {
        opened_ << QStringLiteral("chat %1").arg(pin);
        return true;
    }
    bool OpenFileTransfer(qint32 pin) override {
        opened_ << QStringLiteral("transfer %1").arg(pin);
        return true;
    }
    bool OpenMessageManager(qint32 pin) override {
        opened_ << QStringLiteral("manager %1").arg(pin);
        return true;
    }
    bool ChatOpenWith(qint32 pin) const override { return chats_.contains(pin); }
    void PlaceStarshelf(const StarshelfPlacement& placement) override {
        starshelf_ = placement;
        ++placed_;
    }
    StarshelfPlacement StarshelfNow() const override { return starshelf_; }
    void HideStarshelf() override {
        starshelf_.barShowing = false;
        starshelf_.windowShowing = false;
    }
    void ActivateMainWindow() override { opened_ << "activate"; }
    void SetMainTitle(const QString& title) override { title_ = title; }
    void ShowHomePage(const QString& url) override { opened_ << "home " + url; }
    void OpenPendingItem(const PendingItem& item) override { items_.push_back(item); }

    // A chat window with the user counts as open (or no longer, with open false).
    void SetChatOpen(qint32 pin, bool open) {
        if (open)
            chats_.insert(pin);
        else
            chats_.remove(pin);
    }
    // The window of this command does not exist here (menus grey it out).
    void Refuse(int command) { refused_.insert(command); }
    // "login", "register", "activate", "home <url>", "userinfo <pin> <name>",
    // "addbuddy <pin> <name> <icon>", "send <pin>", "chat <pin>", "manager <pin>" or a command
    // number, in order.
    const QStringList& Opened() const { return opened_; }
    void ClearOpened() { opened_.clear(); }
    const QString& Title() const { return title_; }
    int Placed() const { return placed_; }
    const std::vector<PendingItem>& OpenedItems() const { return items_; }

private:
    QStringList opened_;
    QSet<int> refused_;
    QSet<qint32> chats_;
    StarshelfPlacement starshelf_;
    int placed_ = 0;
    QString title_;
    std::vector<PendingItem> items_;
};

}  // namespace ov::shell::testing
