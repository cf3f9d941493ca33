#include "shell/messaging/widgets/message_manager_window.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/core/shell_app.h"
#include "shell/core/user_data_store.h"

namespace ov::shell {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QHash<OVShellApp*, MessageManagerWindow*>& OpenWindows() {
    static QHash<OVShellApp*, MessageManagerWindow*> windows;
    return windows;
}

// The rows as the list reads them: nothing is copied, so a list of a hundred thousand
// messages shows as fast as the model has them.
class RowsTable final : public QAbstractTableModel {
public:
    RowsTable(const MessageManagerModel& model, QObject* parent)
        : QAbstractTableModel(parent), model_(model) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(model_.Rows().size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || index.row() >= model_.Rows().size())
            return {};
        const ManagerRow& row = model_.Rows()[index.row()];
        switch (index.column()) {
            case 0:
                return row.time;
            case 1:
                return row.sender;
            case 2:
                return row.recipient;
            case 3:
                return row.kind;
            default:
                return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char* const kTitles[] = {"时间", "发信人", "收信人", "类型"};
        return section >= 0 && section < 4 ? Text(kTitles[section]) : QVariant();
    }
    // The model's rows were replaced.
    void Reset() {
        beginResetModel();
        endResetModel();
    }

private:
    const MessageManagerModel& model_;
};

QString ChooseExportFile(QWidget* parent) {
    QFileDialog dialog(parent, ManagerPrompt(kManagerExportCaption));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("TXT"));
    dialog.setNameFilter(Text("文本文件 (*.txt)"));
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

}  // namespace

MessageManagerWindow* MessageManagerWindow::Open(OVShellApp& app, qint32 selectPin) {
    MessageManagerWindow*& window = OpenWindows()[&app];
    if (!window)
        window = new MessageManagerWindow(app.UserData(), app.UserData().UserName());
    if (selectPin)
        window->SelectPerson(selectPin);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

MessageManagerWindow::MessageManagerWindow(UserDataStore& data, const QString& ownName,
                                           QWidget* parent)
    : QMainWindow(parent), model_(data, ownName), chooser_(ChooseExportFile) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Text("消息管理器"));
    setAccessibleName(windowTitle());

    tree_ = new QTreeWidget;
    tree_->setAccessibleName(Text("联系人"));
    tree_->setHeaderHidden(true);

    search_ = new QLineEdit;
    search_->setAccessibleName(Text("查找"));
    search_->setPlaceholderText(Text("查找"));
    search_->setClearButtonEnabled(true);

    list_ = new QTreeView;
    list_->setAccessibleName(Text("消息"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_ = new RowsTable(model_, this);
    list_->setModel(table_);
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(0, 130);
    list_->setColumnWidth(1, 110);
    list_->setColumnWidth(2, 110);
    list_->setColumnWidth(3, 50);

    text_ = new QPlainTextEdit;
    text_->setAccessibleName(Text("消息内容"));
    text_->setReadOnly(true);

    auto* right = new QSplitter(Qt::Vertical);
    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(search_);
    topLayout->addWidget(list_);
    right->addWidget(top);
    right->addWidget(text_);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 1);

    auto* split = new QSplitter(Qt::Horizontal);
    split->setAccessibleName(windowTitle());
    split->addWidget(tree_);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    split->setSizes({170, 450});
    setCentralWidget(split);

    QAction* remove = Command(kManagerDelete, Text("删除"));
    remove->setShortcut(QKeySequence::Delete);
    QAction* exportAction = Command(kManagerExport, ManagerPrompt(kManagerExportCaption));
    QAction* copy = Command(kManagerCopy, Text("复制"));
    copy->setShortcut(QKeySequence::Copy);
    QAction* refresh = Command(kManagerRefresh, ManagerPrompt(kManagerRefresh));
    refresh->setShortcut(QKeySequence::Refresh);
    QAction* exit = Command(kManagerExit, ManagerPrompt(kManagerExit));
    QAction* selectAll = Command(kManagerSelectAll, ManagerPrompt(kManagerSelectAll));
    selectAll->setShortcut(QKeySequence::SelectAll);

    toolBar_ = addToolBar(Text("工具条"));
    toolBar_->setAccessibleName(toolBar_->windowTitle());
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar_->addAction(remove);
    toolBar_->addAction(exportAction);
    toolBar_->addAction(copy);
    toolBar_->addSeparator();
    toolBar_->addAction(refresh);
    toolBar_->addAction(exit);

    QAction* showToolBar = Command(kManagerToolBar, Text("工具条"));
    showToolBar->setCheckable(true);
    showToolBar->setChecked(true);
    QAction* showStatusBar = Command(kManagerStatusBar, Text("状态条"));
    showStatusBar->setCheckable(true);
    showStatusBar->setChecked(true);

    QMenu* file = menuBar()->addMenu(Text("文件"));
    file->addAction(exportAction);
    file->addSeparator();
    file->addAction(exit);
    QMenu* edit = menuBar()->addMenu(Text("编辑"));
    edit->addAction(copy);
    edit->addAction(remove);
    edit->addSeparator();
    edit->addAction(selectAll);
    QMenu* view = menuBar()->addMenu(Text("查看"));
    view->addAction(showToolBar);
    view->addAction(showStatusBar);
    view->addSeparator();
    view->addAction(refresh);
    for (QMenu* menu : {file, edit, view})
        menu->setAccessibleName(menu->title().remove(u'&'));
    menuBar()->setAccessibleName(Text("菜单"));
    statusBar()->setAccessibleName(Text("状态条"));

    connect(&model_, &MessageManagerModel::TreeChanged, this, &MessageManagerWindow::ShowTree);
    connect(&model_, &MessageManagerModel::RowsChanged, this, &MessageManagerWindow::ShowRows);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &MessageManagerWindow::TreeSelected);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MessageManagerWindow::ShowText);
    connect(search_, &QLineEdit::returnPressed, this, [this] { model_.Search(search_->text()); });
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && !model_.SearchText().isEmpty()) {
            model_.Search(QString());
            ShowTree();  // the selected item again
        }
    });

    ShowTree();
    ShowRows();
    resize(760, 480);
}

MessageManagerWindow::~MessageManagerWindow() {
    // The list and its table read the model's rows: they go before the model does.
    delete centralWidget();
    delete table_;
    auto& windows = OpenWindows();
    for (auto it = windows.begin(); it != windows.end(); ++it)
        if (it.value() == this) {
            windows.erase(it);
            break;
        }
}

QAction* MessageManagerWindow::Command(int command, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setStatusTip(ManagerPrompt(command));
    action->setToolTip(ManagerPrompt(command));
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    return action;
}

void MessageManagerWindow::Run(int command) {
    switch (command) {
        case kManagerDelete:
        case kManagerDeleteSelection:
            model_.Delete(SelectedRows());
            break;
        case kManagerExport:
        case kManagerExportCaption:
            ExportSelected();
            break;
        case kManagerCopy:
            if (const QString text = model_.CopyText(SelectedRows()); !text.isEmpty())
                QApplication::clipboard()->setText(text);
            break;
        case kManagerRefresh:
            model_.Refresh();
            break;
        case kManagerExit:
            close();
            break;
        case kManagerSelectAll:
            list_->selectAll();
            break;
        case kManagerToolBar:
            toolBar_->setVisible(!toolBar_->isVisible());
            break;
        case kManagerStatusBar:
            statusBar()->setVisible(!statusBar()->isVisible());
            break;
        default:
            break;
    }
}

void MessageManagerWindow::ExportSelected() {
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    const QString path = chooser_ ? chooser_(this) : QString();
    if (!path.isEmpty())
        model_.Export(path, rows);
}

QList<int> MessageManagerWindow::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MessageManagerWindow::SelectPerson(qint32 number) {
    const int node = model_.NodeOf(number);
    if (node < 0)
        return;
    search_->clear();
    model_.Select(node);
    ShowTree();
}

void MessageManagerWindow::ShowTree() {
    filling_ = true;
    tree_->clear();
    const QList<ManagerNode>& nodes = model_.Tree();
    QList<QTreeWidgetItem*> items;
    items.reserve(nodes.size());
    for (int i = 0; i < nodes.size(); ++i) {
        auto* item = nodes[i].parent < 0 ? new QTreeWidgetItem(tree_)
                                         : new QTreeWidgetItem(items[nodes[i].parent]);
        item->setText(0, nodes[i].text);
        item->setData(0, Qt::UserRole, i);
        items.push_back(item);
    }
    // Everyone in view: the tree is rebuilt on every change, so no group stays as it was.
    tree_->expandAll();
    if (QTreeWidgetItem* selected = items.value(model_.Selected(), nullptr))
        tree_->setCurrentItem(selected);
    filling_ = false;
}

void MessageManagerWindow::TreeSelected() {
    if (filling_)
        return;
    const QList<QTreeWidgetItem*> items = tree_->selectedItems();
    if (items.isEmpty())
        return;
    if (!search_->text().isEmpty()) {
        QSignalBlocker block(search_);
        search_->clear();
    }
    model_.Select(items.first()->data(0, Qt::UserRole).toInt());
}

void MessageManagerWindow::ShowRows() {
    if (!model_.SearchText().isEmpty() && !tree_->selectedItems().isEmpty()) {
        // The results are nobody's in particular.
        filling_ = true;
        tree_->clearSelection();
        filling_ = false;
    }
    static_cast<RowsTable*>(table_)->Reset();
    list_->scrollToBottom();
    text_->clear();
}

void MessageManagerWindow::ShowText() {
    const QList<int> rows = SelectedRows();
    text_->setPlainText(rows.size() == 1 ? model_.Rows().value(rows.first()).text : QString());
}

}  // namespace ov::shell
