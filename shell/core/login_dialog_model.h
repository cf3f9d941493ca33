// The login dialog's logic: the users it offers, the placeholder that stands for a saved
// password, and the checks of OK in their order. The dialog shows it and forwards the person's
// choices; messages and the question go through the prompts.
#pragma once

#include <QString>
#include <QStringList>

namespace ov::shell {

class OVShellApp;

class LoginDialogModel {
public:
    // What the dialog shows for a chosen user.
    struct UserChoice {
        bool savedPassword = false;  // the password field shows the placeholder
        int securityLevel = 2;
        bool pageroom = true;
        int statusIndex = 0;
    };
    enum class Outcome { Accepted, EmptyName, BadName, EmptyPassword, BackToPassword };

    explicit LoginDialogModel(OVShellApp& app) : app_(app) {}

    // The users known on this computer, the last one who logged in first.
    QStringList KnownUsers() const;
    UserChoice ChooseUser(const QString& userName);

    // OK: checks in order (name given, name well formed, password given, a changed password
    // confirmed); a message says what is wrong. Accepted: the credentials are in the
    // application object and ID_FUNCTION_DO_LOGIN is posted.
    Outcome Accept(const QString& userName, const QString& password, int statusIndex,
                   int securityLevel, bool pageroom);

    // Stands for the saved password in the password field.
    static QString SavedPasswordPlaceholder() { return QStringLiteral("Keep saved pass:)"); }
    // The status list: online, away, do not disturb, invisible.
    static int StatusOfIndex(int index);
    static int IndexOfStatus(int status);

private:
    OVShellApp& app_;
};

}  // namespace ov::shell
