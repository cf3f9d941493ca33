#include "shell/messaging/widgets/chat_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QList>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>
#include <cstring>

#include "shell/core/cp936_text.h"
#include "shell/core/message_text.h"
#include "shell/core/pending_item_queue.h"
#include "shell/core/shell_app.h"
#include "shell/messaging/widgets/chat_view.h"
#include "shell/skin/skin_paint.h"

namespace ov::shell {

namespace {

constexpr QSize kDefaultSize(480, 420);

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

QList<QPointer<ChatWindow>>& OpenWindows(const OVShellApp& app) {
    static QHash<const OVShellApp*, QList<QPointer<ChatWindow>>> windows;
    QList<QPointer<ChatWindow>>& list = windows[&app];
    list.removeAll(nullptr);
    return list;
}

QPushButton* Button(const char* text) {
    auto* button = new QPushButton(Utf8(text));
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
    return button;
}

// The user's chat font as the skin's fonts are read.
QFont ChatFont(const FontSetting& setting) {
    LOGFONT lf{};
    lf.lfHeight = setting.height;
    lf.lfWeight = setting.weight;
    lf.lfItalic = setting.italic ? 1 : 0;
    lf.lfUnderline = setting.underline ? 1 : 0;
    lf.lfCharSet = static_cast<BYTE>(setting.charSet);
    const std::string face = ToCp936(setting.faceName);
    std::strncpy(lf.lfFaceName, face.c_str(), sizeof lf.lfFaceName - 1);
    return ov::skin::ToQFont(lf);
}

}  // namespace

ChatWindow::ChatWindow(OVShellApp& app, qint32 pin, QWidget* parent)
    : QWidget(parent, Qt::Window), app_(app), session_(app, pin) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1 - %2").arg(session_.PeerName(), Utf8("聊天")));
    setAccessibleName(windowTitle());

    view_ = new ChatView(app_, this);
    view_->SetSkin(app_.Desktop().skin);
    view_->setMinimumHeight(160);

    const UserSettings& settings = app_.Settings();
    edit_ = new QPlainTextEdit;
    edit_->setAccessibleName(Utf8("发送信息"));
    edit_->setFont(ChatFont(settings.lfChatMessageFont));
    QPalette palette = edit_->palette();
    palette.setColor(QPalette::Text, ov::skin::ToQColor(settings.clrChatMessageColor));
    palette.setColor(QPalette::Base, ov::skin::ToQColor(settings.clrChatMessageBk));
    edit_->setPalette(palette);
    edit_->setFixedHeight(72);
    edit_->installEventFilter(this);

    status_ = new QLabel;
    status_->setAccessibleName(Utf8("状态"));
    status_->setTextFormat(Qt::PlainText);

    send_ = Button("发送");
    accept_ = Button("同意");
    refuse_ = Button("拒绝");
    close_ = Button("关闭");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(accept_);
    buttons->addWidget(refuse_);
    buttons->addSpacing(8);
    buttons->addWidget(send_);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(6);
    layout->addWidget(view_, 1);
    layout->addWidget(edit_);
    layout->addLayout(buttons);

    connect(edit_, &QPlainTextEdit::textChanged, this, &ChatWindow::EditChanged);
    connect(send_, &QPushButton::clicked, this, &ChatWindow::SendTyped);
    connect(accept_, &QPushButton::clicked, &session_, &ChatSession::Accept);
    connect(refuse_, &QPushButton::clicked, &session_, &ChatSession::Refuse);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    connect(&session_, &ChatSession::LineAdded, view_, &ChatView::Add);
    connect(&session_, &ChatSession::LineChanged, view_,
            [this](const ChatLine& line) { view_->Update(line.key, line.kind); });
    connect(&session_, &ChatSession::StatusChanged, status_, &QLabel::setText);
    connect(&session_, &ChatSession::StateChanged, this, &ChatWindow::ShowState);
    connect(&session_, &ChatSession::EditCleared, edit_, &QPlainTextEdit::clear);
    connect(&session_, &ChatSession::Flash, this, [this] {
        if (isActiveWindow())
            session_.StopFlash();
        else
            QApplication::alert(this);
    });

    const QRect saved = settings.rectPrivateChatWnd;
    if (saved.isValid() && !saved.isEmpty())
        setGeometry(saved);
    else
        resize(kDefaultSize);
    status_->setText(session_.Status());
    OpenWindows(app_).push_back(this);
    ShowState();
    edit_->setFocus(Qt::OtherFocusReason);
}

ChatWindow::~ChatWindow() = default;

ChatWindow* ChatWindow::Find(const OVShellApp& app, qint32 pin) {
    for (const QPointer<ChatWindow>& w : OpenWindows(app))
        if (!w->session_.Ended() && w->session_.Peer() == pin)
            return w;
    return nullptr;
}

bool ChatWindow::IsOpenWith(const OVShellApp& app, qint32 pin) {
    return Find(app, pin) != nullptr;
}

void ChatWindow::CloseAll(const OVShellApp& app) {
    for (const QPointer<ChatWindow>& w : QList<QPointer<ChatWindow>>(OpenWindows(app))) {
        if (w.isNull())
            continue;
        w->asking_ = false;
        w->close();
    }
}

ChatWindow* ChatWindow::Open(OVShellApp& app, qint32 pin) {
    ChatWindow* window = Find(app, pin);
    if (window == nullptr)
        window = new ChatWindow(app, pin);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

ChatWindow* ChatWindow::OpenRequest(OVShellApp& app, const PendingItem& item) {
    ChatWindow* window = Find(app, item.nNumber);
    if (window == nullptr)
        window = new ChatWindow(app, item.nNumber);
    window->session_.Offer(item.text, item.value1);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ChatWindow::EditChanged() {
    if (cutting_)
        return;
    const QString text = edit_->toPlainText();
    if (const auto cut = OverLimitCut(text, edit_->textCursor().selectionEnd())) {
        // The characters just typed (or pasted) that do not fit go again.
        cutting_ = true;
        QTextCursor cursor = edit_->textCursor();
        cursor.setPosition(cut->start);
        cursor.setPosition(cut->end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        edit_->setTextCursor(cursor);
        cutting_ = false;
    }
    session_.SetDraft(edit_->toPlainText());
}

void ChatWindow::SendTyped() {
    session_.Send(edit_->toPlainText());
    edit_->setFocus(Qt::OtherFocusReason);
}

void ChatWindow::ShowState() {
    send_->setEnabled(session_.CanSend());
    accept_->setVisible(session_.Offered());
    refuse_->setVisible(session_.Offered());
    edit_->setReadOnly(session_.Ended());
}

bool ChatWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter sends, Shift+Enter starts a new line.
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                edit_->textCursor().insertText(QStringLiteral("\n"));
            else if (send_->isEnabled())
                SendTyped();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChatWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        session_.StopFlash();
    QWidget::changeEvent(event);
}

void ChatWindow::closeEvent(QCloseEvent* event) {
    if (!session_.Close(asking_)) {
        event->ignore();
        return;
    }
    app_.Settings().rectPrivateChatWnd = geometry();
    event->accept();
}

}  // namespace ov::shell
