#include "shell/core/widgets/buddy_list_view.h"

#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>

#include "shell/core/shell_app.h"
#include "shell/core/widgets/face_icon.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

namespace {

constexpr int kIconSide = 24;
constexpr int kNumberRole = Qt::UserRole + 1;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

bool IsAway(quint32 status) {
    return status == OV_ONLINE_STATUS_AWAY || status == OV_ONLINE_STATUS_AWAY_AUTO;
}

// A face drawn when the user's picture is not at hand: a head and shoulders on a tint of
// its own for each face number, so that neighbours tell apart.
QImage PlainFace(qint32 icon, int side) {
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, 0.5, side - 1.0, side - 1.0);
    QPainterPath frame;
    frame.addRoundedRect(box, side * 0.22, side * 0.22);
    const int hue = static_cast<int>((static_cast<quint32>(icon) * 47u) % 360u);
    p.fillPath(frame, QColor::fromHsv(hue, 60, 240));
    p.setClipPath(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromHsv(hue, 120, 175));
    const qreal w = box.width();
    p.drawEllipse(QPointF(box.center().x(), box.top() + w * 0.38), w * 0.19, w * 0.19);
    p.drawEllipse(QPointF(box.center().x(), box.bottom() + w * 0.16), w * 0.38, w * 0.38);
    return image;
}

QImage Greyed(QImage image) {
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int g = qGray(line[x]);
            const int light = 110 + g * 120 / 255;  // washed out: offline faces recede
            line[x] = qRgba(light, light, light, qAlpha(line[x]) * 3 / 4);
        }
    }
    return image;
}

// A small round mark at the lower right: amber while away, red while busy.
void StatusMark(QImage& image, quint32 status) {
    QColor color;
    if (IsAway(status))
        color = QColor(0xF2, 0xA5, 0x1A);
    else if (status == OV_ONLINE_STATUS_DND)
        color = QColor(0xE0, 0x44, 0x3A);
    else
        return;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = image.width() * 0.42;
    const QRectF dot(image.width() - d - 0.5, image.height() - d - 0.5, d, d);
    p.setPen(QPen(Qt::white, image.width() / 16.0));
    p.setBrush(color);
    p.drawEllipse(dot);
    if (status == OV_ONLINE_STATUS_DND) {
        p.setPen(QPen(Qt::white, image.width() / 14.0, Qt::SolidLine, Qt::RoundCap));
        const qreal m = d * 0.28;
        p.drawLine(QPointF(dot.left() + m, dot.center().y()),
                   QPointF(dot.right() - m, dot.center().y()));
    }
}

// A square icon of the tree's side with a smaller picture in its middle.
QPixmap Centred(const QPixmap& small, int side, qreal ratio) {
    QPixmap out(QSize(side, side) * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF s = small.deviceIndependentSize();
    p.drawPixmap(QRectF(QPointF((side - s.width()) / 2, (side - s.height()) / 2), s), small,
                 small.rect());
    return out;
}

// Editing shows the bare name (the count is not part of it); the result goes to the model.
class NameDelegate : public QStyledItemDelegate {
public:
    NameDelegate(BuddyListModel& model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setMaxLength(32);
            line->setAccessibleName(Text("名称"));
        }
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        const BuddyListModel::Item* item = model_.Find(index.data(kNumberRole).toInt());
        if (!line || !item)
            return QStyledItemDelegate::setEditorData(editor, index);
        line->setText(item->name);
        line->selectAll();
    }
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            model_.Rename(index.data(kNumberRole).toInt(), line->text());
    }

private:
    BuddyListModel& model_;
};

}  // namespace

BuddyListView::BuddyListView(OVShellApp& app, QWidget* parent)
    : QTreeWidget(parent), app_(app), model_(app) {
    setAccessibleName(Text("好友列表"));
    setHeaderHidden(true);
    setColumnCount(1);
    setIconSize(QSize(kIconSide, kIconSide));
    setIndentation(14);
    setUniformRowHeights(true);
    // The group icons show opened and closed themselves; a click opens or closes a group.
    setRootIsDecorated(false);
    setExpandsOnDoubleClick(false);
    setAnimated(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setItemDelegate(new NameDelegate(model_, this));
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);  // the list follows the data, never the drag
    setDropIndicatorShown(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setStyleSheet(
        QStringLiteral("QTreeWidget { background: #FFFFFF; border: none; outline: none; }"
                       "QTreeWidget::item { padding: 2px 2px; border-radius: 3px; }"
                       "QTreeWidget::item:hover { background: #EEF4FC; }"
                       "QTreeWidget::item:selected { background: #D6E6FA; color: #1B2B40; }"));

    connect(&model_, &BuddyListModel::Reset, this, &BuddyListView::Build);
    connect(&model_, &BuddyListModel::ItemChanged, this, &BuddyListView::Changed);
    connect(&model_, &BuddyListModel::UserRemoved, this, &BuddyListView::Removed);
    connect(&model_, &BuddyListModel::UserInserted, this, &BuddyListView::Inserted);
    connect(&model_, &BuddyListModel::EditRequested, this, &BuddyListView::Edit);
    connect(&model_, &BuddyListModel::ExpandRequested, this, [this](qint32 group, bool expand) {
        if (QTreeWidgetItem* item = ItemOf(group))
            item->setExpanded(expand);
    });
    auto expanded = [this](QTreeWidgetItem* item, bool open) {
        if (building_)
            return;
        const qint32 number = item->data(0, kNumberRole).toInt();
        model_.SetExpanded(number, open);
        if (const BuddyListModel::Item* group = model_.Find(number))
            item->setIcon(0, GroupIcon(*group));
    };
    connect(this, &QTreeWidget::itemExpanded, this,
            [expanded](QTreeWidgetItem* item) { expanded(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [expanded](QTreeWidgetItem* item) { expanded(item, false); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!building_)
            model_.Select(item ? item->data(0, kNumberRole).toInt() : 0);
    });
    connect(this, &QTreeWidget::itemClicked, this, [](QTreeWidgetItem* item) {
        if (!item->parent())
            item->setExpanded(!item->isExpanded());
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const qint32 number = item->data(0, kNumberRole).toInt();
        if (!BuddyListModel::IsGroupNumber(number))
            model_.Activate(number);
    });
    Build();
}

BuddyListView::~BuddyListView() = default;

void BuddyListView::Build() {
    building_ = true;
    const qint32 selected = model_.Selected();
    clear();
    items_.clear();
    // The items go into the tree all at once: one insertion for the view to lay out, not
    // one for each of a thousand users.
    const QList<qint32> groups = model_.TopLevel();
    QList<QTreeWidgetItem*> top;
    top.reserve(groups.size());
    for (qint32 group : groups) {
        QTreeWidgetItem* g = MakeItem(group);
        QList<QTreeWidgetItem*> users;
        for (qint32 pin : model_.Children(group))
            users.push_back(MakeItem(pin));
        g->addChildren(users);
        top.push_back(g);
    }
    addTopLevelItems(top);
    for (QTreeWidgetItem* g : top)
        if (const BuddyListModel::Item* data = model_.Find(g->data(0, kNumberRole).toInt()))
            g->setExpanded(data->expanded);
    if (QTreeWidgetItem* item = ItemOf(selected))
        setCurrentItem(item);
    building_ = false;
}

QTreeWidgetItem* BuddyListView::MakeItem(qint32 number) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, kNumberRole, number);
    items_.insert(number, item);
    if (const BuddyListModel::Item* data = model_.Find(number))
        Show(item, *data);
    return item;
}

void BuddyListView::Show(QTreeWidgetItem* item, const BuddyListModel::Item& data) {
    item->setText(0, data.caption);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (model_.CanRename(data.number))
        flags |= Qt::ItemIsEditable;
    if (data.IsGroup()) {
        item->setIcon(0, GroupIcon(data));
        flags |= Qt::ItemIsDropEnabled;
        QFont font = this->font();
        font.setBold(true);
        item->setFont(0, font);
        item->setForeground(0, QColor(0x2B, 0x3A, 0x4E));
        item->setToolTip(0, data.name);
    } else {
        item->setIcon(0, UserIcon(data));
        flags |= Qt::ItemIsDragEnabled;
        const bool other = data.parent == kBlackListGroup || data.parent == kStrangerGroup;
        item->setForeground(
            0, data.online || other ? QColor(0x1B, 0x2B, 0x40) : QColor(0x86, 0x90, 0x9C));
        item->setToolTip(0, data.tip);
    }
    item->setFlags(flags);
}

QIcon BuddyListView::GroupIcon(const BuddyListModel::Item& group) const {
    const char* key = nullptr;
    switch (group.image) {
        case BuddyListModel::kImageBlackList:
            key = group.expanded ? "sBlackListOpened" : "sBlackListClosed";
            break;
        case BuddyListModel::kImageStranger:
            key = group.expanded ? "sStrangerOpened" : "sStrangerClosed";
            break;
        default:
            key = group.expanded ? "sBuddyOpened" : "sBuddyClosed";
            break;
    }
    const OVSkin* skin = app_.Desktop().skin;
    if (!skin)
        return {};
    KeepIconsOf(skin);
    const int kept = group.image * 2 + (group.expanded ? 1 : 0);
    const auto cached = groupIcons_.constFind(kept);
    if (cached != groupIcons_.constEnd())
        return *cached;
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) {
        const QImage image =
            skin->LoadIconImage("Icons.UserList", key, qRound(16 * ratio), qRound(16 * ratio));
        if (image.isNull())
            continue;
        QPixmap small = QPixmap::fromImage(image);
        small.setDevicePixelRatio(ratio);
        icon.addPixmap(Centred(small, kIconSide, ratio));
    }
    groupIcons_.insert(kept, icon);
    return icon;
}

// Drawn once for each face and look: a list of a thousand users has far fewer of those, and
// a status change then costs no drawing at all.
QIcon BuddyListView::UserIcon(const BuddyListModel::Item& user) const {
    const OVSkin* skin = app_.Desktop().skin;
    KeepIconsOf(skin);
    // Black-listed users and strangers have no status to show: drawn as they are.
    const bool other = user.parent == kBlackListGroup || user.parent == kStrangerGroup;
    const bool faded = !other && !user.online;
    const int mark = other || !user.online                 ? 0
                     : IsAway(user.status)                 ? 1
                     : user.status == OV_ONLINE_STATUS_DND ? 2
                                                           : 0;
    const quint64 key = static_cast<quint64>(static_cast<quint32>(user.icon)) << 8 |
                        (other ? 8u : 0u) | (faded ? 4u : 0u) | static_cast<quint64>(mark);
    const auto cached = userIcons_.constFind(key);
    if (cached != userIcons_.constEnd())
        return *cached;
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) {
        const int side = qRound(kIconSide * ratio);
        QImage face;
        if (user.icon <= 0 && other && skin)
            face = skin->LoadIconImage("Icons.UserList", "sStatusNA", side, side);
        if (face.isNull() && !app_.Faces().Groups().isEmpty())
            face = FaceIcon(app_, user.icon, side, faded).toImage();
        if (face.isNull()) {
            face = PlainFace(user.icon, side);
            if (faded)
                face = Greyed(face);
        }
        face = face.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!other && user.online)
            StatusMark(face, user.status);
        QPixmap pixmap = QPixmap::fromImage(face);
        pixmap.setDevicePixelRatio(ratio);
        icon.addPixmap(pixmap);
    }
    userIcons_.insert(key, icon);
    return icon;
}

void BuddyListView::KeepIconsOf(const OVSkin* skin) const {
    // Another skin draws other pictures.
    static const std::string none;
    const std::string& directory = skin ? skin->SkinDirectory() : none;
    if (directory == iconSkin_)
        return;
    iconSkin_ = directory;
    groupIcons_.clear();
    userIcons_.clear();
}

void BuddyListView::Changed(qint32 number) {
    QTreeWidgetItem* item = ItemOf(number);
    const BuddyListModel::Item* data = model_.Find(number);
    if (item && data)
        Show(item, *data);
}

void BuddyListView::Removed(qint32 pin) {
    // A user moving to its new place stays selected: the model keeps the selection meanwhile.
    building_ = true;
    delete items_.take(pin);
    building_ = false;
}

void BuddyListView::Inserted(qint32 pin, qint32 group, int row) {
    QTreeWidgetItem* parent = ItemOf(group);
    if (!parent)
        return;
    Removed(pin);
    QTreeWidgetItem* item = MakeItem(pin);
    parent->insertChild(std::clamp(row, 0, parent->childCount()), item);
    if (model_.Selected() == pin) {
        building_ = true;
        setCurrentItem(item);
        building_ = false;
    }
}

void BuddyListView::Edit(qint32 number) {
    QTreeWidgetItem* item = ItemOf(number);
    if (!item)
        return;
    setCurrentItem(item);
    scrollToItem(item);
    editItem(item, 0);
}

qint32 BuddyListView::NumberAt(const QPoint& pos) const {
    const QTreeWidgetItem* item = itemAt(pos);
    return item ? item->data(0, kNumberRole).toInt() : 0;
}

QMenu* BuddyListView::ContextMenu(qint32 number) {
    if (menu_)
        menu_->deleteLater();
    const BuddyListModel::MenuKind kind = model_.MenuFor(number);
    if (QTreeWidgetItem* item = ItemOf(model_.Selected()))
        setCurrentItem(item);
    menu_ = new QMenu(this);
    menu_->setAccessibleName(Text("好友列表菜单"));
    std::function<void(QMenu*, const QList<BuddyListModel::MenuEntry>&)> fill =
        [&](QMenu* menu, const QList<BuddyListModel::MenuEntry>& entries) {
            for (const BuddyListModel::MenuEntry& e : entries) {
                if (e.IsSeparator()) {
                    menu->addSeparator();
                } else if (!e.children.isEmpty()) {
                    QMenu* sub = menu->addMenu(e.text);
                    sub->setAccessibleName(e.text);
                    fill(sub, e.children);
                } else {
                    QAction* a = menu->addAction(e.text);
                    a->setEnabled(e.enabled);
                    a->setCheckable(e.checked);
                    a->setChecked(e.checked);
                    const int id = e.id;
                    connect(
                        a, &QAction::triggered, this, [this, id] { model_.Command(id); },
                        Qt::QueuedConnection);
                }
            }
        };
    fill(menu_, model_.Menu(kind));
    return menu_;
}

void BuddyListView::contextMenuEvent(QContextMenuEvent* event) {
    const QPoint pos = viewport()->mapFrom(this, event->pos());
    QMenu* menu = ContextMenu(NumberAt(pos));
    menu->popup(event->globalPos());
    event->accept();
}

// The keys people expect of a list: Enter opens a user, Delete deletes, the menu key pops
// the menu up at the item (F2 renames through the edit trigger).
void BuddyListView::keyPressEvent(QKeyEvent* event) {
    const qint32 number = model_.Selected();
    const bool group = BuddyListModel::IsGroupNumber(number);
    if (state() != QAbstractItemView::EditingState && number != 0) {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (!group) {
                    model_.Activate(number);
                    return event->accept();
                }
                break;
            case Qt::Key_Delete:
                model_.Command(group ? BuddyListModel::kCmdDeleteGroup
                                     : BuddyListModel::kCmdDelete);
                return event->accept();
            case Qt::Key_Menu:
                if (QTreeWidgetItem* item = ItemOf(number)) {
                    const QRect r = visualItemRect(item);
                    ContextMenu(number)->popup(viewport()->mapToGlobal(r.bottomLeft()));
                    return event->accept();
                }
                break;
            default:
                break;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

qint32 BuddyListView::Dragged() const {
    const QTreeWidgetItem* item = currentItem();
    return item ? item->data(0, kNumberRole).toInt() : 0;
}

// The group under a point: the group itself or the group of the user there.
qint32 BuddyListView::DropTarget(const QPoint& pos) const {
    const qint32 number = NumberAt(pos);
    if (BuddyListModel::IsGroupNumber(number))
        return number;
    const BuddyListModel::Item* user = model_.Find(number);
    return user ? user->parent : 0;
}

void BuddyListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void BuddyListView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeWidget::dragMoveEvent(event);  // scrolls near the edges; the answer is ours
    const qint32 target = DropTarget(event->position().toPoint());
    if (event->source() == this && model_.CanDrop(Dragged(), target)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void BuddyListView::dropEvent(QDropEvent* event) {
    const qint32 pin = Dragged();
    const qint32 target = DropTarget(event->position().toPoint());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Questions and the list's rebuilding wait until the drag is over.
    QMetaObject::invokeMethod(
        this, [this, pin, target] { DropOn(pin, target); }, Qt::QueuedConnection);
}

bool BuddyListView::DropOn(qint32 pin, qint32 number) {
    qint32 target = number;
    if (!BuddyListModel::IsGroupNumber(number))
        if (const BuddyListModel::Item* user = model_.Find(number))
            target = user->parent;
    return model_.Drop(pin, target);
}

}  // namespace ov::shell
