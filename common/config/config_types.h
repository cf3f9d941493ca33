// The value types that configuration files hold, under the names the rest of the program
// uses for them (the platform's GDI structures), plus the skin's edge positions.
#pragma once

#include "platform/win32/types.h"

using COLORREF = DWORD;  // red | green << 8 | blue << 16

struct RECT {
    LONG left, top, right, bottom;
    friend bool operator==(const RECT&, const RECT&) = default;
};
struct POINT {
    LONG x, y;
    friend bool operator==(const POINT&, const POINT&) = default;
};
struct SIZE {
    LONG cx, cy;
    friend bool operator==(const SIZE&, const SIZE&) = default;
};

constexpr int LF_FACESIZE = 32;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr BYTE DEFAULT_CHARSET = 1;

struct LOGFONT {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];  // code page 936, zero-terminated
};

// How a skinned control's edge is placed relative to its parent.
enum OVPositionKind : int {
    pstNone = 0,   // edge not set
    pstPosLT = 1,  // offset from the parent's left or top edge
    pstPosRB = 2,  // offset from the parent's right or bottom edge
    pstSize = 3,   // width or height measured from the opposite edge
};

struct OVEdgePosition {
    int nValue;
    int nKind;  // an OVPositionKind as read; other numbers are left for the user to judge
    friend bool operator==(const OVEdgePosition&, const OVEdgePosition&) = default;
};

struct OVPosition {
    OVEdgePosition left, top, right, bottom;
    friend bool operator==(const OVPosition&, const OVPosition&) = default;
};
