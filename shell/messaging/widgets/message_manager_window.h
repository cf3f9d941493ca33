// The message manager's window: the tree of people on the left, the selected person's
// archived messages on the right (time, sender, recipient, kind) with a search field above
// them and the selected message's text below, a tool bar, menus and a status bar that shows
// each command's prompt. One per application, deleted on close.
//
//   MessageManagerWindow::Open(app);          // shows it, or raises the one already open
//   MessageManagerWindow::Open(app, 10001);   // with that person selected
#pragma once

#include <QMainWindow>
#include <functional>

#include "shell/messaging/message_manager_model.h"

class QAbstractTableModel;
class QAction;
class QLineEdit;
class QPlainTextEdit;
class QToolBar;
class QTreeView;
class QTreeWidget;

namespace ov::shell {

class OVShellApp;
class UserDataStore;

class MessageManagerWindow : public QMainWindow {
    Q_OBJECT
public:
    // Asks where to export; an empty answer cancels.
    using FileChooser = std::function<QString(QWidget* parent)>;

    static MessageManagerWindow* Open(OVShellApp& app, qint32 selectPin = 0);

    MessageManagerWindow(UserDataStore& data, const QString& ownName, QWidget* parent = nullptr);
    ~MessageManagerWindow() override;

    MessageManagerModel& Model() { return model_; }
    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // Selects a person's item (nothing when the tree has none).
    void SelectPerson(qint32 number);
    // The commands, as the tool bar and menus run them.
    void Run(int command);
    // The rows selected in the list, in list order.
    QList<int> SelectedRows() const;

private:
    QAction* Command(int command, const QString& caption);
    void ShowTree();
    void ShowRows();
    void TreeSelected();
    void ShowText();
    void ExportSelected();

    MessageManagerModel model_;
    FileChooser chooser_;
    QTreeWidget* tree_ = nullptr;
    QTreeView* list_ = nullptr;
    QAbstractTableModel* table_ = nullptr;  // the model's rows as the list reads them
    QLineEdit* search_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    bool filling_ = false;  // the tree is being refilled: its selection is not the user's
};

}  // namespace ov::shell
