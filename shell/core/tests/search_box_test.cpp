// The search box: the catalogue's line rules, taking the box's text apart into key and query,
// and the box on a whole client reading the program's own CommData/Search.Dat - user
// searches go to the frame, web searches to the launcher, the right click offers the
// catalogue.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include "shell/core/search_box_model.h"
#include "shell/core/search_catalogue.h"
#include "shell/core/tests/flow_fixture.h"
#include "shell/core/widgets/search_box.h"

namespace ov::shell {
namespace {

// The tree as "category>" lines and "  name key template" lines under them.
QStringList Outline(const QList<SearchNode>& nodes, const QString& indent = {}) {
    QStringList out;
    for (const SearchNode& n : nodes) {
        if (n.category)
            out << indent + n.name + ">";
        else
            out << indent + QStringLiteral("%1 %2 %3 %4")
                                .arg(n.number)
                                .arg(n.name, n.key, n.urlTemplate);
        out << Outline(n.children, indent + "  ");
    }
    return out;
}

TEST(SearchCatalogueTest, LinesAreTrimmedCommentsSkippedAndEndStopsReading) {
    const SearchCatalogue c = SearchCatalogue::Parse(
        "; heading\r\n"
        "\r\n"
        "search(1, top, t, https://t/?q=%s)\r\n"
        "   [web]   \r\n"
        "\tsearch(2, Web, w, https://w/?q=%s)\t\r\n"
        ";search(3, hidden, h, https://h/?q=%s)\r\n"
        "not a line kind\r\n"
        "[empty]\n"
        "[open\n"
        "search(4, Open, o, https://o/?q=%s)\n"
        ":end\n"
        "search(5, after, a, https://a/?q=%s)\n"
        "[later]\n");
    EXPECT_EQ(Outline(c.Nodes()),
              (QStringList{"1 top t https://t/?q=%s", "web>", "  2 Web w https://w/?q=%s", "empty>",
                           "open>", "  4 Open o https://o/?q=%s"}));
    EXPECT_EQ(c.Find("h"), nullptr);
    EXPECT_EQ(c.Find("a"), nullptr);
}

TEST(SearchCatalogueTest, EntryFieldsFollowTheCommasAndTheLastParenthesis) {
    const SearchCatalogue c = SearchCatalogue::Parse(
        "[x]\n"
        "search( 12 , two  words , k ,  https://x/?a=(1),2&q=%s ) \n"
        "search(99999999999,big,b,u)\n"
        "search(-3x,neg,n,)\n"
        "searching(7,odd,s,u)\n");
    EXPECT_EQ(Outline(c.Nodes()),
              (QStringList{"x>", "  12 two  words k https://x/?a=(1),2&q=%s",
                           "  2147483647 big b u", "  -3 neg n ", "  0 odd s u"}));
}

TEST(SearchCatalogueTest, MalformedEntriesAreDropped) {
    const SearchCatalogue c = SearchCatalogue::Parse(
        "search\nsearch(\nsearch(1)\nsearch(1,a)\nsearch(1,a,b)\n"
        "search(1,a,b,no closing\n"
        "search(1,a),b,c\n"    // the only ")" comes before the template
        "search(1,a, ,u)\n"    // no key
        "search(1,a,k k,u)\n"  // a key that cannot be typed
        "search(1,kept,k,u)\n");
    EXPECT_EQ(Outline(c.Nodes()), QStringList{"1 kept k u"});
}

TEST(SearchCatalogueTest, FindLooksDepthFirstInFileOrderAndMatchesKeysExactly) {
    const SearchCatalogue c = SearchCatalogue::Parse(
        "[one]\nsearch(1,first,g,u1)\n[g]\nsearch(2,second,g,u2)\nsearch(3,third,G,u3)\n");
    ASSERT_NE(c.Find("g"), nullptr);
    EXPECT_EQ(c.Find("g")->name, "first");
    EXPECT_EQ(c.Find("G")->name, "third");
    EXPECT_EQ(c.Find(""), nullptr);  // a category has no key
    EXPECT_EQ(c.Find("one"), nullptr);
    EXPECT_EQ(c.Find("g "), nullptr);
}

TEST(SearchCatalogueTest, TextIsCodePage936) {
    // "[天气]" and an entry named "百度" with key "bd"
    const SearchCatalogue c = SearchCatalogue::Parse(
        "[\xcc\xec\xc6\xf8]\nsearch(1,\xb0\xd9\xb6\xc8,bd,https://b/?wd=%s)\n\xff\xfe\n");
    EXPECT_EQ(Outline(c.Nodes()), (QStringList{QStringLiteral("天气>"),
                                               QStringLiteral("  1 百度 bd https://b/?wd=%s")}));
}

TEST(SearchCatalogueTest, AMissingFileLoadsNothing) {
    SearchCatalogue c = SearchCatalogue::Parse("search(1,a,b,c)");
    EXPECT_FALSE(c.Load("/nonexistent/CommData/Search.Dat"));
    EXPECT_TRUE(c.IsEmpty());
}

TEST(SearchTextTest, KeyUpToTheFirstBlankAndTheQueryAfterIt) {
    auto parts = [](const QString& text) {
        const SearchRequest r = ParseSearchText(text);
        return QStringList{r.hasKey ? "key " + r.key : "none", r.query};
    };
    EXPECT_EQ(parts("  abc def "), (QStringList{"none", "abc def"}));
    EXPECT_EQ(parts(" /g  abc def "), (QStringList{"key g", "abc def"}));
    EXPECT_EQ(parts("/g\tabc"), (QStringList{"key g", "abc"}));
    EXPECT_EQ(parts("/g"), (QStringList{"key g", ""}));
    EXPECT_EQ(parts("/ abc"), (QStringList{"key ", "abc"}));
    EXPECT_EQ(parts("a /g b"), (QStringList{"none", "a /g b"}));
    EXPECT_EQ(parts("   "), (QStringList{"none", ""}));
}

TEST(SearchTextTest, TheQueryIsPercentEncodedUtf8InPlaceOfTheFirstPercentS) {
    EXPECT_EQ(SearchUrl("https://x/?q=%s", QStringLiteral("a b 天气")),
              "https://x/?q=a%20b%20%E5%A4%A9%E6%B0%94");
    EXPECT_EQ(SearchUrl("https://x/?q=%s&r=%s", "a&b=c/d?#%"),
              "https://x/?q=a%26b%3Dc%2Fd%3F%23%25&r=%s");
    EXPECT_EQ(SearchUrl("https://x/", "abc"), "https://x/");
    EXPECT_EQ(SearchUrl("%s", "-._~"), "-._~");
}

}  // namespace

namespace testing {
namespace {

// Counts the commands posted to the frame as they are delivered.
class PostWatch : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MetaCall)
            ++posted;
        return false;
    }
    int posted = 0;
};

class SearchBoxTest : public ShellFlowTest {
protected:
    ShellClient& Client() {
        ShellClient& c = NewClient("searcher");
        c.WriteGateways({nowhere_.Info()});
        EXPECT_TRUE(Start(c));
        time_->RunDue();
        c.windows.ClearOpened();
        return c;
    }
    // The commands posted to the frame since the last call.
    int Posted(ShellClient& c) {
        PostWatch watch;
        c.Frame().installEventFilter(&watch);
        QCoreApplication::sendPostedEvents(&c.Frame(), QEvent::MetaCall);
        c.Frame().removeEventFilter(&watch);
        return watch.posted;
    }

    DeadGateway nowhere_;
};

TEST_F(SearchBoxTest, TheProgramsCatalogueLoads) {
    ShellClient& c = Client();
    SearchBoxModel model(c.App());
    QStringList top;
    for (const SearchNode& n : model.Catalogue().Nodes())
        top << QStringLiteral("%1 %2").arg(n.name).arg(n.children.size());
    EXPECT_EQ(top, (QStringList{QStringLiteral("网页搜索 4"), QStringLiteral("百科与词典 3"),
                                QStringLiteral("生活 2")}));
    ASSERT_NE(model.Catalogue().Find("g"), nullptr);
    EXPECT_EQ(model.Catalogue().Find("g")->urlTemplate, "https://www.google.com/search?q=%s");
    EXPECT_EQ(model.Catalogue().Find("zz"), nullptr);  // written after ":end"
}

TEST_F(SearchBoxTest, PlainTextIsAUserSearchAndAKeyAWebSearch) {
    ShellClient& c = Client();
    SearchBoxModel model(c.App());
    using Outcome = SearchBoxModel::Outcome;

    EXPECT_EQ(model.Run("  abc  "), Outcome::kUserSearch);
    EXPECT_EQ(c.App().UserSearchText(), "abc");
    EXPECT_EQ(Posted(c), 1);

    EXPECT_EQ(model.Run(QStringLiteral("/g 今天 天气")), Outcome::kWebSearch);
    EXPECT_EQ(
        c.launcher.Opened(),
        QStringList{"url https://www.google.com/search?q=%E4%BB%8A%E5%A4%A9%20%E5%A4%A9%E6%B0%94"});

    // Unknown keys and empty queries do nothing at all.
    for (const char* text : {"/zz abc", "", "   ", "/g", "/g   ", "/ abc", "/G abc"})
        EXPECT_EQ(model.Run(text), Outcome::kNothing) << text;
    EXPECT_EQ(c.launcher.Opened().size(), 1);
    EXPECT_EQ(Posted(c), 0);
    EXPECT_EQ(c.App().UserSearchText(), "abc");
}

void Enter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

TEST_F(SearchBoxTest, TheBoxRunsOnEnterAndOffersTheCatalogueOnARightClick) {
    ShellClient& c = Client();
    QWidget window;
    auto* box = new SearchBox(c.App(), &window);
    window.show();
    EXPECT_EQ(box->accessibleName(), QStringLiteral("搜索"));
    EXPECT_TRUE(box->toolTip().contains(QStringLiteral("查找用户")));

    // The menu: one sub-menu per category, an item per entry.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &click);
    QMenu* menu = box->CategoryMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->title(), QStringLiteral("Orvane搜索"));
    QStringList entries;
    for (QAction* a : menu->actions()) {
        entries << a->text() + (a->menu() ? ">" : "");
        if (a->menu())
            for (QAction* sub : a->menu()->actions())
                entries << "  " + sub->text();
    }
    EXPECT_EQ(entries, (QStringList{QStringLiteral("网页搜索>"), QStringLiteral("  必应"),
                                    QStringLiteral("  百度"), "  Google", QStringLiteral("  搜狗"),
                                    QStringLiteral("百科与词典>"), QStringLiteral("  维基百科"),
                                    QStringLiteral("  百度百科"), QStringLiteral("  有道词典"),
                                    QStringLiteral("生活>"), QStringLiteral("  高德地图"),
                                    QStringLiteral("  中国天气")}));
    menu->hide();

    // Choosing 百度 leaves its key for the person to type the query after.
    QMenu* web = menu->actions().value(0)->menu();
    ASSERT_NE(web, nullptr);
    web->actions().value(1)->trigger();
    EXPECT_EQ(box->text(), "/bd ");
    EXPECT_TRUE(box->toolTip().contains(QStringLiteral("百度")));
    Q_EMIT web->aboutToShow();
    EXPECT_TRUE(web->actions().value(1)->isChecked());
    EXPECT_FALSE(web->actions().value(2)->isChecked());

    Enter(box);  // no query yet
    EXPECT_TRUE(c.launcher.Opened().isEmpty());

    box->insert(QStringLiteral("天气"));
    Enter(box);
    EXPECT_EQ(c.launcher.Opened(),
              QStringList{"url https://www.baidu.com/s?wd=%E5%A4%A9%E6%B0%94"});
    EXPECT_EQ(box->selectedText(), QStringLiteral("/bd 天气"));

    box->setText("someone");
    EXPECT_TRUE(box->toolTip().contains(QStringLiteral("查找用户")));
    Enter(box);
    EXPECT_EQ(c.App().UserSearchText(), "someone");
    EXPECT_EQ(Posted(c), 1);
    EXPECT_EQ(c.launcher.Opened().size(), 1);
}

}  // namespace
}  // namespace testing
}  // namespace ov::shell
