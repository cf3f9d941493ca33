// The message text as it travels: header bytes, parsing and its fallbacks, the body limit.
#include "shell/core/message_text.h"

#include <gtest/gtest.h>

namespace ov::shell {
namespace {

const QByteArray kSongTi("\xCB\xCE\xCC\xE5");  // "宋体" in code page 936

TEST(MessageTextTest, HeadersAreByteExact) {
    const MessageStyle plain = SendStyle(DefaultMessageFont(), 0x000000, 0xFFFFFF);
    EXPECT_EQ(StyleHeader(plain), "<Font=FONT(\"" + kSongTi +
                                      "\",12,0,0,0);MsgClr=RGB(0,0,0);BkClr=RGB(255,255,255);>");

    FontSetting font{QStringLiteral("Arial"), 16, 700, true, true, 1};
    const MessageStyle loud = SendStyle(font, 0x0000FF, 0x00FFFF);  // red on yellow
    EXPECT_EQ(
        StyleHeader(loud),
        QByteArray("<Font=FONT(\"Arial\",16,1,1,1);MsgClr=RGB(255,0,0);BkClr=RGB(255,255,0);>"));

    // The body follows the header directly, escaped, with line breaks as "\r\n".
    EXPECT_EQ(ComposeMessage(loud, QStringLiteral("a\\b\nc")),
              StyleHeader(loud) + QByteArray("a\\\\b\\r\\nc"));
}

TEST(MessageTextTest, ParsingReturnsWhatWasComposed) {
    FontSetting font{QStringLiteral("黑体"), 20, 400, false, true, 1};
    const MessageStyle style = SendStyle(font, 0x123456, 0x654321);
    const QString body = QStringLiteral("你好 <b> \\ 第二行\n第三行\t>");
    const ParsedMessage m = ParseMessage(ComposeMessage(style, body));
    EXPECT_TRUE(m.styled);
    EXPECT_EQ(m.style, style);
    EXPECT_EQ(m.body, body);
}

TEST(MessageTextTest, TextsWithoutAValidHeaderAreShownWhole) {
    const MessageStyle defaults;
    struct Case {
        QByteArray wire;
        QString shown;
    };
    const QByteArray numbers = ",12,0,0,0);MsgClr=RGB(0,0,0);BkClr=RGB(255,255,255);>hi";
    const Case cases[] = {
        // "<" without ">".
        {"<just a smile", QStringLiteral("<just a smile")},
        // Another keyword: header and all.
        {"<Size=FONT(\"x\",1);>hi", QStringLiteral("<Size=FONT(\"x\",1);>hi")},
        // Fewer than ten numbers.
        {"<Font=FONT(\"x\",1,2);>hi", QStringLiteral("<Font=FONT(\"x\",1,2);>hi")},
        // A face of 32 characters: the numbers would be read inside the name.
        {"<Font=FONT(\"" + QByteArray(32, 'f') + "\"" + numbers,
         QStringLiteral("<Font=FONT(\"") + QString(32, QLatin1Char('f')) + "\"" +
             QString::fromLatin1(numbers)},
        // No header at all; escapes still apply.
        {"plain\\r\\nline", QStringLiteral("plain\nline")},
    };
    for (const Case& c : cases) {
        const ParsedMessage m = ParseMessage(c.wire);
        EXPECT_FALSE(m.styled) << c.wire.toStdString();
        EXPECT_EQ(m.style, defaults) << c.wire.toStdString();
        EXPECT_EQ(m.body, c.shown) << c.wire.toStdString();
    }
    // A face of exactly 31 characters is still read.
    const ParsedMessage ok = ParseMessage("<Font=FONT(\"" + QByteArray(31, 'f') + "\"" + numbers);
    EXPECT_TRUE(ok.styled);
    EXPECT_EQ(ok.style.face, QString(31, QLatin1Char('f')));
    EXPECT_EQ(ok.body, QStringLiteral("hi"));
}

TEST(MessageTextTest, TheLimitCutsJustBeforeTheCaret) {
    const QString full(kMessageLimit, QLatin1Char('a'));
    EXPECT_FALSE(OverLimitCut(full, 400).has_value());  // exactly 400 is accepted

    // One more character typed in the middle goes again at once.
    QString typed = full;
    typed.insert(200, QLatin1Char('X'));
    auto cut = OverLimitCut(typed, 201);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->start, 200);
    EXPECT_EQ(cut->end, 201);

    // A line break counts four bytes ("\r\n" escaped).
    EXPECT_EQ(EscapedLength(QStringLiteral("a\nb")), 6);
    EXPECT_EQ(EscapedLength(QStringLiteral("\\")), 2);
    EXPECT_EQ(EscapedLength(QStringLiteral("中")), 2);
    QString withBreak = QString(397, QLatin1Char('a')) + QLatin1Char('\n');
    cut = OverLimitCut(withBreak, static_cast<int>(withBreak.size()));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->start, 397);

    // A long paste is cut back until what stays fits.
    QString pasted = QString(300, QLatin1Char('a')) + QString(300, QChar(0x4E2D));
    cut = OverLimitCut(pasted, static_cast<int>(pasted.size()));
    ASSERT_TRUE(cut.has_value());
    QString kept = pasted;
    kept.remove(cut->start, cut->end - cut->start);
    EXPECT_LE(EscapedLength(kept), kMessageLimit);
    EXPECT_GE(EscapedLength(kept), kMessageLimit - 2);

    // Text after the caret alone over the limit: the walk stops at the start.
    const QString after(500, QLatin1Char('z'));
    cut = OverLimitCut(QStringLiteral("ab") + after, 2);
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->start, 0);
    EXPECT_EQ(cut->end, 2);
}

}  // namespace
}  // namespace ov::shell
