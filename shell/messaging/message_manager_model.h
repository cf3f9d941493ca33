// MessageManagerModel: the message manager's logic - the tree of people (the user, "好友",
// the buddy groups with their buddies, "系统消息", "陌生人"), the archived messages of the
// selected item as rows, and the commands on the selected rows (delete, copy, export), plus a
// search over every person's messages. It follows the archive's changes (codes 10 and 11 of
// the user data) and tells its view through TreeChanged and RowsChanged.
//
//   MessageManagerModel model(app.UserData(), ownName);
//   const QList<ManagerNode>& tree = model.Tree();   // node 0 is the root
//   model.Select(model.NodeOf(10001));
//   for (const ManagerRow& row : model.Rows()) ...
//   model.Delete({0, 2});                            // row indexes
//   QString text = model.ExportText({0, 1});         // what Export writes
//   model.Search("hello");                           // rows from every person, newest first
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include "shell/core/message_record.h"

namespace ov::shell {

class UserDataStore;

// The manager's commands, with the prompts the status bar shows for them.
enum MessageManagerCommand : int {
    kManagerDelete = 32792,
    kManagerExport = 32800,
    kManagerStatusBar = 32804,
    kManagerToolBar = 32805,
    kManagerCopy = 32806,
    kManagerDeleteSelection = 32807,
    kManagerRefresh = 32808,
    kManagerExportCaption = 32809,
    kManagerExit = 32810,
    kManagerSelectAll = 32811,
};
QString ManagerPrompt(int command);

// Item data of the tree's fixed items.
enum ManagerTreeData : qint32 {
    kManagerRootData = 0,
    kManagerBuddiesData = 1,
    kManagerSystemData = 2000,
    kManagerStrangersData = 1002,
};

struct ManagerNode {
    QString text;
    qint32 data = 0;      // a number for a person, else the item data above or a group id
    bool person = false;  // a user (or the system messages): its own archive
    int parent = -1;
    QList<int> children;
};

struct ManagerRow {
    QString time;  // "%y-%m-%d %H:%M:%S", local
    QString sender;
    QString recipient;
    QString kind;  // "发送", "接收" or empty
    QString text;
    qint32 timeValue = 0;
    qint32 peer = 0;
};

class MessageManagerModel final : public QObject {
    Q_OBJECT
public:
    // ownName: how the user is shown as sender or recipient.
    MessageManagerModel(UserDataStore& data, QString ownName, QObject* parent = nullptr);
    ~MessageManagerModel() override;

    // The tree, node 0 its root; parents come before their children.
    const QList<ManagerNode>& Tree() const { return tree_; }
    // The node of a person's number; -1 when the tree has none.
    int NodeOf(qint32 number) const;
    // Shows the messages of the node's people (a person, or every person below an item). A
    // new model has nothing selected and no rows.
    void Select(int node);
    int Selected() const { return selected_; }
    // Rows from every person whose text holds text, newest first; an empty text returns to
    // the selected node.
    void Search(const QString& text);
    const QString& SearchText() const { return search_; }
    const QList<ManagerRow>& Rows() const { return rows_; }

    // Rebuilds the tree and the rows, keeping the selected person when still there.
    void Refresh();
    // Removes the rows' messages from the archive; no confirmation.
    void Delete(const QList<int>& rows);
    // The text export writes for the rows, in list order (rows out of range are skipped).
    QString ExportText(QList<int> rows) const;
    // Writes ExportText to path as UTF-8; false when the file cannot be written.
    bool Export(const QString& path, const QList<int>& rows) const;
    // The rows' message texts, each followed by a line break.
    QString CopyText(QList<int> rows) const;

    // The time of a record as the list shows it.
    static QString TimeText(qint32 seconds);

Q_SIGNALS:
    void TreeChanged();
    void RowsChanged();

private:
    void BuildTree();
    void LoadRows();
    int Add(int parent, const QString& text, qint32 data, bool person);
    QString NameOf(qint32 number) const;
    // names: the peers' names found so far.
    ManagerRow RowOf(const MessageRecord& record, QHash<qint32, QString>* names) const;
    void Collect(int node, QList<qint32>* numbers) const;
    void Told(int code, qint64 value);

    UserDataStore& data_;
    QString ownName_;
    QList<ManagerNode> tree_;
    QList<ManagerRow> rows_;
    QList<qint32> shown_;  // the numbers whose messages the rows hold
    int selected_ = -1;
    QString search_;
    bool deleting_ = false;
};

}  // namespace ov::shell
