#include "shell/messaging/message_manager_model.h"

#include <QSaveFile>
#include <QSet>
#include <algorithm>
#include <ctime>

#include "shell/core/message_archive.h"
#include "shell/core/protocol_records.h"
#include "shell/core/user_data_store.h"

namespace ov::shell {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

void SortedUnique(QList<int>* rows) {
    std::sort(rows->begin(), rows->end());
    rows->erase(std::unique(rows->begin(), rows->end()), rows->end());
}

}  // namespace

QString ManagerPrompt(int command) {
    switch (command) {
        case kManagerDelete:
            return Text("删除选中的消息");
        case kManagerExport:
            return Text("将选中的消息输出到文本文件中");
        case kManagerStatusBar:
            return Text("显示或隐藏状态条");
        case kManagerToolBar:
            return Text("显示或隐藏工具条");
        case kManagerCopy:
            return Text("复制消息内容");
        case kManagerDeleteSelection:
            return Text("删除当前选择的项目");
        case kManagerRefresh:
            return Text("刷新");
        case kManagerExportCaption:
            return Text("导出");
        case kManagerExit:
            return Text("退出");
        case kManagerSelectAll:
            return Text("选择所有的项目");
        default:
            return {};
    }
}

MessageManagerModel::MessageManagerModel(UserDataStore& data, QString ownName, QObject* parent)
    : QObject(parent), data_(data), ownName_(std::move(ownName)) {
    connect(&data_, &UserDataStore::Notified, this, &MessageManagerModel::Told);
    BuildTree();
    LoadRows();
}

MessageManagerModel::~MessageManagerModel() = default;

QString MessageManagerModel::TimeText(qint32 seconds) {
    // The C library's local time: many times faster than QDateTime's for a list of thousands.
    const time_t t = seconds;
    struct tm local {};
    char text[32];
    if (!localtime_r(&t, &local) || !std::strftime(text, sizeof text, "%y-%m-%d %H:%M:%S", &local))
        return {};
    return QString::fromLatin1(text);
}

int MessageManagerModel::Add(int parent, const QString& text, qint32 data, bool person) {
    ManagerNode node;
    node.text = text;
    node.data = data;
    node.person = person;
    node.parent = parent;
    tree_.push_back(std::move(node));
    const int index = static_cast<int>(tree_.size()) - 1;
    if (parent >= 0)
        tree_[parent].children.push_back(index);
    return index;
}

void MessageManagerModel::BuildTree() {
    tree_.clear();
    const int root = Add(-1, ownName_, kManagerRootData, false);
    const int buddies = Add(root, Text("好友"), kManagerBuddiesData, false);
    const QList<BuddyNodeRecord> nodes = data_.Buddies();
    QHash<quint32, int> groups;
    groups.insert(kDefaultBuddyGroup, buddies);
    for (const BuddyNodeRecord& r : nodes) {
        const quint32 id = r.node.nBuddyNodeID;
        if (r.node.bIsBuddyGroup == 0 || groups.contains(id) || id == kManagerSystemData ||
            id == kManagerStrangersData)
            continue;
        groups.insert(id,
                      Add(root, RecordText(r.node.sDisplayName), static_cast<qint32>(id), false));
    }
    Add(root, Text("系统消息"), kManagerSystemData, true);
    const int strangers = Add(root, Text("陌生人"), kManagerStrangersData, false);

    QSet<qint32> placed{kManagerSystemData};
    for (const BuddyNodeRecord& r : nodes) {
        if (r.node.bIsBuddyGroup != 0)
            continue;
        const qint32 pin = static_cast<qint32>(r.node.nBuddyNodeID);
        if (placed.contains(pin))
            continue;
        placed.insert(pin);
        const int group = groups.value(r.node.nParentBuddyGroupID, buddies);
        Add(group,
            QStringLiteral("%1 (%2)").arg(RecordText(r.node.sUserName),
                                          RecordText(r.node.sDisplayName)),
            pin, true);
    }
    for (const OtherUserEntry& e : data_.Others()) {
        const qint32 pin = static_cast<qint32>(e.nPin);
        if (placed.contains(pin))
            continue;
        placed.insert(pin);
        Add(strangers, e.displayName.isEmpty() ? QString::number(pin) : e.displayName, pin, true);
    }
    // Archived people the lists no longer know still get an item, so that no message in the
    // archive is out of reach.
    for (qint32 number : data_.ListNumbers()) {
        if (placed.contains(number))
            continue;
        placed.insert(number);
        Add(strangers, QString::number(number), number, true);
    }
}

int MessageManagerModel::NodeOf(qint32 number) const {
    for (int i = 0; i < tree_.size(); ++i)
        if (tree_[i].person && tree_[i].data == number)
            return i;
    return -1;
}

void MessageManagerModel::Collect(int node, QList<qint32>* numbers) const {
    if (tree_[node].person)
        numbers->push_back(tree_[node].data);
    for (int child : tree_[node].children)
        Collect(child, numbers);
}

QString MessageManagerModel::NameOf(qint32 number) const {
    if (number == kSystemMessagePeer)
        return Text("系统");
    const QString name = data_.DisplayName(number);
    return name.isEmpty() ? QString::number(number) : name;
}

ManagerRow MessageManagerModel::RowOf(const MessageRecord& record,
                                      QHash<qint32, QString>* names) const {
    ManagerRow row;
    row.time = TimeText(record.nTime);
    row.text = record.sText;
    row.timeValue = record.nTime;
    row.peer = record.nPeerNumber;
    auto name = names->find(record.nPeerNumber);
    if (name == names->end())
        name = names->insert(record.nPeerNumber, NameOf(record.nPeerNumber));
    const QString& peer = name.value();
    if (record.nKind == kMessageSent) {
        row.kind = Text("发送");
        row.sender = ownName_;
        row.recipient = peer;
    } else {
        if (record.nKind == kMessageReceived || record.nKind == kMessageReceivedOther)
            row.kind = Text("接收");
        row.sender = peer;
        row.recipient = ownName_;
    }
    return row;
}

void MessageManagerModel::LoadRows() {
    rows_.clear();
    shown_.clear();
    QHash<qint32, QString> names;  // each person's name asked for once
    if (!search_.isEmpty()) {
        for (const ArchiveHit& hit : data_.SearchMessages(search_))
            rows_.push_back(RowOf(hit.record, &names));
        return;
    }
    if (selected_ < 0 || selected_ >= tree_.size())
        return;  // nothing chosen yet
    Collect(selected_, &shown_);
    for (qint32 number : shown_) {
        QList<MessageRecord> records;
        data_.GetMessages(number, &records);
        for (const MessageRecord& r : records)
            rows_.push_back(RowOf(r, &names));
    }
    // Several people's messages read as one conversation in time.
    if (shown_.size() > 1)
        std::stable_sort(rows_.begin(), rows_.end(), [](const ManagerRow& a, const ManagerRow& b) {
            return a.timeValue < b.timeValue;
        });
}

void MessageManagerModel::Select(int node) {
    selected_ = node >= 0 && node < tree_.size() ? node : 0;
    search_.clear();
    LoadRows();
    Q_EMIT RowsChanged();
}

void MessageManagerModel::Search(const QString& text) {
    search_ = text;
    LoadRows();
    Q_EMIT RowsChanged();
}

void MessageManagerModel::Refresh() {
    if (selected_ < 0) {
        BuildTree();
        Q_EMIT TreeChanged();
        return;
    }
    const ManagerNode old = tree_.value(selected_);
    const ManagerNode oldParent = tree_.value(old.parent);
    BuildTree();
    auto find = [this](const ManagerNode& n) {
        for (int i = 0; i < tree_.size(); ++i)
            if (tree_[i].data == n.data && tree_[i].person == n.person)
                return i;
        return -1;
    };
    // A person who left the tree (their last message deleted) leaves the item above them.
    selected_ = find(old);
    if (selected_ < 0 && old.parent >= 0)
        selected_ = find(oldParent);
    selected_ = std::max(selected_, 0);
    LoadRows();
    Q_EMIT TreeChanged();
    Q_EMIT RowsChanged();
}

void MessageManagerModel::Delete(const QList<int>& rows) {
    QList<std::pair<qint32, qint32>> doomed;
    for (int row : rows)
        if (row >= 0 && row < rows_.size())
            doomed.push_back({rows_[row].peer, rows_[row].timeValue});
    // The archive tells every removal; the rows are read again once, at the end.
    deleting_ = true;
    bool numbersChanged = false;
    for (const auto& [peer, time] : doomed) {
        data_.RemoveMessage(peer, time);
        numbersChanged = numbersChanged || !data_.ListNumbers().contains(peer);
    }
    deleting_ = false;
    if (numbersChanged) {
        Refresh();
    } else {
        LoadRows();
        Q_EMIT RowsChanged();
    }
}

QString MessageManagerModel::ExportText(QList<int> rows) const {
    SortedUnique(&rows);
    QString out;
    for (int row : rows) {
        if (row < 0 || row >= rows_.size())
            continue;
        const ManagerRow& r = rows_[row];
        out += Text("类型:%1\t来自:%2\t时间:%3\n%4\n\n").arg(r.kind, r.sender, r.time, r.text);
    }
    return out;
}

bool MessageManagerModel::Export(const QString& path, const QList<int>& rows) const {
    // A text file for a person on this system: UTF-8, "\n" line ends.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = ExportText(rows).toUtf8();
    return file.write(bytes) == bytes.size() && file.commit();
}

QString MessageManagerModel::CopyText(QList<int> rows) const {
    SortedUnique(&rows);
    QString out;
    for (int row : rows)
        if (row >= 0 && row < rows_.size())
            out += rows_[row].text + u'\n';  // text on this system's clipboard ends lines so
    return out;
}

void MessageManagerModel::Told(int code, qint64 value) {
    if (deleting_)
        return;
    if (code == kUserDataArchiveNumbers) {
        Refresh();
    } else if (code == kUserDataArchiveMessages &&
               (!search_.isEmpty() || shown_.contains(static_cast<qint32>(value)))) {
        LoadRows();
        Q_EMIT RowsChanged();
    } else if (code == kUserDataBuddiesLoaded || code == kUserDataOthersLoaded ||
               code == kUserDataBuddyTree) {
        Refresh();
    }
}

}  // namespace ov::shell
