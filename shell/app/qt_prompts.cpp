#include "shell/app/qt_prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "platform/win32/message_box.h"

namespace ov::shell {

namespace {

QString Caption(const QString& caption) {
    return caption.isEmpty() ? QStringLiteral("Orvane") : caption;
}

QMessageBox::Icon QtIcon(Prompts::Icon icon) {
    switch (icon) {
        case Prompts::Icon::Information:
            return QMessageBox::Information;
        case Prompts::Icon::Warning:
            return QMessageBox::Warning;
        case Prompts::Icon::Stop:
            return QMessageBox::Critical;
        case Prompts::Icon::Question:
            return QMessageBox::Question;
        case Prompts::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// A box over the active window (or alone), with named buttons.
struct Box {
    QMessageBox box;
    Box(const QString& text, const QString& caption, QMessageBox::Icon icon)
        : box(icon, Caption(caption), text, QMessageBox::NoButton, QApplication::activeWindow()) {
        box.setAccessibleName(Caption(caption));
        box.setAccessibleDescription(text);
    }
    QPushButton* Add(const QString& text, QMessageBox::ButtonRole role) {
        QPushButton* b = box.addButton(text, role);
        b->setAccessibleName(text);
        return b;
    }
};

bool AskYesNo(const QString& text, const QString& caption, bool* dontAsk) {
    Box b(text, caption, QMessageBox::Question);
    QPushButton* yes = b.Add(QStringLiteral("是"), QMessageBox::YesRole);
    QPushButton* no = b.Add(QStringLiteral("否"), QMessageBox::NoRole);
    b.box.setDefaultButton(yes);
    b.box.setEscapeButton(no);
    QCheckBox* check = nullptr;
    if (dontAsk) {
        check = new QCheckBox(QStringLiteral("以后都不要再提示这个问题。"));
        check->setAccessibleName(check->text());
        b.box.setCheckBox(check);
    }
    b.box.exec();
    if (dontAsk)
        *dontAsk = check->isChecked();
    return b.box.clickedButton() == yes;
}

int ShowComponentBox(const MessageBoxRequest& request) {
    const QString text = QString::fromStdString(request.text);
    const QString caption = QString::fromStdString(request.caption);
    const UINT kind = request.type & 0x0F;
    if (kind == MB_YESNO || kind == MB_YESNOCANCEL)
        return AskYesNo(text, caption, nullptr) ? IDYES : IDNO;
    Box b(text, caption, QMessageBox::Warning);
    b.Add(QStringLiteral("确定"), QMessageBox::AcceptRole);
    b.box.exec();
    return IDOK;
}

}  // namespace

void QtPrompts::Message(const QString& text, const QString& caption, Icon icon) {
    Box b(text, caption, QtIcon(icon));
    b.Add(QStringLiteral("确定"), QMessageBox::AcceptRole);
    b.box.exec();
}

bool QtPrompts::YesNo(const QString& text, const QString& caption) {
    return AskYesNo(text, caption, nullptr);
}

bool QtPrompts::YesNoDontAsk(const QString& text, const QString& caption, bool* dontAsk) {
    bool ignored = false;
    return AskYesNo(text, caption, dontAsk ? dontAsk : &ignored);
}

void InstallQtComponentMessageBoxes() {
    SetMessageBoxPresenter([](const MessageBoxRequest& request) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return DefaultMessageBoxAnswer(request.type);
        if (QThread::currentThread() == app->thread())
            return ShowComponentBox(request);
        // A component's worker thread: the box is shown on the GUI thread, and this thread
        // waits for the answer as it would for a modal box.
        int answer = DefaultMessageBoxAnswer(request.type);
        QMetaObject::invokeMethod(
            app, [&] { answer = ShowComponentBox(request); }, Qt::BlockingQueuedConnection);
        return answer;
    });
}

}  // namespace ov::shell
