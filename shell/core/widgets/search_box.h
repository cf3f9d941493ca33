// The Starshelf window's search box: one line of text; Enter runs the search, a right click
// offers the web search catalogue as the menu "Orvane搜索". The logic is SearchBoxModel's.
//
//   auto* box = new SearchBox(app, starshelf);
//   layout->addWidget(box);
#pragma once

#include <QLineEdit>

#include "shell/core/search_box_model.h"

class OVSkinMenu;
class QMenu;

namespace ov::shell {

class OVShellApp;

class SearchBox : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchBox(OVShellApp& app, QWidget* parent = nullptr);
    ~SearchBox() override;

    const SearchBoxModel& Model() const { return model_; }
    // The catalogue menu that a right click pops up.
    QMenu* CategoryMenu() const;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void Run();
    void Choose(const QString& text);
    void ShowCategory();
    void FillMenu(OVSkinMenu* menu, const QList<SearchNode>& nodes);
    void MarkCurrent(QMenu* menu);

    SearchBoxModel model_;
    OVSkinMenu* menu_ = nullptr;
};

}  // namespace ov::shell
