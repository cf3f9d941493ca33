#include "shell/pageroom/devtools_messages.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ov::shell {

namespace {

QJsonDocument Json(QByteArrayView text) {
    return QJsonDocument::fromJson(text.toByteArray());
}

bool IsPage(const QJsonObject& target) {
    return target.value(QStringLiteral("type")).toString() == QStringLiteral("page");
}

}  // namespace

DevToolsMessage ParseDevToolsMessage(QByteArrayView text) {
    const QJsonObject message = Json(text).object();
    DevToolsMessage m;
    if (message.contains(QStringLiteral("id"))) {
        m.kind = DevToolsMessage::Kind::Reply;
        m.replyId = message.value(QStringLiteral("id")).toInt();
        m.result = message.value(QStringLiteral("result")).toObject();
        return m;
    }
    const QString method = message.value(QStringLiteral("method")).toString();
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();
    if (method == QStringLiteral("Target.targetCreated") ||
        method == QStringLiteral("Target.targetInfoChanged")) {
        const QJsonObject info = params.value(QStringLiteral("targetInfo")).toObject();
        m.tab = info.value(QStringLiteral("targetId")).toString();
        if (IsPage(info) && !m.tab.isEmpty()) {
            m.kind = DevToolsMessage::Kind::TabChanged;
            m.address = info.value(QStringLiteral("url")).toString();
        }
    } else if (method == QStringLiteral("Target.targetDestroyed")) {
        m.tab = params.value(QStringLiteral("targetId")).toString();
        if (!m.tab.isEmpty())
            m.kind = DevToolsMessage::Kind::TabClosed;
    }
    if (m.kind == DevToolsMessage::Kind::None)
        m.tab.clear();
    return m;
}

std::optional<BrowserWindow> WindowOf(const QJsonObject& result) {
    if (!result.value(QStringLiteral("windowId")).isDouble())
        return std::nullopt;
    BrowserWindow window;
    window.id = result.value(QStringLiteral("windowId")).toInt();
    const QJsonObject b = result.value(QStringLiteral("bounds")).toObject();
    const QRect bounds(
        b.value(QStringLiteral("left")).toInt(), b.value(QStringLiteral("top")).toInt(),
        b.value(QStringLiteral("width")).toInt(), b.value(QStringLiteral("height")).toInt());
    // A minimised window has no place to stand beside.
    if (b.value(QStringLiteral("windowState")).toString() != QStringLiteral("minimized") &&
        !bounds.isEmpty())
        window.bounds = bounds;
    return window;
}

QStringList PageTabsOf(QByteArrayView listAnswer) {
    QStringList ids;
    for (const QJsonValue& v : Json(listAnswer).array()) {
        const QJsonObject target = v.toObject();
        const QString id = target.value(QStringLiteral("id")).toString();
        if (IsPage(target) && !id.isEmpty())
            ids << id;
    }
    return ids;
}

}  // namespace ov::shell
