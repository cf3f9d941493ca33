// pageroom_bench: how long a browser tab takes to be in Pageroom after it moves to another
// page, beside the same groups entered and listed directly with no browser, in the same run.
//
//   cmake --preset release >/dev/null
//   cmake --build build/release -j2 --target pageroom_bench
//   build/release/bin/pageroom_bench [navigations] [runs]      # defaults 100 and 5
//
// Everything runs in this process on real time (the program's Qt timers and the process
// clock; no virtual time): the reference server on loopback with its accounts in memory, one
// client of the shell's logic logged in to it, a headless Chromium (its own profile, found on
// PATH as chromium or chromium-browser) and a tiny web server on 127.0.0.2. A BrowserMonitor
// follows the browser with a recording display per tab; one tab is sent from page to page
// (/p1.html, /p2.html, ... of one site; never the same address twice) with Page.navigate over
// a DevTools WebSocket to the tab that stays open.
//
// Per navigation, from the instant Page.navigate is sent:
//   heard:   the monitor has been told the tab's new address and has asked to enter the page
//            group (the display is given the page's group);
//   entered: the display shows the line that the page was entered ("*** 登录网页 ... 成功。");
//   filled:  the page view's user list is filled: SetUsers for the page view with the page's
//            members (the user among them).
// The baseline, interleaved item by item with the navigations and on the same page names
// (each group is entered, listed and left again before the tab goes there; the server ends a
// group when its last member leaves, so both paths make it afresh): OVGroupInfo of a
// registry of its own, Enter until its enter reply (entered) and then RequestUsers until the
// list reply with the members taken as the lists take them (filled). Both share the one
// client's kernel.
//
// Figures per run: p50, p99 and mean in ms, with the ratio full path / baseline, and the
// same for the part after "heard" (the groups' share of a navigation); then the medians of
// the runs. Five items (navigation and baseline) warm up first and are not counted. An item
// that does not fill within 15 s is told on stderr with what the monitor knew of the tab,
// and left out; after five such the program gives up.
//
// A group object hears the kernel only while it is entering, entered or listing; the tab's
// registry keeps every page it went through (as in a session), left and idle. The count of
// group objects is printed with each run, so that a slowdown from run to run would show.
// Before the browser runs, the groups alone are measured beside 0, 100, navigations x runs and
// twice that many idle group objects (made, never entered), with the ratio to none: what
// objects left idle cost the groups in use (nothing, while idle groups do not listen).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

#include "bench/shell/bench_stats.h"
#include "common/byte_array_variant.h"
#include "common/events/event_sink.h"
#include "platform/com/apartment.h"
#include "platform/com/registration.h"
#include "platform/qt/qt_apartment_pump.h"
#include "server/server.h"
#include "shell/app/qt_timers.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/login_dialog_model.h"
#include "shell/core/machine_settings.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_data_store.h"
#include "shell/pageroom/browser_monitor.h"
#include "shell/pageroom/tests/devtools_calls.h"
#include "shell/pageroom/tests/display_recorder.h"
#include "shell/pageroom/tests/headless_chromium.h"
#include "shell/testing/recorders.h"
#include "shell/testing/temp_home.h"

namespace {

using namespace ov::shell;
using namespace ov::shell::testing;
using ov::bench::Clock;
using ov::bench::Median;
using ov::bench::Ms;

constexpr int kWarmUp = 5;
constexpr int kPatienceMs = 15000;  // per navigation or baseline item
const char kUser[] = "alice";
const char kPassword[] = "pw";
const char kNick[] = "n-alice";

using Stamp = std::optional<Clock::time_point>;

// Runs the event loop, woken at least every 20 ms, until done() or limitMs have passed.
bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer limit;
    limit.start();
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (limit.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets whatever is under way (a leave on its way out, the browser's own replies) go by.
void Pause(int ms) {
    QElapsedTimer t;
    t.start();
    WaitUntil([&] { return t.elapsed() >= ms; }, ms + 100);
}

// ---- The account ----

// Registers an account through a kernel of its own, its events on this thread.
class Registrar final : public OVServiceEventHandler {
public:
    bool Register(int serverPort) {
        ComPtr<IOVService> kernel;
        if (FAILED(CoCreateInstance(CLSID_OVService, &kernel)))
            return false;
        events_.Connect(kernel.Get());
        LONG ok = 0;
        kernel->Init(Bstr::Empty(), 0, &ok);
        LONG seq = 0;
        kernel->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), serverPort, &seq);
        OV_USER_INFO u;
        std::memset(&u, 0, sizeof u);
        u.nMask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD | OV_UFLD_NICKNAME;
        std::strncpy(u.sUserName, kUser, sizeof u.sUserName - 1);
        std::strncpy(u.sNickName, kNick, sizeof u.sNickName - 1);
        std::strncpy(u.sPassword, kPassword, sizeof u.sPassword - 1);
        CByteArrayVariant record(&u, sizeof u);
        kernel->RegisterUser(record.Variant(), &seq);
        WaitUntil([&] { return answered_; }, kPatienceMs);
        events_.Disconnect();
        kernel->Deinit();
        return pin_ != 0;
    }
    void OnRegisterUserReply(LONG, OVErrorCodeEnum eError, LONG nPin, std::string_view) override {
        answered_ = true;
        pin_ = eError == OV_ERR_NONE ? nPin : 0;
    }

private:
    bool answered_ = false;
    LONG pin_ = 0;
    OVServiceEventConnection events_{this};
};

// ---- The client ----

class Client {
public:
    Client() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        pump_ = std::make_unique<QtApartmentPump>(Apartment::Current());
        home_ = QString::fromStdString(temp_.DataHome()) + "/bench";
        QDir().mkpath(home_);
        ShellDesktop desktop;
        desktop.prompts = &prompts_;
        desktop.sounds = &sounds_;
        desktop.tray = &tray_;
        desktop.launcher = &launcher_;
        desktop.timers = &timers_;
        desktop.windows = &windows_;
        desktop.log = [](const QString&) {};
        app_ = std::make_unique<OVShellApp>(QString::fromStdString(GetProgramDirectory()), home_,
                                            std::move(desktop));
    }
    ~Client() {
        if (started_) {
            bool done = false;
            app_->Close([&] { done = true; });
            WaitUntil([&] { return done; }, 5000);
        }
        app_.reset();
        pump_.reset();
        Apartment::Current()->PumpPending();
        CoUninitialize();
    }

    // Starts the client on the server, registers the account and logs in, with the buddy
    // tree and black list of the login in. What failed, or nothing.
    const char* LogIn(int serverPort) {
        MachineSettings machine(app_->Directories().MachineSettingsPath(), app_->Desktop().clock);
        machine.Load();
        const QList<GatewayInfo> gateways{{QStringLiteral("127.0.0.1"), serverPort}};
        machine.SetGateways(GatewayList::Cernet, gateways);
        machine.SetGateways(GatewayList::Chinanet, gateways);
        machine.nNetworkType = 2;
        machine.fAutoRun = 0;
        machine.Save();
        if (!(started_ = app_->Start()))
            return "the client did not start";
        Pause(100);
        Registrar registrar;
        if (!registrar.Register(serverPort))
            return "the account was not registered";
        bool tree = false;
        bool black = false;
        const QMetaObject::Connection watch =
            QObject::connect(&app_->UserData(), &UserDataStore::Notified, [&](int code, qint64) {
                tree = tree || code == kUserDataTreeReceived;
                black = black || code == kUserDataBlackList;
            });
        LoginDialogModel login(*app_);
        if (login.Accept(kUser, kPassword, 0, 2, true) != LoginDialogModel::Outcome::Accepted)
            return "the login dialog refused the login";
        const bool in = WaitUntil(
            [&] { return app_->Frame()->LoggedInToServer() && tree && black; }, kPatienceMs);
        QObject::disconnect(watch);
        return in ? nullptr : "the login did not complete";
    }
    OVShellApp& App() { return *app_; }

private:
    ov::testing::TempHome temp_;  // first: the environment points into it before anything
    std::unique_ptr<QtApartmentPump> pump_;
    QString home_;
    QtTimers timers_;  // real time: the kernel's threads sleep as in the program
    PromptRecorder prompts_;
    SoundRecorder sounds_;
    TrayRecorder tray_;
    LaunchRecorder launcher_;
    WindowRecorder windows_;
    std::unique_ptr<OVShellApp> app_;
    bool started_ = false;
};

// ---- The marks ----

// The three instants of one item; a mark not reached stays empty.
struct Marks {
    Stamp heard, entered, filled;
};

// A tab's display that records as the tests' recorder does and stamps the instants at which
// the page it is told to expect is heard, entered and filled.
class StampingDisplay final : public PageroomDisplay {
public:
    void Expect(const QString& page) {
        page_ = page;
        enteredLine_ = QStringLiteral("*** 登录网页 http://%1 成功。").arg(page);
        marks = {};
    }

    void AddLine(int view, const ChatLine& line) override {
        record.AddLine(view, line);
        if (view == kPageView && !marks.entered && line.text.endsWith(enteredLine_))
            marks.entered = Clock::now();
    }
    void SetUsers(int view, const QList<PageroomUser>& users) override {
        record.SetUsers(view, users);
        if (view == kPageView && marks.entered && !marks.filled && !users.isEmpty() && ShowsPage())
            marks.filled = Clock::now();
    }
    void SetViewGroup(int view, OVGroupInfo* group) override {
        record.SetViewGroup(view, group);
        if (view == kPageView && !marks.heard && ShowsPage())
            marks.heard = Clock::now();
    }
    void SetLineKind(int view, qint64 key, ChatLineKind kind) override {
        record.SetLineKind(view, key, kind);
    }
    void AddUser(int view, const PageroomUser& user) override { record.AddUser(view, user); }
    void RemoveUser(int view, qint32 pin) override { record.RemoveUser(view, pin); }
    void UpdateUser(int view, const PageroomUser& user) override { record.UpdateUser(view, user); }
    int WindowMode() const override { return record.WindowMode(); }
    void SetCaption(const QString& caption) override { record.SetCaption(caption); }
    void LogoAnimate(bool on) override { record.LogoAnimate(on); }
    void LogoFlash() override { record.LogoFlash(); }
    void LogoCount(int view, int count) override { record.LogoCount(view, count); }
    void ShowLogo(bool shown) override { record.ShowLogo(shown); }
    void ShowWindow(bool shown) override { record.ShowWindow(shown); }
    void SetBrowserBounds(const QRect& bounds) override { record.SetBrowserBounds(bounds); }
    void SetActive(bool active) override { record.SetActive(active); }

    DisplayRecorder record;
    Marks marks;

private:
    bool ShowsPage() const {
        const OVGroupInfo* g = record.groups[kPageView];
        return g && !page_.isEmpty() && g->Name() == page_;
    }

    QString page_;
    QString enteredLine_;
};

// The baseline's observer: asks for the list once entered, as the tab's watcher does, and
// takes the members as the lists take them.
class DirectObserver final : public OVGroupObserver {
public:
    void OnGroupEnterReply(OVGroupInfo& group, int error) override {
        if (error == 0 && !marks.entered)
            marks.entered = Clock::now();
        group.RequestUsers();
    }
    void OnGroupListReply(OVGroupInfo& group, int error) override {
        users.clear();
        for (const OV_USER_INFO& u : group.Users())
            users << MemberOf(u);
        if (error == 0 && !users.isEmpty() && marks.entered && !marks.filled)
            marks.filled = Clock::now();
    }

    Marks marks;
    QList<PageroomUser> users;
};

// ---- The two paths ----

// One tab of the followed browser, sent from page to page over its own DevTools socket.
class Tab {
public:
    Tab(quint16 port, const QString& id) {
        socket_.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/devtools/page/%2").arg(port).arg(id)));
        WaitUntil([&] { return socket_.state() == QAbstractSocket::ConnectedState; }, kPatienceMs);
    }
    bool Open() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // Sends Page.navigate; the instant it went.
    Clock::time_point Navigate(const QString& url) {
        const QString call =
            QStringLiteral(R"({"id":%1,"method":"Page.navigate","params":{"url":"%2"}})")
                .arg(nextId_++)
                .arg(url);
        const auto at = Clock::now();
        socket_.sendTextMessage(call);
        socket_.flush();
        return at;
    }

private:
    QWebSocket socket_;
    int nextId_ = 1;
};

struct Sample {
    double heard = 0, entered = 0, filled = 0;
};

// The part of a navigation after the address was heard: the groups' own share.
Sample AfterHeard(const Sample& s) {
    return Sample{0, s.entered - s.heard, s.filled - s.heard};
}

// The tab to the page until its list is filled on the display.
std::optional<Sample> FullPath(Tab& tab, StampingDisplay& display, const TinyWebServer& web,
                               const QString& path) {
    display.Expect(web.Host() + path);
    const auto sent = tab.Navigate(web.Url(path));
    if (!WaitUntil([&] { return display.marks.filled.has_value(); }, kPatienceMs))
        return std::nullopt;
    const Marks& m = display.marks;
    return Sample{Ms(sent, *m.heard), Ms(sent, *m.entered), Ms(sent, *m.filled)};
}

// The page group entered and listed through the registry alone, then left.
std::optional<Sample> Baseline(GroupRegistry& registry, const QString& page) {
    DirectObserver observer;
    OVGroupInfo& group = registry.Acquire(OV_GT_URL, page, &observer);
    const auto sent = Clock::now();
    group.Enter(&observer, nullptr, QString());
    const bool filled = WaitUntil([&] { return observer.marks.filled.has_value(); }, kPatienceMs);
    registry.Release(OV_GT_URL, page, &observer);
    group.LeaveIfIdle(0);
    if (!filled)
        return std::nullopt;
    return Sample{0, Ms(sent, *observer.marks.entered), Ms(sent, *observer.marks.filled)};
}

// What the monitor knew of the tab when it did not fill.
QString Where(const BrowserMonitor& monitor, const QString& id, const StampingDisplay& display) {
    const Marks& m = display.marks;
    const OVGroupInfo* g = display.record.groups[kPageView];
    QString group = QStringLiteral("none");
    if (g)
        group = g->Name() +
                (g->Entered()    ? QStringLiteral(" entered")
                 : g->Entering() ? QStringLiteral(" entering")
                                 : QStringLiteral(" not entered")) +
                (g->Listing() ? QStringLiteral(", listing") : QString());
    return QStringLiteral(
               "heard %1, entered %2; the browser has the tab at %3; the page view "
               "shows %4")
        .arg(m.heard ? "yes" : "no", m.entered ? "yes" : "no",
             monitor.Browser().Tabs().value(id, QStringLiteral("(no tab)")), group);
}

// ---- Figures ----

struct Figures {
    double p50 = 0, p99 = 0, mean = 0;
};

Figures Of(const std::vector<double>& ms) {
    Figures f;
    if (ms.empty())
        return f;
    f.p50 = ov::bench::Percentile(ms, 0.50);
    f.p99 = ov::bench::Percentile(ms, 0.99);
    f.mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    return f;
}

struct RunFigures {
    Figures heard, entered, filled, baseEntered, baseFilled, groupEntered, groupFilled;
};

double Ratio(double a, double b) {
    return b > 0 ? a / b : 0;
}

void PrintRow(const char* what, const Figures& full, const Figures* base) {
    std::printf("  %-8s %8.2f %8.2f %8.2f", what, full.p50, full.p99, full.mean);
    if (base)
        std::printf(" | %8.2f %8.2f %8.2f | %6.2f %6.2f %6.2f\n", base->p50, base->p99, base->mean,
                    Ratio(full.p50, base->p50), Ratio(full.p99, base->p99),
                    Ratio(full.mean, base->mean));
    else
        std::printf(" |\n");
}

void PrintHeader() {
    std::printf("  %-8s %8s %8s %8s | %8s %8s %8s | %6s %6s %6s\n", "ms", "p50", "p99", "mean",
                "p50", "p99", "mean", "p50", "p99", "mean");
    std::printf("  %-8s %26s | %26s | %20s\n", "", "browser -> display", "group alone",
                "ratio full / alone");
}

void PrintFigures(const RunFigures& f) {
    PrintRow("heard", f.heard, nullptr);
    PrintRow("entered", f.entered, &f.baseEntered);
    PrintRow("filled", f.filled, &f.baseFilled);
    std::printf("  after heard (the groups' share of the navigation):\n");
    PrintRow("entered", f.groupEntered, &f.baseEntered);
    PrintRow("filled", f.groupFilled, &f.baseFilled);
}

// The groups alone beside `idle` group objects on the same kernel that were made and never
// entered (as the tab's registry keeps every page it went through): the filled figures of
// `items` groups, for each count of idle objects. Empty when a group did not fill.
std::vector<Figures> IdleGroupsCost(IOVService* kernel, const QString& host,
                                    const std::vector<int>& idle, int items) {
    std::vector<Figures> out;
    GroupRegistry idleGroups(kernel);
    int made = 0;
    for (const int count : idle) {
        for (; made < count; ++made)
            idleGroups.Acquire(OV_GT_URL, host + QStringLiteral("/idle%1.html").arg(made), nullptr);
        GroupRegistry registry(kernel);
        std::vector<double> filled;
        for (int i = 1; i <= items; ++i) {
            const std::optional<Sample> s =
                Baseline(registry, host + QStringLiteral("/i%1-%2.html").arg(count).arg(i));
            if (!s)
                return {};
            filled.push_back(s->filled);
            Pause(5);
        }
        out.push_back(Of(filled));
    }
    return out;
}

Figures MedianOf(const std::vector<RunFigures>& runs, Figures RunFigures::*which) {
    std::vector<double> p50, p99, mean;
    for (const RunFigures& r : runs) {
        p50.push_back((r.*which).p50);
        p99.push_back((r.*which).p99);
        mean.push_back((r.*which).mean);
    }
    return {Median(p50), Median(p99), Median(mean)};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int navigations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QApplication qapp(argc, argv);
    if (HeadlessChromium::Program().isEmpty()) {
        std::fprintf(stderr, "no chromium or chromium-browser on PATH\n");
        return 1;
    }

    Client client;  // first: its temporary home holds the server's and the browser's files
    ov::server::ServerConfig config;
    config.listen.port = 0;
    config.databasePath = ":memory:";
    config.passwordCost = ov::server::PasswordCost::kMinimal;
    ov::server::Log quiet{[](std::string_view) {}};
    ov::server::Server server(config, nullptr, &quiet);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "server: %s\n", error.c_str());
        return 1;
    }
    int status = 1;
    {
        if (const char* failed = client.LogIn(server.Port())) {
            std::fprintf(stderr, "%s\n", failed);
            server.Stop();
            server.Join();
            return 1;
        }
        OVShellApp& app = client.App();
        TinyWebServer web;
        HeadlessChromium browser;
        const WaitFor wait = [](const std::function<bool()>& done) {
            return WaitUntil(done, kPatienceMs);
        };
        const quint16 port = browser.Port(wait);

        // Before the tab makes any group: what idle group objects cost the groups alone.
        const std::vector<int> idle{0, 100, navigations * runs, 2 * navigations * runs};
        const std::vector<Figures> cost =
            IdleGroupsCost(app.Kernel(), web.Host(), idle, navigations);
        if (cost.empty()) {
            std::fprintf(stderr, "a group alone did not fill\n");
        } else {
            std::printf(
                "group alone, filled, beside idle group objects on the kernel (%d groups each)\n",
                navigations);
            std::printf("  %-8s %8s %8s %8s | %6s\n", "idle", "p50", "p99", "mean", "p50 / none");
            for (size_t k = 0; k < idle.size(); ++k)
                std::printf("  %-8d %8.2f %8.2f %8.2f | %6.2f\n", idle[k], cost[k].p50, cost[k].p99,
                            cost[k].mean, Ratio(cost[k].p50, cost[0].p50));
            std::printf("\n");
        }

        GroupRegistry tabGroups(app.Kernel());
        std::map<QString, StampingDisplay*> displays;
        BrowserMonitor monitor(
            tabGroups,
            [&](const QString& id) {
                auto display = std::make_unique<StampingDisplay>();
                displays[id] = display.get();
                return display;
            },
            [] { return QString::fromLatin1(kNick); }, app.Desktop().clock, [] { return false; });
        QString id;
        if (port != 0) {
            monitor.Start(port);
            if (WaitUntil([&] { return monitor.Browser().Connected(); }, kPatienceMs))
                id = OpenTab(port, web.Url("/p0.html"), wait);
        }
        std::unique_ptr<Tab> tab;
        if (!id.isEmpty() && WaitUntil([&] { return displays.count(id) != 0; }, kPatienceMs) &&
            WaitUntil([&] { return !displays[id]->record.users[kPageView].isEmpty(); },
                      kPatienceMs))
            tab = std::make_unique<Tab>(port, id);
        if (!tab || !tab->Open()) {
            std::fprintf(stderr, "the browser did not start, or its tab did not join\n");
        } else {
            StampingDisplay& display = *displays[id];
            auto baseGroups = std::make_unique<GroupRegistry>(app.Kernel());
            int page = 1;
            int misses = 0;  // items that did not fill, left out of the figures
            constexpr int kMaxMisses = 5;
            // One item: the baseline on the next page, then the tab to it.
            auto item = [&](Sample* full, Sample* base) {
                const QString path = QStringLiteral("/p%1.html").arg(page++);
                const std::optional<Sample> b = Baseline(*baseGroups, web.Host() + path);
                Pause(5);
                const std::optional<Sample> f = FullPath(*tab, display, web, path);
                Pause(5);
                if (!b)
                    std::fprintf(stderr, "%s: the group alone did not fill\n", qPrintable(path));
                if (!f)
                    std::fprintf(stderr, "%s: the tab did not fill; %s\n", qPrintable(path),
                                 qPrintable(Where(monitor, id, display)));
                if (!b || !f) {
                    ++misses;
                    return false;
                }
                *full = *f;
                *base = *b;
                return true;
            };

            std::printf(
                "pageroom: %d navigations of one tab a run, %d runs (+%d warm-up items); "
                "Chromium %s on real time\n",
                navigations, runs, kWarmUp, qPrintable(HeadlessChromium::Program()));
            for (int i = 0; i < kWarmUp; ++i) {
                Sample f, b;
                item(&f, &b);
            }
            bool ok = misses < kMaxMisses;
            std::vector<RunFigures> all;
            for (int r = 1; r <= runs && ok; ++r) {
                std::vector<double> heard, entered, filled, baseEntered, baseFilled, groupEntered,
                    groupFilled;
                const int missesBefore = misses;
                for (int i = 0; i < navigations && ok; ++i) {
                    Sample f, b;
                    if (!item(&f, &b)) {
                        ok = misses < kMaxMisses;
                        continue;
                    }
                    heard.push_back(f.heard);
                    entered.push_back(f.entered);
                    filled.push_back(f.filled);
                    baseEntered.push_back(b.entered);
                    baseFilled.push_back(b.filled);
                    groupEntered.push_back(AfterHeard(f).entered);
                    groupFilled.push_back(AfterHeard(f).filled);
                }
                if (!ok)
                    break;
                const RunFigures figures{Of(heard),       Of(entered),    Of(filled),
                                         Of(baseEntered), Of(baseFilled), Of(groupEntered),
                                         Of(groupFilled)};
                all.push_back(figures);
                std::printf(
                    "\nrun %d (group objects on the kernel: %d for the tab, %d alone; %d items "
                    "did not fill)\n",
                    r, tabGroups.Size(), baseGroups->Size(), misses - missesBefore);
                PrintHeader();
                PrintFigures(figures);
                // The groups alone start each run with a fresh registry; the tab's registry
                // keeps every page it went through, as in a session.
                baseGroups = std::make_unique<GroupRegistry>(app.Kernel());
            }
            if (ok) {
                RunFigures m{MedianOf(all, &RunFigures::heard),
                             MedianOf(all, &RunFigures::entered),
                             MedianOf(all, &RunFigures::filled),
                             MedianOf(all, &RunFigures::baseEntered),
                             MedianOf(all, &RunFigures::baseFilled),
                             MedianOf(all, &RunFigures::groupEntered),
                             MedianOf(all, &RunFigures::groupFilled)};
                std::printf("\nmedian of %d runs\n", runs);
                PrintHeader();
                PrintFigures(m);
                status = 0;
            }
        }
        monitor.Stop();
    }
    server.Stop();
    server.Join();
    return status;
}
