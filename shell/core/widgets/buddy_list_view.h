// The buddy list of the Starshelf window: a tree of the user's buddy groups, buddies,
// buddies awaiting an answer, black list and strangers, with faces, counts, context menus,
// renaming in place and dragging buddies between groups. The logic is BuddyListModel's.
//
//   auto* list = new BuddyListView(app, starshelf);    // accessible name "好友列表"
//   layout->addWidget(list);
//   QMenu* menu = list->ContextMenu(pin);             // what a right click on pin pops up
#pragma once

#include <QHash>
#include <QIcon>
#include <QTreeWidget>
#include <string>

#include "shell/core/buddy_list_model.h"

class QMenu;
class OVSkin;

namespace ov::shell {

class OVShellApp;

class BuddyListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit BuddyListView(OVShellApp& app, QWidget* parent = nullptr);
    ~BuddyListView() override;

    BuddyListModel& Model() { return model_; }
    // The tree item of a group or user, null when it is not shown.
    QTreeWidgetItem* ItemOf(qint32 number) const { return items_.value(number); }
    // The pop-up for the item (0: empty space), filled as it would open; it lives until the
    // next one.
    QMenu* ContextMenu(qint32 number);
    // Drops a dragged user on the item under a point (what a drag and drop ends with).
    bool DropOn(qint32 pin, qint32 number);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Build();
    QTreeWidgetItem* MakeItem(qint32 number);
    void Show(QTreeWidgetItem* item, const BuddyListModel::Item& data);
    void Changed(qint32 number);
    void Removed(qint32 pin);
    void Inserted(qint32 pin, qint32 group, int row);
    void Edit(qint32 number);
    qint32 NumberAt(const QPoint& pos) const;
    qint32 DropTarget(const QPoint& pos) const;
    qint32 Dragged() const;
    QIcon GroupIcon(const BuddyListModel::Item& group) const;
    QIcon UserIcon(const BuddyListModel::Item& user) const;
    // Empties the kept icons when the skin is not the one they were drawn from.
    void KeepIconsOf(const OVSkin* skin) const;

    OVShellApp& app_;
    BuddyListModel model_;
    QHash<qint32, QTreeWidgetItem*> items_;
    QMenu* menu_ = nullptr;
    bool building_ = false;
    // Icons drawn once: a group's by its image and state, a user's by face and look.
    mutable std::string iconSkin_;
    mutable QHash<int, QIcon> groupIcons_;
    mutable QHash<quint64, QIcon> userIcons_;
};

}  // namespace ov::shell
