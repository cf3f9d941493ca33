// Reading the DevTools endpoint: only page tabs count, a reply is told apart from an event,
// and a window's place is known only while it has one.
#include <gtest/gtest.h>

#include "shell/pageroom/devtools_messages.h"

namespace ov::shell {
namespace {

using Kind = DevToolsMessage::Kind;

TEST(DevToolsMessages, PageTabsAndRepliesAreReadEverythingElseIsNothing) {
    DevToolsMessage m = ParseDevToolsMessage(
        R"({"method":"Target.targetInfoChanged","params":{"targetInfo":
            {"targetId":"T1","type":"page","url":"http://a.example/x"}}})");
    EXPECT_EQ(m.kind, Kind::TabChanged);
    EXPECT_EQ(m.tab, "T1");
    EXPECT_EQ(m.address, "http://a.example/x");

    m = ParseDevToolsMessage(R"({"method":"Target.targetDestroyed","params":{"targetId":"T1"}})");
    EXPECT_EQ(m.kind, Kind::TabClosed);
    EXPECT_EQ(m.tab, "T1");

    m = ParseDevToolsMessage(R"({"id":4,"error":{"code":-32000}})");
    EXPECT_EQ(m.kind, Kind::Reply);
    EXPECT_EQ(m.replyId, 4);
    EXPECT_FALSE(WindowOf(m.result)) << "an error names no window";

    // Workers, tabs without an id, other methods and broken text.
    for (
        const char* text :
        {R"({"method":"Target.targetCreated","params":{"targetInfo":{"targetId":"W","type":"service_worker","url":"http://a.example/"}}})",
         R"({"method":"Target.targetCreated","params":{"targetInfo":{"type":"page","url":"http://a.example/"}}})",
         R"({"method":"Target.targetDestroyed","params":{}})",
         R"({"method":"Page.frameNavigated","params":{}})", "{", "", "[1,2]"})
        EXPECT_EQ(ParseDevToolsMessage(text).kind, Kind::None) << text;

    EXPECT_EQ(PageTabsOf(R"([{"id":"B","type":"page"},{"id":"W","type":"worker"},
                             {"type":"page"},{"id":"A","type":"page"}])"),
              (QStringList{"B", "A"}));
    EXPECT_TRUE(PageTabsOf("{}").isEmpty());
}

TEST(DevToolsMessages, AWindowHasAPlaceOnlyWhileItShows) {
    auto window = [](const char* text) { return WindowOf(ParseDevToolsMessage(text).result); };
    auto normal = window(R"({"id":1,"result":{"windowId":3,"bounds":
        {"left":-8,"top":20,"width":800,"height":600,"windowState":"normal"}}})");
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->id, 3);
    EXPECT_EQ(normal->bounds, QRect(-8, 20, 800, 600));

    auto minimised = window(R"({"id":1,"result":{"windowId":3,"bounds":
        {"left":0,"top":0,"width":800,"height":600,"windowState":"minimized"}}})");
    ASSERT_TRUE(minimised);
    EXPECT_TRUE(minimised->bounds.isNull());
    auto shapeless = window(R"({"id":1,"result":{"windowId":3,"bounds":{"width":-5}}})");
    ASSERT_TRUE(shapeless);
    EXPECT_TRUE(shapeless->bounds.isNull());
    EXPECT_FALSE(window(R"({"id":1,"result":{"windowId":"3"}})"));
}

}  // namespace
}  // namespace ov::shell
