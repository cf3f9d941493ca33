// orvane-skinshots OUT_DIR [SKIN ...] [--scale 2]
// Pictures of the skinned windows for the documentation: the Pageroom window (bitmap
// buttons, edit box, list box), the Pageroom logo (bitmap, labels, digit displays) and a
// skinned pop-up menu, drawn with each named skin (default: orvane and slate) into
// OUT_DIR/skin-<name>-<scale>x.png. The chat area shows a plain text view in the ChatView
// colours: the chat view itself belongs to the messaging windows.
#include <QApplication>
#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QTextBrowser>
#include <cstdio>
#include <cstring>

#include "shell/skin/skin_geometry.h"
#include "shell/skin/skin_manager.h"
#include "shell/skin/skin_paint.h"
#include "shell/skin/widgets/skin_controls.h"
#include "shell/skin/widgets/skin_form.h"
#include "shell/skin/widgets/skin_menu.h"

namespace {

QString U(const char* text) {
    return QString::fromUtf8(text);
}

class ChatColours : public OVSkinItem {
public:
    ChatColours() : OVSkinItem("ChatView") {}
    QString Colour(const char* key) const {
        COLORREF c = 0;
        return GetColor(key, &c) ? ov::skin::ToQColor(c).name() : QString("#000000");
    }
};

QIcon Face(const QString& programDir, const char* file) {
    QIcon icon;
    for (const QImage& image : OVSkin::ReadIconImages(programDir + "/face/" + file))
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

// A window's picture as it shows on screen: its own pixels inside its shape.
void Place(QPainter& p, QWidget& window, QPoint at) {
    const QPixmap shot = window.grab();
    p.save();
    if (!window.mask().isEmpty())
        p.setClipRegion(window.mask().translated(at));
    p.drawPixmap(at, shot);
    p.restore();
}

bool Shoot(const QString& programDir, const QString& name, const QString& out) {
    OVSkin skin;
    skin.SetBaseDirectory((programDir + "/Skins").toStdString());
    if (!skin.Load(name.toStdString()))
        return false;

    // The Pageroom window.
    OVSkinForm window("PageroomWnd");
    window.setWindowTitle(U("网站模式 - http://www.example.com"));
    window.setAccessibleName(U("Pageroom窗口"));
    window.SetCaptionButtons({});
    window.SetSkin(&skin);
    const auto button = [&](const char* skinName, const char* tip) {
        auto* b = new OVSkinBitmapButton(&window);
        b->setToolTip(U(tip));
        b->setAccessibleName(U(tip));
        window.AddChild(b, skinName);
        return b;
    };
    button("System", "系统菜单");
    button("Lock", "是否固定窗口(不自动隐藏)");
    OVSkinBitmapButton* site = button("Site", "切换到网站模式");
    site->setCheckable(true);
    site->setChecked(true);
    button("URL", "切换到网页模式");
    button("SendMessage", "发送信息");
    auto* users = new OVSkinListBox(&window);
    users->setAccessibleName(U("当前网站用户列表"));
    window.AddChild(users, "SiteUserList");
    users->setIconSize(QSize(16, 16));
    const char* const names[][2] = {{"小明", "face00.ico"},
                                    {"林晓", "face01.ico"},
                                    {"[cloud_walker]", "animal03.ico"},
                                    {"阿杰", "face06.ico"},
                                    {"[sunny]", "face05.ico"},
                                    {"王芳", "face09.ico"},
                                    {"[10086]", "animal01.ico"},
                                    {"陈晨", "face02.ico"},
                                    {"周一", "face07.ico"},
                                    {"[pixel]", "animal04.ico"},
                                    {"赵蕾", "face11.ico"},
                                    {"孙悦", "face03.ico"},
                                    {"李雷", "face04.ico"},
                                    {"韩梅梅", "face10.ico"},
                                    {"[moon]", "animal06.ico"},
                                    {"刘洋", "face08.ico"},
                                    {"[river]", "animal00.ico"},
                                    {"吴倩", "face01.ico"},
                                    {"何东", "face06.ico"},
                                    {"[kite]", "animal07.ico"}};
    for (const auto& [user, face] : names)
        users->addItem(new QListWidgetItem(Face(programDir, face), U(user)));
    users->setCurrentRow(1);
    auto* edit = new OVSkinEdit(&window);
    edit->setAccessibleName(U("消息"));
    window.AddChild(edit, "MessageEdit");
    edit->setText(U("对 <林晓> 说：晚上一起看这个页面吗？"));

    ChatColours chat;
    chat.SetSkin(&skin);
    OVPosition pos{};
    chat.SetInstanceName("PageroomWnd");
    ChatColours siteChat;
    chat.AddChild(&siteChat, "SiteChat");
    siteChat.GetPosition("posWindow", &pos);
    auto* view = new QTextBrowser(&window);
    view->setAccessibleName(U("网站聊天"));
    view->setFrameShape(QFrame::NoFrame);
    LOGFONT lf{};
    if (siteChat.GetFont("fontText", &lf))
        view->setFont(ov::skin::ToQFont(lf));
    view->setStyleSheet(
        QString("QTextBrowser { background: %1; border: 1px solid %2; }")
            .arg(siteChat.Colour("clrBackground"), siteChat.Colour("clrBackground2")));
    const auto line = [&](const char* key, const char* text) {
        return QString("<div style='color:%1'>%2</div>")
            .arg(siteChat.Colour(key), U(text).toHtmlEscaped());
    };
    view->setHtml(line("clrTextInfo", "*** 获取网站在线用户列表成功") +
                  line("clrText", "[20:14] <小明> 大家好！") +
                  line("clrTextJoin", "*** 林晓 进入了本网站") +
                  line("clrTextAction", "[20:15] * 林晓 挥了挥手") +
                  line("clrTextOwnSent", "[20:15] <阿杰> 欢迎欢迎") +
                  line("clrTextHighlight", "[20:16] <林晓> 阿杰，这篇文章写得真好") +
                  line("clrTextOwnSending", "[20:16] <阿杰> 是啊，我也在看") +
                  line("clrTextPart", "*** [sunny] 离开了本网站"));
    window.resize(470, 380);
    view->setGeometry(ov::skin::CalcRect(pos, window.rect()));
    window.show();
    view->setGeometry(ov::skin::CalcRect(pos, window.rect()));

    // The Pageroom logo.
    OVSkinForm logo("Pageroom");
    logo.setAccessibleName(U("Pageroom"));
    logo.SetCaptionButtons({});
    logo.SetSkin(&skin);
    auto* picture = new OVSkinBitmap(&logo);
    picture->setAccessibleName(U("Pageroom"));
    logo.AddChild(picture, "Animation");
    POINT offset{1, 1};
    logo.GetPoint("ptLogoAniOffset", &offset);
    picture->SetPicture(skin.GetBitmap("pageroom.logo0.bmp"));
    const auto label = [&](const char* skinName, const char* text) {
        auto* l = new OVSkinLabel(&logo);
        l->setText(text);
        l->setAccessibleName(text);
        logo.AddChild(l, skinName);
    };
    label("SameSite", "Same Site");
    label("SameURL", "Same Page");
    const auto count = [&](const char* skinName, const char* tip, int value) {
        auto* d = new OVSkinDigit(&logo);
        d->setToolTip(U(tip));
        d->setAccessibleName(U(tip));
        logo.AddChild(d, skinName);
        d->SetValue(value);
    };
    count("SameSiteUserNum", "当前网站在线用户数", 128);
    count("SameURLUserNum", "当前网页在线用户数", 14);
    logo.show();
    // The logo's own code places its animation picture at ptLogoAniOffset.
    picture->setGeometry(offset.x, offset.y, 28, 28);

    // The online-status menu with the skin's menu icons.
    OVSkinMenu menu(&skin);
    menu.setAccessibleName(U("在线状态"));
    const char* const entries[][2] = {{"正常上线", "sStatusOnline"},
                                      {"暂时离开", "sStatusAway"},
                                      {"请勿打扰", "sStatusDND"},
                                      {"假装离线", "sStatusInvis"}};
    QAction* first = nullptr;
    for (const auto& [text, key] : entries) {
        QAction* a = menu.addAction(skin.LoadIcon("Icons.Menu", key), U(text));
        first = first ? first : a;
    }
    menu.addSeparator();
    menu.addAction(skin.LoadIcon("Icons.Menu", "sStatusOffline"), U("脱机离线"));
    QAction* manager = menu.addAction(U("信息管理器"));
    manager->setEnabled(false);
    OVSkinMenu* more = menu.AddSkinMenu(U("系统设置(&O)"));
    more->addAction(U("显示Orvane(&N)"));
    menu.adjustSize();
    menu.setActiveAction(menu.actions().at(1));

    // A plain dialog with the caption buttons.
    OVSkinForm dialog;
    dialog.setWindowTitle(U("Orvane提示"));
    dialog.setAccessibleName(U("Orvane提示"));
    dialog.SetCaptionButtons(OVSkinForm::Minimize | OVSkinForm::Maximize | OVSkinForm::Close |
                             OVSkinForm::Help);
    dialog.SetSkin(&skin);
    auto* message = new OVSkinLabel(&dialog);
    message->setText(U("服务器地址不能为空"));
    message->setAccessibleName(message->text());
    dialog.AddChild(message, "Message");
    dialog.resize(254, 140);
    dialog.show();
    message->setGeometry(20, 52, 220, 24);

    const qreal ratio = window.devicePixelRatioF();
    const QSize canvasSize(800, 450);
    QImage canvas(canvasSize * ratio, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient desk(0, 0, canvasSize.width(), canvasSize.height());
    desk.setColorAt(0, QColor(0xDD, 0xE4, 0xEC));
    desk.setColorAt(1, QColor(0xC6, 0xD0, 0xDC));
    p.fillRect(QRect(QPoint(0, 0), canvasSize), desk);
    Place(p, window, {24, 24});
    Place(p, logo, {522, 24});
    Place(p, menu, {522, 84});
    Place(p, dialog, {522, 286});
    p.end();
    return canvas.save(out);
}

}  // namespace

int main(int argc, char** argv) {
    QStringList skins;
    QString outDir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc)
            qputenv("QT_SCALE_FACTOR", argv[++i]);
        else if (outDir.isEmpty())
            outDir = QString::fromLocal8Bit(argv[i]);
        else
            skins << QString::fromLocal8Bit(argv[i]);
    }
    if (outDir.isEmpty()) {
        std::fprintf(stderr, "usage: %s OUT_DIR [SKIN ...] [--scale 2]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (skins.isEmpty())
        skins = {"orvane", "slate"};
    QDir().mkpath(outDir);
    const int scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                          ? qRound(qEnvironmentVariable("QT_SCALE_FACTOR").toDouble())
                          : 1;
    bool ok = true;
    for (const QString& skin : skins) {
        const QString file = QDir(outDir).filePath(QString("skin-%1-%2x.png").arg(skin).arg(scale));
        if (!Shoot(QCoreApplication::applicationDirPath(), skin, file)) {
            std::fprintf(stderr, "cannot draw the skin %s\n", qPrintable(skin));
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
