// The skin's stored values as Qt values: colours, fonts and texts.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <string>

#include "common/config/config_types.h"

namespace ov::skin {

inline QColor ToQColor(COLORREF c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
inline QRgb ToQRgb(COLORREF c) {
    return ToQColor(c).rgb();
}

// A stored font. Face names stay as written ("宋体", "FixedSys"); the families installed
// here stand in for them. A negative height is the character height in pixels, a positive
// one the cell height (a little taller), 0 the default size.
QFont ToQFont(const LOGFONT& font);

// Texts of skins and lists are code page 936.
QString FromCp936(const std::string& text);

}  // namespace ov::skin
