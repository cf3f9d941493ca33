#include "shell/core/search_box_model.h"

#include <QUrl>

#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

SearchRequest ParseSearchText(const QString& text) {
    const QString trimmed = text.trimmed();
    SearchRequest request;
    if (!trimmed.startsWith(u'/')) {
        request.query = trimmed;
        return request;
    }
    request.hasKey = true;
    qsizetype blank = 1;
    while (blank < trimmed.size() && !trimmed[blank].isSpace())
        ++blank;
    request.key = trimmed.mid(1, blank - 1);
    request.query = trimmed.mid(blank).trimmed();
    return request;
}

QString SearchUrl(const QString& urlTemplate, const QString& query) {
    const qsizetype at = urlTemplate.indexOf(u"%s");
    if (at < 0)
        return urlTemplate;
    QString url = urlTemplate;
    // Only the query is encoded: the template is a URL already.
    return url.replace(at, 2, QString::fromLatin1(QUrl::toPercentEncoding(query)));
}

SearchBoxModel::SearchBoxModel(OVShellApp& app) : app_(app) {
    catalogue_.Load(app.ProgramDirectory() + QLatin1String(kSearchCatalogueFile));
}

SearchBoxModel::SearchBoxModel(OVShellApp& app, SearchCatalogue catalogue)
    : app_(app), catalogue_(std::move(catalogue)) {}

SearchBoxModel::Outcome SearchBoxModel::Run(const QString& text) {
    const SearchRequest request = ParseSearchText(text);
    if (request.query.isEmpty())
        return Outcome::kNothing;
    if (!request.hasKey) {
        CHiddenFrame* frame = app_.Frame();
        if (!frame)
            return Outcome::kNothing;
        app_.UserSearchText() = request.query;
        frame->PostCommand(ID_FUNCTION_SEARCH_USER_BY_STRING);
        return Outcome::kUserSearch;
    }
    const SearchNode* entry = catalogue_.Find(request.key);
    if (!entry)
        return Outcome::kNothing;
    app_.Desktop().launcher->OpenUrl(SearchUrl(entry->urlTemplate, request.query));
    return Outcome::kWebSearch;
}

const SearchNode* SearchBoxModel::EntryOf(const QString& text) const {
    const SearchRequest request = ParseSearchText(text);
    return request.hasKey ? catalogue_.Find(request.key) : nullptr;
}

QString SearchBoxModel::TextFor(const SearchNode& entry) {
    return u'/' + entry.key + u' ';
}

QString SearchBoxModel::ToolTip(const QString& text) const {
    const SearchNode* entry = EntryOf(text);
    return QStringLiteral("当前搜索类别：%1\n输入关键字后按回车搜索，右击选择搜索类别")
        .arg(entry ? entry->name : QStringLiteral("查找用户"));
}

}  // namespace ov::shell
