// UserDataStore: the data of the logged-in user (buddy tree, black list, record cache, the
// per-user configuration), loaded when a login succeeds and emptied at logout. This is the
// part the login flow needs: which user is loaded, from where, and the questions it asks.
#pragma once

#include <QString>

#include "shell/core/user_config.h"

namespace ov::shell {

class UserDataStore {
public:
    // Loads the user's data from the user's directory (it must exist). True when loaded.
    bool Load(const QString& userName, const QString& directory, int securityLevel);
    // Empties it; nothing is loaded afterwards.
    void Unload();

    bool Loaded() const { return loaded_; }
    const QString& UserName() const { return userName_; }
    const QString& Directory() const { return directory_; }
    int SecurityLevel() const { return securityLevel_; }
    UserConfig& Config() { return config_; }

    // Whether the data holds the record of the user with this number; the login asks the
    // server for its own record otherwise.
    bool HasUserRecord(qint32 pin) const;
    // Whether the stored buddy tree can stand without asking the server for it again.
    bool SnapshotCurrent() const;
    // The name to show for a user, empty when none is known.
    QString DisplayName(qint32 pin) const;
    // The periodic step, every second.
    void Tick() {}

private:
    bool loaded_ = false;
    QString userName_;
    QString directory_;
    int securityLevel_ = 0;
    UserConfig config_;
};

}  // namespace ov::shell
