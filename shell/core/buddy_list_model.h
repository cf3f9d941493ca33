// BuddyListModel: what the buddy list of the Starshelf window shows and does, apart from any
// widget. It follows the user's data (buddy groups and buddies, buddies awaiting an answer,
// the black list and strangers) with counts in the group captions, sorts, hides offline users
// on request, offers the context menus and carries out their commands - through the kernel
// (on a sink of its own) or by opening windows.
//
//   BuddyListModel model(app);
//   for (qint32 group : model.TopLevel())
//       for (qint32 pin : model.Children(group)) ... model.Find(pin)->caption ...
//   QObject::connect(&model, &BuddyListModel::ItemChanged, view, ...);  // and the others
//   model.Select(pin);
//   model.Command(BuddyListModel::kCmdUserInfo);
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include "common/events/event_sink.h"
#include "shell/core/list_file.h"

namespace ov::shell {

class OVShellApp;

class BuddyListModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    // The image of an item: the pair of a group (opened and closed), or a user's face.
    enum ItemImage : int {
        kImageBuddyGroup = 0,
        kImageBlackList = 9,
        kImageStranger = 11,
        kImageUser = -1,
    };
    enum SortMode : int { kSortByName = 1, kSortByStatus = 2 };

    enum Command : int {
        kCmdSendMessage = 32802,     // "发消息"
        kCmdChat = 32822,            // "聊天"
        kCmdSendFile = 32796,        // "传输文件"
        kCmdRename = 32801,          // "重命名"
        kCmdOpenGroup = 32799,       // "打开组"
        kCmdCloseGroup = 32793,      // "关闭组"
        kCmdSearchUser = 32787,      // "查找用户"
        kCmdMessageManager = 32798,  // "消息管理"
        kCmdSortByName = 32830,      // "按姓名排序"
        kCmdSortByStatus = 32831,    // "按状态排序"
        kCmdOnlineOnly = 32829,      // "只显示在线用户"
        kCmdShowAll = 32847,         // "显示所有的用户"
        kCmdAddBuddy = 32823,        // "添加好友"
        kCmdDelete = 33101,          // "删除"
        kCmdDeleteGroup = 33102,     // "删除组"
        kCmdNewGroup = 33103,        // "创建新组"
        kCmdRefresh = 33104,         // "刷新"
        kCmdUserInfo = 33105,        // "用户信息"
    };

    enum class MenuKind { Group, BuddyUser, Null };

    struct Item {
        qint32 number = 0;  // group number or the user's PIN
        qint32 parent = 0;  // 0 for a group
        QString name;       // a group's name, a user's short name
        QString caption;    // what the tree shows: a group's name and count
        QString tip;        // a user's long name
        QString userName;   // a user's login name ("" when not known)
        int image = kImageUser;
        qint32 icon = 0;  // a user's face
        quint32 status = 0;
        bool online = false;
        bool expanded = true;  // groups
        int onlineCount = 0;   // groups: their users that are online
        int userCount = 0;     // groups: all their users
        bool IsGroup() const { return parent == 0; }
    };

    struct MenuEntry {
        int id = 0;  // 0 for a separator or a sub-menu
        QString text;
        bool enabled = true;
        bool checked = false;
        QList<MenuEntry> children;  // a sub-menu
        bool IsSeparator() const { return id == 0 && text.isEmpty(); }
    };

    explicit BuddyListModel(OVShellApp& app, QObject* parent = nullptr);
    ~BuddyListModel() override;

    // The groups in order, and the users shown under a group in order.
    QList<qint32> TopLevel() const;
    QList<qint32> Children(qint32 group) const;
    const Item* Find(qint32 number) const;
    static bool IsGroupNumber(qint32 number) { return number > 0 && number < kFirstUser; }

    // View state.
    int Sort() const { return sort_; }
    bool OnlineOnly() const { return onlineOnly_; }
    qint32 Selected() const { return selected_; }
    void Select(qint32 number) { selected_ = Find(number) ? number : 0; }
    // The tree opened or closed a group (kept across rebuilds).
    void SetExpanded(qint32 group, bool expanded);

    // The pop-up for what lies under the cursor (0: empty space); it selects that item.
    MenuKind MenuFor(qint32 number);
    QList<MenuEntry> Menu(MenuKind kind) const;
    // A command of the menus on the selected item.
    void Command(int id);
    // The caption edited in place; false when refused (the old caption stays).
    bool Rename(qint32 number, const QString& text);
    bool CanRename(qint32 number) const;
    // Whether a user may be dropped on a group, and the drop: a buddy moves to another group,
    // onto "黑名单" it is black-listed; other users dropped on a buddy group may be added.
    bool CanDrop(qint32 pin, qint32 group) const;
    bool Drop(qint32 pin, qint32 group);
    // A double click on an item.
    void Activate(qint32 number);

    // Builds the list again from the user's data.
    void Rebuild();

    void OnCommandSent(LONG nCmdSeqNum) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnAddGroupToBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                    LONG nBuddyGroupID) override;
    void OnUpdateBuddyUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin) override;
    void OnUpdateBuddyGroupInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                     LONG nBuddyGroupID) override;

    static constexpr qint32 kFirstUser = 10000;

Q_SIGNALS:
    // Everything changed: the tree is built again from TopLevel and Children.
    void Reset();
    // An item's caption, image or status changed in place.
    void ItemChanged(qint32 number);
    // A user left the tree, or came into it at that row among its group's shown users.
    void UserRemoved(qint32 pin);
    void UserInserted(qint32 pin, qint32 group, int row);
    // Commands the tree carries out: in-place editing, opening and closing a group.
    void EditRequested(qint32 number);
    void ExpandRequested(qint32 group, bool expand);

private:
    struct Group {
        Item item;
        QList<Item> users;  // every user, sorted; the online-only flag hides some
    };
    enum class Action { RemoveBuddy, RemoveGroup, RemoveBlack, AddBlack, AddGroup, Update };
    struct Pending {
        Action action = Action::Update;
        qint32 number = 0;
        QList<BuddyNodeRecord> undo;  // the nodes as they were
        QString failure;              // the line shown when it fails
    };

    void OnData(int code, qint64 value);
    void StatusChanged(qint32 pin);
    Group* GroupOf(qint32 number);
    const Group* GroupOf(qint32 number) const;
    bool Shown(const Item& user) const { return !onlineOnly_ || user.online; }
    bool Before(const Item& a, const Item& b) const;
    void SortUsers(Group& g) const;
    void Count(Group& g) const;
    void SetSort(int mode);
    void SetOnlineOnly(bool on);

    bool LoggedIn() const;
    bool CanOpen(int command) const;
    void OpenWindow(int command, qint32 pin);
    void OpenUserInfo(qint32 pin);
    void DeleteSelected();
    void DeleteGroup(qint32 group);
    void NewGroup();
    void Refresh();
    void BlackList(qint32 pin);
    // Sends a buddy's removal; the node is hidden until the server has it.
    void RemoveBuddyNode(const BuddyNodeRecord& node, const QString& name);
    // Remembers a command sent (seq not 0) or undoes at once and tells the failure.
    void Sent(LONG seq, Pending pending);
    void Fail(const Pending& pending);
    void Undo(const QList<BuddyNodeRecord>& nodes);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    QList<Group> groups_;
    QHash<qint32, qint32> userGroup_;  // PIN -> its group's number
    QSet<qint32> collapsed_;
    int sort_ = kSortByStatus;
    bool onlineOnly_ = false;
    qint32 selected_ = 0;
    QHash<LONG, Pending> pending_;
};

}  // namespace ov::shell
