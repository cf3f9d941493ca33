// The program data in the program directory, checked the way the program reads it: every
// skin key that a window reads resolves to a file that loads, icons hold 16 and 32 pixel
// images, sounds are real sounds, and the lists and the search catalogue parse.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMovie>
#include <fstream>
#include <iterator>
#include <set>

#include "common/config/config_file.h"
#include "platform/text/cp936.h"
#include "shell/core/desktop/sounds.h"
#include "shell/skin/skin_item.h"
#include "shell/skin/skin_keys.h"
#include "shell/skin/skin_manager.h"
#include "shell/core/desktop/sounds.h"
#include "shell/skin/tests/asset_checks.h"

using namespace ov::skin;

namespace {

const std::string kProgramDir = ORVANE_PROGRAM_DIR "/";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Text in code page 936 that decodes without a replacement character.
bool IsCleanCp936(const std::string& bytes) {
    return ov::Cp936ToUtf8(bytes).find("\xEF\xBF\xBD") == std::string::npos;
}

bool HasIconSizes(const QString& path, std::string* problem) {
    const std::vector<QImage> images = OVSkin::ReadIconImages(path);
    for (int size : {16, 32}) {
        const bool found = std::any_of(images.begin(), images.end(), [&](const QImage& i) {
            return i.size() == QSize(size, size) && !i.isNull();
        });
        if (!found) {
            *problem = path.toStdString() + " has no " + std::to_string(size) + " pixel image";
            return false;
        }
    }
    return true;
}

class Item : public OVSkinItem {
public:
    using OVSkinItem::OVSkinItem;
};

// Every problem of one skin, checked against the keys the program reads.
std::vector<std::string> CheckSkin(const std::string& name) {
    std::vector<std::string> problems;
    OVSkin skin;
    skin.SetBaseDirectory(kProgramDir + "Skins");
    if (!skin.Load(name))
        return {name + ": config.ini does not load"};
    const auto bad = [&](const std::string& where, const char* key, const std::string& what) {
        problems.push_back(name + " [" + where + "] " + key + ": " + what);
    };
    const auto frames = [&](const std::string& where, const SkinKey& k, const std::string& base,
                            int count, const char* extension) {
        if (count < 1)
            return bad(where, k.key, "no frames");
        for (int i = 0; i < count; ++i) {
            const std::string file = base + std::to_string(i) + extension;
            std::string problem;
            if (k.kind == KeyKind::BitmapAnimation ? !skin.GetBitmap(file)
                                                   : !HasIconSizes(skin.PathOf(file), &problem))
                bad(where, k.key, "frame " + file + " does not load " + problem);
        }
    };

    for (const SkinItemKeys& known : KnownItems()) {
        Item root(known.classSection, known.instanceName);
        Item child(known.classSection);
        root.SetSkin(&skin);
        if (*known.secondName)
            root.AddChild(&child, known.secondName);
        const OVSkinItem& item = *known.secondName ? static_cast<OVSkinItem&>(child) : root;
        const std::string where = item.Sections().back();
        for (const SkinKey& k : known.keys) {
            std::string s;
            int n = 0;
            bool b = false;
            COLORREF c = 0;
            LOGFONT f{};
            OVPosition pos{};
            RECT r{};
            SIZE sz{};
            POINT pt{};
            bool ok = true;
            switch (k.kind) {
                case KeyKind::Bitmap: {
                    const COVBitmap* bitmap = item.GetBitmap(k.key);
                    ok = bitmap != nullptr;
                    if (bitmap && !bitmap->HasDouble())
                        bad(where, k.key, "has no picture at twice the size");
                    break;
                }
                case KeyKind::BitmapAnimation:
                    ok = item.GetString(k.key, &s) && item.GetInt(k.countKey, &n);
                    if (ok)
                        frames(where, k, s, n, ".bmp");
                    break;
                case KeyKind::Color:
                    ok = item.GetColor(k.key, &c);
                    break;
                case KeyKind::Font:
                    ok = item.GetFont(k.key, &f);
                    break;
                case KeyKind::Position:
                    ok = item.GetPosition(k.key, &pos);
                    break;
                case KeyKind::Margin:
                    ok = item.GetMargin(k.key, &r);
                    break;
                case KeyKind::Size:
                    ok = item.GetSize(k.key, &sz);
                    break;
                case KeyKind::Point:
                    ok = item.GetPoint(k.key, &pt);
                    break;
                case KeyKind::Int:
                    ok = item.GetInt(k.key, &n);
                    break;
                case KeyKind::Bool:
                    ok = item.GetBool(k.key, &b);
                    break;
                default:
                    ok = false;
            }
            if (!ok)
                bad(where, k.key, "missing, malformed or not loading");
        }
    }

    const OVConfigFile& config = skin.Config();
    for (const SkinSectionKeys& section : KnownSections())
        for (const SkinKey& k : section.keys) {
            std::string value, problem;
            int count = 0;
            const bool present = k.kind == KeyKind::Int
                                     ? config.GetInt(section.section, k.key, &count)
                                     : config.GetString(section.section, k.key, &value);
            if (!present) {
                bad(section.section, k.key, "missing");
                continue;
            }
            switch (k.kind) {
                case KeyKind::Bitmap:
                    if (!skin.GetBitmap(value))
                        bad(section.section, k.key, value + " does not load");
                    break;
                case KeyKind::Icon:
                    if (!HasIconSizes(skin.PathOf(value), &problem))
                        bad(section.section, k.key, problem);
                    break;
                case KeyKind::IconAnimation:
                    if (!config.GetInt(section.section, k.countKey, &count))
                        bad(section.section, k.countKey, "missing");
                    frames(section.section, k, value, count, ".ico");
                    break;
                case KeyKind::Movie: {
                    QMovie movie(skin.PathOf(value));
                    if (!movie.isValid() || movie.frameCount() < 2)
                        bad(section.section, k.key, value + " is not an animation QMovie plays");
                    break;
                }
                case KeyKind::Int:
                    if (count <= 0)
                        bad(section.section, k.key, "not a positive number");
                    break;
                default:
                    break;
            }
        }
    for (const char* file : FixedSkinFiles())
        if (!skin.GetBitmap(file))
            problems.push_back(name + ": " + file + " does not load");
    if (!IsCleanCp936(ReadFile(skin.SkinDirectory() + "config.ini")))
        problems.push_back(name + ": config.ini is not code page 936 text");
    return problems;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

}  // namespace

TEST(AssetTest, EveryShippedSkinResolvesEveryKeyTheProgramReads) {
    const QStringList skins = QDir(QString::fromStdString(kProgramDir + "Skins"))
                                  .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_TRUE(skins.contains("orvane"));
    ASSERT_GE(skins.size(), 2);  // a second skin to switch to
    for (const QString& skin : skins) {
        const std::vector<std::string> problems = CheckSkin(skin.toStdString());
        EXPECT_TRUE(problems.empty()) << Join(problems);
    }
}

TEST(AssetTest, EverySoundOfTheTableIsAShortAudibleWave) {
    // Every id the program plays, as its own table names the file.
    int sounds = 0;
    for (int id = 0; id < 100; ++id) {
        const std::string file = ov::shell::SoundFile(id).toStdString();
        if (file.empty())
            continue;
        ++sounds;
        SCOPED_TRACE(std::to_string(id) + " " + file);
        WavInfo info;
        std::string problem;
        ASSERT_TRUE(ReadWav(ReadFile(kProgramDir + "sound/" + file), &info, &problem)) << problem;
        EXPECT_GT(info.seconds, 0.01);
        EXPECT_LT(info.seconds, 1.5);  // short
        EXPECT_GT(info.rms, 0.02);     // not silent
        EXPECT_LT(info.peak, 32000);   // not clipped
    }
    EXPECT_EQ(sounds, 30);
}

TEST(AssetTest, TheWaveReaderRefusesBrokenAndSilentFiles) {
    const auto wav = [](int samples, int16_t value, uint32_t dataLength) {
        std::string b = "RIFF0000WAVEfmt ";
        const auto put32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b.push_back(char(v >> (8 * i)));
        };
        const auto put16 = [&](uint16_t v) {
            b.push_back(char(v));
            b.push_back(char(v >> 8));
        };
        put32(16);
        put16(1);
        put16(1);
        put32(22050);
        put32(44100);
        put16(2);
        put16(16);
        b += "data";
        put32(dataLength);
        for (int i = 0; i < samples; ++i)
            put16(uint16_t(i % 2 ? value : -value));
        return b;
    };
    WavInfo info;
    std::string problem;
    ASSERT_TRUE(ReadWav(wav(2205, 8000, 4410), &info, &problem)) << problem;
    EXPECT_NEAR(info.seconds, 0.1, 1e-9);
    EXPECT_NEAR(info.rms, 8000 / 32768.0, 1e-6);
    ASSERT_TRUE(ReadWav(wav(2205, 0, 4410), &info, &problem));
    EXPECT_EQ(info.rms, 0.0);  // the asset check's "not silent" rule catches this one
    EXPECT_FALSE(ReadWav(wav(10, 100, 4410), &info, &problem));  // data past the end
    EXPECT_FALSE(ReadWav(wav(10, 100, 20).substr(0, 30), &info, &problem));
    EXPECT_FALSE(ReadWav("RIFF", &info, &problem));
}

TEST(AssetTest, FaceCatalogueNamesIconsThatLoadAtBothSizes) {
    OVConfigFile faces;
    ASSERT_TRUE(faces.LoadText(kProgramDir + "face/faceconfig.ini"));
    EXPECT_TRUE(IsCleanCp936(ReadFile(kProgramDir + "face/faceconfig.ini")));
    int groups = 0;
    ASSERT_TRUE(faces.GetInt("Group", "GroupNumber", &groups));
    ASSERT_GE(groups, 1);
    std::set<int> ids;
    int total = 0;
    for (int g = 1; g <= groups; ++g) {
        char key[32];
        std::snprintf(key, sizeof key, "GroupName%02d", g);
        std::string section, base;
        int id = 0, begin = 0, end = -1;
        ASSERT_TRUE(faces.GetString("Group", key, &section)) << key;
        ASSERT_TRUE(faces.GetInt(section.c_str(), "GroupID", &id));
        ASSERT_TRUE(faces.GetInt(section.c_str(), "Begin", &begin));
        ASSERT_TRUE(faces.GetInt(section.c_str(), "End", &end));
        ASSERT_TRUE(faces.GetString(section.c_str(), "FileName", &base));
        EXPECT_TRUE(ids.insert(id).second) << "group id " << id << " twice";
        ASSERT_LE(begin, end);
        ASSERT_LE(end, 255);  // an icon number holds the item in its low byte
        for (int i = begin; i <= end; ++i) {
            char file[64];
            std::snprintf(file, sizeof file, "face/%s%02d.ico", base.c_str(), i);
            std::string problem;
            EXPECT_TRUE(HasIconSizes(QString::fromStdString(kProgramDir + file), &problem))
                << problem;
            std::snprintf(key, sizeof key, "ItemName%02d", i - begin + 1);
            std::string itemName;
            EXPECT_TRUE(faces.GetString(section.c_str(), key, &itemName)) << section << " " << key;
            ++total;
        }
    }
    EXPECT_GE(total, 12);
    std::string problem;
    EXPECT_TRUE(HasIconSizes(QString::fromStdString(kProgramDir + "face/close.ico"), &problem))
        << problem;
}

TEST(AssetTest, ReferenceListsHoldEnoughDistinctRecords) {
    const struct {
        const char* file;
        bool hex;
        int names;
        size_t minimum;
    } lists[] = {
        {"location.dat", true, 2, 30},
        {"agerange.dat", false, 1, 6},
        {"language.dat", false, 1, 10},
        {"career.dat", false, 1, 20},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.file);
        const std::string text = ReadFile(kProgramDir + "commdata/" + list.file);
        ASSERT_TRUE(IsCleanCp936(text));
        const std::vector<ListRecord> records = ReadList(text, list.hex, list.names);
        EXPECT_GE(records.size(), list.minimum);
        size_t words = 0;
        for (const ListRecord& r : records)
            words += 1 + r.names.size();
        std::set<unsigned> codes;
        for (const ListRecord& r : records)
            EXPECT_TRUE(codes.insert(r.code).second) << "code " << r.code << " twice";
        const std::string utf8 = ov::Cp936ToUtf8(text);
        size_t wordsInFile = 0;
        for (size_t i = 0; i < utf8.size();) {
            while (i < utf8.size() && std::isspace(static_cast<unsigned char>(utf8[i])))
                ++i;
            if (i < utf8.size())
                ++wordsInFile;
            while (i < utf8.size() && !std::isspace(static_cast<unsigned char>(utf8[i])))
                ++i;
        }
        EXPECT_EQ(wordsInFile, words);
    }
    // Locations read as the program shows them.
    const std::vector<ListRecord> locations =
        ReadList(ReadFile(kProgramDir + "commdata/location.dat"), true, 2);
    ASSERT_FALSE(locations.empty());
    EXPECT_EQ(ov::Cp936ToUtf8(locations.front().names[0]), "北京");
}

TEST(AssetTest, SearchCatalogueParsesIntoCategoriesOfWebSearches) {
    const std::string text = ReadFile(kProgramDir + "CommData/Search.Dat");
    ASSERT_TRUE(IsCleanCp936(text));
    const std::vector<SearchCategory> categories = ReadSearchCatalogue(text);
    ASSERT_GE(categories.size(), 2u);
    std::set<std::string> keys;
    size_t entries = 0;
    for (const SearchCategory& category : categories) {
        EXPECT_FALSE(category.name.empty());
        EXPECT_FALSE(category.entries.empty()) << ov::Cp936ToUtf8(category.name);
        for (const SearchEntry& e : category.entries) {
            ++entries;
            EXPECT_TRUE(keys.insert(e.key).second) << "key " << e.key << " twice";
            EXPECT_FALSE(e.name.empty());
            EXPECT_EQ(e.urlTemplate.find("http"), 0u) << e.urlTemplate;
            const size_t s = e.urlTemplate.find("%s");
            EXPECT_NE(s, std::string::npos) << e.urlTemplate;
            EXPECT_EQ(e.urlTemplate.find('%', s + 1), std::string::npos) << "one %s only";
        }
    }
    EXPECT_GE(entries, 4u);
    EXPECT_TRUE(keys.count("g"));
    EXPECT_FALSE(keys.count("zz"));  // written after ":end"
}

TEST(AssetTest, SearchCatalogueRulesForCommentsEndAndOddLines) {
    const std::vector<SearchCategory> c = ReadSearchCatalogue(
        "  ;search(1, hidden, h, http://x/%s)\n"
        "[A]\r\n"
        "  search(7,  Name One ,  k1 , http://a/?q=%s&x=(1))  \n"
        "search(8, broken)\n"
        "[B]\n"
        "search(9,n,k2,http://b/%s)\n"
        ":end\n"
        "[C]\n");
    ASSERT_EQ(c.size(), 2u);
    ASSERT_EQ(c[0].entries.size(), 1u);
    EXPECT_EQ(c[0].entries[0].number, 7);
    EXPECT_EQ(c[0].entries[0].name, "Name One");
    EXPECT_EQ(c[0].entries[0].key, "k1");
    EXPECT_EQ(c[0].entries[0].urlTemplate, "http://a/?q=%s&x=(1)");
    EXPECT_EQ(c[1].entries[0].key, "k2");
}

TEST(AssetTest, TermsOfServiceAreChineseTextTheWizardCanShow) {
    const std::string text = ReadFile(kProgramDir + "License.txt");
    ASSERT_GT(text.size(), 1000u);
    EXPECT_TRUE(IsCleanCp936(text));
    EXPECT_NE(ov::Cp936ToUtf8(text).find("服务条款"), std::string::npos);
}
