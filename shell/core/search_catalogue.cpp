#include "shell/core/search_catalogue.h"

#include <QFile>
#include <climits>

#include "shell/core/cp936_text.h"

namespace ov::shell {
namespace {

// The number as the C library's atoi reads it: blanks, a sign, digits; clamped to int.
int LeadingNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

// search(number, name, key, template): false when a comma or the closing ")" is missing,
// or the key could never be typed (empty or with a blank in it).
bool ParseEntry(const QString& line, SearchNode* entry) {
    const qsizetype nameStart = line.indexOf(u',');
    if (nameStart < 0)
        return false;
    const qsizetype keyStart = line.indexOf(u',', nameStart + 1);
    if (keyStart < 0)
        return false;
    const qsizetype templateStart = line.indexOf(u',', keyStart + 1);
    if (templateStart < 0)
        return false;
    const qsizetype close = line.lastIndexOf(u')');
    if (close < templateStart)
        return false;
    entry->number = LeadingNumber(QStringView(line).mid(7));
    entry->name = line.mid(nameStart + 1, keyStart - nameStart - 1).trimmed();
    entry->key = line.mid(keyStart + 1, templateStart - keyStart - 1).trimmed();
    entry->urlTemplate = line.mid(templateStart + 1, close - templateStart - 1).trimmed();
    if (entry->key.isEmpty())
        return false;
    for (QChar c : entry->key)
        if (c.isSpace())
            return false;
    return true;
}

const SearchNode* FindIn(const QList<SearchNode>& nodes, const QString& key) {
    for (const SearchNode& node : nodes) {
        if (!node.category && node.key == key)
            return &node;
        if (const SearchNode* found = FindIn(node.children, key))
            return found;
    }
    return nullptr;
}

}  // namespace

bool SearchCatalogue::Load(const QString& path) {
    nodes_.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *this = Parse(file.readAll());
    return true;
}

SearchCatalogue SearchCatalogue::Parse(QByteArrayView text) {
    SearchCatalogue catalogue;
    QList<SearchNode>& nodes = catalogue.nodes_;
    // The category the following entries go into; the top level before the first one.
    qsizetype category = -1;
    const QString all = FromCp936Bytes(text);
    for (QStringView raw : QStringView(all).split(u'\n')) {
        const QString line = raw.trimmed().toString();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line == u":end")
            break;
        if (line.startsWith(u'[')) {
            SearchNode node;
            node.category = true;
            // Without a closing bracket the rest of the line is the name.
            const qsizetype close = line.indexOf(u']', 1);
            node.name = line.mid(1, close < 0 ? -1 : close - 1);
            nodes.append(std::move(node));
            category = nodes.size() - 1;
        } else if (line.startsWith(u"search")) {
            SearchNode entry;
            if (!ParseEntry(line, &entry))
                continue;
            (category < 0 ? nodes : nodes[category].children).append(std::move(entry));
        }
    }
    return catalogue;
}

const SearchNode* SearchCatalogue::Find(const QString& key) const {
    return key.isEmpty() ? nullptr : FindIn(nodes_, key);
}

}  // namespace ov::shell
