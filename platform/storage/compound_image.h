// The in-memory form of a compound file, and its conversion from and to the bytes of the file.
//
// Reading accepts versions 3 and 4 (512- and 4096-byte sectors) and checks everything it uses:
// every sector number against the file, every chain walked at most once per sector (so loops
// and chains shared between streams are errors, and no stream can claim more memory than the
// file holds), every directory entry reached once, sizes against their chains, names, and a
// nesting depth limit. Writing produces version 3 with 512-byte sectors: streams below 4096
// bytes in the mini stream, a DIFAT when the FAT outgrows the header, each storage's children
// as a balanced binary search tree in the format's name order, every node coloured black.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/com/types.h"
#include "platform/storage/element_name.h"
#include "platform/win32/time.h"

namespace ov::cfb {

// Storages nested deeper than this are refused when read and when created.
constexpr int kMaxNestingDepth = 128;
// Version 3 stream sizes are 32-bit and, by the format, at most 2 GB.
constexpr uint64_t kMaxStreamSize = 0x80000000u;

struct Element;
using ElementPtr = std::shared_ptr<Element>;

struct Element {
    std::u16string name;
    bool isStorage = false;
    CLSID clsid{};
    uint32_t stateBits = 0;
    FILETIME created{};         // storages only
    FILETIME modified{};        // storages only
    std::vector<uint8_t> data;  // streams: the content
    // Storages: the elements below, in the format's name order (and looked up by it).
    std::map<std::u16string, ElementPtr, ElementNameLess> children;
    // Set when the element leaves its tree (destroyed, replaced, reverted, closed); handles that
    // still point at it must stop working.
    bool detached = false;
};

// Marks the element and everything below it as detached.
void DetachTree(Element& element);

// S_OK and the root storage; STG_E_INVALIDHEADER when the bytes are not a compound file at all
// (too short, wrong signature), STG_E_DOCFILECORRUPT when its structure is broken.
HRESULT ParseCompoundFile(std::span<const uint8_t> bytes, ElementPtr* root);

// The bytes of a version 3 compound file holding the tree. STG_E_MEDIUMFULL when it would not
// fit the format (sector numbers, stream sizes).
HRESULT SerializeCompoundFile(const Element& root, std::vector<uint8_t>* bytes);

// True when the bytes start with the compound file signature.
bool HasCompoundFileSignature(std::span<const uint8_t> bytes);

}  // namespace ov::cfb
