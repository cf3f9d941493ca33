#include "shell/messaging/widgets/chat_view_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <map>
#include <mutex>

#include "shell/messaging/widgets/chat_view.h"

namespace ov::shell {

namespace {

QString StateOf(ChatLineKind kind) {
    switch (kind) {
        case ChatLineKind::OwnSending:
        case ChatLineKind::OwnActionSending:
            return QStringLiteral("发送中");
        case ChatLineKind::OwnSent:
        case ChatLineKind::OwnActionSent:
            return QStringLiteral("已发送");
        case ChatLineKind::OwnSendErr:
        case ChatLineKind::OwnActionSendErr:
            return QStringLiteral("发送失败");
        default:
            return {};
    }
}

class ChatLineAccessible final : public QAccessibleInterface {
public:
    ChatLineAccessible(ChatView* view, int index) : view_(view), index_(index) {}

    bool isValid() const override { return view_ && index_ < view_->Count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return view_ ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        const ChatLine& line = view_->LineAt(index_);
        if (t == QAccessible::Name)
            return line.text;
        if (t == QAccessible::Description)
            return StateOf(line.kind);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect r = view_->LineRect(index_);
        return QRect(view_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !isValid() || !view_->isVisible();
        return s;
    }

private:
    QPointer<ChatView> view_;
    const int index_;
};

class ChatViewAccessible final : public QAccessibleWidget {
public:
    explicit ChatViewAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::List) {}
    ~ChatViewAccessible() override { Forget(); }

    int childCount() const override { return View()->Count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= View()->Count())
            return nullptr;
        auto it = lines_.find(index);
        if (it == lines_.end()) {
            auto* line = new ChatLineAccessible(View(), index);
            it = lines_.emplace(index, QAccessible::registerAccessibleInterface(line)).first;
        }
        return QAccessible::accessibleInterface(it->second);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [index, id] : lines_)
            if (QAccessible::accessibleInterface(id) == child)
                return index;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < View()->Count(); ++i)
            if (QAccessibleInterface* c = child(i); c && c->rect().contains(x, y))
                return c;
        return nullptr;
    }
    // The lines are gone: their interfaces go too.
    void Forget() {
        for (const auto& [index, id] : lines_)
            QAccessible::deleteAccessibleInterface(id);
        lines_.clear();
    }

private:
    ChatView* View() const { return static_cast<ChatView*>(widget()); }
    mutable std::map<int, QAccessible::Id> lines_;  // made when first asked for
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("ov::shell::ChatView") && object && object->isWidgetType())
        return new ChatViewAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

void Tell(ChatView* view, QAccessible::Event what, int index) {
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent event(view, what);
    event.setChild(index);
    QAccessible::updateAccessibility(&event);
}

}  // namespace

void InstallChatViewAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(Factory); });
}

void ChatLineAdded(ChatView* view, int index) {
    Tell(view, QAccessible::ObjectCreated, index);
}

void ChatLineChanged(ChatView* view, int index) {
    Tell(view, QAccessible::DescriptionChanged, index);
    Tell(view, QAccessible::NameChanged, index);
}

void ChatLinesCleared(ChatView* view) {
    if (!QAccessible::isActive())
        return;
    if (auto* a = dynamic_cast<ChatViewAccessible*>(QAccessible::queryAccessibleInterface(view)))
        a->Forget();
    QAccessibleEvent event(view, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

}  // namespace ov::shell
