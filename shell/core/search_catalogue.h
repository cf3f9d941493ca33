// The web search catalogue "CommData/Search.Dat" (code page 936 text): categories in
// brackets, each followed by its entries written search(number, name, key, template), where
// the template is a URL with %s standing for the query. ";" starts a comment line and ":end"
// ends the catalogue.
//
//   SearchCatalogue catalogue;
//   catalogue.Load(app.ProgramDirectory() + "CommData/Search.Dat");
//   if (const SearchNode* entry = catalogue.Find("g")) ... entry->urlTemplate ...
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ov::shell {

inline constexpr char kSearchCatalogueFile[] = "CommData/Search.Dat";

// A category (name only, entries as its children) or an entry. Entries written before the
// first category stand at the top level beside the categories.
struct SearchNode {
    bool category = false;
    int number = 0;  // kept as written; nothing orders or looks up by it
    QString name;
    QString key;          // empty for a category
    QString urlTemplate;  // empty for a category
    QList<SearchNode> children;
};

class SearchCatalogue {
public:
    // Reads the file; false (and an empty catalogue) when it cannot be read.
    bool Load(const QString& path);
    // The catalogue from the file's bytes; lines that do not parse are dropped.
    static SearchCatalogue Parse(QByteArrayView text);

    // The first level: categories, and any entries written before the first category.
    const QList<SearchNode>& Nodes() const { return nodes_; }
    bool IsEmpty() const { return nodes_.isEmpty(); }

    // The first entry, depth first in file order, whose key equals key exactly; null for an
    // empty key or none.
    const SearchNode* Find(const QString& key) const;

private:
    QList<SearchNode> nodes_;
};

}  // namespace ov::shell
