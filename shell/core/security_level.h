// The five security levels of an account: how much of it is kept on this computer, the texts
// the login dialog's slider shows for each, and the behaviour bound to them.
#pragma once

#include <QString>

namespace ov::shell {

constexpr int kSecurityLevelCount = 5;  // 0 (keep nothing) to 4 (keep all, log in at start)

struct SecurityLevelText {
    QString name;         // "安全级别 -- 高", ...
    QString hint;         // where the level suits
    QString description;  // what is kept on this computer
};

// The texts of a level; empty texts for a level outside 0..4.
SecurityLevelText SecurityLevelTexts(int level);

// The password is stored in setting.dat for levels 2 to 4.
bool KeepsPassword(int level);
// Only level 4 logs in at start-up without the login dialog.
bool LogsInAutomatically(int level);
// A stored password lets the user work locally while the server cannot be reached: above 1.
bool AllowsLocalLogin(int level);

// Asked (Yes/No) when a user logs in with level 0 and data of that user exists; Yes deletes
// the user's directory.
QString LevelZeroDeleteQuestion();

}  // namespace ov::shell
