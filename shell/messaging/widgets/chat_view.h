// ChatView: the lines of a chat, each in the colour of its kind from the skin's ChatView
// section (the view's own defaults without a skin), wrapped to the width, newest at the
// bottom. A link under the mouse is underlined and opens with the desktop's handler when
// clicked; a "<name>" under the mouse is clickable too (NameClicked). Used by the private
// chat window and by group chats (which add join and part lines).
//
//   auto* view = new ChatView(app, parent);
//   view->SetSkin(app.Desktop().skin);          // or form->AddChild(view, "SiteChat")
//   view->Add(line);                            // ChatLine: key, kind, text
//   view->Update(key, ChatLineKind::OwnSent);   // redraws that line in its new colour
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <map>
#include <memory>

#include "shell/messaging/chat_line.h"
#include "shell/messaging/chat_links.h"
#include "shell/skin/skin_item.h"

class COVBitmap;
class OVScrollBarStyle;
class QTextLayout;

namespace ov::shell {

class OVShellApp;

class ChatView final : public QAbstractScrollArea, public OVSkinItem {
    Q_OBJECT
public:
    explicit ChatView(OVShellApp& app, QWidget* parent = nullptr);
    ~ChatView() override;

    void Add(const ChatLine& line);
    // A line's new kind (and text, when given); nothing for an unknown key.
    void Update(qint64 key, ChatLineKind kind, const QString& text = QString());
    void Clear();

    int Count() const { return static_cast<int>(lines_.size()); }
    const ChatLine& LineAt(int index) const { return lines_[index].line; }
    QColor ColorOf(ChatLineKind kind) const;
    // The link or name under the mouse, as its text; empty when none.
    QString Hovered() const;
    // Where a line stands in the viewport.
    QRect LineRect(int index) const;
    // The point in the viewport over the given character of a line (tests, tips).
    QPoint PointOf(int index, int column) const;

Q_SIGNALS:
    // A "<name>" was clicked: the name between the brackets and the line's user.
    void NameClicked(const QString& name, qint32 pin);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void OnApply() override;
    void OnRelease() override;

private:
    struct Shown {
        ChatLine line;
        std::unique_ptr<QTextLayout> layout;
        int top = 0;
        int height = 0;
    };
    struct Hit {
        int index = -1;
        TextSpan span;
        bool link = false;
    };

    void Defaults();
    void LayOut(Shown& shown, int width) const;
    void Relayout();
    void SetHover(const Hit& hit);
    Hit HitAt(const QPoint& viewportPoint) const;
    int ContentWidth() const;
    void SetScrollPictures(const COVBitmap* arrow, const COVBitmap* thumb, const COVBitmap* track);

    OVShellApp& app_;
    OVScrollBarStyle* scrollStyle_;
    std::vector<Shown> lines_;
    std::map<ChatLineKind, QColor> colors_;
    QColor background_, background1_, background2_;
    QFont font_;
    Hit hover_;
    int contentHeight_ = 0;
};

}  // namespace ov::shell
