#include "shell/messaging/widgets/receive_message_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "shell/core/hidden_frame.h"
#include "shell/core/message_archive.h"
#include "shell/core/message_text.h"
#include "shell/core/shell_app.h"
#include "shell/messaging/widgets/message_style_view.h"
#include "shell/messaging/widgets/message_windows.h"

namespace ov::shell {

ReceiveMessageWindow::ReceiveMessageWindow(OVShellApp& app, qint32 pin, QWidget* parent)
    : QWidget(parent, Qt::Window), app_(app), pin_(pin) {
    setAttribute(Qt::WA_DeleteOnClose);
    OpenWindowList<ReceiveMessageWindow>::Of(app).push_back(this);
    setAccessibleName(QStringLiteral("接收消息"));

    sender_ = new QLabel;
    // A label is read by its text; what it is for goes in its description.
    sender_->setAccessibleDescription(QStringLiteral("发信人"));
    sender_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    time_ = new QLabel;
    time_->setAccessibleDescription(QStringLiteral("时间"));
    text_ = new QTextBrowser;
    text_->setAccessibleName(QStringLiteral("消息内容"));
    text_->setOpenExternalLinks(false);
    history_ = new QTextBrowser;
    history_->setAccessibleName(QStringLiteral("历史记录"));

    historyButton_ = MessageButton(QStringLiteral("历史记录(&H)"), QStringLiteral("历史记录"));
    historyButton_->setCheckable(true);
    reply_ = MessageButton(QStringLiteral("回复(&R)"), QStringLiteral("回复"));
    reply_->setDefault(true);
    next_ = MessageButton(QStringLiteral("下一条(&N)"), QStringLiteral("下一条"));
    QPushButton* closeButton = MessageButton(QStringLiteral("关闭(&C)"), QStringLiteral("关闭"));

    auto* heading = new QHBoxLayout;
    heading->addWidget(sender_, 1);
    heading->addWidget(time_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(historyButton_);
    buttons->addStretch(1);
    buttons->addWidget(reply_);
    buttons->addWidget(next_);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(heading);
    layout->addWidget(text_, 2);
    layout->addWidget(history_, 3);
    layout->addLayout(buttons);

    reply_->setEnabled(pin_ != kSystemMessagePeer);
    connect(reply_, &QPushButton::clicked, this, [this] {
        app_.Desktop().windows->OpenSendMessage(pin_);
        close();
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        if (std::optional<PendingItem> item = app_.Pending().Take(kPendingMessage, pin_, true))
            Show(item->message);
    });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(historyButton_, &QPushButton::toggled, this, &ReceiveMessageWindow::ShowHistory);
    connect(&app_.Pending(), &PendingItemQueue::Changed, this,
            &ReceiveMessageWindow::ShowNextButton);

    historyButton_->setChecked(app_.Settings().bRecvMsgShowHistory);
    ShowHistory(app_.Settings().bRecvMsgShowHistory);
    const QRect rect = app_.Settings().rectRecvMsgWnd;
    if (rect.isValid())
        setGeometry(rect);
    else
        resize(420, 340);
}

ReceiveMessageWindow::~ReceiveMessageWindow() = default;

QString ReceiveMessageWindow::SenderLine(const QString& name) {
    return QStringLiteral("发信人:%1").arg(name);
}

QString ReceiveMessageWindow::TimeLine(qint32 time) {
    return QStringLiteral("时间:") +
           QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
}

QString ReceiveMessageWindow::SenderName() const {
    if (pin_ == kSystemMessagePeer)
        return QStringLiteral("系统");
    const QString name = app_.UserData().LongName(pin_);
    if (!name.isEmpty())
        return name;
    return shown_.sPeerName.isEmpty() ? QStringLiteral("[%1]").arg(pin_) : shown_.sPeerName;
}

ReceiveMessageWindow* ReceiveMessageWindow::Find(OVShellApp& app, qint32 pin) {
    return OpenWindowList<ReceiveMessageWindow>::Find(app, pin);
}

ReceiveMessageWindow* ReceiveMessageWindow::Open(OVShellApp& app, const PendingItem& item) {
    ReceiveMessageWindow* window = Find(app, item.nNumber);
    if (window == nullptr)
        window = new ReceiveMessageWindow(app, item.nNumber);
    window->Show(item.message);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ReceiveMessageWindow::Show(const MessageRecord& record) {
    shown_ = record;
    shown_.nPeerNumber = pin_;
    app_.UserData().AddMessage(shown_);
    const QString name = SenderName();
    setWindowTitle(QStringLiteral("接收消息 - %1").arg(name));
    sender_->setText(SenderLine(name));
    time_->setText(TimeLine(record.nTime));
    const MessageStyle style = StyleOf(record);
    text_->setFont(StyleFont(style));
    QPalette palette = text_->palette();
    palette.setColor(QPalette::Text, ToColor(style.text));
    palette.setColor(QPalette::Base, ToColor(style.background));
    text_->setPalette(palette);
    text_->setPlainText(record.sText);
    ShowNextButton();
    if (history_->isVisible())
        ShowHistory(true);
}

void ReceiveMessageWindow::ShowNextButton() {
    bool more = false;
    for (const PendingItem& item : app_.Pending().Items())
        more |= item.nKind == kPendingMessage && item.nNumber == pin_;
    next_->setEnabled(more);
}

void ReceiveMessageWindow::ShowHistory(bool show) {
    history_->setVisible(show);
    if (!show)
        return;
    QList<MessageRecord> records;
    app_.UserData().GetMessages(pin_, &records);
    const QString own = app_.Frame() ? app_.Frame()->CurrentUser() : QString();
    ov::shell::ShowHistory(history_, records, own, SenderName());
}

void ReceiveMessageWindow::closeEvent(QCloseEvent* event) {
    app_.Settings().rectRecvMsgWnd = geometry();
    app_.Settings().bRecvMsgShowHistory = historyButton_->isChecked();
    event->accept();
}

}  // namespace ov::shell
