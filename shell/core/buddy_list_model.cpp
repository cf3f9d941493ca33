#include "shell/core/buddy_list_model.h"

#include <QCollator>
#include <QLocale>

#include "shell/core/bstr_text.h"
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString Caption() {
    return Text("Orvane提示");
}

bool IsOnline(quint32 status) {
    return status != OV_ONLINE_STATUS_OFFLINE && status != OV_ONLINE_STATUS_INVISIBLE;
}

// Online first, then away, then busy, then the rest.
int StatusRank(quint32 status) {
    switch (status) {
        case OV_ONLINE_STATUS_ONLINE:
            return 0;
        case OV_ONLINE_STATUS_AWAY:
        case OV_ONLINE_STATUS_AWAY_AUTO:
            return 1;
        case OV_ONLINE_STATUS_DND:
            return 2;
        default:
            return IsOnline(status) ? 1 : 3;
    }
}

const QCollator& Collator() {
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Chinese, QLocale::China));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(true);
        return c;
    }();
    return collator;
}

BuddyListModel::Item UserItem(const BuddyNodeRecord& r, qint32 group) {
    BuddyListModel::Item u;
    const auto pin = static_cast<qint32>(r.node.nBuddyNodeID);
    const QString display = RecordText(r.node.sDisplayName);
    u.number = pin;
    u.parent = group;
    u.userName = RecordText(r.node.sUserName);
    u.name = ShortUserName(display, u.userName, pin);
    u.caption = u.name;
    u.tip = LongUserName(display, u.userName, pin, false);
    u.icon = static_cast<qint32>(r.node.nIcon);
    u.status = r.node.nOnlineStatus;
    u.online = IsOnline(u.status);
    return u;
}

}  // namespace

BuddyListModel::BuddyListModel(OVShellApp& app, QObject* parent) : QObject(parent), app_(app) {
    // The lists of strangers and black-listed users stay closed until opened.
    collapsed_ = {kBlackListGroup, kStrangerGroup};
    connect(&app_.UserData(), &UserDataStore::Notified, this,
            [this](int code, qint64 value) { OnData(code, value); });
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
    Rebuild();
}

BuddyListModel::~BuddyListModel() {
    events_.Disconnect();
}

// ---- The items ----

QList<qint32> BuddyListModel::TopLevel() const {
    QList<qint32> out;
    out.reserve(groups_.size());
    for (const Group& g : groups_)
        out.push_back(g.item.number);
    return out;
}

QList<qint32> BuddyListModel::Children(qint32 group) const {
    QList<qint32> out;
    if (const Group* g = GroupOf(group))
        for (const Item& u : g->users)
            if (Shown(u))
                out.push_back(u.number);
    return out;
}

BuddyListModel::Group* BuddyListModel::GroupOf(qint32 number) {
    for (Group& g : groups_)
        if (g.item.number == number)
            return &g;
    return nullptr;
}

const BuddyListModel::Group* BuddyListModel::GroupOf(qint32 number) const {
    return const_cast<BuddyListModel*>(this)->GroupOf(number);
}

const BuddyListModel::Item* BuddyListModel::Find(qint32 number) const {
    if (IsGroupNumber(number)) {
        const Group* g = GroupOf(number);
        return g ? &g->item : nullptr;
    }
    const auto where = userGroup_.constFind(number);
    if (where == userGroup_.constEnd())
        return nullptr;
    const Group* g = GroupOf(*where);
    for (const Item& u : g->users)
        if (u.number == number)
            return &u;
    return nullptr;
}

void BuddyListModel::SetExpanded(qint32 group, bool expanded) {
    Group* g = GroupOf(group);
    if (!g)
        return;
    g->item.expanded = expanded;
    if (expanded)
        collapsed_.remove(group);
    else
        collapsed_.insert(group);
}

bool BuddyListModel::Before(const Item& a, const Item& b) const {
    if (sort_ == kSortByStatus) {
        const int ra = StatusRank(a.status);
        const int rb = StatusRank(b.status);
        if (ra != rb)
            return ra < rb;
    }
    const int byName = Collator().compare(a.name, b.name);
    if (byName != 0)
        return byName < 0;
    return a.number < b.number;
}

void BuddyListModel::SortUsers(Group& g) const {
    std::stable_sort(g.users.begin(), g.users.end(),
                     [this](const Item& a, const Item& b) { return Before(a, b); });
}

void BuddyListModel::Count(Group& g) const {
    int online = 0;
    for (const Item& u : g.users)
        online += u.online ? 1 : 0;
    g.item.onlineCount = online;
    g.item.userCount = static_cast<int>(g.users.size());
    // Buddy groups count who is online; the special lists only count.
    if (g.item.number < kBlackListGroup && g.item.number != kAwaitingGroup)
        g.item.caption =
            QStringLiteral("%1(%2/%3)").arg(g.item.name).arg(online).arg(g.item.userCount);
    else
        g.item.caption = QStringLiteral("%1(%2)").arg(g.item.name).arg(g.item.userCount);
}

void BuddyListModel::Rebuild() {
    UserDataStore& data = app_.UserData();
    const QList<BuddyNodeRecord> nodes = data.Buddies();
    const QList<OtherUserEntry> others = data.Others();
    groups_.clear();
    userGroup_.clear();

    auto addGroup = [&](qint32 number, const QString& name, int image) {
        Group g;
        g.item.number = number;
        g.item.name = name;
        g.item.image = image;
        g.item.expanded = !collapsed_.contains(number);
        groups_.push_back(g);
    };
    auto hidden = [](const BuddyNodeRecord& r) {
        return r.display[0] == kBuddyRemoving || r.display[0] == kBuddyAdding;
    };

    addGroup(kDefaultBuddyGroup, Text("好友"), kImageBuddyGroup);
    for (const BuddyNodeRecord& r : nodes) {
        const auto id = static_cast<qint32>(r.node.nBuddyNodeID);
        if (!r.node.bIsBuddyGroup || hidden(r) || !IsGroupNumber(id) || GroupOf(id))
            continue;
        addGroup(id, RecordText(r.node.sDisplayName), kImageBuddyGroup);
    }
    addGroup(kAwaitingGroup, Text("待验证好友"), kImageBuddyGroup);
    addGroup(kBlackListGroup, Text("黑名单"), kImageBlackList);
    addGroup(kStrangerGroup, Text("陌生人"), kImageStranger);

    // A user stands once: as a buddy before the black list and strangers.
    auto place = [&](Item u) {
        if (u.number < kFirstUser || userGroup_.contains(u.number))
            return;
        userGroup_.insert(u.number, u.parent);
        GroupOf(u.parent)->users.push_back(std::move(u));
    };
    for (const BuddyNodeRecord& r : nodes) {
        if (r.node.bIsBuddyGroup || r.display[0] != kBuddyShown)
            continue;
        qint32 parent = static_cast<qint32>(r.node.nParentBuddyGroupID);
        // A buddy whose group is not shown stays in sight in the default group.
        if (parent >= kBlackListGroup || !GroupOf(parent))
            parent = kDefaultBuddyGroup;
        place(UserItem(r, parent));
    }
    for (const BuddyNodeRecord& r : nodes)
        if (!r.node.bIsBuddyGroup && r.display[0] == kBuddyAwaitingAnswer)
            place(UserItem(r, kAwaitingGroup));
    for (const OtherUserEntry& e : others) {
        qint32 parent = 0;
        if (e.kind == kOtherUserBlackList)
            parent = kBlackListGroup;
        else if (e.kind == kOtherUserStranger)
            parent = kStrangerGroup;
        else
            continue;
        Item u;
        u.number = static_cast<qint32>(e.nPin);
        u.parent = parent;
        u.name = ShortUserName(e.displayName, {}, u.number);
        u.caption = u.name;
        u.tip = data.LongName(u.number);
        if (const auto info = data.FindUser(u.number))
            u.userName = RecordText(info->sUserName);
        u.icon = e.icon >= 0 ? e.icon : data.IconOf(u.number);
        u.status = OV_ONLINE_STATUS_OFFLINE;
        place(std::move(u));
    }
    for (Group& g : groups_) {
        SortUsers(g);
        Count(g);
    }
    if (!Find(selected_))
        selected_ = 0;
    Q_EMIT Reset();
}

void BuddyListModel::OnData(int code, qint64 value) {
    switch (code) {
        case kUserDataBuddyStatus:
            StatusChanged(static_cast<qint32>(value));
            break;
        case kUserDataOthersLoaded:
        case kUserDataBuddiesLoaded:
        case kUserDataBuddyTree:
        case kUserDataBlackList:
            Rebuild();
            break;
        case kUserDataUserRecord: {
            const auto pin = static_cast<qint32>(value);
            const auto where = userGroup_.constFind(pin);
            if (where == userGroup_.constEnd())
                break;
            for (Item& u : GroupOf(*where)->users)
                if (u.number == pin && u.icon != app_.UserData().IconOf(pin)) {
                    u.icon = app_.UserData().IconOf(pin);
                    Q_EMIT ItemChanged(pin);
                }
            break;
        }
        default:
            break;
    }
}

// One user's image and place, and its group's count: the rest of the tree stays as it is.
void BuddyListModel::StatusChanged(qint32 pin) {
    const auto where = userGroup_.constFind(pin);
    if (where == userGroup_.constEnd())
        return;
    const std::optional<BuddyNodeRecord> node = app_.UserData().FindBuddy(pin);
    if (!node)
        return;
    Group& g = *GroupOf(*where);
    qsizetype at = -1;
    for (qsizetype i = 0; i < g.users.size() && at < 0; ++i)
        if (g.users[i].number == pin)
            at = i;
    if (at < 0)
        return;
    Item user = g.users.takeAt(at);
    const bool wasShown = Shown(user);
    user.status = node->node.nOnlineStatus;
    user.online = IsOnline(user.status);
    const bool shown = Shown(user);
    qsizetype to = 0;
    int newRow = 0;
    while (to < g.users.size() && Before(g.users[to], user)) {
        newRow += Shown(g.users[to]) ? 1 : 0;
        ++to;
    }
    g.users.insert(to, user);
    Count(g);
    if (wasShown && shown && to == at) {
        Q_EMIT ItemChanged(pin);
    } else {
        if (wasShown)
            Q_EMIT UserRemoved(pin);
        if (shown)
            Q_EMIT UserInserted(pin, g.item.number, newRow);
    }
    Q_EMIT ItemChanged(g.item.number);
}

void BuddyListModel::SetSort(int mode) {
    if (sort_ == mode)
        return;
    sort_ = mode;
    for (Group& g : groups_)
        SortUsers(g);
    Q_EMIT Reset();
}

void BuddyListModel::SetOnlineOnly(bool on) {
    if (onlineOnly_ == on)
        return;
    onlineOnly_ = on;
    if (const Item* s = Find(selected_); s && !s->IsGroup() && !Shown(*s))
        selected_ = 0;
    Q_EMIT Reset();
}

// ---- Menus ----

BuddyListModel::MenuKind BuddyListModel::MenuFor(qint32 number) {
    Select(number);
    if (selected_ == 0)
        return MenuKind::Null;
    return IsGroupNumber(selected_) ? MenuKind::Group : MenuKind::BuddyUser;
}

QList<BuddyListModel::MenuEntry> BuddyListModel::Menu(MenuKind kind) const {
    const Item* item = Find(selected_);
    const qint32 group = item ? (item->IsGroup() ? item->number : item->parent) : 0;
    auto entry = [](int id, const char* text, bool enabled = true, bool checked = false) {
        MenuEntry e;
        e.id = id;
        e.text = Text(text);
        e.enabled = enabled;
        e.checked = checked;
        return e;
    };
    const MenuEntry separator;
    MenuEntry show;
    show.text = Text("显示");
    show.children = {entry(kCmdOnlineOnly, "只显示在线用户", true, onlineOnly_),
                     entry(kCmdShowAll, "显示所有的用户", true, !onlineOnly_)};
    MenuEntry sort;
    sort.text = Text("排序");
    sort.children = {entry(kCmdSortByName, "按姓名排序", true, sort_ == kSortByName),
                     entry(kCmdSortByStatus, "按状态排序", true, sort_ == kSortByStatus)};
    const MenuEntry messages = entry(kCmdMessageManager, "消息管理", CanOpen(kCmdMessageManager));
    const MenuEntry refresh = entry(kCmdRefresh, "刷新");
    const MenuEntry search = entry(kCmdSearchUser, "查找用户");
    const MenuEntry newGroup = entry(kCmdNewGroup, "创建新组");

    switch (kind) {
        case MenuKind::Group: {
            const bool own = group > 0 && group < kBlackListGroup && group != kDefaultBuddyGroup;
            const bool expanded = item && item->expanded;
            return {entry(kCmdOpenGroup, "打开组", !expanded),
                    entry(kCmdCloseGroup, "关闭组", expanded),
                    separator,
                    newGroup,
                    entry(kCmdDeleteGroup, "删除组", own),
                    entry(kCmdRename, "重命名", own),
                    separator,
                    search,
                    show,
                    sort,
                    separator,
                    messages,
                    refresh};
        }
        case MenuKind::BuddyUser: {
            const bool black = group == kBlackListGroup;
            const bool stranger = group == kStrangerGroup;
            return {entry(kCmdSendMessage, "发消息", !black && CanOpen(kCmdSendMessage)),
                    entry(kCmdChat, "聊天", CanOpen(kCmdChat)),
                    entry(kCmdSendFile, "传输文件", !black && !stranger && CanOpen(kCmdSendFile)),
                    separator,
                    entry(kCmdRename, "重命名", item && CanRename(item->number)),
                    entry(kCmdDelete, "删除"),
                    entry(kCmdUserInfo, "用户信息"),
                    separator,
                    search,
                    show,
                    sort,
                    separator,
                    messages,
                    refresh};
        }
        case MenuKind::Null:
            break;
    }
    return {search,   newGroup, separator, show, sort, separator, entry(kCmdAddBuddy, "添加好友"),
            messages, refresh};
}

bool BuddyListModel::CanOpen(int command) const {
    const ShellWindows* windows = app_.Desktop().windows;
    return windows && windows->CanOpen(command);
}

bool BuddyListModel::CanRename(qint32 number) const {
    const Item* item = Find(number);
    if (!item)
        return false;
    if (item->IsGroup())
        return number != kDefaultBuddyGroup && number < kBlackListGroup;
    // Only a buddy in a group has a name of the user's choosing on the server.
    return item->parent < kBlackListGroup;
}

// ---- Commands ----

bool BuddyListModel::LoggedIn() const {
    const CHiddenFrame* frame = app_.Frame();
    if (frame && frame->LoggedInToServer())
        return true;
    app_.Desktop().prompts->Message(Text("您还没有登录到服务器，请登录后再试。"), Caption(),
                                    Prompts::Icon::Information);
    return false;
}

void BuddyListModel::Command(int id) {
    const Item* item = Find(selected_);
    const bool user = item && !item->IsGroup();
    switch (id) {
        case kCmdSendMessage:
        case kCmdChat:
        case kCmdSendFile:
            if (user)
                OpenWindow(id, item->number);
            break;
        case kCmdMessageManager:
            OpenWindow(id, user ? item->number : 0);
            break;
        case kCmdRename:
            if (item && CanRename(item->number))
                Q_EMIT EditRequested(item->number);
            break;
        case kCmdOpenGroup:
        case kCmdCloseGroup:
            if (item && item->IsGroup()) {
                SetExpanded(item->number, id == kCmdOpenGroup);
                Q_EMIT ExpandRequested(item->number, id == kCmdOpenGroup);
            }
            break;
        case kCmdSearchUser:
            if (CHiddenFrame* frame = app_.Frame())
                frame->PostCommand(ID_FUNCTION_SEARCH_USER);
            break;
        case kCmdSortByName:
        case kCmdSortByStatus:
            SetSort(id == kCmdSortByName ? kSortByName : kSortByStatus);
            break;
        case kCmdOnlineOnly:
        case kCmdShowAll:
            SetOnlineOnly(id == kCmdOnlineOnly);
            break;
        case kCmdAddBuddy:
            if (ShellWindows* windows = app_.Desktop().windows)
                windows->OpenAddBuddy(0, QString(), 0);
            break;
        case kCmdDelete:
            if (user)
                DeleteSelected();
            break;
        case kCmdDeleteGroup:
            if (item && item->IsGroup())
                DeleteGroup(item->number);
            break;
        case kCmdNewGroup:
            NewGroup();
            break;
        case kCmdRefresh:
            Refresh();
            break;
        case kCmdUserInfo:
            if (user)
                OpenUserInfo(item->number);
            break;
        default:
            break;
    }
}

void BuddyListModel::Activate(qint32 number) {
    Select(number);
    if (const Item* item = Find(number); item && !item->IsGroup())
        OpenUserInfo(number);
}

void BuddyListModel::OpenWindow(int command, qint32 pin) {
    ShellWindows* windows = app_.Desktop().windows;
    if (!windows || !windows->CanOpen(command))
        return;
    switch (command) {
        case kCmdSendMessage:
            windows->OpenSendMessage(pin);
            break;
        case kCmdChat:
            windows->OpenChat(pin);
            break;
        case kCmdMessageManager:
            windows->OpenMessageManager(pin);
            break;
        case kCmdSendFile:
            windows->OpenFileTransfer(pin);
            break;
        default:
            windows->OpenWindow(command);
            break;
    }
}

void BuddyListModel::OpenUserInfo(qint32 pin) {
    const Item* item = Find(pin);
    if (ShellWindows* windows = app_.Desktop().windows)
        windows->OpenUserInfo(pin, item ? item->userName : QString());
}

void BuddyListModel::Sent(LONG seq, Pending pending) {
    if (seq != 0) {
        pending_.insert(seq, std::move(pending));
        return;
    }
    Fail(pending);
}

void BuddyListModel::Fail(const Pending& pending) {
    Undo(pending.undo);
    if (pending.action == Action::AddGroup)
        app_.UserData().RemoveGroup(pending.number);
    app_.Desktop().prompts->Message(pending.failure, Caption(), Prompts::Icon::Warning);
}

void BuddyListModel::Undo(const QList<BuddyNodeRecord>& nodes) {
    for (const BuddyNodeRecord& r : nodes)
        app_.UserData().PutNode(r);
}

void BuddyListModel::DeleteSelected() {
    const Item* item = Find(selected_);
    if (!item || item->IsGroup())
        return;
    const qint32 pin = item->number;
    const QString name = item->name;
    UserDataStore& data = app_.UserData();
    Prompts& prompts = *app_.Desktop().prompts;
    if (item->parent == kStrangerGroup) {
        data.RemoveOther(pin);  // known only here
        return;
    }
    IOVService* kernel = app_.Kernel();
    if (item->parent == kBlackListGroup) {
        if (!prompts.YesNo(Text("确定要将“%1”从黑名单中删除吗？").arg(name), Caption()) ||
            !LoggedIn())
            return;
        LONG seq = 0;
        if (kernel)
            kernel->RemoveFromBlackList(pin, &seq);
        Sent(seq, {Action::RemoveBlack, pin, {}, Text("从黑名单中删除“%1”失败！").arg(name)});
        return;
    }
    const std::optional<BuddyNodeRecord> node = data.FindBuddy(pin);
    if (!node || !prompts.YesNo(Text("确定要删除好友“%1”吗？").arg(name), Caption()) || !LoggedIn())
        return;
    RemoveBuddyNode(*node, name);
}

void BuddyListModel::RemoveBuddyNode(const BuddyNodeRecord& node, const QString& name) {
    const auto pin = static_cast<qint32>(node.node.nBuddyNodeID);
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel())
        kernel->RemoveUserFromBuddyTree(pin, &seq);
    if (seq != 0) {
        // Out of sight at once; gone when the server has it.
        BuddyNodeRecord removing = node;
        removing.display[0] = kBuddyRemoving;
        app_.UserData().PutNode(removing);
    }
    Sent(seq, {Action::RemoveBuddy, pin, {node}, Text("删除好友“%1”失败！").arg(name)});
}

void BuddyListModel::DeleteGroup(qint32 group) {
    UserDataStore& data = app_.UserData();
    const std::optional<BuddyNodeRecord> node = data.FindGroup(group);
    if (group == kDefaultBuddyGroup || !node)
        return;
    const QString name = RecordText(node->node.sDisplayName);
    QList<BuddyNodeRecord> members;
    for (const BuddyNodeRecord& r : data.Buddies())
        if (!r.node.bIsBuddyGroup && r.node.nParentBuddyGroupID == static_cast<quint32>(group))
            members.push_back(r);
    QString question = Text("确定要删除组“%1”吗？").arg(name);
    if (!members.isEmpty())
        question += Text("组中的%1位好友将移到“好友”组。").arg(members.size());
    if (!app_.Desktop().prompts->YesNo(question, Caption()) || !LoggedIn())
        return;
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel())
        kernel->RemoveGroupFromBuddyTree(group, &seq);
    if (seq != 0) {
        // The server moves the group's buddies to the default group: so does the list.
        for (BuddyNodeRecord r : members) {
            r.node.nParentBuddyGroupID = kDefaultBuddyGroup;
            data.PutNode(r);
        }
        BuddyNodeRecord removing = *node;
        removing.display[0] = kBuddyRemoving;
        data.PutNode(removing);
    }
    Sent(seq, {Action::RemoveGroup, group, QList<BuddyNodeRecord>{*node} + members,
               Text("删除组“%1”失败！").arg(name)});
}

void BuddyListModel::NewGroup() {
    if (!LoggedIn())
        return;
    UserDataStore& data = app_.UserData();
    QSet<quint32> used;
    for (const BuddyNodeRecord& r : data.Buddies())
        if (r.node.bIsBuddyGroup)
            used.insert(r.node.nBuddyNodeID);
    qint32 id = kDefaultBuddyGroup + 1;
    while (id < 1000 && used.contains(static_cast<quint32>(id)))
        ++id;
    if (id >= 1000) {
        app_.Desktop().prompts->Message(Text("组的数目已经达到上限，无法创建新组。"), Caption(),
                                        Prompts::Icon::Warning);
        return;
    }
    const QString name = Text("新建组");
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel())
        kernel->AddGroupToBuddyTree(id, ToBstr(name), 0, 0, &seq);
    if (seq != 0) {
        OV_BUDDY_TREE_NODE n{};
        n.bIsBuddyGroup = 1;
        n.nBuddyNodeID = static_cast<quint32>(id);
        SetText(n.sDisplayName, name);
        data.PutNode(BuddyNodeRecord::FromKernel(n));
    }
    Sent(seq, {Action::AddGroup, id, {}, Text("创建新组失败！")});
    if (seq != 0 && Find(id)) {
        selected_ = id;
        Q_EMIT EditRequested(id);  // the person names it at once
    }
}

bool BuddyListModel::Rename(qint32 number, const QString& text) {
    const QString name = text.trimmed();
    const Item* item = Find(number);
    if (!item || name.isEmpty() || name == item->name || !CanRename(number) || !LoggedIn())
        return false;
    UserDataStore& data = app_.UserData();
    const std::optional<BuddyNodeRecord> node =
        item->IsGroup() ? data.FindGroup(number) : data.FindBuddy(number);
    if (!node)
        return false;
    BuddyNodeRecord renamed = *node;
    SetText(renamed.node.sDisplayName, name);
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel()) {
        const LONG mode = static_cast<LONG>(node->node.nBuddyNodeMode);
        const LONG parent = static_cast<LONG>(node->node.nParentBuddyGroupID);
        if (item->IsGroup())
            kernel->UpdateBuddyGroupInfo(number, ToBstr(name), mode, parent, &seq);
        else
            kernel->UpdateBuddyUserInfo(number, ToBstr(name), mode, parent, &seq);
    }
    const QString failure = Text("重命名“%1”失败！").arg(item->name);
    if (seq != 0)
        data.PutNode(renamed);
    Sent(seq, {Action::Update, number, {*node}, failure});
    return seq != 0;
}

bool BuddyListModel::CanDrop(qint32 pin, qint32 group) const {
    const Item* user = Find(pin);
    const Item* target = Find(group);
    if (!user || user->IsGroup() || !target || !target->IsGroup() || user->parent == group)
        return false;
    const bool buddy = user->parent < kBlackListGroup;
    const bool buddyGroup = group < kBlackListGroup;
    if (group == kBlackListGroup)
        return true;
    if (buddyGroup)
        return buddy || user->parent == kStrangerGroup || user->parent == kBlackListGroup;
    return false;
}

bool BuddyListModel::Drop(qint32 pin, qint32 group) {
    if (!CanDrop(pin, group))
        return false;
    const Item* user = Find(pin);
    if (group == kBlackListGroup) {
        BlackList(pin);
        return true;
    }
    if (user->parent == kStrangerGroup || user->parent == kBlackListGroup) {
        // Becoming a buddy takes the other user's consent: the add-buddy wizard asks for it.
        if (ShellWindows* windows = app_.Desktop().windows)
            windows->OpenAddBuddy(pin, user->userName, user->icon);
        return true;
    }
    UserDataStore& data = app_.UserData();
    const std::optional<BuddyNodeRecord> node = data.FindBuddy(pin);
    if (!node || node->display[0] != kBuddyShown || !LoggedIn())
        return false;
    BuddyNodeRecord moved = *node;
    moved.node.nParentBuddyGroupID = static_cast<quint32>(group);
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel())
        kernel->UpdateBuddyUserInfo(pin, ToBstr(RecordText(node->node.sDisplayName)),
                                    static_cast<LONG>(node->node.nBuddyNodeMode), group, &seq);
    const QString failure = Text("移动好友“%1”失败！").arg(user->name);
    if (seq != 0)
        data.PutNode(moved);
    Sent(seq, {Action::Update, pin, {*node}, failure});
    return seq != 0;
}

void BuddyListModel::BlackList(qint32 pin) {
    const Item* user = Find(pin);
    if (!user)
        return;
    const QString name = user->name;
    const QString userName = user->userName;
    const bool buddy = user->parent < kBlackListGroup;
    QString question = Text("确定要将“%1”加入黑名单吗？").arg(name);
    if (buddy)
        question += Text("对方将从您的好友中删除。");
    if (!app_.Desktop().prompts->YesNo(question, Caption()) || !LoggedIn())
        return;
    IOVService* kernel = app_.Kernel();
    UserDataStore& data = app_.UserData();
    if (buddy) {
        // A black-listed user is nobody's buddy: the node goes too.
        if (const auto node = data.FindBuddy(pin))
            RemoveBuddyNode(*node, name);
    }
    LONG seq = 0;
    if (kernel)
        kernel->AddToBlackList(pin, ToBstr(userName), &seq);
    Sent(seq, {Action::AddBlack, pin, {}, Text("将“%1”加入黑名单失败！").arg(name)});
}

void BuddyListModel::Refresh() {
    if (!LoggedIn())
        return;
    // The replies fill the user's data wherever they come from; the list follows it.
    if (IOVService* kernel = app_.Kernel()) {
        LONG seq = 0;
        kernel->RequestBuddyTree2(&seq);
        kernel->RequestBlackList2(&seq);
    }
}

// ---- Replies ----

void BuddyListModel::OnCommandSent(LONG nCmdSeqNum) {
    const auto it = pending_.constFind(nCmdSeqNum);
    if (it == pending_.constEnd())
        return;
    // These commands have no reply: the server's acknowledgement is the outcome.
    const Pending p = *it;
    UserDataStore& data = app_.UserData();
    switch (p.action) {
        case Action::RemoveBuddy:
            data.RemoveBuddy(p.number);
            break;
        case Action::RemoveGroup:
            data.RemoveGroup(p.number);
            break;
        case Action::RemoveBlack:
            data.RemoveOther(p.number);
            break;
        case Action::AddBlack:
            // The server's list carries the user's record: ask for it.
            if (IOVService* kernel = app_.Kernel()) {
                LONG seq = 0;
                kernel->RequestBlackList2(&seq);
            }
            break;
        case Action::AddGroup:
        case Action::Update:
            return;  // their replies follow
    }
    pending_.remove(nCmdSeqNum);
}

void BuddyListModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (const auto p = pending_.take(nCmdSeqNum); !p.failure.isEmpty())
        Fail(p);
}

void BuddyListModel::OnAddGroupToBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG) {
    const auto it = pending_.constFind(nCmdSeqNum);
    if (it == pending_.constEnd() || it->action != Action::AddGroup)
        return;
    const Pending p = pending_.take(nCmdSeqNum);
    if (eError != OV_ERR_NONE)
        Fail(p);
}

void BuddyListModel::OnUpdateBuddyUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG) {
    // The same reply raises the group's event as well: whichever comes first answers.
    const auto it = pending_.constFind(nCmdSeqNum);
    if (it == pending_.constEnd() || it->action != Action::Update)
        return;
    const Pending p = pending_.take(nCmdSeqNum);
    if (eError != OV_ERR_NONE)
        Fail(p);
}

void BuddyListModel::OnUpdateBuddyGroupInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                                 LONG nBuddyGroupID) {
    OnUpdateBuddyUserInfoReply(nCmdSeqNum, eError, nBuddyGroupID);
}

}  // namespace ov::shell
