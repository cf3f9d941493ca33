#include "shell/skin/skin_paint.h"

#include <QStringList>
#include <cmath>
#include <cstring>

#include "platform/text/cp936.h"

namespace ov::skin {

namespace {

void AddSubstitutions() {
    static bool done = false;
    if (done)
        return;
    done = true;
    const QStringList sans{"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC",
                           "Droid Sans Fallback", "DejaVu Sans",      "Sans Serif"};
    const QStringList mono{"WenQuanYi Micro Hei Mono", "Noto Sans Mono CJK SC", "DejaVu Sans Mono",
                           "Monospace"};
    for (const char* face : {"宋体", "新宋体", "黑体", "微软雅黑", "Tahoma", "MS Sans Serif"})
        QFont::insertSubstitutions(QString::fromUtf8(face), sans);
    for (const char* face : {"FixedSys", "Courier New"})
        QFont::insertSubstitutions(QString::fromUtf8(face), mono);
}

}  // namespace

QFont ToQFont(const LOGFONT& lf) {
    AddSubstitutions();
    QFont font;
    const size_t length = strnlen(lf.lfFaceName, LF_FACESIZE);
    const QString face = FromCp936(std::string(lf.lfFaceName, length));
    if (!face.isEmpty())
        font.setFamily(face);
    if (lf.lfHeight < 0)
        font.setPixelSize(-lf.lfHeight);
    else if (lf.lfHeight > 0)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(lf.lfHeight * 0.85))));
    font.setBold(lf.lfWeight >= FW_BOLD);
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    return font;
}

QString FromCp936(const std::string& text) {
    return QString::fromStdString(ov::Cp936ToUtf8(text));
}

}  // namespace ov::skin
