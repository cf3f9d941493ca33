// orvane-assetgen SOURCE_DIR PROGRAM_DIR
// Writes the program data that ships beside the executable: the skins (pictures, icons,
// animations and config.ini), face icons with faceconfig.ini, the sounds, the commdata lists,
// the web search catalogue and License.txt. Texts are kept in the source tree as UTF-8 and
// written in code page 936, the encoding the program reads them in.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "platform/text/cp936.h"
#include "tools/assetgen/art.h"
#include "tools/assetgen/formats.h"
#include "tools/assetgen/sounds.h"

namespace {

// A UTF-8 text of the source tree, in code page 936; fails on anything it cannot hold.
bool ConvertText(const QString& from, const QString& to) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(from));
        return false;
    }
    const QByteArray utf8 = in.readAll();
    const std::string gbk = ov::Utf8ToCp936(utf8.toStdString());
    if (ov::Cp936ToUtf8(gbk) != utf8.toStdString()) {
        std::fprintf(stderr, "%s holds text that code page 936 cannot\n", qPrintable(from));
        return false;
    }
    QDir().mkpath(QFileInfo(to).absolutePath());
    return ov::assets::WriteFileAtomically(to, QByteArray::fromStdString(gbk));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE_DIR PROGRAM_DIR\n", argv[0]);
        return 2;
    }
    // Painting needs the GUI side of Qt, never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir source(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    bool ok = true;
    const auto step = [&](bool result, const char* what) {
        if (!result)
            std::fprintf(stderr, "orvane-assetgen: %s failed\n", what);
        ok = ok && result;
    };

    const std::pair<const char*, ov::assets::Palette> skins[] = {
        {"orvane", ov::assets::LightPalette()},
        {"slate", ov::assets::SlatePalette()},
    };
    for (const auto& [name, palette] : skins) {
        const QString dir = out.filePath(QString("Skins/%1").arg(name));
        step(ov::assets::WriteSkinPictures(dir, palette), "skin pictures");
        step(ConvertText(source.filePath(QString("skins/%1/config.ini").arg(name)),
                         dir + "/config.ini"),
             "skin configuration");
    }
    step(ov::assets::WriteProgramIcon(out.filePath("orvane.ico")), "program icon");
    step(ov::assets::WriteFaces(out.filePath("face")), "face icons");
    step(ConvertText(source.filePath("face/faceconfig.ini"), out.filePath("face/faceconfig.ini")),
         "face catalogue");
    step(ov::assets::WriteSounds(out.filePath("sound")), "sounds");
    for (const char* list : {"location", "agerange", "language", "career"})
        step(ConvertText(source.filePath(QString("commdata/%1.txt").arg(list)),
                         out.filePath(QString("commdata/%1.dat").arg(list))),
             list);
    step(ConvertText(source.filePath("commdata/Search.txt"), out.filePath("CommData/Search.Dat")),
         "search catalogue");
    step(ConvertText(source.filePath("License.txt"), out.filePath("License.txt")), "License.txt");
    return ok ? 0 : 1;
}
