// The logic of the Starshelf window's search box. Plain text is a user search on the server,
// handed to the hidden frame; "/key query" is a web search with the catalogue entry of that
// key, opened in the browser. Choosing an entry from the catalogue menu puts "/key " into the
// box, so the person only types the query; the tool tip names the category the text would
// search in.
//
//   SearchBoxModel model(app);                 // reads CommData/Search.Dat
//   if (model.Run(text) == SearchBoxModel::Outcome::kWebSearch) ... select the text ...
#pragma once

#include <QString>

#include "shell/core/search_catalogue.h"

namespace ov::shell {

class OVShellApp;

// The box's text taken apart: "/key query" or a plain query, both trimmed.
struct SearchRequest {
    bool hasKey = false;
    QString key;  // without the slash
    QString query;
};
SearchRequest ParseSearchText(const QString& text);

// The template with the query, percent-encoded as UTF-8, in place of its first %s.
QString SearchUrl(const QString& urlTemplate, const QString& query);

class SearchBoxModel {
public:
    enum class Outcome {
        kNothing,     // empty query, unknown key or no frame: the box keeps the focus
        kUserSearch,  // handed to the hidden frame
        kWebSearch,   // the URL was opened
    };

    // Reads the catalogue from the program directory (none when the file is missing).
    explicit SearchBoxModel(OVShellApp& app);
    SearchBoxModel(OVShellApp& app, SearchCatalogue catalogue);

    const SearchCatalogue& Catalogue() const { return catalogue_; }

    Outcome Run(const QString& text);

    // The entry whose search the text would run; null for a user search or an unknown key.
    const SearchNode* EntryOf(const QString& text) const;
    // The box's text after the entry was chosen from the menu.
    static QString TextFor(const SearchNode& entry);
    // Names the category the text searches in and how to search.
    QString ToolTip(const QString& text) const;

private:
    OVShellApp& app_;
    SearchCatalogue catalogue_;
};

}  // namespace ov::shell
