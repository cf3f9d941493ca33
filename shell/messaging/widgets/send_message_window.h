// SendMessageWindow: writing a message to one user. The edit writes in the sender's style,
// the status line and the bar count the body's bytes, Ctrl+Enter or "发送" sends; the logic
// is SendMessageModel's. Modeless; deletes itself when closed; its rectangle is kept in the
// settings (rectSendMsgWnd).
//
//   SendMessageWindow::Open(app, 10002);   // one per user: a second call raises it
#pragma once

#include <QWidget>

#include "shell/messaging/send_message_model.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class QTextEdit;

namespace ov::shell {

class OVShellApp;

class SendMessageWindow final : public QWidget {
    Q_OBJECT
public:
    SendMessageWindow(OVShellApp& app, qint32 pin, QWidget* parent = nullptr);
    ~SendMessageWindow() override;

    static SendMessageWindow* Open(OVShellApp& app, qint32 pin);
    static SendMessageWindow* Find(OVShellApp& app, qint32 pin);

    qint32 Pin() const { return model_.Recipient(); }
    SendMessageModel& Model() { return model_; }
    QTextEdit* Edit() const { return edit_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnEdited();
    void ShowHistory(bool show);

    OVShellApp& app_;
    SendMessageModel model_;
    QTextBrowser* history_ = nullptr;
    QTextEdit* edit_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* count_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* historyButton_ = nullptr;
    QCheckBox* closeAfter_ = nullptr;
    bool editing_ = false;  // the edit is being trimmed: its change is ours
};

}  // namespace ov::shell
