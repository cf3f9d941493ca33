#include "shell/wizards/widgets/buddy_request_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/core/shell_app.h"
#include "shell/core/widgets/face_icon.h"

namespace ov::shell {

namespace {

constexpr int kFaceSize = 32;
constexpr int kTextWidth = 300;

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

QList<QPointer<BuddyRequestWindow>>& OpenWindows(OVShellApp& app) {
    static QHash<OVShellApp*, QList<QPointer<BuddyRequestWindow>>> windows;
    QList<QPointer<BuddyRequestWindow>>& list = windows[&app];
    list.removeAll(nullptr);
    return list;
}

QLabel* Line(const QString& text) {
    auto* label = new QLabel(text);
    label->setAccessibleName(text);
    return label;
}

QPushButton* Button(const char* text) {
    auto* button = new QPushButton(Utf8(text));
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
    return button;
}

// The face at the screen's resolution.
QPixmap Face(OVShellApp& app, qint32 icon, const QWidget* on) {
    const qreal ratio = on->devicePixelRatioF();
    QPixmap face = FaceIcon(app, icon, qRound(kFaceSize * ratio));
    face.setDevicePixelRatio(ratio);
    return face;
}

}  // namespace

BuddyRequestWindow::BuddyRequestWindow(OVShellApp& app, const PendingItem& item, QWidget* parent)
    : QDialog(parent), app_(app), model_(app, item) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(Utf8("添加好友请求"));
    setAccessibleName(windowTitle());

    auto* face = new QLabel;
    face->setFixedSize(kFaceSize, kFaceSize);
    face->setAlignment(Qt::AlignCenter);
    face->setPixmap(Face(app_, model_.Icon(), this));
    face->setAccessibleName(Utf8("头像"));
    QLabel* name = Line(model_.UserName());
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* who = new QHBoxLayout;
    who->addWidget(Line(Utf8("用户")));
    who->addWidget(face);
    who->addWidget(name);
    who->addWidget(Line(Utf8("请求将你添加为好友!")));
    who->addStretch();

    QLabel* text = Line(model_.RequestText());
    text->setWordWrap(true);
    text->setFrameShape(QFrame::StyledPanel);
    text->setMargin(8);
    text->setMinimumWidth(kTextWidth);
    text->setMinimumHeight(64);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    accept_ = Button("同意");
    refuse_ = Button("拒绝");
    message_ = Button("发消息");
    connect(accept_, &QPushButton::clicked, this, [this] { model_.Answer(true); });
    connect(refuse_, &QPushButton::clicked, this, [this] { model_.Answer(false); });
    connect(message_, &QPushButton::clicked, this, [this] { model_.SendMessage(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(accept_);
    buttons->addWidget(refuse_);
    buttons->addSpacing(12);
    buttons->addWidget(message_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->addLayout(who);
    layout->addSpacing(8);
    layout->addWidget(text, 1);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(&model_, &BuddyRequestModel::Changed, this, &BuddyRequestWindow::ShowButtons);
    connect(&model_, &BuddyRequestModel::WindowEnded, this, [this] {
        if (!closing_)
            close();
    });
    OpenWindows(app).push_back(this);
    ShowButtons();
    accept_->setFocus(Qt::OtherFocusReason);
}

BuddyRequestWindow::~BuddyRequestWindow() = default;

BuddyRequestWindow* BuddyRequestWindow::Find(OVShellApp& app, qint32 pin) {
    for (const QPointer<BuddyRequestWindow>& w : OpenWindows(app))
        if (!w->model_.Ended() && w->model_.Pin() == pin)
            return w;
    return nullptr;
}

BuddyRequestWindow* BuddyRequestWindow::Open(OVShellApp& app, const PendingItem& item) {
    BuddyRequestWindow* window = Find(app, item.nNumber);
    if (window == nullptr)
        window = new BuddyRequestWindow(app, item);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void BuddyRequestWindow::ShowButtons() {
    accept_->setEnabled(model_.CanAnswer());
    refuse_->setEnabled(model_.CanAnswer());
    message_->setEnabled(model_.CanSendMessage());
}

void BuddyRequestWindow::closeEvent(QCloseEvent* event) {
    closing_ = true;
    model_.Close();
    event->accept();
}

}  // namespace ov::shell
