#include "shell/core/user_data_store.h"

#include <QDir>
#include <QMutexLocker>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovcache.h"
#include "platform/com/registration.h"
#include "platform/com/variant.h"
#include "shell/core/bstr_text.h"
#include "shell/core/protocol_records.h"
#include "shell/core/user_directories.h"

namespace ov::shell {

namespace {

bool IsUserNode(const BuddyNodeRecord& r) {
    return r.node.bIsBuddyGroup == 0;
}

bool IsOnline(quint32 status) {
    return status != OV_ONLINE_STATUS_OFFLINE && status != OV_ONLINE_STATUS_INVISIBLE;
}

// A field of the incoming record replaces the cached one when its bit is set (all of them
// when the record names no fields).
void Merge(OV_USER_INFO& into, const OV_USER_INFO& from) {
    const quint32 mask = from.nMask;
    if (mask == 0) {
        into = from;
        return;
    }
    auto take = [&](quint32 bit, auto& to, const auto& value) {
        if (mask & bit)
            std::memcpy(&to, &value, sizeof to);
    };
    take(OV_UFLD_USERNAME, into.sUserName, from.sUserName);
    take(OV_UFLD_NICKNAME, into.sNickName, from.sNickName);
    take(OV_UFLD_FIRSTNAME, into.sFirstName, from.sFirstName);
    take(OV_UFLD_LASTNAME, into.sLastName, from.sLastName);
    take(OV_UFLD_EMAIL, into.sEMail, from.sEMail);
    take(OV_UFLD_LANGUAGE, into.nLanguage, from.nLanguage);
    take(OV_UFLD_LOCATION, into.nLocation, from.nLocation);
    take(OV_UFLD_AGERANGE, into.nAgeRange, from.nAgeRange);
    take(OV_UFLD_SEX, into.nSex, from.nSex);
    take(OV_UFLD_CAREER, into.nCareer, from.nCareer);
    take(OV_UFLD_ICON, into.nIcon, from.nIcon);
    take(OV_UFLD_MODE, into.nMode, from.nMode);
    take(OV_UFLD_AGE, into.nAge, from.nAge);
    take(OV_UFLD_LANGUAGE1, into.nLanguage1, from.nLanguage1);
    take(OV_UFLD_LANGUAGE2, into.nLanguage2, from.nLanguage2);
    take(OV_UFLD_LANGUAGE3, into.nLanguage3, from.nLanguage3);
    take(OV_UFLD_EMAIL1, into.sEMail1, from.sEMail1);
    take(OV_UFLD_EMAIL2, into.sEMail2, from.sEMail2);
    take(OV_UFLD_PHONE, into.sPhone, from.sPhone);
    take(OV_UFLD_MOBILE, into.sMobile, from.sMobile);
    take(OV_UFLD_HOMEPAGE, into.sHomepage, from.sHomepage);
    take(OV_UFLD_ABOUT, into.sAbout, from.sAbout);
    take(OV_UFLD_ONLINE_STATUS, into.nOnlineStatus, from.nOnlineStatus);
    into.nMask |= mask;
    into.nPin = from.nPin;
}

}  // namespace

QString ShortUserName(const QString& displayName, const QString& userName, qint32 pin) {
    if (!displayName.isEmpty())
        return displayName;
    if (!userName.isEmpty())
        return QStringLiteral("[%1]").arg(userName);
    return QStringLiteral("[%1]").arg(pin);
}

QString LongUserName(const QString& displayName, const QString& userName, qint32 pin,
                     bool stranger) {
    const QString second = userName.isEmpty() ? QString::number(pin) : userName;
    if (stranger)
        return QStringLiteral("陌生人/%1").arg(second);
    if (!displayName.isEmpty())
        return QStringLiteral("%1/%2").arg(displayName, second);
    return ShortUserName(displayName, userName, pin);
}

UserDataStore::UserDataStore() = default;

UserDataStore::~UserDataStore() {
    Unload();
}

bool UserDataStore::Load(const QString& userName, const QString& directory, int securityLevel) {
    Unload();
    if (userName.isEmpty() || !QDir(directory).exists())
        return false;
    const QDir dir(directory);
    ListFileContent content;
    {
        QMutexLocker buddies(&buddiesLock_);
        QMutexLocker others(&othersLock_);
        userName_ = userName;
        directory_ = directory;
        securityLevel_ = securityLevel;
        // A file that does not parse whole leaves the lists empty: the server's lists follow.
        if (LoadListFile(dir.filePath(QString::fromLatin1(kListFileName)), userName, &content)) {
            buddies_ = std::move(content.nodes);
            others_ = std::move(content.others);
        }
    }
    loaded_ = true;
    Q_EMIT Notified(kUserDataBuddiesLoaded, 0);
    Q_EMIT Notified(kUserDataOthersLoaded, 0);
    archiveFiles_ =
        dir.entryList({QStringLiteral("*.msg"), QStringLiteral("*.cht")}, QDir::Files, QDir::Name);
    archive_.Open(directory, userName,
                  [this](int code, qint32 number) { Q_EMIT Notified(code, number); });
    if (OpenCache())
        Q_EMIT Notified(kUserDataCacheReady, 0);
    config_.Load(dir.filePath(QString::fromLatin1(kUserConfigFileName)));
    return true;
}

bool UserDataStore::OpenCache() {
    ComPtr<IOVCache> cache;
    if (FAILED(CoCreateInstance(CLSID_OVCache, &cache)) || !cache)
        return false;
    LONG ok = 0;
    const QString path = QDir(directory_).filePath(QString::fromLatin1(kCacheFileName));
    if (cache->Init(ToBstr(path), &ok) != S_OK || !ok)
        return false;
    // Records nobody looked at for a month go: the cache follows the people one meets.
    cache->AutoDelete(&ok);
    cache_ = std::move(cache);
    return true;
}

void UserDataStore::Unload() {
    const bool wasLoaded = loaded_;
    if (loaded_)
        config_.Save();
    loaded_ = false;
    config_.Clear();
    cache_ = nullptr;
    archiveFiles_.clear();
    archive_.Close();
    {
        QMutexLocker buddies(&buddiesLock_);
        QMutexLocker others(&othersLock_);
        buddies_.clear();
        collecting_.clear();
        collectingTree_ = false;
        others_.clear();
        blackCollecting_.clear();
        collectingBlack_ = false;
        userName_.clear();
        directory_.clear();
        securityLevel_ = 0;
    }
    listedCount_ = -1;
    onlineCount_ = -1;
    // The windows empty their lists with the store.
    if (wasLoaded) {
        Q_EMIT Notified(kUserDataBuddiesLoaded, 0);
        Q_EMIT Notified(kUserDataOthersLoaded, 0);
    }
}

bool UserDataStore::Save() const {
    if (!loaded_)
        return false;
    ListFileContent content;
    {
        QMutexLocker buddies(&buddiesLock_);
        QMutexLocker others(&othersLock_);
        content.nodes = buddies_;
        content.others = others_;
    }
    return SaveListFile(QDir(directory_).filePath(QString::fromLatin1(kListFileName)), content,
                        userName_);
}

void UserDataStore::WriteList() const {
    Save();
}

QList<BuddyNodeRecord> UserDataStore::Buddies() const {
    QMutexLocker lock(&buddiesLock_);
    return buddies_;
}

QList<OtherUserEntry> UserDataStore::Others() const {
    QMutexLocker lock(&othersLock_);
    return others_;
}

QList<OtherUserEntry> UserDataStore::BlackList() const {
    QMutexLocker lock(&othersLock_);
    QList<OtherUserEntry> black;
    for (const OtherUserEntry& e : others_)
        if (e.kind == kOtherUserBlackList)
            black.push_back(e);
    return black;
}

void UserDataStore::ReplaceBuddyTree(const QList<OV_BUDDY_TREE_NODE>& nodes) {
    QList<BuddyNodeRecord> records;
    records.reserve(nodes.size());
    for (const OV_BUDDY_TREE_NODE& n : nodes)
        records.push_back(BuddyNodeRecord::FromKernel(n));
    ReplaceNodes(std::move(records));
}

bool UserDataStore::CollectBuddyTree(OVListFlagEnum flag, const QList<OV_BUDDY_TREE_NODE>& nodes) {
    QList<OV_BUDDY_TREE_NODE> whole;
    {
        QMutexLocker lock(&buddiesLock_);
        if (flag == OV_LISTFLAG_ALL || flag == OV_LISTFLAG_HEAD) {
            collecting_.clear();
            collectingTree_ = true;
        }
        if (flag == OV_LISTFLAG_BAD || !collectingTree_)
            return false;  // a part without its head cannot make a whole tree
        collecting_ += nodes;
        if (flag != OV_LISTFLAG_ALL && flag != OV_LISTFLAG_TAIL)
            return false;
        whole = std::move(collecting_);
        collecting_.clear();
        collectingTree_ = false;
    }
    ReplaceBuddyTree(whole);
    Q_EMIT Notified(kUserDataTreeReceived, whole.size());
    return true;
}

void UserDataStore::ReplaceNodes(QList<BuddyNodeRecord> records) {
    if (!loaded_)
        return;
    // The server's tree decides the icon: the cache follows it.
    for (const BuddyNodeRecord& r : records) {
        if (!IsUserNode(r))
            continue;
        std::optional<OV_USER_INFO> info = FindUser(static_cast<qint32>(r.node.nBuddyNodeID));
        if (info && info->nIcon != r.node.nIcon) {
            info->nIcon = r.node.nIcon;
            CByteArrayVariant bytes(&*info, sizeof *info);
            LONG ok = 0;
            cache_->Add(ToBstr(RecordText(info->sUserName)), info->nPin, bytes.Variant(), &ok);
        }
    }
    {
        QMutexLocker lock(&buddiesLock_);
        // The server keeps no node for a request still unanswered or on its way: such a node
        // stays until its answer.
        for (const BuddyNodeRecord& old : buddies_) {
            if (!IsUserNode(old) ||
                (old.display[0] != kBuddyAwaitingAnswer && old.display[0] != kBuddyAdding))
                continue;
            const bool listed =
                std::any_of(records.begin(), records.end(), [&](const BuddyNodeRecord& r) {
                    return IsUserNode(r) && r.node.nBuddyNodeID == old.node.nBuddyNodeID;
                });
            if (!listed)
                records.push_back(old);
        }
        buddies_ = std::move(records);
    }
    treeFromServer_ = true;
    WriteList();
    Q_EMIT Notified(kUserDataBuddyTree, 0);
}

void UserDataStore::ReplaceBlackList(const QList<OV_USER_INFO>& users) {
    ReplaceBlack(users);
}

bool UserDataStore::CollectBlackList(OVListFlagEnum flag, const QList<OV_USER_INFO>& users) {
    QList<OV_USER_INFO> whole;
    {
        QMutexLocker lock(&othersLock_);
        if (flag == OV_LISTFLAG_ALL || flag == OV_LISTFLAG_HEAD) {
            blackCollecting_.clear();
            collectingBlack_ = true;
        }
        if (flag == OV_LISTFLAG_BAD || !collectingBlack_)
            return false;
        blackCollecting_ += users;
        if (flag != OV_LISTFLAG_ALL && flag != OV_LISTFLAG_TAIL)
            return false;
        whole = std::move(blackCollecting_);
        blackCollecting_.clear();
        collectingBlack_ = false;
    }
    ReplaceBlack(whole);
    return true;
}

void UserDataStore::ReplaceBlack(const QList<OV_USER_INFO>& users) {
    if (!loaded_)
        return;
    QList<OtherUserEntry> black;
    black.reserve(users.size());
    for (const OV_USER_INFO& u : users) {
        OtherUserEntry e;
        e.nPin = u.nPin;
        e.kind = kOtherUserBlackList;
        e.icon = static_cast<qint32>(u.nIcon);
        e.displayName = RecordText(u.sUserName);
        if (const auto cached = FindUser(static_cast<qint32>(u.nPin))) {
            const QString nick = RecordText(cached->sNickName);
            if (!nick.isEmpty())
                e.displayName = nick;
        }
        black.push_back(e);
    }
    {
        QMutexLocker lock(&othersLock_);
        QList<OtherUserEntry> kept;
        for (const OtherUserEntry& e : others_) {
            const bool nowBlack =
                std::any_of(black.begin(), black.end(),
                            [&](const OtherUserEntry& b) { return b.nPin == e.nPin; });
            // A stranger that is now black-listed is shown only there.
            if (e.kind != kOtherUserBlackList && !nowBlack)
                kept.push_back(e);
        }
        others_ = kept + black;
    }
    WriteList();
    Q_EMIT Notified(kUserDataBlackList, black.size());
}

std::optional<BuddyNodeRecord> UserDataStore::FindBuddy(qint32 pin) const {
    QMutexLocker lock(&buddiesLock_);
    for (const BuddyNodeRecord& r : buddies_)
        if (IsUserNode(r) && r.node.nBuddyNodeID == static_cast<quint32>(pin))
            return r;
    return std::nullopt;
}

std::optional<BuddyNodeRecord> UserDataStore::FindGroup(qint32 groupId) const {
    QMutexLocker lock(&buddiesLock_);
    for (const BuddyNodeRecord& r : buddies_)
        if (!IsUserNode(r) && r.node.nBuddyNodeID == static_cast<quint32>(groupId))
            return r;
    return std::nullopt;
}

bool UserDataStore::IsBlackListed(qint32 pin) const {
    QMutexLocker lock(&othersLock_);
    return std::any_of(others_.begin(), others_.end(), [&](const OtherUserEntry& e) {
        return e.kind == kOtherUserBlackList && e.nPin == static_cast<quint32>(pin);
    });
}

void UserDataStore::PutNode(const BuddyNodeRecord& record) {
    if (!loaded_)
        return;
    {
        QMutexLocker lock(&buddiesLock_);
        auto same = std::find_if(buddies_.begin(), buddies_.end(), [&](const BuddyNodeRecord& r) {
            return r.node.bIsBuddyGroup == record.node.bIsBuddyGroup &&
                   r.node.nBuddyNodeID == record.node.nBuddyNodeID;
        });
        if (same != buddies_.end())
            *same = record;
        else
            buddies_.push_back(record);
    }
    WriteList();
    Q_EMIT Notified(kUserDataBuddyTree, record.node.nBuddyNodeID);
}

void UserDataStore::RemoveBuddy(qint32 pin) {
    if (!loaded_)
        return;
    {
        QMutexLocker lock(&buddiesLock_);
        buddies_.removeIf([&](const BuddyNodeRecord& r) {
            return IsUserNode(r) && r.node.nBuddyNodeID == static_cast<quint32>(pin);
        });
    }
    WriteList();
    Q_EMIT Notified(kUserDataBuddyTree, pin);
}

void UserDataStore::RemoveGroup(qint32 groupId) {
    if (!loaded_)
        return;
    {
        QMutexLocker lock(&buddiesLock_);
        const auto id = static_cast<quint32>(groupId);
        buddies_.removeIf([&](const BuddyNodeRecord& r) {
            return IsUserNode(r) ? r.node.nParentBuddyGroupID == id : r.node.nBuddyNodeID == id;
        });
    }
    WriteList();
    Q_EMIT Notified(kUserDataBuddyTree, groupId);
}

void UserDataStore::AddStranger(qint32 pin, const QString& name, qint32 icon) {
    if (!loaded_ || IsBuddy(pin))
        return;
    {
        QMutexLocker lock(&othersLock_);
        for (const OtherUserEntry& e : others_)
            if (e.nPin == static_cast<quint32>(pin))
                return;
        OtherUserEntry e;
        e.nPin = static_cast<quint32>(pin);
        e.displayName = name;
        e.kind = kOtherUserStranger;
        e.icon = icon;
        others_.push_back(e);
    }
    WriteList();
    Q_EMIT Notified(kUserDataOthersLoaded, pin);
}

void UserDataStore::RemoveOther(qint32 pin) {
    if (!loaded_)
        return;
    {
        QMutexLocker lock(&othersLock_);
        others_.removeIf(
            [&](const OtherUserEntry& e) { return e.nPin == static_cast<quint32>(pin); });
    }
    WriteList();
    Q_EMIT Notified(kUserDataOthersLoaded, pin);
}

std::optional<OV_USER_INFO> UserDataStore::FindUser(qint32 pin) const {
    if (!cache_ || pin <= 0)
        return std::nullopt;
    Variant v;
    if (cache_->QueryFromID(static_cast<ULONG>(pin), &v) != S_OK)
        return std::nullopt;
    const CByteArrayVariant bytes(v);
    if (bytes.Size() < sizeof(OV_USER_INFO))
        return std::nullopt;  // not a record this program wrote
    return RecordOf<OV_USER_INFO>(bytes.View());
}

void UserDataStore::UpdateUser(const OV_USER_INFO& info) {
    if (!loaded_ || !cache_ || info.nPin == 0)
        return;
    OV_USER_INFO record = FindUser(static_cast<qint32>(info.nPin)).value_or(OV_USER_INFO{});
    Merge(record, info);
    std::memset(record.sPassword, 0, sizeof record.sPassword);  // never kept on disk
    CByteArrayVariant bytes(&record, sizeof record);
    LONG ok = 0;
    cache_->Add(ToBstr(RecordText(record.sUserName)), record.nPin, bytes.Variant(), &ok);
    // A buddy's node shows the face the user chose last.
    const auto pin = static_cast<qint32>(record.nPin);
    if (auto node = FindBuddy(pin); node && node->node.nIcon != record.nIcon) {
        node->node.nIcon = record.nIcon;
        PutNode(*node);
    }
    Q_EMIT Notified(kUserDataUserRecord, pin);
}

void UserDataStore::SetBuddyStatus(qint32 pin, int status) {
    bool found = false;
    {
        QMutexLocker lock(&buddiesLock_);
        for (BuddyNodeRecord& r : buddies_)
            if (IsUserNode(r) && r.node.nBuddyNodeID == static_cast<quint32>(pin)) {
                r.node.nOnlineStatus = static_cast<quint32>(status);
                found = true;
            }
    }
    if (found)
        Q_EMIT Notified(kUserDataBuddyStatus, pin);
}

void UserDataStore::BuddyAnswered(qint32 pin, bool accepted) {
    if (auto node = FindBuddy(pin); node && node->display[0] == kBuddyAwaitingAnswer) {
        if (accepted) {
            node->display[0] = kBuddyShown;
            PutNode(*node);
        } else {
            RemoveBuddy(pin);
        }
    }
    Q_EMIT Notified(kUserDataBuddyAnswer, accepted ? pin : -static_cast<qint64>(pin));
}

bool UserDataStore::SnapshotCurrent() const {
    // The statuses in list.dat are those of the last session: a login always asks for the
    // lists, which carry the statuses of now. The stored tree is shown until they arrive.
    return false;
}

QString UserDataStore::DisplayName(qint32 pin) const {
    if (const auto node = FindBuddy(pin))
        return ShortUserName(RecordText(node->node.sDisplayName), RecordText(node->node.sUserName),
                             pin);
    {
        QMutexLocker lock(&othersLock_);
        for (const OtherUserEntry& e : others_)
            if (e.nPin == static_cast<quint32>(pin))
                return ShortUserName(e.displayName, {}, pin);
    }
    if (const auto info = FindUser(pin))
        return ShortUserName(RecordText(info->sNickName), RecordText(info->sUserName), pin);
    return {};
}

QString UserDataStore::LongName(qint32 pin) const {
    if (const auto node = FindBuddy(pin))
        return LongUserName(RecordText(node->node.sDisplayName), RecordText(node->node.sUserName),
                            pin, false);
    QString user;
    QString nick;
    if (const auto info = FindUser(pin)) {
        user = RecordText(info->sUserName);
        nick = RecordText(info->sNickName);
    }
    {
        QMutexLocker lock(&othersLock_);
        for (const OtherUserEntry& e : others_)
            if (e.nPin == static_cast<quint32>(pin))
                return LongUserName(nick.isEmpty() ? e.displayName : nick, user, pin,
                                    e.kind == kOtherUserStranger);
    }
    return LongUserName(nick, user, pin, true);
}

qint32 UserDataStore::IconOf(qint32 pin) const {
    if (const auto node = FindBuddy(pin))
        return static_cast<qint32>(node->node.nIcon);
    if (const auto info = FindUser(pin))
        return static_cast<qint32>(info->nIcon);
    QMutexLocker lock(&othersLock_);
    for (const OtherUserEntry& e : others_)
        if (e.nPin == static_cast<quint32>(pin) && e.icon >= 0)
            return e.icon;
    return 0;
}

void UserDataStore::Tick() {
    if (!loaded_)
        return;
    int listed = 0;
    int online = 0;
    {
        QMutexLocker lock(&buddiesLock_);
        for (const BuddyNodeRecord& r : buddies_) {
            if (!IsUserNode(r))
                continue;
            const qint32 second = r.display[1];
            if (second == 0 || second == 4 || second == 5) {
                ++listed;
                if (IsOnline(r.node.nOnlineStatus))
                    ++online;
            }
        }
    }
    if (listed != listedCount_) {
        listedCount_ = listed;
        Q_EMIT Notified(kUserDataListedCount, listed);
    }
    if (online != onlineCount_) {
        onlineCount_ = online;
        Q_EMIT Notified(kUserDataOnlineCount, online);
    }
}

}  // namespace ov::shell
