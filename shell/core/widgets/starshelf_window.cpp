#include "shell/core/widgets/starshelf_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "shell/core/shell_app.h"
#include "shell/core/widgets/buddy_list_view.h"
#include "shell/core/widgets/search_box.h"
#include "shell/core/widgets/shell_menus.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

namespace {

constexpr QSize kDefaultSize(260, 560);
constexpr QSize kMinimumSize(220, 380);
constexpr QMargins kPadding(8, 8, 8, 8);
constexpr int kFaceSize = 48;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The owner's face until faces are chosen: a neutral head and shoulders, drawn at the
// screen's resolution.
class FacePicture : public QWidget {
public:
    explicit FacePicture(QWidget* parent = nullptr) : QWidget(parent) {
        setFixedSize(kFaceSize, kFaceSize);
        setAccessibleName(Text("头像"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath frame;
        frame.addRoundedRect(box, 6, 6);
        QLinearGradient back(box.topLeft(), box.bottomLeft());
        back.setColorAt(0, QColor(0xE8, 0xF0, 0xFC));
        back.setColorAt(1, QColor(0xC9, 0xD9, 0xF2));
        p.fillPath(frame, back);
        p.save();
        p.setClipPath(frame);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x8A, 0xA4, 0xC8));
        const qreal w = box.width();
        p.drawEllipse(QPointF(box.center().x(), box.top() + w * 0.38), w * 0.18, w * 0.18);
        p.drawEllipse(QPointF(box.center().x(), box.bottom() + w * 0.14), w * 0.36, w * 0.36);
        p.restore();
        p.setPen(QPen(QColor(0xA9, 0xB8, 0xCC), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(frame);
    }
};

}  // namespace

StarshelfWindow::StarshelfWindow(OVShellApp& app, QWidget* parent)
    : OVSkinForm("Starshelf", parent), app_(app) {
    SetCaptionButtons(OVSkinForm::Minimize | OVSkinForm::Close);

    auto* face = new FacePicture;
    name_ = new QLabel;
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    name_->setTextFormat(Qt::PlainText);
    name_->setMinimumWidth(1);  // long names are cut, never widen the window

    statusMenu_ = CreateStatusMenu(app_, this);
    status_ = new QToolButton;
    status_->setText(Text("我的状态"));
    status_->setAccessibleName(status_->text());
    status_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    status_->setPopupMode(QToolButton::InstantPopup);
    status_->setAutoRaise(true);
    status_->setMenu(statusMenu_);

    // The buddy area: the search box, a busy line while the tree downloads, the tree.
    buddyArea_ = new QFrame;
    buddyArea_->setObjectName(QStringLiteral("buddyArea"));
    buddyArea_->setStyleSheet(QStringLiteral(
        "#buddyArea { background: #FFFFFF; border: 1px solid #D5DCE4; border-radius: 4px; }"));
    search_ = new SearchBox(app_);
    progress_ = new QWidget;
    progress_->setAccessibleName(Text("正在获取好友列表……"));
    auto* progressText = new QLabel(progress_->accessibleName());
    progressText->setStyleSheet(QStringLiteral("color: #5A6B80;"));
    auto* progressBar = new QProgressBar;
    progressBar->setRange(0, 0);  // how long it takes is not known
    progressBar->setTextVisible(false);
    progressBar->setFixedHeight(4);
    progressBar->setAccessibleName(progress_->accessibleName());
    progressBar->setStyleSheet(
        QStringLiteral("QProgressBar { border: none; background: #E4EBF3; border-radius: 2px; }"
                       "QProgressBar::chunk { background: #4A8FE0; border-radius: 2px; }"));
    auto* progressLayout = new QVBoxLayout(progress_);
    progressLayout->setContentsMargins(4, 2, 4, 2);
    progressLayout->setSpacing(3);
    progressLayout->addWidget(progressText);
    progressLayout->addWidget(progressBar);
    progress_->hide();
    buddyList_ = new BuddyListView(app_);
    auto* buddyLayout = new QVBoxLayout(buddyArea_);
    buddyLayout->setContentsMargins(4, 4, 4, 4);
    buddyLayout->setSpacing(4);
    buddyLayout->addWidget(search_);
    buddyLayout->addWidget(progress_);
    buddyLayout->addWidget(buddyList_, 1);

    menu_ = CreateMainMenu(app_, this);
    mainMenu_ = new QToolButton;
    mainMenu_->setText(Text("主菜单"));
    mainMenu_->setAccessibleName(mainMenu_->text());
    mainMenu_->setIcon(QApplication::windowIcon());
    mainMenu_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    mainMenu_->setPopupMode(QToolButton::InstantPopup);
    mainMenu_->setAutoRaise(true);
    mainMenu_->setMenu(menu_);

    auto* who = new QVBoxLayout;
    who->setSpacing(2);
    who->addWidget(name_);
    who->addWidget(status_, 0, Qt::AlignLeft);
    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(face);
    top->addLayout(who, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(mainMenu_);
    bottom->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addLayout(top);
    layout->addWidget(buddyArea_, 1);
    layout->addLayout(bottom);

    SetTitle(Text("Orvane(未登录)"));
    SetStatusIcon(QString());
    if (app_.Desktop().skin)
        SetSkin(app_.Desktop().skin);
    Fit();
    resize(kDefaultSize);
}

StarshelfWindow::~StarshelfWindow() = default;

void StarshelfWindow::OnApply() {
    OVSkinForm::OnApply();
    Fit();
}

void StarshelfWindow::Fit() {
    if (!layout())
        return;
    layout()->setContentsMargins(ClientMargins() + kPadding);
    setMinimumSize(minimumSize().expandedTo(kMinimumSize));
    ShowStatusIcon();
}

void StarshelfWindow::SetTitle(const QString& title) {
    setWindowTitle(title);
    setAccessibleName(title);
    name_->setText(title);
    name_->setToolTip(title);
}

void StarshelfWindow::ShowTreeProgress(bool show) {
    progress_->setVisible(show);
}

void StarshelfWindow::SetStatusIcon(const QString& trayIconKey) {
    statusIconKey_ = trayIconKey;
    ShowStatusIcon();
}

void StarshelfWindow::ShowStatusIcon() {
    const OVSkin* skin = app_.Desktop().skin;
    QIcon icon;
    if (skin && !statusIconKey_.isEmpty())
        icon = skin->LoadIcon("Icons.Tray", statusIconKey_.toLatin1().constData());
    if (icon.isNull())
        icon = QApplication::windowIcon();
    status_->setIcon(icon);
    setWindowIcon(icon);
}

void StarshelfWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

}  // namespace ov::shell
