// shell_startup_bench: how long a messenger takes from its process start to its first window
// on the screen, and how much memory it holds once in use and idle, beside Pidgin and Psi
// started the same way on the same display (each only when installed).
//
//   xvfb-run -a -s "-screen 0 1280x800x24" build/release/bin/shell_startup_bench build/release/bin
//   [runs]
//
// orvane runs against the reference server on loopback with an account that logs in at
// start (security level 4); its memory is read 10 s after the login. The others start with
// an empty home (no account: no server of their protocols runs here); theirs is read 10 s
// after their first window. Times are medians of the runs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shell/core/machine_settings.h"
#include "shell/core/user_directories.h"
#include "shell/core/user_settings.h"

// Xlib last: its macros (Bool, Status, ...) break Qt's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIdleSeconds = 10;

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env)
            putenv(strdup(e.c_str()));
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

std::string WindowName(Display* d, Window w) {
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(d, w, netName, 0, 1024, False, utf8, &type, &format, &n, &after,
                           &data) == Success &&
        data) {
        name.assign(reinterpret_cast<char*>(data), n);
        XFree(data);
    }
    return name;
}

// Waits for the first top-level window mapped on the screen; seconds since start, or none.
std::optional<double> FirstMap(Display* d, Clock::time_point start, double limit) {
    while (std::chrono::duration<double>(Clock::now() - start).count() < limit) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && !e.xmap.override_redirect)
                return std::chrono::duration<double>(Clock::now() - start).count();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::nullopt;
}

// Waits until a top-level window's title contains the text.
bool WaitForTitle(Display* d, const std::string& text, double limit) {
    const auto start = Clock::now();
    while (std::chrono::duration<double>(Clock::now() - start).count() < limit) {
        Window root, parent, *children = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n)) {
            for (unsigned i = 0; i < n; ++i)
                if (WindowName(d, children[i]).find(text) != std::string::npos) {
                    XFree(children);
                    return true;
                }
            if (children)
                XFree(children);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

struct Figures {
    std::vector<double> firstWindow;
    std::vector<double> rssMiB;
};

int FreeUdpPort() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// One start of orvane with an account that logs in at start.
bool RunOrvane(Display* d, const std::string& bin, Figures& f) {
    QTemporaryDir work;
    const QString home = work.path() + "/home";
    const int port = FreeUdpPort();
    const std::string server = "127.0.0.1:" + std::to_string(port);
    std::vector<std::string> env{"ORVANE_HOME=" + home.toStdString(),
                                 "ORVANE_REGISTRY=" + (work.path() + "/registry").toStdString(),
                                 "XDG_CONFIG_HOME=" + (work.path() + "/config").toStdString()};
    pid_t srv = Spawn({bin + "/orvane-server", "--listen", server, "--db", ":memory:"}, env);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The console ends at the end of its input: it is given time for the reply.
    const std::string registration = "printf 'sleep 1500\\nquit\\n' | env " + env[0] + " " +
                                     env[1] + " " + bin + "/orvane-console --server " + server +
                                     " --register bench:bench-pw >/dev/null 2>&1";
    if (system(registration.c_str()) != 0)
        std::fprintf(stderr, "orvane: the registration did not run\n");

    using namespace ov::shell;
    UserDirectories dirs(home);
    dirs.Create("bench");
    UserSettings settings;
    settings.Load("bench", dirs.UserFile("bench", QString::fromLatin1(kUserSettingsFileName)),
                  QRect(0, 0, 1280, 800));
    settings.sUserName = "bench";
    settings.sPassword = "bench-pw";
    settings.nSecurityLevel = 4;
    settings.bFirstLogin = 0;
    settings.bStarshelfWndShowing = 1;
    settings.Save();
    MachineSettings machine(dirs.MachineSettingsPath());
    machine.Load();
    machine.sLastLoginUserName = "bench";
    machine.fAutoRun = 0;
    machine.SetGateways(GatewayList::Cernet, {GatewayInfo{"127.0.0.1", port}});
    machine.SetGateways(GatewayList::Chinanet, {GatewayInfo{"127.0.0.1", port}});
    machine.Save();

    XSync(d, True);
    const auto start = Clock::now();
    pid_t pid = Spawn({bin + "/orvane"}, env);
    const auto first = FirstMap(d, start, 30);
    const bool loggedIn = WaitForTitle(d, "bench(在线)", 30);
    if (!first || !loggedIn)
        std::fprintf(stderr, "orvane: first window %s, login %s\n", first ? "seen" : "not seen",
                     loggedIn ? "seen" : "not seen");
    if (first && loggedIn) {
        std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
        f.firstWindow.push_back(*first);
        f.rssMiB.push_back(RssKiB(pid) / 1024.0);
    }
    Stop(pid);
    Stop(srv);
    return first && loggedIn;
}

// One start of another messenger with an empty home.
bool RunOther(Display* d, const std::string& program, Figures& f) {
    QTemporaryDir work;
    std::vector<std::string> env{"HOME=" + work.path().toStdString(),
                                 "XDG_CONFIG_HOME=" + (work.path() + "/.config").toStdString(),
                                 "XDG_DATA_HOME=" + (work.path() + "/.local/share").toStdString()};
    XSync(d, True);
    const auto start = Clock::now();
    pid_t pid = Spawn({program}, env);
    const auto first = FirstMap(d, start, 30);
    if (first) {
        std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
        f.firstWindow.push_back(*first);
        f.rssMiB.push_back(RssKiB(pid) / 1024.0);
    }
    Stop(pid);
    return first.has_value();
}

bool Installed(const std::string& program) {
    return system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: shell_startup_bench BIN_DIR [runs]\n");
        return 2;
    }
    const std::string bin = argv[1];
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "shell_startup_bench: no display (run it under xvfb-run)\n");
        return 2;
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);

    Figures orvane, pidgin, psi;
    for (int i = 0; i < runs; ++i) {
        if (!RunOrvane(d, bin, orvane))
            std::fprintf(stderr, "orvane run %d: no window or no login within 30 s\n", i + 1);
        if (Installed("pidgin"))
            RunOther(d, "pidgin", pidgin);
        if (Installed("psi"))
            RunOther(d, "psi", psi);
    }

    std::printf("%-8s %6s %18s %22s\n", "program", "runs", "first window (ms)",
                "RSS after 10 s (MiB)");
    auto row = [](const char* name, const Figures& f) {
        if (f.firstWindow.empty()) {
            std::printf("%-8s %6s\n", name, "-");
            return;
        }
        std::printf("%-8s %6zu %18.0f %22.1f\n", name, f.firstWindow.size(),
                    Median(f.firstWindow) * 1000, Median(f.rssMiB));
    };
    row("orvane", orvane);
    row("pidgin", pidgin);
    row("psi", psi);
    if (!orvane.firstWindow.empty() && !psi.firstWindow.empty())
        std::printf("first window orvane/psi: %.2f (goal <= 0.50)\n",
                    Median(orvane.firstWindow) / Median(psi.firstWindow));
    if (!orvane.rssMiB.empty() && !pidgin.rssMiB.empty())
        std::printf("RSS orvane/pidgin: %.2f (goal <= 1.00)\n",
                    Median(orvane.rssMiB) / Median(pidgin.rssMiB));
    XCloseDisplay(d);
    return orvane.firstWindow.empty() ? 1 : 0;
}
