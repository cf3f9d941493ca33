// Private chats between clients of the reference server in this process: a request that is
// accepted, lines both ways with their acknowledgements, the close; a refusal, answers that
// are not for the pending request, a request nobody answers, sending while logged out.
#include "shell/messaging/tests/chat_fixture.h"

namespace ov::shell::testing {
namespace {

using K = ChatLineKind;

TEST_F(ChatTest, AcceptedRequestThenAHundredLinesEachWayAllAcknowledgedThenClosed) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    ChatSession& a = Chat(alice, Pin(bob));
    ChatSession& b = Chat(bob, Pin(alice));
    EXPECT_EQ(a.Status(), U("请输入聊天请求信息 (0/400)"));
    a.SetDraft(U("一起聊聊？\n"));
    // Five characters of two bytes, and the line break as the escaped "\r\n".
    EXPECT_EQ(a.Status(), U("请输入聊天请求信息 (14/400)"));

    ASSERT_TRUE(a.Send(U("一起聊聊？")));
    EXPECT_TRUE(a.RequestPending());
    EXPECT_FALSE(a.CanSend());
    EXPECT_EQ(a.Status(), U("正在发送聊天请求，请稍候..."));
    EXPECT_EQ(Texts(a), QStringList{U("*** 正在发送聊天请求，请稍候...")});
    EXPECT_EQ(alice.sounds.Played(), std::vector<int>{kChatSoundSend});

    ASSERT_TRUE(time_->RunUntil([&] { return b.Offered(); }));
    EXPECT_EQ(Texts(b), (QStringList{U("*** %1请求聊天").arg(b.PeerName()),
                                     U("*** 请求信息：一起聊聊？"), U("*** 你接受吗？")}));
    EXPECT_EQ(Kinds(b), (QList<K>{K::Info, K::Info, K::Info}));
    int cleared = 0;
    QObject::connect(&a, &ChatSession::EditCleared, [&] { ++cleared; });
    b.Accept();
    EXPECT_TRUE(b.Connected());
    EXPECT_EQ(b.Status(), U("请输入聊天信息内容 (0/400)"));
    ASSERT_TRUE(time_->RunUntil([&] { return a.Connected(); }));
    EXPECT_FALSE(a.RequestPending());
    EXPECT_EQ(cleared, 1);  // the request's text leaves the edit
    EXPECT_EQ(a.Status(), U("对方接受聊天！"));
    EXPECT_EQ(Texts(a).last(), U("*** 对方接受聊天！"));
    time_->Advance(ChatSession::kStatusHoldMs);
    EXPECT_EQ(a.Status(), U("请输入聊天信息内容 (0/400)"));

    alice.sounds.Clear();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(a.Send(QStringLiteral("a%1").arg(i)));
        ASSERT_TRUE(b.Send(i == 50 ? U("/me 挥手") : QStringLiteral("b%1").arg(i)));
    }
    ASSERT_TRUE(time_->RunUntil([&] {
        return a.Unacknowledged().isEmpty() && b.Unacknowledged().isEmpty() &&
               a.Lines().size() == 202 && b.Lines().size() == 203;
    })) << a.Unacknowledged().size()
        << " " << b.Unacknowledged().size();
    // Every own line turned to the sent colour; the peer's came in order.
    const auto linesOf = [](const ChatSession& chat, QList<K> kinds) {
        QStringList texts;
        for (const ChatLine& line : chat.Lines())
            if (kinds.contains(line.kind))
                texts << line.text.mid(8);
        return texts;
    };
    const QStringList aliceSent = linesOf(a, {K::OwnSent});
    const QStringList bobSent = linesOf(b, {K::OwnSent, K::OwnActionSent});
    const QStringList fromBob = linesOf(a, {K::Text, K::Action});
    const QStringList fromAlice = linesOf(b, {K::Text});
    ASSERT_EQ(aliceSent.size(), 100);
    ASSERT_EQ(bobSent.size(), 100);
    ASSERT_EQ(fromBob.size(), 100);
    ASSERT_EQ(fromAlice.size(), 100);
    EXPECT_EQ(aliceSent[7], QStringLiteral("<%1> a7").arg(a.OwnName()));
    EXPECT_EQ(fromBob[0], QStringLiteral("<%1> b0").arg(a.PeerName()));
    EXPECT_EQ(fromBob[50], U("* %1 挥手").arg(a.PeerName()));
    EXPECT_EQ(bobSent[50], U("* %1 挥手").arg(b.OwnName()));
    EXPECT_EQ(fromBob[99], QStringLiteral("<%1> b99").arg(a.PeerName()));
    EXPECT_EQ(fromAlice[99], QStringLiteral("<%1> a99").arg(b.PeerName()));
    EXPECT_EQ(std::count(alice.sounds.Played().begin(), alice.sounds.Played().end(),
                         kChatSoundAcknowledged),
              100);
    EXPECT_TRUE(a.Flashing());
    a.StopFlash();
    EXPECT_FALSE(a.Flashing());

    // Bob closes: he is asked first and ticks the box, so his next chat does not ask.
    bob.prompts.Answer(false, false);
    EXPECT_FALSE(b.Close());
    EXPECT_TRUE(b.Connected());
    bob.prompts.Answer(true, true);
    EXPECT_TRUE(b.Close());
    EXPECT_EQ(bob.prompts.Texts(), (QStringList{U("您确定要终止当前的聊天对话吗？"),
                                                U("您确定要终止当前的聊天对话吗？")}));
    alice.sounds.Clear();
    ASSERT_TRUE(time_->RunUntil([&] { return !a.Connected(); }));
    EXPECT_EQ(Texts(a).last(), U("*** 对方关闭连接！"));
    EXPECT_EQ(a.Lines().constLast().kind, K::Error);
    EXPECT_EQ(a.Status(), U("对方关闭连接"));
    EXPECT_EQ(alice.sounds.Played(), std::vector<int>{kChatSoundPeerClosed});
    EXPECT_TRUE(a.CanSend());  // a new request may go out

    ChatSession& again = Chat(bob, Pin(alice));
    Connect(again, a);
    bob.prompts.Clear();
    EXPECT_TRUE(again.Close());
    EXPECT_TRUE(bob.prompts.Texts().isEmpty());
}

TEST_F(ChatTest, ARefusalEndsTheRequestAndAnswersForOtherRequestsAreIgnored) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    ShellClient& carol = LogIn("carol");
    ChatSession& a = Chat(alice, Pin(bob));
    ChatSession& b = Chat(bob, Pin(alice));
    ASSERT_TRUE(a.Send(QString()));  // a request may come without a message
    ASSERT_TRUE(time_->RunUntil([&] { return b.Offered(); }));
    EXPECT_EQ(Texts(b)[1], U("*** 请求信息："));

    // Answers that do not name the pending request, or come from someone else, change nothing.
    const qint32 number = a.RequestNumber();
    a.OnUserMessageReceived(Pin(bob), Pin(alice), OV_COMPONENT_CHAT,
                            ChatCode(kChatRefuse, number + 1), "", 0);
    a.OnUserMessageReceived(Pin(bob), Pin(alice), OV_COMPONENT_CHAT,
                            ChatCode(kChatAccept, number + 1), "", 0);
    a.OnUserMessageReceived(Pin(carol), Pin(alice), OV_COMPONENT_CHAT,
                            ChatCode(kChatAccept, number), "", 0);
    a.OnUserMessageReceived(Pin(bob), Pin(alice), OV_COMPONENT_MESSAGER,
                            ChatCode(kChatAccept, number), "", 0);
    EXPECT_TRUE(a.RequestPending());
    EXPECT_FALSE(a.Connected());
    EXPECT_EQ(a.Lines().size(), 1);
    // A line while unconnected is no line of a chat.
    a.OnUserMessageReceived(Pin(bob), Pin(alice), OV_COMPONENT_CHAT, ChatCode(kChatLine, 3), "hi",
                            0);
    EXPECT_EQ(a.Lines().size(), 1);

    b.Refuse();
    EXPECT_FALSE(b.Offered());
    EXPECT_FALSE(b.Connected());
    ASSERT_TRUE(time_->RunUntil([&] { return !a.RequestPending(); }));
    EXPECT_FALSE(a.Connected());
    EXPECT_EQ(Texts(a).last(), U("*** 对方拒绝聊天！"));
    EXPECT_EQ(a.Lines().constLast().kind, K::Error);
    EXPECT_EQ(a.Status(), U("对方拒绝聊天！"));
    EXPECT_TRUE(a.CanSend());
    // The refusal came before the time-out: no "no answer" line later.
    time_->Advance(ChatSession::kRequestTimeoutMs);
    EXPECT_EQ(Texts(a).last(), U("*** 对方拒绝聊天！"));
}

TEST_F(ChatTest, CrossingRequestsMeetInOneChatAndALaterRequestReadsAsALine) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    ChatSession& a = Chat(alice, Pin(bob));
    ChatSession& b = Chat(bob, Pin(alice));
    ASSERT_TRUE(a.Send("alice asks"));
    ASSERT_TRUE(b.Send("bob asks"));
    ASSERT_TRUE(time_->RunUntil([&] { return a.Offered() && b.Offered(); }));
    EXPECT_TRUE(a.RequestPending());
    a.Accept();
    EXPECT_TRUE(a.Connected());
    EXPECT_FALSE(a.RequestPending());  // her own request is settled by her answer
    ASSERT_TRUE(time_->RunUntil([&] { return b.Connected(); }));
    EXPECT_FALSE(b.Offered());
    EXPECT_FALSE(b.RequestPending());

    // A request that reaches a chat already going is shown as the peer's line.
    const qsizetype before = a.Lines().size();
    a.OnUserMessageReceived(Pin(bob), Pin(alice), OV_COMPONENT_CHAT, ChatCode(kChatRequest, 40),
                            "again?", 0);
    ASSERT_EQ(a.Lines().size(), before + 1);
    EXPECT_EQ(Texts(a).last(), QStringLiteral("<%1> again?").arg(a.PeerName()));
    EXPECT_FALSE(a.Offered());
    EXPECT_TRUE(a.Connected());
}

TEST_F(ChatTest, ALineTheServerNeverTakesIsMarkedFailedAndNotSentAgain) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    ChatSession& a = Chat(alice, Pin(bob));
    ChatSession& b = Chat(bob, Pin(alice));
    Connect(a, b);
    StopServer();
    alice.sounds.Clear();
    ASSERT_TRUE(a.Send(U("还在吗")));
    const qint64 key = a.Lines().constLast().key;
    for (int i = 0; i < 90 && a.Lines().constLast().kind == K::OwnSending; ++i)
        time_->Advance(1000);
    EXPECT_EQ(a.Lines().constLast().kind, K::OwnSendErr);
    EXPECT_EQ(a.Lines().constLast().key, key);
    EXPECT_EQ(a.Status(), U("消息发送错误，发送超时!"));
    EXPECT_TRUE(a.Unacknowledged().isEmpty());
    EXPECT_EQ(alice.sounds.Played(), (std::vector<int>{kChatSoundSend, kChatSoundError}));
    EXPECT_EQ(a.Lines().size(), 3);  // nothing was sent again
    EXPECT_TRUE(a.Connected());
}

TEST_F(ChatTest, ARequestNobodyAnswersEndsAfterAMinute) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");  // no window with alice: nobody answers
    ChatSession& a = Chat(alice, Pin(bob));
    ASSERT_TRUE(a.Send("hello?"));
    time_->Advance(ChatSession::kRequestTimeoutMs - 1000);
    EXPECT_TRUE(a.RequestPending());
    EXPECT_FALSE(a.CanSend());
    EXPECT_EQ(a.Status(), U("正在发送聊天请求，请稍候..."));
    time_->Advance(1000);
    EXPECT_FALSE(a.RequestPending());
    EXPECT_TRUE(a.CanSend());
    EXPECT_EQ(Texts(a).last(), U("*** 对方没有响应聊天请求！"));
    EXPECT_EQ(a.Status(), U("请输入聊天请求信息 (0/400)"));
    // An accept that comes too late finds no request.
    a.OnUserMessageReceived(Pin(bob), Pin(alice), OV_COMPONENT_CHAT, ChatCode(kChatAccept, 1), "",
                            0);
    EXPECT_FALSE(a.Connected());
}

TEST_F(ChatTest, WithoutALoginNothingGoesOutAndTheStatusSaysSo) {
    ShellClient& c = StartClient("nobody");
    ChatSession& chat = Chat(c, 10001);
    EXPECT_FALSE(chat.Send("hi"));
    EXPECT_FALSE(chat.RequestPending());
    EXPECT_TRUE(chat.Lines().isEmpty());
    EXPECT_EQ(chat.Status(), U("无法发送消息，请先登录服务器!"));
    EXPECT_EQ(c.sounds.Played(), std::vector<int>{kChatSoundError});
    time_->Advance(ChatSession::kStatusHoldMs);
    EXPECT_EQ(chat.Status(), U("请输入聊天请求信息 (0/400)"));

    // An incoming request cannot be answered either, and stays offered.
    chat.Offer("hi", 7);
    chat.Accept();
    EXPECT_TRUE(chat.Offered());
    EXPECT_FALSE(chat.Connected());
    // Closing an unconnected chat asks nothing.
    EXPECT_TRUE(chat.Close());
    EXPECT_TRUE(c.prompts.Texts().isEmpty());
}

TEST_F(ChatTest, EmptyLinesAreRefusedAndTheChatSoundsCanBeSilenced) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    ChatSession& a = Chat(alice, Pin(bob));
    ChatSession& b = Chat(bob, Pin(alice));
    Connect(a, b);
    alice.App().Settings().bChatNoSound = true;
    alice.sounds.Clear();
    EXPECT_FALSE(a.Send(QString()));
    EXPECT_EQ(a.Status(), U("消息不能为空!"));
    EXPECT_EQ(alice.sounds.Played(), std::vector<int>{kChatSoundError});  // errors still sound
    time_->Advance(ChatSession::kStatusHoldMs);
    EXPECT_EQ(a.Status(), U("请输入聊天信息内容 (0/400)"));

    alice.sounds.Clear();
    ASSERT_TRUE(a.Send(U("叫 bob 一下")));
    ASSERT_TRUE(a.Send(U("n-bob 你好")));
    ASSERT_TRUE(time_->RunUntil([&] { return a.Unacknowledged().isEmpty(); }));
    EXPECT_TRUE(alice.sounds.Played().empty());  // neither send nor acknowledgement
    // A line that names the receiver stands out for him.
    ASSERT_TRUE(time_->RunUntil([&] { return b.Lines().size() == 5; }));
    EXPECT_EQ(b.Lines()[3].kind, K::Highlight);
    EXPECT_EQ(b.Lines()[4].kind, K::Highlight);
    EXPECT_EQ(Texts(b)[4], U("<%1> n-bob 你好").arg(b.PeerName()));
}

}  // namespace
}  // namespace ov::shell::testing
