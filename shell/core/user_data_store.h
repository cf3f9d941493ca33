// UserDataStore: the data of the logged-in user - the buddy tree as the server keeps it, the
// black list and other known users, the record cache (the OVCache component) and the per-user
// configuration. Filled at login, emptied at logout; windows follow it through Notified.
//
//   UserDataStore& data = app.UserData();
//   QObject::connect(&data, &UserDataStore::Notified, view, [](int code, qint64 value) {...});
//   for (const BuddyNodeRecord& r : data.Buddies()) ...      // a copy, taken under the lock
//   data.CollectBuddyTree(flag, nodes);                       // the list replies, in parts
//   data.SetBuddyStatus(10002, OV_ONLINE_STATUS_ONLINE);       // code 3, value 10002
//
// Every list has its own lock, held for one whole list operation; lists leave the store as
// copies. Notifications are sent after the lock is released.
#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <optional>

#include "common/protocol/vocabulary.h"
#include "platform/com/comptr.h"
#include "shell/core/list_file.h"
#include "shell/core/message_archive.h"
#include "shell/core/user_config.h"

struct IOVCache;

namespace ov::shell {

// What Notified tells; the value is named at each code.
enum UserDataEvent : int {
    kUserDataBuddyStatus = 3,    // value: the PIN whose status changed
    kUserDataOthersLoaded = 8,   // the other users were read from list.dat
    kUserDataBuddiesLoaded = 9,  // the buddy tree was read from list.dat (or emptied)
    kUserDataArchiveMessages = kArchiveMessages,  // value: the number whose messages changed
    kUserDataArchiveNumbers = kArchiveNumbers,    // value: the number that entered or left
    kUserDataBuddyTree = 12,                      // the buddy tree was replaced or one node changed
    kUserDataBlackList = 13,                      // the black list was replaced
    kUserDataCacheReady = 14,                     // the record cache is open
    kUserDataUserRecord = 15,    // value: the PIN whose record changed in the cache
    kUserDataBuddyAnswer = 16,   // value: the PIN that answered an add-buddy request
    kUserDataTreeReceived = 17,  // the tree downloaded after a request is complete
    kUserDataListedCount = 30,   // value: the user nodes counted as listed
    kUserDataOnlineCount = 31,   // value: the listed user nodes that are online
};

// The first display word of a node: where it stands in the buddy list.
enum BuddyDisplayState : qint32 {
    kBuddyShown = 0,           // in its group
    kBuddyRemoving = 1,        // its removal is on its way to the server: not shown
    kBuddyAdding = 2,          // its addition is on its way to the server: not shown
    kBuddyAwaitingAnswer = 3,  // the other user has not answered yet: under "待验证好友"
};

// Other-user kinds beyond the black list.
enum : qint32 {
    kOtherUserStranger = 1,
};

// The special groups of the buddy list, and the first user number.
enum BuddyListNumber : qint32 {
    kDefaultBuddyGroup = 1,
    kBlackListGroup = 1001,
    kStrangerGroup = 1002,
    kAwaitingGroup = 1003,
    kFirstUserPin = 10000,
};

// The user's name for tips and captions ("%s", "[%s]" or "[%d]"), and the long form.
QString ShortUserName(const QString& displayName, const QString& userName, qint32 pin);
QString LongUserName(const QString& displayName, const QString& userName, qint32 pin,
                     bool stranger);

class UserDataStore final : public QObject {
    Q_OBJECT
public:
    UserDataStore();
    ~UserDataStore() override;

    // Loads the user's data from the user's directory (it must exist): list.dat, the record
    // cache (cache.dat, old records removed) and config.dat. True when loaded.
    bool Load(const QString& userName, const QString& directory, int securityLevel);
    // Writes config.dat and empties the store; nothing is loaded afterwards.
    void Unload();
    // Writes list.dat now.
    bool Save() const;

    bool Loaded() const { return loaded_; }
    const QString& UserName() const { return userName_; }
    const QString& Directory() const { return directory_; }
    int SecurityLevel() const { return securityLevel_; }
    UserConfig& Config() { return config_; }
    // The archive files found at load ("*.msg", "*.cht"), names only.
    const QStringList& ArchiveFiles() const { return archiveFiles_; }

    // The message archive (message_archive.h), open while the user is loaded; its changes
    // come as codes 10 and 11 with the number.
    bool AddMessage(const MessageRecord& record) { return archive_.Add(record); }
    void GetMessages(qint32 number, QList<MessageRecord>* list) { archive_.Get(number, list); }
    int RemoveMessage(qint32 number, qint32 time) { return archive_.Remove(number, time); }
    QList<qint32> ListNumbers() const { return archive_.Numbers(); }
    QList<ArchiveHit> SearchMessages(const QString& text, qsizetype limit = 0) {
        return archive_.Search(text, limit);
    }

    // Copies of the lists.
    QList<BuddyNodeRecord> Buddies() const;
    QList<OtherUserEntry> Others() const;
    QList<OtherUserEntry> BlackList() const;

    // The buddy tree as one reply carries it (replaces the tree).
    void ReplaceBuddyTree(const QList<OV_BUDDY_TREE_NODE>& nodes);
    // One part of a reply in parts; the collection replaces the tree at its last part (true).
    bool CollectBuddyTree(OVListFlagEnum flag, const QList<OV_BUDDY_TREE_NODE>& nodes);
    void ReplaceBlackList(const QList<OV_USER_INFO>& users);
    bool CollectBlackList(OVListFlagEnum flag, const QList<OV_USER_INFO>& users);

    // The node of a buddy (a user node), or of a group.
    std::optional<BuddyNodeRecord> FindBuddy(qint32 pin) const;
    std::optional<BuddyNodeRecord> FindGroup(qint32 groupId) const;
    bool IsBuddy(qint32 pin) const { return FindBuddy(pin).has_value(); }
    bool IsBlackListed(qint32 pin) const;
    // Puts a node into the tree, replacing the node of the same user (or group) number;
    // list.dat is written and code 12 sent.
    void PutNode(const BuddyNodeRecord& record);
    // Removes a user's node (or a group's node and the nodes below it).
    void RemoveBuddy(qint32 pin);
    void RemoveGroup(qint32 groupId);
    // A stranger that wrote to the user, kept under "陌生人" (nothing when known otherwise).
    void AddStranger(qint32 pin, const QString& name, qint32 icon);
    void RemoveOther(qint32 pin);

    // A user's record from the cache.
    std::optional<OV_USER_INFO> FindUser(qint32 pin) const;
    // A record from the server: merged into the cached one and written; a buddy's node takes
    // its icon. Code 15 with the PIN.
    void UpdateUser(const OV_USER_INFO& info);
    bool HasUserRecord(qint32 pin) const { return FindUser(pin).has_value(); }

    // A buddy's status changed: code 3 with the PIN (nothing when not a buddy).
    void SetBuddyStatus(qint32 pin, int status);
    // An add-buddy answer arrived from pin: a node awaiting it is shown (accepted) or removed
    // (refused), and code 16 tells the windows waiting for it.
    void BuddyAnswered(qint32 pin, bool accepted);

    // Whether the stored buddy tree can stand without asking the server for it again.
    bool SnapshotCurrent() const;
    // The name to show for a user ("" when nobody is known by that number), short and long.
    QString DisplayName(qint32 pin) const;
    QString LongName(qint32 pin) const;
    // The icon number of a user: node, cache or other-user entry; 0 when unknown.
    qint32 IconOf(qint32 pin) const;

    // The periodic step, every second: recounts and tells codes 30 and 31 on a change.
    void Tick();

    // The outcome of the last Tick's counts.
    int ListedCount() const { return listedCount_; }
    int OnlineCount() const { return onlineCount_; }

Q_SIGNALS:
    void Notified(int code, qint64 value);

private:
    void WriteList() const;
    void ReplaceNodes(QList<BuddyNodeRecord> records);
    void ReplaceBlack(const QList<OV_USER_INFO>& users);
    bool OpenCache();

    bool loaded_ = false;
    QString userName_;
    QString directory_;
    int securityLevel_ = 0;
    QStringList archiveFiles_;
    ComPtr<IOVCache> cache_;

    mutable QMutex buddiesLock_;  // guards buddies_ and collecting_
    QList<BuddyNodeRecord> buddies_;
    QList<OV_BUDDY_TREE_NODE> collecting_;
    bool collectingTree_ = false;

    mutable QMutex othersLock_;  // guards others_, blackCollecting_
    QList<OtherUserEntry> others_;
    QList<OV_USER_INFO> blackCollecting_;
    bool collectingBlack_ = false;

    UserConfig config_;       // locks itself
    MessageArchive archive_;  // locks itself

    int listedCount_ = -1;
    int onlineCount_ = -1;
    bool treeFromServer_ = false;
};

}  // namespace ov::shell
