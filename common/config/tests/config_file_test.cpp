// Finding and changing entries, and reading the typed value forms.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "common/config/config_file.h"

namespace {

OVConfigFile Parse(const std::string& text) {
    OVConfigFile file;
    EXPECT_TRUE(file.ParseText(text));
    return file;
}

using Lines = std::vector<std::string>;

LOGFONT Font(const char* face, LONG height, LONG weight, BYTE italic, BYTE underline) {
    LOGFONT f{};
    std::strncpy(f.lfFaceName, face, LF_FACESIZE - 1);
    f.lfHeight = height;
    f.lfWeight = weight;
    f.lfItalic = italic;
    f.lfUnderline = underline;
    f.lfCharSet = DEFAULT_CHARSET;
    return f;
}

}  // namespace

TEST(ConfigFileTest, OnlyTheExactSeparatorAndExactNamesMatch) {
    OVConfigFile file = Parse(
        "[Main]\n"
        "tight=1\n"
        "wide  = 2\n"
        "good = 3\n"
        "empty = \n"
        "[main]\n"
        "good = lower\n");
    int n = -1;
    EXPECT_FALSE(file.GetInt("Main", "tight", &n));
    EXPECT_FALSE(file.GetInt("Main", "wide", &n));
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(file.GetInt("Main", "good", &n));
    EXPECT_EQ(n, 3);
    std::string s = "default";
    EXPECT_TRUE(file.GetString("Main", "empty", &s));
    EXPECT_EQ(s, "");
    EXPECT_TRUE(file.GetString("main", "good", &s));
    EXPECT_EQ(s, "lower");
    EXPECT_FALSE(file.GetString("MAIN", "good", &s));
    EXPECT_FALSE(file.GetString("Main", "Good", &s));
    // A key is looked for only up to the next section header.
    EXPECT_EQ(file.FindKey(file.FindSection("Main") + 1, "good", &s), 3);
    EXPECT_EQ(file.FindKey(4, "good", &s), -1);
    EXPECT_EQ(file.FindSection(nullptr), -1);
    EXPECT_FALSE(file.GetString(nullptr, "good", &s));
}

TEST(ConfigFileTest, StringsIntegersAndBooleansReadAsWritten) {
    OVConfigFile file = Parse(
        "[V]\n"
        "quoted = \"two words\"\n"
        "lone = \"\n"
        "pair = \"\"\n"
        "inner = a \"b\" c\n"
        "num = -12px\n"
        "word = none\n"
        "huge = 99999999999\n"
        "untrue = untrue\n"
        "upper = True\n");
    std::string s;
    ASSERT_TRUE(file.GetString("V", "quoted", &s));
    EXPECT_EQ(s, "two words");
    ASSERT_TRUE(file.GetString("V", "lone", &s));
    EXPECT_EQ(s, "\"");
    ASSERT_TRUE(file.GetString("V", "pair", &s));
    EXPECT_EQ(s, "");
    ASSERT_TRUE(file.GetString("V", "inner", &s));
    EXPECT_EQ(s, "a \"b\" c");
    int n = 7;
    ASSERT_TRUE(file.GetInt("V", "num", &n));
    EXPECT_EQ(n, -12);
    ASSERT_TRUE(file.GetInt("V", "word", &n));  // an integer entry that exists always reads
    EXPECT_EQ(n, 0);
    ASSERT_TRUE(file.GetInt("V", "huge", &n));
    EXPECT_EQ(n, INT_MAX);
    bool b = false;
    ASSERT_TRUE(file.GetBool("V", "untrue", &b));
    EXPECT_TRUE(b);  // "true" anywhere in the value
    ASSERT_TRUE(file.GetBool("V", "upper", &b));
    EXPECT_FALSE(b);

    OVConfigFile out;
    out.SetString("V", "s", "\"kept as given\"");
    out.SetBool("V", "b", true);
    out.SetInt("V", "n", -5);
    EXPECT_EQ(out.Lines(), (Lines{"[V]", "n = -5", "b = true", "s = \"kept as given\""}));
}

TEST(ConfigFileTest, StructuredValuesParseOrLeaveTheDefault) {
    OVConfigFile file = Parse(
        "[G]\n"
        "clr = RGB(1,2,3)\n"
        "clrShort = RGB(1,2)\n"
        "clrWide = RGB(256,0,-1)\n"
        "rect = RECT(1,-2,3,4)\n"
        "margin = MARGIN(5, 6, 7, 8)\n"
        "pt = POINT(9,10)\n"
        "sz = SIZE(11,12)\n"
        "pos = POSITION(4,pstPosLT,5,pstPosRB,6,pstSize,0,pstNone)\n"
        "posBad = POSITION(1,2,3)\n");
    COLORREF c = 0xDEADBEEF;
    ASSERT_TRUE(file.GetColor("G", "clr", &c));
    EXPECT_EQ(c, 0x030201u);
    c = 0xDEADBEEF;
    EXPECT_FALSE(file.GetColor("G", "clrShort", &c));
    EXPECT_EQ(c, 0xDEADBEEFu);
    ASSERT_TRUE(file.GetColor("G", "clrWide", &c));  // each part taken as a byte
    EXPECT_EQ(c, 0xFF0000u);

    RECT r{};
    ASSERT_TRUE(file.GetRect("G", "rect", &r));
    EXPECT_EQ(r, (RECT{1, -2, 3, 4}));
    ASSERT_TRUE(file.GetRect("G", "margin", &r));
    EXPECT_EQ(r, (RECT{5, 6, 7, 8}));
    EXPECT_FALSE(file.GetRect("G", "pt", &r));
    POINT p{};
    ASSERT_TRUE(file.GetPoint("G", "pt", &p));
    EXPECT_EQ(p, (POINT{9, 10}));
    SIZE z{};
    ASSERT_TRUE(file.GetSize("G", "sz", &z));
    EXPECT_EQ(z, (SIZE{11, 12}));
    OVPosition pos{};
    ASSERT_TRUE(file.GetPosition("G", "pos", &pos));
    EXPECT_EQ(pos, (OVPosition{{4, pstPosLT}, {5, pstPosRB}, {6, pstSize}, {0, pstNone}}));
    EXPECT_FALSE(file.GetPosition("G", "posBad", &pos));

    OVConfigFile out;
    out.SetColor("G", "clr", 0x00ABCDEF);
    out.SetRect("G", "rect", RECT{-1, 2, -3, 4});
    EXPECT_EQ(out.Lines(), (Lines{"[G]", "rect = RECT(-1,2,-3,4)", "clr = RGB(239,205,171)"}));
}

TEST(ConfigFileTest, FontsRoundTripAndBoldMeansWeight700) {
    OVConfigFile file;
    const char kSongTi[] = "\xCB\xCE\xCC\xE5";  // 宋体 in code page 936
    ASSERT_TRUE(file.SetFont("F", "lfTitle", Font(kSongTi, -12, 700, 1, 0)));
    EXPECT_EQ(file.Lines()[1],
              std::string("lfTitle = FONT(\"") + kSongTi + "\",-12,true,true,false)");
    LOGFONT f{};
    ASSERT_TRUE(file.GetFont("F", "lfTitle", &f));
    EXPECT_STREQ(f.lfFaceName, kSongTi);
    EXPECT_EQ(f.lfHeight, -12);
    EXPECT_EQ(f.lfWeight, 700);
    EXPECT_EQ(f.lfItalic, 1);
    EXPECT_EQ(f.lfUnderline, 0);
    EXPECT_EQ(f.lfCharSet, DEFAULT_CHARSET);

    file.SetFont("F", "lfSemi", Font("Arial", 9, 600, 0, 1));
    std::string raw;
    ASSERT_TRUE(file.GetString("F", "lfSemi", &raw));
    EXPECT_EQ(raw, "FONT(\"Arial\",9,false,false,true)");
    ASSERT_TRUE(file.GetFont("F", "lfSemi", &f));
    EXPECT_EQ(f.lfWeight, 400);
    EXPECT_EQ(f.lfUnderline, 1);

    // A face name that happens to hold a flag word stays as written.
    file.SetFont("F", "lfOdd", Font("falsetto", 10, 400, 0, 0));
    ASSERT_TRUE(file.GetFont("F", "lfOdd", &f));
    EXPECT_STREQ(f.lfFaceName, "falsetto");

    OVConfigFile bad = Parse(
        "[F]\n"
        "noQuote = FONT(Arial,1,true,true,true)\n"
        "long = FONT(\"" +
        std::string(32, 'x') +
        "\",1,0,0,0)\n"
        "numbers = FONT(\"Arial\",1,1,0,1)\n"
        "few = FONT(\"Arial\",1,true)\n");
    f.lfHeight = 99;
    EXPECT_FALSE(bad.GetFont("F", "noQuote", &f));
    EXPECT_FALSE(bad.GetFont("F", "long", &f));
    EXPECT_FALSE(bad.GetFont("F", "few", &f));
    EXPECT_EQ(f.lfHeight, 99);
    ASSERT_TRUE(bad.GetFont("F", "numbers", &f));
    EXPECT_EQ(f.lfWeight, 700);
}

TEST(ConfigFileTest, NewKeysGoToTheTopOfTheirSectionAndOldKeysStayPut) {
    OVConfigFile file = Parse("[A]\nx = 1\n[B]\ny = 2\n");
    file.SetInt("B", "first", 1);
    file.SetInt("B", "second", 2);
    file.SetInt("B", "y", 20);
    file.SetInt("A", "x", 10);
    file.SetInt("C", "z", 3);
    EXPECT_EQ(file.Lines(),
              (Lines{"[A]", "x = 10", "[B]", "second = 2", "first = 1", "y = 20", "[C]", "z = 3"}));
    EXPECT_FALSE(file.SetInt(nullptr, "k", 1));
    EXPECT_FALSE(file.SetInt("A", nullptr, 1));
    EXPECT_EQ(file.FindOrAddSection(nullptr), -1);
    EXPECT_EQ(file.Lines().size(), 8u);
}

TEST(ConfigFileTest, StructuredGettersAddTheirMissingSectionOthersDoNot) {
    OVConfigFile file = Parse("[A]\n");
    std::string s;
    int n;
    COLORREF c;
    EXPECT_FALSE(file.GetString("Gone", "k", &s));
    EXPECT_FALSE(file.GetInt("Gone", "k", &n));
    EXPECT_FALSE(file.GetColor("Gone", "k", &c));
    EXPECT_EQ(file.Lines(), (Lines{"[A]"}));
    RECT r{};
    EXPECT_FALSE(file.GetRect("Skin", "rect", &r));
    EXPECT_FALSE(file.GetRect("Skin", "rect", &r));
    LOGFONT f{};
    EXPECT_FALSE(file.GetFont("Fonts", "lf", &f));
    EXPECT_EQ(file.Lines(), (Lines{"[A]", "[Skin]", "[Fonts]"}));
}
