// The writable data home and the per-user directories under it:
//
//   <data home>/orvane.dat                 machine settings
//   <data home>/userdata/<user name>/      setting.dat, config.dat, list.dat, cache.dat,
//                                          *.msg, Remind.dat
//
// Every directory the shell creates here has mode 0700. A user name names its directory as
// it is, so only names that pass IsValidLoginName are accepted.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace ov::shell {

inline constexpr char kMachineSettingsFileName[] = "orvane.dat";
inline constexpr char kUserDataDirName[] = "userdata";
inline constexpr char kUserSettingsFileName[] = "setting.dat";
inline constexpr char kUserConfigFileName[] = "config.dat";
inline constexpr char kListFileName[] = "list.dat";
inline constexpr char kCacheFileName[] = "cache.dat";
inline constexpr char kRemindFileName[] = "Remind.dat";

// $ORVANE_HOME, else $XDG_DATA_HOME/orvane, else $HOME/.local/share/orvane.
QString ResolveDataHome(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// The login-name rule of the login dialog: not empty, only digits, lower-case letters a-z,
// '-', '_' and '.', and not dots only ("." and ".." would leave userdata/ or name it). Callers
// that report an empty name with a message of its own test for it first. The registration
// wizard adds its own rules (no '.', not digits only) on top.
bool IsValidLoginName(const QString& name);

class UserDirectories {
public:
    explicit UserDirectories(QString dataHome);

    const QString& DataHome() const { return dataHome_; }
    QString MachineSettingsPath() const;  // <data home>/orvane.dat
    QString UserDataRoot() const;         // <data home>/userdata

    // <data home>/userdata/<name>, or empty for a name that IsValidLoginName refuses.
    QString UserDirectory(const QString& name) const;
    // A file inside the user's directory; empty for a refused name.
    QString UserFile(const QString& name, const QString& fileName) const;

    bool Exists(const QString& name) const;
    // Creates userdata/ and then userdata/<name>, both 0700 (and the data home if missing).
    bool Create(const QString& name) const;
    // Removes every file of the user's directory, then the directory. True when it is gone.
    bool Remove(const QString& name) const;
    // The sub-directories of userdata/, sorted; "." and ".." are not users.
    QStringList KnownUsers() const;

private:
    QString dataHome_;
};

}  // namespace ov::shell
