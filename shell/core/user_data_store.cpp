#include "shell/core/user_data_store.h"

#include <QDir>

#include "shell/core/user_directories.h"

namespace ov::shell {

bool UserDataStore::Load(const QString& userName, const QString& directory, int securityLevel) {
    Unload();
    if (userName.isEmpty() || !QDir(directory).exists())
        return false;
    userName_ = userName;
    directory_ = directory;
    securityLevel_ = securityLevel;
    config_.Load(QDir(directory).filePath(QString::fromLatin1(kUserConfigFileName)));
    loaded_ = true;
    return true;
}

void UserDataStore::Unload() {
    loaded_ = false;
    userName_.clear();
    directory_.clear();
    securityLevel_ = 0;
    config_.Clear();
}

bool UserDataStore::HasUserRecord(qint32) const {
    return false;  // no record cache yet: the login asks for its own record
}

bool UserDataStore::SnapshotCurrent() const {
    return false;  // no stored buddy tree yet: the login asks for it
}

QString UserDataStore::DisplayName(qint32) const {
    return {};
}

}  // namespace ov::shell
