// ReceiveMessageWindow: one received message - "发信人:", "时间:" and the text in the
// sender's style - with its history, "回复", "下一条" for the sender's next waiting message and
// "关闭". A message is archived when the window shows it. Modeless; deletes itself when
// closed; its rectangle is kept in the settings (rectRecvMsgWnd).
//
//   ReceiveMessageWindow::Open(app, item);   // a pending message; the sender's open window
//                                            // shows it instead of a second window
#pragma once

#include <QWidget>

#include "shell/core/pending_item_queue.h"

class QLabel;
class QPushButton;
class QTextBrowser;

namespace ov::shell {

class OVShellApp;

class ReceiveMessageWindow final : public QWidget {
    Q_OBJECT
public:
    ReceiveMessageWindow(OVShellApp& app, qint32 pin, QWidget* parent = nullptr);
    ~ReceiveMessageWindow() override;

    static ReceiveMessageWindow* Open(OVShellApp& app, const PendingItem& item);
    static ReceiveMessageWindow* Find(OVShellApp& app, qint32 pin);

    qint32 Pin() const { return pin_; }
    // Shows the message (and archives it).
    void Show(const MessageRecord& record);
    const MessageRecord& Shown() const { return shown_; }

    // "发信人:%s" and "时间:%y-%m-%d %H:%M:%S".
    static QString SenderLine(const QString& name);
    static QString TimeLine(qint32 time);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowNextButton();
    void ShowHistory(bool show);
    QString SenderName() const;

    OVShellApp& app_;
    const qint32 pin_;
    MessageRecord shown_;
    QLabel* sender_ = nullptr;
    QLabel* time_ = nullptr;
    QTextBrowser* text_ = nullptr;
    QTextBrowser* history_ = nullptr;
    QPushButton* reply_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* historyButton_ = nullptr;
};

}  // namespace ov::shell
