// Every key of a skin that some window of the program reads, with the form of its value.
// The asset checks walk this list against each shipped skin; a window that starts reading a
// new key adds it here.
#pragma once

#include <vector>

namespace ov::skin {

enum class KeyKind {
    Bitmap,           // a picture file
    Icon,             // an icon file, used at 16 and 32 pixels
    IconAnimation,    // base name of "%s%d.ico" frames; count in countKey
    BitmapAnimation,  // base name of "%s%d.bmp" frames; count in countKey
    Movie,            // an animation file played with QMovie (the AVIs section)
    Color,
    Font,
    Position,
    Margin,
    Size,
    Point,
    Int,
    Bool,
};

struct SkinKey {
    const char* key;
    KeyKind kind;
    const char* countKey = nullptr;  // animations: the key that holds the frame count
};

// A skinned window or control as the program creates it: read with the layered lookup of
// class, class.instance and class.instance.second.
struct SkinItemKeys {
    const char* classSection;
    const char* instanceName;
    const char* secondName;
    std::vector<SkinKey> keys;
};

// A plain section read by name (icons, wizard pictures, animations).
struct SkinSectionKeys {
    const char* section;
    std::vector<SkinKey> keys;
};

const std::vector<SkinItemKeys>& KnownItems();
const std::vector<SkinSectionKeys>& KnownSections();
// Files a window opens by a fixed name in the skin's folder ("pageroom.logo0.bmp").
const std::vector<const char*>& FixedSkinFiles();

}  // namespace ov::skin
