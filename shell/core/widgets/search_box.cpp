#include "shell/core/widgets/search_box.h"

#include <QContextMenuEvent>

#include "shell/core/shell_app.h"
#include "shell/skin/widgets/skin_menu.h"

namespace ov::shell {

SearchBox::SearchBox(OVShellApp& app, QWidget* parent) : QLineEdit(parent), model_(app) {
    setAccessibleName(QStringLiteral("搜索"));
    menu_ = new OVSkinMenu(app.Desktop().skin, this);
    menu_->setTitle(QStringLiteral("Orvane搜索"));
    menu_->setAccessibleName(menu_->title());
    FillMenu(menu_, model_.Catalogue().Nodes());
    connect(menu_, &QMenu::aboutToShow, this, [this] { MarkCurrent(menu_); });
    connect(this, &QLineEdit::returnPressed, this, &SearchBox::Run);
    connect(this, &QLineEdit::textChanged, this, &SearchBox::ShowCategory);
    ShowCategory();
}

SearchBox::~SearchBox() = default;

QMenu* SearchBox::CategoryMenu() const {
    return menu_;
}

void SearchBox::contextMenuEvent(QContextMenuEvent* event) {
    menu_->popup(event->globalPos());
    event->accept();
}

void SearchBox::Run() {
    switch (model_.Run(text())) {
        case SearchBoxModel::Outcome::kWebSearch:
            selectAll();
            break;
        case SearchBoxModel::Outcome::kNothing:
            setFocus();
            break;
        case SearchBoxModel::Outcome::kUserSearch:
            break;  // the frame takes it from here
    }
}

// The person types the query after the entry's key.
void SearchBox::Choose(const QString& text) {
    setText(text);
    deselect();
    end(false);
    setFocus();
}

void SearchBox::ShowCategory() {
    const QString tip = model_.ToolTip(text());
    setToolTip(tip);
    setAccessibleDescription(tip);
}

void SearchBox::FillMenu(OVSkinMenu* menu, const QList<SearchNode>& nodes) {
    for (const SearchNode& node : nodes) {
        if (!node.children.isEmpty()) {
            OVSkinMenu* sub = menu->AddSkinMenu(node.name);
            sub->setAccessibleName(node.name);
            FillMenu(sub, node.children);
            connect(sub, &QMenu::aboutToShow, this, [this, sub] { MarkCurrent(sub); });
            continue;
        }
        QAction* action = menu->addAction(node.name);
        if (node.category) {
            action->setEnabled(false);  // a category without entries offers nothing
            continue;
        }
        action->setCheckable(true);
        action->setData(node.key);
        const QString fill = SearchBoxModel::TextFor(node);
        connect(action, &QAction::triggered, this, [this, fill] { Choose(fill); });
    }
}

// The entry the box's text searches with is checked.
void SearchBox::MarkCurrent(QMenu* menu) {
    const SearchNode* current = model_.EntryOf(text());
    for (QAction* action : menu->actions())
        if (action->isCheckable())
            action->setChecked(current && action->data().toString() == current->key);
}

}  // namespace ov::shell
