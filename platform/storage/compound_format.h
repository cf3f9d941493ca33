// Layout constants of the published compound file format, and little-endian field access.
// Internal to the reader and the writer.
#pragma once

#include <cstdint>
#include <cstring>

namespace ov::cfb {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kSectorSize = 512;  // what we write (version 3)
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kDirEntrySize = 128;
constexpr uint32_t kHeaderDifatCount = 109;

// Special sector numbers.
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

// Header field offsets.
constexpr size_t kOffMinorVersion = 0x18;
constexpr size_t kOffMajorVersion = 0x1A;
constexpr size_t kOffByteOrder = 0x1C;
constexpr size_t kOffSectorShift = 0x1E;
constexpr size_t kOffMiniSectorShift = 0x20;
constexpr size_t kOffDirSectorCount = 0x28;
constexpr size_t kOffFatSectorCount = 0x2C;
constexpr size_t kOffFirstDirSector = 0x30;
constexpr size_t kOffMiniCutoff = 0x38;
constexpr size_t kOffFirstMiniFatSector = 0x3C;
constexpr size_t kOffMiniFatSectorCount = 0x40;
constexpr size_t kOffFirstDifatSector = 0x44;
constexpr size_t kOffDifatSectorCount = 0x48;
constexpr size_t kOffHeaderDifat = 0x4C;

// Directory entry field offsets.
constexpr size_t kDirName = 0x00;
constexpr size_t kDirNameLength = 0x40;
constexpr size_t kDirType = 0x42;
constexpr size_t kDirColor = 0x43;
constexpr size_t kDirLeft = 0x44;
constexpr size_t kDirRight = 0x48;
constexpr size_t kDirChild = 0x4C;
constexpr size_t kDirClsid = 0x50;
constexpr size_t kDirStateBits = 0x60;
constexpr size_t kDirCreated = 0x64;
constexpr size_t kDirModified = 0x6C;
constexpr size_t kDirStartSector = 0x74;
constexpr size_t kDirSize = 0x78;

constexpr uint8_t kTypeUnused = 0;
constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;
constexpr uint8_t kColorBlack = 1;

inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline uint64_t Get64(const uint8_t* p) {
    return uint64_t{Get32(p)} | (uint64_t{Get32(p + 4)} << 32);
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v));
    Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace ov::cfb
