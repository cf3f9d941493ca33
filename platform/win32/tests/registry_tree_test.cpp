#include <gtest/gtest.h>

#include <string>

#include "platform/win32/registry.h"

namespace {

RegistryTree RoundTrip(const RegistryTree& tree) {
    return RegistryTree::Parse(tree.Serialize());
}

const RegValue* FindValue(const RegistryTree& tree, RegRoot root, std::string_view key,
                          std::string_view name) {
    const RegistryTree::Key* k = tree.Find(root, key);
    return k == nullptr ? nullptr : k->GetValue(name);
}

TEST(RegistryTree, ValuesSurviveSerialization) {
    const std::string awkward = "say \"hi\"\\path\\\nline two\r\ttab\x01 end";
    RegistryTree tree;
    auto& key = tree.Create(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane");
    key.SetValue("Count", DWORD{0xFFFFFFFF});
    key.SetValue("Nick", std::string("小明 \"[x]\""));
    key.SetValue("Awkward \"Name\"", awkward);
    key.SetValue("", std::string("default"));
    tree.Create(HKEY_CLASSES_ROOT, "Orvane.Link\\Empty");  // empty keys survive too
    tree.Create(HKEY_LOCAL_MACHINE, "").SetValue("Top", DWORD{7});

    const RegistryTree back = RoundTrip(tree);
    EXPECT_EQ(*FindValue(back, HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane", "count"),
              RegValue(DWORD{0xFFFFFFFF}));
    EXPECT_EQ(*FindValue(back, HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane", "nick"),
              RegValue(std::string("小明 \"[x]\"")));
    EXPECT_EQ(*FindValue(back, HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane", "awkward \"name\""),
              RegValue(awkward));
    EXPECT_EQ(*FindValue(back, HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane", ""),
              RegValue(std::string("default")));
    EXPECT_NE(back.Find(HKEY_CLASSES_ROOT, "Orvane.Link\\Empty"), nullptr);
    EXPECT_EQ(*FindValue(back, HKEY_LOCAL_MACHINE, "", "top"), RegValue(DWORD{7}));
    EXPECT_EQ(back.Serialize(), tree.Serialize());
}

TEST(RegistryTree, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
    RegistryTree tree;
    tree.Create(HKEY_CURRENT_USER, "Software\\Orvane");
    tree.Create(HKEY_CURRENT_USER, "SOFTWARE\\orvane\\Setting");
    const RegistryTree::Key* software = tree.Find(HKEY_CURRENT_USER, "software");
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->name, "Software");
    EXPECT_EQ(software->subkeys.at("orvane")->name, "Orvane");
    EXPECT_NE(tree.Find(HKEY_CURRENT_USER, "\\software\\ORVANE\\setting\\"), nullptr);
    EXPECT_EQ(tree.Find(HKEY_LOCAL_MACHINE, "Software"), nullptr);  // roots are separate

    RegistryTree::Key& setting = tree.Create(HKEY_CURRENT_USER, "Software\\Orvane\\Setting");
    setting.SetValue("Uin", DWORD{1});
    setting.SetValue("UIN", DWORD{2});
    ASSERT_EQ(setting.values.size(), 1u);
    EXPECT_EQ(setting.values.begin()->second.first, "Uin");
    EXPECT_EQ(*setting.GetValue("uin"), RegValue(DWORD{2}));
}

TEST(RegistryTree, RemoveTakesTheWholeSubtree) {
    RegistryTree tree;
    tree.Create(HKEY_CURRENT_USER, "A\\B\\C");
    tree.Create(HKEY_CURRENT_USER, "A\\Keep");
    EXPECT_TRUE(tree.Remove(HKEY_CURRENT_USER, "a\\b"));
    EXPECT_EQ(tree.Find(HKEY_CURRENT_USER, "A\\B\\C"), nullptr);
    EXPECT_NE(tree.Find(HKEY_CURRENT_USER, "A\\Keep"), nullptr);
    EXPECT_FALSE(tree.Remove(HKEY_CURRENT_USER, "A\\B"));
    EXPECT_FALSE(tree.Remove(HKEY_CURRENT_USER, ""));  // roots stay
}

TEST(RegistryTree, GarbageIsSkippedLineByLine) {
    const std::string text =
        "\"Orphan\"=dword:00000001\n"  // before any section
        "[HKEY_CURRENT_USER\\Good]\r\n"
        "\"A\"=dword:0000002a\n"
        "\"B\"=dword:xyz\n"
        "\"C\"=dword:123456789\n"
        "\"D\"=\"unterminated\n"
        "\"E\"=\"trailing\" junk\n"
        "\"F\"=\"bad \\x4 escape\"\n"
        "no equals sign\n"
        "[HKEY_NOWHERE\\Bad]\n"
        "\"G\"=dword:00000001\n"  // belongs to the rejected section, not to Good
        "[HKEY_CURRENT_USER\\Half\n" +
        std::string("\0\xff\xfe[]]\n", 7) +
        "[hkcu\\Good]\n"
        "\"H\"=\"ok\"\n";
    const RegistryTree tree = RegistryTree::Parse(text);
    const RegistryTree::Key* good = tree.Find(HKEY_CURRENT_USER, "Good");
    ASSERT_NE(good, nullptr);
    ASSERT_EQ(good->values.size(), 2u);
    EXPECT_EQ(good->values.at("a").second, RegValue(DWORD{42}));
    EXPECT_EQ(good->values.at("h").second, RegValue(std::string("ok")));
    EXPECT_EQ(tree.Find(HKEY_CURRENT_USER, "Half"), nullptr);

    // Arbitrary bytes never crash the parser.
    std::string noise;
    for (unsigned i = 0; i < 4096; ++i) {
        noise += static_cast<char>((i * 2654435761u) >> 13);
    }
    RegistryTree::Parse(noise);
    RegistryTree::Parse("[");
    RegistryTree::Parse("[HKCU]\n\"\\");
}

}  // namespace
