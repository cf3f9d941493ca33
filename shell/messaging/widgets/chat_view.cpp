#include "shell/messaging/widgets/chat_view.h"

#include "shell/messaging/widgets/chat_view_accessible.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QTextOption>
#include <cmath>

#include "shell/core/shell_app.h"
#include "shell/skin/skin_paint.h"
#include "shell/skin/widgets/scroll_bar_style.h"

namespace ov::shell {

namespace {

constexpr int kMargin = 6;
constexpr int kLineGap = 3;

struct ColorKey {
    ChatLineKind kind;
    const char* key;
    QRgb fallback;  // the program's own skin
};

constexpr ColorKey kColorKeys[] = {
    {ChatLineKind::Text, "clrText", 0x1F2933},
    {ChatLineKind::Action, "clrTextAction", 0x8E44AD},
    {ChatLineKind::Highlight, "clrTextHighlight", 0xD65A12},
    {ChatLineKind::Info, "clrTextInfo", 0x6B7785},
    {ChatLineKind::Error, "clrTextErr", 0xE5484D},
    {ChatLineKind::OwnSending, "clrTextOwnSending", 0x9AA5B1},
    {ChatLineKind::OwnSent, "clrTextOwnSent", 0x1F5FCC},
    {ChatLineKind::OwnSendErr, "clrTextOwnSendErr", 0xE5484D},
    {ChatLineKind::OwnActionSending, "clrTextOwnActionSending", 0x9AA5B1},
    {ChatLineKind::OwnActionSent, "clrTextOwnActionSent", 0x8E44AD},
    {ChatLineKind::OwnActionSendErr, "clrTextOwnActionSendErr", 0xE5484D},
    {ChatLineKind::Join, "clrTextJoin", 0x2EB872},
    {ChatLineKind::Part, "clrTextPart", 0x9AA5B1},
};

QColor SkinColor(const OVSkinItem& item, const char* key, QColor fallback) {
    COLORREF c = 0;
    return item.GetColor(key, &c) ? ov::skin::ToQColor(c) : fallback;
}

}  // namespace

ChatView::ChatView(OVShellApp& app, QWidget* parent)
    : QAbstractScrollArea(parent),
      OVSkinItem("ChatView"),
      app_(app),
      scrollStyle_(new OVScrollBarStyle) {
    // Before anything asks how a screen reader sees this view.
    InstallChatViewAccessibility();
    scrollStyle_->setParent(this);
    verticalScrollBar()->setStyle(scrollStyle_);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::StyledPanel);
    viewport()->setMouseTracking(true);
    setAccessibleName(QStringLiteral("聊天记录"));
    Defaults();
}

ChatView::~ChatView() {
    SetSkin(nullptr);
    // The scroll bar outlives this body (the base class deletes it): give it back its style.
    verticalScrollBar()->setStyle(nullptr);
}

void ChatView::SetScrollPictures(const COVBitmap* arrow, const COVBitmap* thumb,
                                 const COVBitmap* track) {
    scrollStyle_->SetPictures(arrow, thumb, track);
    // The scroll bar takes its new width from the style.
    verticalScrollBar()->setStyle(nullptr);
    verticalScrollBar()->setStyle(scrollStyle_);
}

void ChatView::Defaults() {
    colors_.clear();
    for (const ColorKey& c : kColorKeys)
        colors_[c.kind] = QColor(c.fallback);
    background_ = QColor(0xFFFFFF);
    background1_ = QColor(0xF8FAFC);
    background2_ = QColor(0xF0F5FC);
    font_ = font();
}

void ChatView::OnApply() {
    Defaults();
    for (const ColorKey& c : kColorKeys)
        colors_[c.kind] = SkinColor(*this, c.key, colors_[c.kind]);
    background_ = SkinColor(*this, "clrBackground", background_);
    background1_ = SkinColor(*this, "clrBackground1", background1_);
    background2_ = SkinColor(*this, "clrBackground2", background2_);
    LOGFONT lf{};
    if (GetFont("fontText", &lf))
        font_ = ov::skin::ToQFont(lf);
    SetScrollPictures(GetBitmap("sScrollArrow"), GetBitmap("sScrollBar"), GetBitmap("sScrollLine"));
    Relayout();
}

void ChatView::OnRelease() {
    Defaults();
    SetScrollPictures(nullptr, nullptr, nullptr);
    Relayout();
}

QColor ChatView::ColorOf(ChatLineKind kind) const {
    const auto it = colors_.find(kind);
    return it != colors_.end() ? it->second : QColor(Qt::black);
}

int ChatView::ContentWidth() const {
    return std::max(1, viewport()->width() - 2 * kMargin);
}

void ChatView::LayOut(Shown& shown, int width) const {
    if (!shown.layout)
        shown.layout = std::make_unique<QTextLayout>();
    QTextLayout& layout = *shown.layout;
    layout.clearLayout();
    layout.setText(shown.line.text);
    layout.setFont(font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    shown.height = static_cast<int>(std::ceil(y)) + kLineGap;
}

void ChatView::Relayout() {
    QScrollBar* bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    const int width = ContentWidth();
    int top = kLineGap;
    for (Shown& shown : lines_) {
        LayOut(shown, width);
        shown.top = top;
        top += shown.height;
    }
    contentHeight_ = top;
    bar->setRange(0, std::max(0, contentHeight_ - viewport()->height()));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(QFontMetrics(font_).height());
    if (atBottom)
        bar->setValue(bar->maximum());
    ChatLineAdded(this, Count() - 1);
    viewport()->update();
}

void ChatView::Add(const ChatLine& line) {
    QScrollBar* bar = verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    Shown shown;
    shown.line = line;
    LayOut(shown, ContentWidth());
    shown.top = lines_.empty() ? kLineGap : contentHeight_;
    contentHeight_ = shown.top + shown.height;
    lines_.push_back(std::move(shown));
    bar->setRange(0, std::max(0, contentHeight_ - viewport()->height()));
    // Following the conversation, unless the user scrolled back to read.
    if (atBottom)
        bar->setValue(bar->maximum());
    ChatLineAdded(this, Count() - 1);
    viewport()->update();
}

void ChatView::Update(qint64 key, ChatLineKind kind, const QString& text) {
    for (Shown& shown : lines_) {
        if (shown.line.key != key)
            continue;
        shown.line.kind = kind;
        if (!text.isNull() && text != shown.line.text) {
            shown.line.text = text;
            Relayout();
        }
        viewport()->update();
        ChatLineChanged(this, static_cast<int>(&shown - lines_.data()));
        return;
    }
}

void ChatView::Clear() {
    lines_.clear();
    hover_ = {};
    Relayout();
    ChatLinesCleared(this);
}

QRect ChatView::LineRect(int index) const {
    const Shown& shown = lines_[index];
    return QRect(0, shown.top - verticalScrollBar()->value(), viewport()->width(), shown.height);
}

void ChatView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
}

void ChatView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), background_);
    const int offset = verticalScrollBar()->value();
    const int bottom = offset + viewport()->height();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Shown& shown = lines_[i];
        if (shown.top + shown.height < offset)
            continue;
        if (shown.top > bottom)
            break;
        const QRect band(0, shown.top - offset - kLineGap / 2, viewport()->width(), shown.height);
        // Every other line on a faint band, the one under the mouse a little stronger.
        if (static_cast<int>(i) == hover_.index)
            p.fillRect(band, background2_);
        else if (i % 2 == 1)
            p.fillRect(band, background1_);
        QList<QTextLayout::FormatRange> formats;
        if (static_cast<int>(i) == hover_.index) {
            QTextLayout::FormatRange underline;
            underline.start = hover_.span.start;
            underline.length = hover_.span.length;
            underline.format.setFontUnderline(true);
            formats << underline;
        }
        p.setPen(ColorOf(shown.line.kind));
        shown.layout->draw(&p, QPointF(kMargin, shown.top - offset), formats);
    }
}

ChatView::Hit ChatView::HitAt(const QPoint& point) const {
    const int y = point.y() + verticalScrollBar()->value();
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Shown& shown = lines_[i];
        if (y < shown.top || y >= shown.top + shown.height)
            continue;
        const QPointF local(point.x() - kMargin, y - shown.top);
        for (int n = 0; n < shown.layout->lineCount(); ++n) {
            const QTextLine line = shown.layout->lineAt(n);
            if (!line.rect().contains(local) || local.x() > line.naturalTextWidth())
                continue;
            const int column = line.xToCursor(local.x(), QTextLine::CursorOnCharacter);
            const QString& text = shown.line.text;
            if (auto name = NameSpanAt(text, column))
                return {static_cast<int>(i), *name, false};
            if (auto link = LinkAt(text, column))
                return {static_cast<int>(i), *link, true};
            return {};
        }
        return {};
    }
    return {};
}

QPoint ChatView::PointOf(int index, int column) const {
    const Shown& shown = lines_[index];
    const QTextLine line = shown.layout->lineForTextPosition(column);
    if (!line.isValid())
        return {};
    const qreal x = line.cursorToX(column) + 1;
    return QPoint(kMargin + static_cast<int>(x), shown.top - verticalScrollBar()->value() +
                                                     static_cast<int>(line.y()) +
                                                     static_cast<int>(line.height() / 2));
}

QString ChatView::Hovered() const {
    if (hover_.index < 0)
        return {};
    return lines_[hover_.index].line.text.mid(hover_.span.start, hover_.span.length);
}

void ChatView::SetHover(const Hit& hit) {
    if (hit.index == hover_.index && hit.span == hover_.span)
        return;
    hover_ = hit;
    viewport()->setCursor(hit.index >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
    viewport()->update();
}

void ChatView::mouseMoveEvent(QMouseEvent* event) {
    SetHover(HitAt(event->position().toPoint()));
    QAbstractScrollArea::mouseMoveEvent(event);
}

void ChatView::leaveEvent(QEvent* event) {
    SetHover({});
    QAbstractScrollArea::leaveEvent(event);
}

void ChatView::mouseReleaseEvent(QMouseEvent* event) {
    const Hit hit = HitAt(event->position().toPoint());
    SetHover(hit);
    if (event->button() != Qt::LeftButton || hit.index < 0)
        return;
    const QString text = lines_[hit.index].line.text.mid(hit.span.start, hit.span.length);
    if (!hit.link)
        Q_EMIT NameClicked(text.mid(1, text.size() - 2), lines_[hit.index].line.pin);
    else if (Launcher* launcher = app_.Desktop().launcher)
        launcher->OpenUrl(LinkTarget(text));
}

}  // namespace ov::shell
