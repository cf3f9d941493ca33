// orvane: the desktop program. It builds the Qt desktop (prompts, sounds, tray, launcher,
// timers, windows), hands it to the application object and runs the event loop; the kernel's
// events reach this thread through the apartment's pump.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "platform/com/apartment.h"
#include "platform/qt/qt_apartment_pump.h"
#include "shell/app/canberra_sounds.h"
#include "shell/app/dbus_notifier.h"
#include "shell/app/orvane_application.h"
#include "shell/app/qt_launcher.h"
#include "shell/app/qt_prompts.h"
#include "shell/app/qt_shell_windows.h"
#include "shell/app/qt_timers.h"
#include "shell/app/qt_tray.h"
#include "shell/core/machine_settings.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_directories.h"
#include "shell/core/widgets/shell_menus.h"
#include "shell/core/widgets/starshelf_window.h"
#include "shell/diagnostics/shell_diagnostics.h"
#include "shell/diagnostics/widgets/saving_file_window.h"
#include "shell/pageroom/pageroom_service.h"
#include "shell/pageroom/widgets/pageroom_display_qt.h"
#include "shell/skin/skin_manager.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}

// A window system to talk to, or a clear word instead of Qt's abort.
bool HaveDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

// Program data stands next to the executable in the build tree, under share/orvane when
// installed.
QString ProgramDirectory() {
    const QString here = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    if (QFileInfo::exists(here + QStringLiteral("Skins")))
        return here;
    const QString installed = QDir(here + QStringLiteral("../share/orvane")).absolutePath();
    if (QFileInfo::exists(installed + QStringLiteral("/Skins")))
        return installed + QLatin1Char('/');
    return here;
}

// --server HOST:PORT puts one server in both gateway lists of orvane.dat before start-up
// (scripts and tests that run their own server).
bool ApplyServerOption(const QStringList& args, ov::shell::OVShellApp& app) {
    const qsizetype i = args.indexOf(QStringLiteral("--server"));
    if (i < 0)
        return true;
    const QString value = args.value(i + 1);
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const int port = colon > 0 ? value.mid(colon + 1).toInt(&ok) : 0;
    if (!ok || port <= 0 || port > 65535) {
        std::fprintf(stderr, "orvane: --server wants HOST:PORT, not \"%s\"\n",
                     value.toLocal8Bit().constData());
        return false;
    }
    using namespace ov::shell;
    const GatewayInfo gateway{value.left(colon), port};
    MachineSettings machine(app.Directories().MachineSettingsPath(), app.Desktop().clock);
    machine.Load();
    machine.SetGateways(GatewayList::Cernet, {gateway});
    machine.SetGateways(GatewayList::Chinanet, {gateway});
    return machine.Save();
}

}  // namespace

int main(int argc, char** argv) {
    if (!HaveDisplay()) {
        std::fprintf(stderr,
                     "orvane: no display to show windows on (DISPLAY and WAYLAND_DISPLAY are "
                     "unset); orvane-console drives the same kernel from a terminal\n");
        return 2;
    }
    ov::shell::OrvaneApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));
    // The program lives in the tray (or its status window) with every window closed.
    QApplication::setQuitOnLastWindowClosed(false);

    using namespace ov::shell;
    const QString programDirectory = ProgramDirectory();
    QApplication::setWindowIcon(QIcon(programDirectory + QStringLiteral("orvane.ico")));

    // Events of the kernel's threads are posted to this thread's apartment; the pump runs
    // them from Qt's loop.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    QtApartmentPump pump(Apartment::Current());
    InstallQtComponentMessageBoxes();

    OVSkin skin;
    skin.SetBaseDirectory((programDirectory + QStringLiteral("Skins/")).toStdString());
    QtPrompts prompts;
    CanberraSounds sounds(programDirectory + QStringLiteral("sound/"));
    QtTray tray(skin, QApplication::windowIcon(),
                qEnvironmentVariableIntValue("ORVANE_STATUS_WINDOW") != 0);
    QtLauncher launcher;
    QtTimers timers;
    QtShellWindows windows;
    DBusNotifier notifier;

    // The diagnostics come first: they look at how the last run ended (and may ask about it),
    // and report crashes and hangs from here on.
    const QString dataHome = ResolveDataHome();
    ShellDiagnostics diagnostics(dataHome, &prompts, &launcher);
    diagnostics.Init();
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&diagnostics] { diagnostics.Heartbeat(); });
    heartbeat.start(1000);
    diagnostics.Heartbeat();
    qapp.SetInternalErrorHandler([&](const QString& what, bool tell) {
        diagnostics.Log().Write("Internal error: " + what.toStdString());
        if (!tell)
            return;
        SavingFileWindow saving;
        ShowInternalError(prompts, diagnostics, DesktopFolder(), [&saving](bool on) {
            if (on)
                saving.ShowNow();
            else
                saving.hide();
        });
    });

    std::unique_ptr<OVShellApp> app;
    bool closing = false;
    ShellDesktop desktop;
    desktop.prompts = &prompts;
    desktop.sounds = &sounds;
    desktop.tray = &tray;
    desktop.launcher = &launcher;
    desktop.timers = &timers;
    desktop.windows = &windows;
    desktop.notifier = &notifier;
    desktop.skin = &skin;
    desktop.screen = [] {
        QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    };
    desktop.loadSkin = [&skin] { return skin.Load("orvane"); };
    desktop.quit = [&] {
        if (closing)
            return;
        closing = true;
        windows.CloseAll();
        app->Close([] { QCoreApplication::quit(); });
    };
    const QString config =
        qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    desktop.autostartFile = config + QStringLiteral("/autostart/orvane.desktop");
    desktop.executable = QCoreApplication::applicationFilePath();
    desktop.log = [&diagnostics](const QString& text) {
        diagnostics.Log().Write(text.toStdString());
    };

    app = std::make_unique<OVShellApp>(programDirectory, dataHome, std::move(desktop));
    OVShellApp::SetInstance(app.get());
    windows.Attach(*app);
    tray.SetMenuFactory(
        [&app](TrayMenu which, QWidget* parent) { return CreateTrayMenu(*app, which, parent); });
    tray.SetIconObserver([&windows](const QString& key) {
        if (StarshelfWindow* w = windows.Starshelf())
            w->SetStatusIcon(key);
    });

    // SIGTERM and SIGINT end the program as "退出" does: logged out, nothing half written.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &qapp);
        QObject::connect(notifier, &QSocketNotifier::activated, &qapp, [&] {
            char c;
            (void)!::read(g_signalPipe[0], &c, 1);
            app->Desktop().quit();
        });
        struct sigaction sa {};
        sa.sa_handler = OnTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    // Pageroom: a logo and a window beside every browser tab it follows.
    std::unique_ptr<PageroomService> pageroom;
    pageroom = std::make_unique<PageroomService>(*app, [&app, &pageroom](const QString&) {
        return std::make_unique<QtPageroomDisplay>(*app, pageroom->Gate());
    });
    app->SetPageroom(pageroom.get());

    // A start that is refused (another instance, a broken installation) still ends normally.
    const bool started = ApplyServerOption(QCoreApplication::arguments(), *app) && app->Start();
    const int rc = started ? QApplication::exec() : 1;
    windows.CloseAll();
    app->SetPageroom(nullptr);
    pageroom.reset();
    tray.Remove();
    app.reset();
    OVShellApp::SetInstance(nullptr);
    CoUninitialize();
    diagnostics.MarkCleanExit();
    return rc;
}
