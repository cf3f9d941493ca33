#include "shell/messaging/widgets/send_message_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"
#include "shell/messaging/widgets/message_style_view.h"
#include "shell/messaging/widgets/message_windows.h"

namespace ov::shell {

SendMessageWindow::SendMessageWindow(OVShellApp& app, qint32 pin, QWidget* parent)
    : QWidget(parent, Qt::Window), app_(app), model_(app, pin) {
    setAttribute(Qt::WA_DeleteOnClose);
    OpenWindowList<SendMessageWindow>::Of(app).push_back(this);
    const UserDataStore& data = app_.UserData();
    const QString name =
        data.LongName(pin).isEmpty() ? QStringLiteral("[%1]").arg(pin) : data.LongName(pin);
    setWindowTitle(QStringLiteral("发送消息 - %1").arg(name));
    setAccessibleName(QStringLiteral("发送消息"));

    auto* to = new QLabel(QStringLiteral("发给: %1").arg(name));
    // A label is read by its text; what it is for goes in its description.
    to->setAccessibleDescription(QStringLiteral("收信人"));
    to->setTextInteractionFlags(Qt::TextSelectableByMouse);

    history_ = new QTextBrowser;
    history_->setAccessibleName(QStringLiteral("历史记录"));
    history_->setMinimumHeight(120);

    edit_ = new QTextEdit;
    edit_->setAcceptRichText(false);
    edit_->setAccessibleName(QStringLiteral("消息内容"));
    edit_->setMinimumHeight(110);
    ApplyStyle(edit_, model_.Style());
    edit_->installEventFilter(this);

    status_ = new QLabel;
    status_->setAccessibleDescription(QStringLiteral("状态"));
    count_ = new QProgressBar;
    count_->setAccessibleName(QStringLiteral("消息长度"));
    count_->setRange(0, kMessageLimit);
    count_->setTextVisible(false);
    count_->setFixedWidth(90);
    count_->setMaximumHeight(8);

    historyButton_ = MessageButton(QStringLiteral("历史记录(&H)"), QStringLiteral("历史记录"));
    historyButton_->setCheckable(true);
    closeAfter_ = new QCheckBox(QStringLiteral("发送后关闭(&A)"));
    closeAfter_->setAccessibleName(QStringLiteral("发送后关闭"));
    send_ = MessageButton(QStringLiteral("发送(&S)"), QStringLiteral("发送"));
    send_->setDefault(true);
    send_->setToolTip(QStringLiteral("Ctrl+Enter"));
    QPushButton* closeButton = MessageButton(QStringLiteral("关闭(&C)"), QStringLiteral("关闭"));

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(count_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(historyButton_);
    buttons->addWidget(closeAfter_);
    buttons->addStretch(1);
    buttons->addWidget(send_);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(to);
    layout->addWidget(history_, 3);
    layout->addWidget(edit_, 2);
    layout->addLayout(statusRow);
    layout->addLayout(buttons);

    connect(&model_, &SendMessageModel::StatusChanged, status_, &QLabel::setText);
    connect(&model_, &SendMessageModel::LengthChanged, count_, &QProgressBar::setValue);
    connect(&model_, &SendMessageModel::InputLocked, this, [this](bool locked) {
        edit_->setReadOnly(locked);
        send_->setEnabled(!locked);
        if (!locked)
            count_->setRange(0, kMessageLimit);
    });
    connect(&model_, &SendMessageModel::AnimationStep, this, [this](int step) {
        // While sending, the bar runs as a busy indicator.
        if (step > 0)
            count_->setRange(0, 0);
    });
    connect(&model_, &SendMessageModel::ClearEdit, edit_, &QTextEdit::clear);
    connect(&model_, &SendMessageModel::FocusEdit, edit_, qOverload<>(&QWidget::setFocus));
    connect(&model_, &SendMessageModel::CloseWindow, this, &QWidget::close);
    connect(edit_, &QTextEdit::textChanged, this, &SendMessageWindow::OnEdited);
    connect(send_, &QPushButton::clicked, this, [this] { model_.Send(edit_->toPlainText()); });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(closeAfter_, &QCheckBox::toggled, this,
            [this](bool on) { model_.SetCloseAfterSend(on); });
    connect(historyButton_, &QPushButton::toggled, this, &SendMessageWindow::ShowHistory);
    connect(&app_.UserData(), &UserDataStore::Notified, this, [this](int code, qint64 value) {
        if (code == 10 && value == Pin() && history_->isVisible())
            ShowHistory(true);
    });

    status_->setText(model_.Status());
    historyButton_->setChecked(app_.Settings().bSendMsgShowHistory);
    ShowHistory(app_.Settings().bSendMsgShowHistory);
    const QRect rect = app_.Settings().rectSendMsgWnd;
    if (rect.isValid())
        setGeometry(rect);
    else
        resize(420, 380);
}

SendMessageWindow::~SendMessageWindow() = default;

SendMessageWindow* SendMessageWindow::Find(OVShellApp& app, qint32 pin) {
    return OpenWindowList<SendMessageWindow>::Find(app, pin);
}

SendMessageWindow* SendMessageWindow::Open(OVShellApp& app, qint32 pin) {
    SendMessageWindow* window = Find(app, pin);
    if (window == nullptr)
        window = new SendMessageWindow(app, pin);
    window->show();
    window->raise();
    window->activateWindow();
    window->edit_->setFocus();
    return window;
}

void SendMessageWindow::OnEdited() {
    if (editing_)
        return;
    const QTextCursor cursor = edit_->textCursor();
    const std::optional<TextCut> cut = model_.Edited(edit_->toPlainText(), cursor.selectionEnd());
    if (!cut)
        return;
    editing_ = true;
    QTextCursor remove(edit_->document());
    remove.setPosition(cut->start);
    remove.setPosition(cut->end, QTextCursor::KeepAnchor);
    remove.removeSelectedText();
    edit_->setTextCursor(remove);
    editing_ = false;
}

void SendMessageWindow::ShowHistory(bool show) {
    history_->setVisible(show);
    if (!show)
        return;
    QList<MessageRecord> records;
    app_.UserData().GetMessages(Pin(), &records);
    const QString own = app_.Frame() ? app_.Frame()->CurrentUser() : QString();
    ov::shell::ShowHistory(history_, records, own, app_.UserData().DisplayName(Pin()));
}

bool SendMessageWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & Qt::ControlModifier)) {
            model_.SendLater([this] { return edit_->toPlainText(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SendMessageWindow::closeEvent(QCloseEvent* event) {
    app_.Settings().rectSendMsgWnd = geometry();
    app_.Settings().bSendMsgShowHistory = historyButton_->isChecked();
    event->accept();
}

}  // namespace ov::shell
