#include "shell/wizards/widgets/wizard_frame.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <string>

#include "shell/core/shell_app.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

namespace wizard_ui {

namespace {
constexpr int kFieldWidth = 220;
}  // namespace

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

QLabel* Heading(const char* text) {
    auto* label = new QLabel(Utf8(text));
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    label->setFont(font);
    label->setAccessibleName(label->text());
    return label;
}

QLabel* Note(const char* text) {
    auto* label = new QLabel(Utf8(text));
    label->setWordWrap(true);
    label->setAccessibleName(label->text());
    return label;
}

QVBoxLayout* PageLayout(QWidget* page, const char* heading) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 8);
    layout->addWidget(Heading(heading));
    layout->addSpacing(12);
    return layout;
}

QLineEdit* Edit(const char* name, int maxLength, bool secret) {
    auto* edit = new QLineEdit;
    edit->setAccessibleName(Utf8(name));
    edit->setMaxLength(maxLength);
    edit->setMinimumWidth(kFieldWidth);
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel* FormLabel(const char* text, QWidget* buddy) {
    auto* label = new QLabel(Utf8(text));
    label->setBuddy(buddy);
    label->setAccessibleName(label->text());
    return label;
}

QFormLayout* Form() {
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    return form;
}

QWidget* WaitingPage(const char* heading, QLabel** animation) {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, heading);
    *animation = new QLabel;
    (*animation)->setAlignment(Qt::AlignCenter);
    (*animation)->setAccessibleName(Utf8(heading));
    layout->addStretch();
    layout->addWidget(*animation);
    layout->addStretch();
    return page;
}

QWidget* FailurePage(const char* heading, QLabel** text) {
    auto* page = new QWidget;
    QVBoxLayout* layout = PageLayout(page, heading);
    *text = new QLabel;
    (*text)->setWordWrap(true);
    (*text)->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(*text);
    layout->addStretch();
    return page;
}

}  // namespace wizard_ui

using wizard_ui::Utf8;

WizardFrame::WizardFrame(OVShellApp& app, const QString& title, const char* pictureKey,
                         QWidget* parent)
    : QDialog(parent), app_(app), pictureKey_(pictureKey) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(title);
    setAccessibleName(title);

    picture_ = new QLabel;
    picture_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    picture_->setAccessibleName(title);
    pages_ = new QStackedWidget;

    back_ = new QPushButton(Utf8("< 上一步(&B)"));
    back_->setAccessibleName(Utf8("上一步"));
    next_ = new QPushButton(Utf8("下一步(&N) >"));
    next_->setAccessibleName(Utf8("下一步"));
    cancel_ = new QPushButton(Utf8("取消"));
    cancel_->setAccessibleName(Utf8("取消"));
    finish_ = new QPushButton(Utf8("完成(&F)"));
    finish_->setAccessibleName(Utf8("完成"));
    for (QPushButton* button : {back_, next_, cancel_, finish_})
        button->setAutoDefault(false);
    connect(back_, &QPushButton::clicked, this, [this] { OnBack(); });
    connect(next_, &QPushButton::clicked, this, [this] { OnNext(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(finish_, &QPushButton::clicked, this, [this] { OnFinish(); });

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(picture_);
    body->addWidget(pages_, 1);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 8, 12, 12);
    buttons->addStretch();
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addSpacing(12);
    buttons->addWidget(cancel_);
    buttons->addWidget(finish_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(body, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);
}

WizardFrame::~WizardFrame() = default;

void WizardFrame::AddPage(QWidget* page) {
    pages_->addWidget(page);
}

void WizardFrame::ShowFramePage(int page) {
    pages_->setCurrentIndex(page);
    ShowPicture(page);
}

void WizardFrame::ShowPicture(int page) {
    OVSkin* skin = app_.Desktop().skin;
    const std::string key = pictureKey_.toStdString() + std::to_string(page + 1);
    const COVBitmap* bitmap = skin != nullptr ? skin->GetBitmap("Bitmaps", key.c_str()) : nullptr;
    if (bitmap == nullptr) {
        picture_->clear();
        picture_->hide();
        return;
    }
    int scale = 1;
    QPixmap pixmap = QPixmap::fromImage(bitmap->ImageFor(devicePixelRatioF(), &scale));
    pixmap.setDevicePixelRatio(scale);
    picture_->setPixmap(pixmap);
    picture_->show();
}

void WizardFrame::SetButtons(bool back, bool next, bool cancel, bool finish) {
    back_->setEnabled(back);
    next_->setEnabled(next);
    cancel_->setEnabled(cancel);
    finish_->setEnabled(finish);
    (finish ? finish_ : next_)->setDefault(true);
}

void WizardFrame::PlayAnimation(QLabel* label, const char* key) {
    if (movie_ == nullptr) {
        std::string file;
        OVSkin* skin = app_.Desktop().skin;
        if (skin == nullptr || !skin->Config().GetString("AVIs", key, &file))
            return;
        movie_ = new QMovie(skin->PathOf(file), QByteArray(), this);
        label->setMovie(movie_);
    }
    movie_->start();
}

void WizardFrame::StopAnimation() {
    if (movie_ != nullptr)
        movie_->stop();
}

void WizardFrame::CloseEnded() {
    if (!closing_)
        close();
}

void WizardFrame::reject() {
    if (CancelEnabled())
        OnCancel();
}

void WizardFrame::closeEvent(QCloseEvent* event) {
    closing_ = true;
    OnClose();
    // Not QDialog's: it would reject() and keep the window when that does not hide it.
    event->accept();
}

}  // namespace ov::shell
