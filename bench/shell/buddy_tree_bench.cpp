// shell_buddy_tree_bench: how long the buddy list takes to show a big tree, and to show one
// buddy's new status, beside a plain QTreeWidget that builds everything again from the user's
// data (what a simpler client does) on the same data in the same run.
//
//   cmake --preset release >/dev/null
//   cmake --build build/release -j2 --target shell_buddy_tree_bench
//   build/release/bin/shell_buddy_tree_bench [runs]          # offscreen unless QT_QPA_PLATFORM
//   xvfb-run -a -s "-screen 0 1280x800x24" build/release/bin/shell_buddy_tree_bench
//
// The data: 1 000 buddies in 20 groups (Chinese names, a tenth without a display name, mixed
// statuses, faces of the catalogue) arriving as a head, body parts and a tail of 100 nodes,
// and a black list of 200 users in two parts. The program's Starshelf window (skin
// "orvane") stands at its normal size; the plain tree is a window of the same size as its
// buddy list.
//
//   tree:   from the call with the tail of the tree until the list's viewport has painted
//           and the event loop has flushed the frame (what a person sees); five trees a
//           run, each over an emptied tree, and their median;
//   status: SetBuddyStatus of one buddy scrolled into sight until its list has painted
//           again, for 200 buddies going online, away, busy or offline; median and p95.
//
// Each run builds its window afresh over an empty tree; the first run of each warms the
// face caches and is not counted. Figures are the medians of the runs (default 5) with the
// ratio ours / plain; the store alone (the tail with nothing drawn) is shown for scale. The
// client's kernel runs on the program's timers, idle (nobody logs in).
#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QIcon>
#include <QLocale>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "bench/shell/bench_stats.h"
#include "platform/com/apartment.h"
#include "platform/com/registration.h"
#include "platform/qt/qt_apartment_pump.h"
#include "shell/app/qt_timers.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"
#include "shell/core/widgets/buddy_list_view.h"
#include "shell/core/widgets/face_icon.h"
#include "shell/core/widgets/starshelf_window.h"
#include "shell/skin/skin_manager.h"
#include "shell/testing/recorders.h"
#include "shell/testing/temp_home.h"

namespace {

using namespace ov::shell;
using namespace ov::shell::testing;
using ov::bench::Clock;
using ov::bench::Median;
using ov::bench::Ms;

constexpr int kBuddies = 1000;
constexpr int kGroups = 20;  // the default group and 19 of the user's own
constexpr int kBlack = 200;
constexpr int kPartSize = 100;
constexpr int kStatusChanges = 200;
constexpr int kTreesPerRun = 5;
constexpr int kFirstPin = 10001;
constexpr int kFirstBlackPin = 60001;

double P95(std::vector<double> v) {
    return ov::bench::Percentile(std::move(v), 0.95);
}

long ProcStatusKb(const char* field) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// ---- The data ----

const char* const kGroupNames[kGroups - 1] = {
    "同事",   "同学",   "家人",   "大学室友", "高中同学", "球友",   "驴友",
    "客户",   "供应商", "老乡",   "研究生组", "读书会",   "摄影群", "邻居",
    "前同事", "网友",   "合作方", "部门领导", "兴趣小组"};
const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周",
                                 "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "罗",
                                 "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹"};
const char* const kGiven[] = {"伟",   "芳",   "娜",   "秀英", "敏",   "静",   "丽",   "强",
                              "磊",   "军",   "洋",   "勇",   "艳",   "杰",   "娟",   "涛",
                              "明",   "超",   "秀兰", "霞",   "平",   "刚",   "桂英", "建华",
                              "文",   "华",   "建国", "红",   "志强", "晓东", "海燕", "子轩",
                              "雨涵", "浩然", "欣怡", "梓涵", "一鸣", "思远", "嘉怡", "宇航"};
const char* const kPinyin[] = {"wang", "li",   "zhang", "liu",  "chen",  "yang",  "huang", "zhao",
                               "wu",   "zhou", "xu",    "sun",  "ma",    "zhu",   "hu",    "guo",
                               "he",   "gao",  "lin",   "luo",  "zheng", "liang", "xie",   "song",
                               "tang", "xu",   "han",   "feng", "deng",  "cao"};

quint32 StatusOf(int i) {
    // Roughly: 40 % online, 8 % away, 4 % busy, the rest offline.
    const int k = (i * 37) % 100;
    if (k < 40)
        return OV_ONLINE_STATUS_ONLINE;
    if (k < 48)
        return OV_ONLINE_STATUS_AWAY;
    if (k < 52)
        return OV_ONLINE_STATUS_DND;
    return OV_ONLINE_STATUS_OFFLINE;
}

struct TreeData {
    QList<QList<OV_BUDDY_TREE_NODE>> treeParts;
    QList<QList<OV_USER_INFO>> blackParts;
    QList<qint32> pins;
};

TreeData MakeData(const QList<qint32>& faces) {
    TreeData d;
    QList<OV_BUDDY_TREE_NODE> nodes;
    for (int g = 0; g < kGroups - 1; ++g) {
        OV_BUDDY_TREE_NODE n{};
        n.bIsBuddyGroup = 1;
        n.nBuddyNodeID = static_cast<quint32>(g + 2);
        SetText(n.sDisplayName, QString::fromUtf8(kGroupNames[g]));
        nodes.push_back(n);
    }
    constexpr int kSurnameCount = std::size(kSurnames);
    constexpr int kGivenCount = std::size(kGiven);
    for (int i = 0; i < kBuddies; ++i) {
        OV_BUDDY_TREE_NODE n{};
        const int s = i % kSurnameCount;
        const int given = (i / kSurnameCount + i) % kGivenCount;
        n.nBuddyNodeID = static_cast<quint32>(kFirstPin + i);
        // Groups of uneven sizes, as people keep them.
        n.nParentBuddyGroupID = static_cast<quint32>(1 + (i * i + 3 * i) % kGroups);
        if (i % 10 != 7)
            SetText(n.sDisplayName,
                    QString::fromUtf8(kSurnames[s]) + QString::fromUtf8(kGiven[given]));
        SetText(n.sUserName, QStringLiteral("%1%2").arg(QString::fromLatin1(kPinyin[s])).arg(i));
        n.nIcon = static_cast<quint32>(faces.isEmpty() ? 0 : faces[i % faces.size()]);
        n.nOnlineStatus = StatusOf(i);
        nodes.push_back(n);
        d.pins.push_back(kFirstPin + i);
    }
    for (qsizetype at = 0; at < nodes.size(); at += kPartSize)
        d.treeParts.push_back(nodes.mid(at, kPartSize));

    QList<OV_USER_INFO> black;
    for (int i = 0; i < kBlack; ++i) {
        OV_USER_INFO u{};
        u.nPin = static_cast<quint32>(kFirstBlackPin + i);
        SetText(u.sUserName, QStringLiteral("ad_%1_%2").arg(kPinyin[i % 30]).arg(i));
        u.nIcon = static_cast<quint32>(faces.isEmpty() ? 0 : faces[(i * 7) % faces.size()]);
        black.push_back(u);
    }
    for (qsizetype at = 0; at < black.size(); at += kPartSize)
        d.blackParts.push_back(black.mid(at, kPartSize));
    return d;
}

template <typename Part, typename Collect>
void Feed(const QList<QList<Part>>& parts, Collect collect, bool withTail) {
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if (last && !withTail)
            return;
        collect(i == 0 ? OV_LISTFLAG_HEAD : last ? OV_LISTFLAG_TAIL : OV_LISTFLAG_BODY, parts[i]);
    }
}

// ---- Seeing the paint ----

class PaintWatch final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

// Runs the event loop until the viewport has painted (and the event that painted it, which
// flushes the frame, has returned). False after five seconds without a paint.
bool WaitPainted(const PaintWatch& watch, int before) {
    QElapsedTimer limit;
    limit.start();
    while (watch.paints == before) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (limit.elapsed() > 5000)
            return false;
    }
    return true;
}

// Lets everything queued happen, paints included.
void Settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// ---- The plain tree: everything again from the user's data at every change ----

class PlainTree final : public QTreeWidget {
public:
    explicit PlainTree(OVShellApp& app) : app_(app) {
        setHeaderHidden(true);
        setColumnCount(1);
        setIconSize(QSize(24, 24));
        if (const OVSkin* skin = app_.Desktop().skin) {
            groupIcon_ = QIcon(
                QPixmap::fromImage(skin->LoadIconImage("Icons.UserList", "sBuddyOpened", 16, 16)));
            blackIcon_ = QIcon(QPixmap::fromImage(
                skin->LoadIconImage("Icons.UserList", "sBlackListClosed", 16, 16)));
        }
        collator_.setCaseSensitivity(Qt::CaseInsensitive);
        connect(&app_.UserData(), &UserDataStore::Notified, this, [this](int code, qint64) {
            if (code == kUserDataBuddyStatus || code == kUserDataBuddyTree ||
                code == kUserDataBlackList)
                Rebuild();
        });
        Rebuild();
    }
    QTreeWidgetItem* ItemOf(qint32 pin) const { return items_.value(pin); }

private:
    static bool Online(quint32 s) {
        return s != OV_ONLINE_STATUS_OFFLINE && s != OV_ONLINE_STATUS_INVISIBLE;
    }
    void Rebuild() {
        UserDataStore& data = app_.UserData();
        const QList<BuddyNodeRecord> nodes = data.Buddies();
        const QList<OtherUserEntry> black = data.BlackList();
        clear();
        items_.clear();
        struct User {
            qint32 pin;
            QString name;
            QString tip;
            qint32 icon;
            quint32 status;
        };
        QList<std::pair<qint32, QString>> groups{{kDefaultBuddyGroup, QStringLiteral("好友")}};
        QHash<qint32, QList<User>> users;
        for (const BuddyNodeRecord& r : nodes) {
            const auto id = static_cast<qint32>(r.node.nBuddyNodeID);
            if (r.node.bIsBuddyGroup) {
                groups.push_back({id, RecordText(r.node.sDisplayName)});
                continue;
            }
            const QString display = RecordText(r.node.sDisplayName);
            const QString userName = RecordText(r.node.sUserName);
            users[static_cast<qint32>(r.node.nParentBuddyGroupID)].push_back(
                {id, ShortUserName(display, userName, id),
                 LongUserName(display, userName, id, false), static_cast<qint32>(r.node.nIcon),
                 r.node.nOnlineStatus});
        }
        for (const auto& [id, name] : groups) {
            QList<User>& list = users[id];
            std::sort(list.begin(), list.end(), [this](const User& a, const User& b) {
                if (Online(a.status) != Online(b.status))
                    return Online(a.status);
                return collator_.compare(a.name, b.name) < 0;
            });
            const auto online = std::count_if(list.begin(), list.end(),
                                              [](const User& u) { return Online(u.status); });
            auto* g = new QTreeWidgetItem(
                QStringList{QStringLiteral("%1(%2/%3)").arg(name).arg(online).arg(list.size())});
            g->setIcon(0, groupIcon_);
            addTopLevelItem(g);
            for (const User& u : list) {
                auto* item = new QTreeWidgetItem(g, QStringList{u.name});
                item->setIcon(0, QIcon(FaceIcon(app_, u.icon, 24, !Online(u.status))));
                item->setToolTip(0, u.tip);
                items_.insert(u.pin, item);
            }
            g->setExpanded(true);
        }
        auto* b = new QTreeWidgetItem(QStringList{QStringLiteral("黑名单(%1)").arg(black.size())});
        b->setIcon(0, blackIcon_);
        addTopLevelItem(b);
        for (const OtherUserEntry& e : black) {
            auto* item = new QTreeWidgetItem(
                b, QStringList{ShortUserName(e.displayName, {}, static_cast<qint32>(e.nPin))});
            item->setIcon(0, QIcon(FaceIcon(app_, e.icon, 24)));
            items_.insert(static_cast<qint32>(e.nPin), item);
        }
    }

    OVShellApp& app_;
    QIcon groupIcon_;
    QIcon blackIcon_;
    QCollator collator_{QLocale(QLocale::Chinese, QLocale::China)};
    QHash<qint32, QTreeWidgetItem*> items_;
};

// ---- One client with a user's data loaded ----

class Client {
public:
    Client() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        pump_ = std::make_unique<QtApartmentPump>(Apartment::Current());
        skin_.SetBaseDirectory(GetProgramDirectory() + "Skins/");
        skinLoaded_ = skin_.Load("orvane");
        const QString home = QString::fromStdString(home_.DataHome()) + "/bench";
        QDir().mkpath(home + "/alice");
        ShellDesktop desktop;
        desktop.prompts = &prompts_;
        desktop.sounds = &sounds_;
        desktop.tray = &tray_;
        desktop.launcher = &launcher_;
        desktop.timers = &timers_;
        desktop.windows = &windows_;
        desktop.skin = &skin_;
        desktop.log = [](const QString&) {};
        app_ = std::make_unique<OVShellApp>(QString::fromStdString(GetProgramDirectory()), home,
                                            std::move(desktop));
        started_ = app_->Start();
        Settle();
        loaded_ = started_ && app_->UserData().Load("alice", home + "/alice", 2);
    }
    ~Client() {
        bool done = false;
        app_->Close([&] { done = true; });
        QElapsedTimer limit;
        limit.start();
        while (!done && limit.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        app_.reset();
        pump_.reset();
        Apartment::Current()->PumpPending();
        CoUninitialize();
    }
    bool Ready() const { return skinLoaded_ && started_ && loaded_; }
    OVShellApp& App() { return *app_; }

private:
    ov::testing::TempHome home_;  // first: the environment points into it before anything
    std::unique_ptr<QtApartmentPump> pump_;
    QtTimers timers_;  // real time: the kernel's threads sleep as in the program
    OVSkin skin_;
    PromptRecorder prompts_;
    SoundRecorder sounds_;
    TrayRecorder tray_;
    LaunchRecorder launcher_;
    WindowRecorder windows_;
    std::unique_ptr<OVShellApp> app_;
    bool skinLoaded_ = false;
    bool started_ = false;
    bool loaded_ = false;
};

// ---- The runs ----

struct RunFigures {
    double tree = 0;
    std::vector<double> status;
};

// What one run needs of the list it measures.
struct Subject {
    QWidget* window = nullptr;  // shown
    QTreeWidget* list = nullptr;
    std::function<QTreeWidgetItem*(qint32)> itemOf;
};

quint32 NextStatus(quint32 now, int k) {
    if (now == OV_ONLINE_STATUS_OFFLINE)
        return k % 4 == 0 ? OV_ONLINE_STATUS_AWAY : OV_ONLINE_STATUS_ONLINE;
    if (now == OV_ONLINE_STATUS_ONLINE)
        return k % 3 == 0 ? OV_ONLINE_STATUS_DND : OV_ONLINE_STATUS_OFFLINE;
    return OV_ONLINE_STATUS_OFFLINE;
}

void EmptyStore(UserDataStore& data) {
    data.ReplaceBuddyTree({});
    data.ReplaceBlackList({});
}

bool Run(OVShellApp& app, const TreeData& d, const std::function<Subject()>& make,
         const std::function<void()>& destroy, RunFigures* out) {
    UserDataStore& data = app.UserData();
    EmptyStore(data);
    Subject s = make();
    s.window->show();
    PaintWatch watch;
    s.list->viewport()->installEventFilter(&watch);
    Settle();

    Feed(
        d.blackParts, [&](OVListFlagEnum f, const auto& p) { data.CollectBlackList(f, p); }, true);
    Settle();
    std::vector<double> trees;
    bool ok = true;
    int before = 0;
    auto start = Clock::now();
    for (int i = 0; i < kTreesPerRun && ok; ++i) {
        if (i > 0) {
            data.ReplaceBuddyTree({});
            Settle();
        }
        Feed(
            d.treeParts, [&](OVListFlagEnum f, const auto& p) { data.CollectBuddyTree(f, p); },
            false);
        before = watch.paints;
        start = Clock::now();
        data.CollectBuddyTree(OV_LISTFLAG_TAIL, d.treeParts.back());
        ok = WaitPainted(watch, before);
        if (!ok)
            std::fprintf(stderr, "the tree did not paint\n");
        trees.push_back(Ms(start, Clock::now()));
        Settle();
    }
    out->tree = Median(trees);

    out->status.clear();
    for (int k = 0; k < kStatusChanges && ok; ++k) {
        const qint32 pin = d.pins[(k * 5 + 3) % d.pins.size()];
        if (QTreeWidgetItem* item = s.itemOf(pin))
            s.list->scrollToItem(item);
        Settle();
        const quint32 now = data.FindBuddy(pin)->node.nOnlineStatus;
        before = watch.paints;
        start = Clock::now();
        data.SetBuddyStatus(pin, static_cast<int>(NextStatus(now, k)));
        ok = WaitPainted(watch, before);
        if (!ok)
            std::fprintf(stderr, "%d did not paint after %u -> %u\n", pin, now, NextStatus(now, k));
        out->status.push_back(Ms(start, Clock::now()));
    }
    s.list->viewport()->removeEventFilter(&watch);
    destroy();
    Settle();
    return ok;
}

double StoreAlone(OVShellApp& app, const TreeData& d) {
    UserDataStore& data = app.UserData();
    std::vector<double> times;
    for (int i = 0; i < kTreesPerRun; ++i) {
        EmptyStore(data);
        Feed(
            d.treeParts, [&](OVListFlagEnum f, const auto& p) { data.CollectBuddyTree(f, p); },
            false);
        const auto start = Clock::now();
        data.CollectBuddyTree(OV_LISTFLAG_TAIL, d.treeParts.back());
        times.push_back(Ms(start, Clock::now()));
    }
    return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication qapp(argc, argv);

    Client client;
    if (!client.Ready()) {
        std::fprintf(stderr, "the client did not start (skin, kernel or user data)\n");
        return 1;
    }
    OVShellApp& app = client.App();
    QList<qint32> faces;
    for (const FaceGroup& g : app.Faces().Groups())
        for (const FaceItem& f : g.items)
            faces.push_back(f.icon);
    const TreeData data = MakeData(faces);

    std::unique_ptr<StarshelfWindow> starshelf;
    std::unique_ptr<PlainTree> plain;
    QSize listSize(240, 520);
    auto makeOurs = [&] {
        starshelf = std::make_unique<StarshelfWindow>(app);
        starshelf->SetTitle(QStringLiteral("alice(在线)"));
        starshelf->SetStatusIcon("sStatusOnline");
        Subject s{starshelf.get(), starshelf->BuddyList(),
                  [&](qint32 pin) { return starshelf->BuddyList()->ItemOf(pin); }};
        return s;
    };
    auto makePlain = [&] {
        plain = std::make_unique<PlainTree>(app);
        plain->resize(listSize);
        Subject s{plain.get(), plain.get(), [&](qint32 pin) { return plain->ItemOf(pin); }};
        return s;
    };

    std::printf(
        "buddy tree: %d buddies in %d groups, black list %d, %d status changes a run; "
        "%d runs (+1 warm-up each)\n",
        kBuddies, kGroups, kBlack, kStatusChanges, runs);
    std::vector<double> oursTree, plainTree, oursMedian, plainMedian, oursP95, plainP95, store;
    for (int r = 0; r <= runs; ++r) {
        RunFigures ours, simple;
        if (!Run(
                app, data, makeOurs,
                [&] {
                    listSize = starshelf->BuddyList()->size();
                    starshelf.reset();
                },
                &ours) ||
            !Run(
                app, data, makePlain, [&] { plain.reset(); }, &simple)) {
            std::fprintf(stderr, "a list did not paint within five seconds\n");
            return 1;
        }
        const double alone = StoreAlone(app, data);
        if (r == 0) {
            std::printf("list %dx%d (warm-up: ours %.1f ms, plain %.1f ms)\n", listSize.width(),
                        listSize.height(), ours.tree, simple.tree);
            continue;
        }
        oursTree.push_back(ours.tree);
        plainTree.push_back(simple.tree);
        oursMedian.push_back(Median(ours.status));
        plainMedian.push_back(Median(simple.status));
        oursP95.push_back(P95(ours.status));
        plainP95.push_back(P95(simple.status));
        store.push_back(alone);
        std::printf(
            "run %d: tree %.1f / %.1f ms, status median %.2f / %.2f ms, p95 %.2f / "
            "%.2f ms (ours / plain)\n",
            r, ours.tree, simple.tree, oursMedian.back(), plainMedian.back(), oursP95.back(),
            plainP95.back());
    }
    auto line = [](const char* what, const std::vector<double>& ours,
                   const std::vector<double>& simple) {
        const double o = Median(ours);
        const double p = Median(simple);
        std::printf("%-22s %9.2f ms %9.2f ms %8.2f\n", what, o, p, p > 0 ? o / p : 0);
    };
    std::printf("\n%-22s %12s %12s %8s\n", "median of runs", "ours", "plain", "ratio");
    line("tree to painted", oursTree, plainTree);
    line("status median", oursMedian, plainMedian);
    line("status p95", oursP95, plainP95);
    std::printf("store alone (tail)     %9.2f ms\n", Median(store));
    std::printf("peak memory (VmHWM)    %9ld kB (both lists, one process)\n",
                ProcStatusKb("VmHWM"));
    return 0;
}
