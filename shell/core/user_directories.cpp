#include "shell/core/user_directories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "shell/core/private_files.h"

namespace ov::shell {

QString ResolveDataHome(const QProcessEnvironment& env) {
    const QString home = env.value(QStringLiteral("ORVANE_HOME"));
    if (!home.isEmpty())
        return home;
    QString data = env.value(QStringLiteral("XDG_DATA_HOME"));
    if (data.isEmpty())
        data = env.value(QStringLiteral("HOME")) + QStringLiteral("/.local/share");
    return data + QStringLiteral("/orvane");
}

bool IsValidLoginName(const QString& name) {
    // "." and ".." would name userdata/ itself or the data home as a user's directory.
    if (name.isEmpty() || name.count(u'.') == name.size())
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || u == u'-' ||
                             u == u'_' || u == u'.';
        if (!allowed)
            return false;
    }
    return true;
}

UserDirectories::UserDirectories(QString dataHome) : dataHome_(std::move(dataHome)) {}

QString UserDirectories::MachineSettingsPath() const {
    return dataHome_ + u'/' + QLatin1String(kMachineSettingsFileName);
}

QString UserDirectories::UserDataRoot() const {
    return dataHome_ + u'/' + QLatin1String(kUserDataDirName);
}

QString UserDirectories::UserDirectory(const QString& name) const {
    if (!IsValidLoginName(name))
        return {};
    return UserDataRoot() + u'/' + name;
}

QString UserDirectories::UserFile(const QString& name, const QString& fileName) const {
    const QString directory = UserDirectory(name);
    return directory.isEmpty() ? QString() : directory + u'/' + fileName;
}

bool UserDirectories::Exists(const QString& name) const {
    const QString directory = UserDirectory(name);
    return !directory.isEmpty() && QFileInfo(directory).isDir();
}

bool UserDirectories::Create(const QString& name) const {
    const QString directory = UserDirectory(name);
    return !directory.isEmpty() && MakePrivateDirectory(UserDataRoot()) &&
           MakePrivateDirectory(directory);
}

bool UserDirectories::Remove(const QString& name) const {
    const QString directory = UserDirectory(name);
    if (directory.isEmpty())
        return false;
    QDir dir(directory);
    if (!dir.exists())
        return true;
    // Files only, as they are: a link is removed, never followed.
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isDir())
            QFile::remove(entry.absoluteFilePath());
    }
    return QDir().rmdir(directory);
}

QStringList UserDirectories::KnownUsers() const {
    QDir root(UserDataRoot());
    QStringList names = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

}  // namespace ov::shell
