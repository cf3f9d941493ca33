// Writing a compound file, version 3. Layout of the sectors after the header:
//   [large streams][mini stream][mini FAT][directory][FAT][DIFAT]
// each run contiguous, so every chain is simply n, n+1, ..., end.
#include <cstring>

#include "platform/storage/compound_format.h"
#include "platform/storage/compound_image.h"
#include "platform/storage/storage_types.h"

namespace ov::cfb {

namespace {

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

struct DirNode {
    const Element* element;
    uint32_t left = kNoStream;
    uint32_t right = kNoStream;
    uint32_t child = kNoStream;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;
};

class Writer {
public:
    HRESULT Write(const Element& root, std::vector<uint8_t>* out) {
        CollectEntries(root);
        HRESULT hr = PlaceStreams();
        if (FAILED(hr))
            return hr;
        hr = PlaceTables();
        if (FAILED(hr))
            return hr;
        Emit(out);
        return S_OK;
    }

private:
    // Entry 0 is the root; each storage's children get consecutive numbers and are linked as
    // a balanced search tree in name order (the map's order).
    void CollectEntries(const Element& root) {
        nodes_.push_back(DirNode{&root});
        for (size_t next = 0; next < nodes_.size(); ++next) {
            const Element* storage = nodes_[next].element;
            if (!storage->isStorage || storage->children.empty())
                continue;
            const uint32_t first = static_cast<uint32_t>(nodes_.size());
            for (const auto& [name, child] : storage->children)
                nodes_.push_back(DirNode{child.get()});
            const uint32_t end = static_cast<uint32_t>(nodes_.size());
            nodes_[next].child = LinkBalanced(first, end);
        }
    }

    uint32_t LinkBalanced(uint32_t begin, uint32_t end) {
        if (begin >= end)
            return kNoStream;
        const uint32_t mid = begin + (end - begin) / 2;
        nodes_[mid].left = LinkBalanced(begin, mid);
        nodes_[mid].right = LinkBalanced(mid + 1, end);
        return mid;
    }

    HRESULT PlaceStreams() {
        for (DirNode& node : nodes_) {
            const Element& e = *node.element;
            if (e.isStorage)
                continue;
            node.size = e.data.size();
            if (node.size > kMaxStreamSize)
                return STG_E_MEDIUMFULL;
            if (node.size == 0) {
                node.start = kEndOfChain;
            } else if (node.size < kMiniStreamCutoff) {
                node.start = static_cast<uint32_t>(miniFat_.size());
                const uint64_t n = CeilDiv(node.size, kMiniSectorSize);
                for (uint64_t i = 1; i < n; ++i)
                    miniFat_.push_back(node.start + static_cast<uint32_t>(i));
                miniFat_.push_back(kEndOfChain);
            } else {
                node.start = static_cast<uint32_t>(dataSectors_);
                dataSectors_ += CeilDiv(node.size, kSectorSize);
                if (dataSectors_ > kMaxRegSect)
                    return STG_E_MEDIUMFULL;
            }
        }
        return S_OK;
    }

    HRESULT PlaceTables() {
        const uint64_t miniBytes = uint64_t{miniFat_.size()} * kMiniSectorSize;
        miniStreamStart_ = dataSectors_;
        miniStreamSectors_ = CeilDiv(miniBytes, kSectorSize);
        miniFatStart_ = miniStreamStart_ + miniStreamSectors_;
        miniFatSectors_ = CeilDiv(miniFat_.size() * 4, kSectorSize);
        dirStart_ = miniFatStart_ + miniFatSectors_;
        dirSectors_ = CeilDiv(nodes_.size(), kSectorSize / kDirEntrySize);
        const uint64_t before = dirStart_ + dirSectors_;
        // The FAT covers itself and the DIFAT; grow both until they agree.
        for (;;) {
            const uint64_t fat = CeilDiv(before + fatSectors_ + difatSectors_, kSectorSize / 4);
            const uint64_t difat =
                fat > kHeaderDifatCount ? CeilDiv(fat - kHeaderDifatCount, kSectorSize / 4 - 1) : 0;
            if (fat == fatSectors_ && difat == difatSectors_)
                break;
            fatSectors_ = fat;
            difatSectors_ = difat;
        }
        fatStart_ = before;
        difatStart_ = fatStart_ + fatSectors_;
        totalSectors_ = difatStart_ + difatSectors_;
        if (totalSectors_ > kMaxRegSect || miniFat_.size() > kMaxRegSect)
            return STG_E_MEDIUMFULL;
        if (miniBytes > kMaxStreamSize)
            return STG_E_MEDIUMFULL;
        return S_OK;
    }

    uint8_t* Sector(uint64_t s) { return out_->data() + (s + 1) * kSectorSize; }

    void Chain(std::vector<uint32_t>& fat, uint64_t start, uint64_t count) {
        for (uint64_t i = 0; i < count; ++i)
            fat[start + i] = i + 1 < count ? static_cast<uint32_t>(start + i + 1) : kEndOfChain;
    }

    void Emit(std::vector<uint8_t>* out) {
        out_ = out;
        out->assign((totalSectors_ + 1) * kSectorSize, 0);
        EmitHeader();
        EmitDirectory();
        EmitData();
        EmitFat();
    }

    void EmitHeader() {
        uint8_t* h = out_->data();
        std::memcpy(h, kSignature, sizeof kSignature);
        Put16(h + kOffMinorVersion, 0x003E);
        Put16(h + kOffMajorVersion, 3);
        Put16(h + kOffByteOrder, 0xFFFE);
        Put16(h + kOffSectorShift, 9);
        Put16(h + kOffMiniSectorShift, 6);
        Put32(h + kOffDirSectorCount, 0);  // always zero in version 3
        Put32(h + kOffFatSectorCount, static_cast<uint32_t>(fatSectors_));
        Put32(h + kOffFirstDirSector, static_cast<uint32_t>(dirStart_));
        Put32(h + kOffMiniCutoff, kMiniStreamCutoff);
        Put32(h + kOffFirstMiniFatSector,
              miniFatSectors_ ? static_cast<uint32_t>(miniFatStart_) : kEndOfChain);
        Put32(h + kOffMiniFatSectorCount, static_cast<uint32_t>(miniFatSectors_));
        Put32(h + kOffFirstDifatSector,
              difatSectors_ ? static_cast<uint32_t>(difatStart_) : kEndOfChain);
        Put32(h + kOffDifatSectorCount, static_cast<uint32_t>(difatSectors_));
        for (uint32_t i = 0; i < kHeaderDifatCount; ++i) {
            Put32(h + kOffHeaderDifat + 4 * i,
                  i < fatSectors_ ? static_cast<uint32_t>(fatStart_ + i) : kFreeSect);
        }
    }

    void EmitDirectory() {
        const uint64_t slots = dirSectors_ * (kSectorSize / kDirEntrySize);
        for (uint64_t i = 0; i < slots; ++i) {
            uint8_t* p = Sector(dirStart_) + i * kDirEntrySize;
            if (i >= nodes_.size()) {
                Put32(p + kDirLeft, kNoStream);
                Put32(p + kDirRight, kNoStream);
                Put32(p + kDirChild, kNoStream);
                continue;
            }
            const DirNode& node = nodes_[i];
            const Element& e = *node.element;
            const bool root = i == 0;
            const std::u16string_view name = root ? u"Root Entry" : std::u16string_view(e.name);
            for (size_t c = 0; c < name.size(); ++c)
                Put16(p + kDirName + 2 * c, name[c]);
            Put16(p + kDirNameLength, static_cast<uint16_t>((name.size() + 1) * 2));
            p[kDirType] = root ? kTypeRoot : e.isStorage ? kTypeStorage : kTypeStream;
            p[kDirColor] = kColorBlack;
            Put32(p + kDirLeft, node.left);
            Put32(p + kDirRight, node.right);
            Put32(p + kDirChild, node.child);
            if (e.isStorage)
                std::memcpy(p + kDirClsid, &e.clsid, sizeof(CLSID));
            Put32(p + kDirStateBits, e.stateBits);
            if (root) {
                // The root's creation time stays zero (the file's own time stands for it).
                Put64(p + kDirModified, FileTimeToUInt64(e.modified));
                Put32(p + kDirStartSector,
                      miniFat_.empty() ? kEndOfChain : static_cast<uint32_t>(miniStreamStart_));
                Put64(p + kDirSize, uint64_t{miniFat_.size()} * kMiniSectorSize);
            } else if (e.isStorage) {
                Put64(p + kDirCreated, FileTimeToUInt64(e.created));
                Put64(p + kDirModified, FileTimeToUInt64(e.modified));
            } else {
                Put32(p + kDirStartSector, node.start);
                Put64(p + kDirSize, node.size);
            }
        }
    }

    void EmitData() {
        for (const DirNode& node : nodes_) {
            const Element& e = *node.element;
            if (e.isStorage || node.size == 0)
                continue;
            uint8_t* dst = node.size < kMiniStreamCutoff
                               ? Sector(miniStreamStart_) + uint64_t{node.start} * kMiniSectorSize
                               : Sector(node.start);
            std::memcpy(dst, e.data.data(), e.data.size());
        }
        for (size_t i = 0; i < miniFat_.size(); ++i)
            Put32(Sector(miniFatStart_) + 4 * i, miniFat_[i]);
        // The rest of the last mini FAT sector is free.
        const uint64_t miniFatSlots = miniFatSectors_ * (kSectorSize / 4);
        for (uint64_t i = miniFat_.size(); i < miniFatSlots; ++i)
            Put32(Sector(miniFatStart_) + 4 * i, kFreeSect);
    }

    void EmitFat() {
        std::vector<uint32_t> fat(fatSectors_ * (kSectorSize / 4), kFreeSect);
        for (const DirNode& node : nodes_) {
            if (!node.element->isStorage && node.size >= kMiniStreamCutoff)
                Chain(fat, node.start, CeilDiv(node.size, kSectorSize));
        }
        Chain(fat, miniStreamStart_, miniStreamSectors_);
        Chain(fat, miniFatStart_, miniFatSectors_);
        Chain(fat, dirStart_, dirSectors_);
        for (uint64_t i = 0; i < fatSectors_; ++i)
            fat[fatStart_ + i] = kFatSect;
        for (uint64_t i = 0; i < difatSectors_; ++i)
            fat[difatStart_ + i] = kDifSect;
        for (size_t i = 0; i < fat.size(); ++i)
            Put32(Sector(fatStart_) + 4 * i, fat[i]);

        // DIFAT sectors list the FAT sectors after the header's first 109.
        const uint32_t perDifat = kSectorSize / 4 - 1;
        for (uint64_t d = 0; d < difatSectors_; ++d) {
            uint8_t* p = Sector(difatStart_ + d);
            for (uint32_t i = 0; i < perDifat; ++i) {
                const uint64_t index = kHeaderDifatCount + d * perDifat + i;
                Put32(p + 4 * i,
                      index < fatSectors_ ? static_cast<uint32_t>(fatStart_ + index) : kFreeSect);
            }
            Put32(p + 4 * perDifat,
                  d + 1 < difatSectors_ ? static_cast<uint32_t>(difatStart_ + d + 1) : kEndOfChain);
        }
    }

    std::vector<DirNode> nodes_;
    std::vector<uint32_t> miniFat_;
    uint64_t dataSectors_ = 0;
    uint64_t miniStreamStart_ = 0, miniStreamSectors_ = 0;
    uint64_t miniFatStart_ = 0, miniFatSectors_ = 0;
    uint64_t dirStart_ = 0, dirSectors_ = 0;
    uint64_t fatStart_ = 0, fatSectors_ = 0;
    uint64_t difatStart_ = 0, difatSectors_ = 0;
    uint64_t totalSectors_ = 0;
    std::vector<uint8_t>* out_ = nullptr;
};

}  // namespace

HRESULT SerializeCompoundFile(const Element& root, std::vector<uint8_t>* bytes) {
    if (bytes == nullptr || !root.isStorage)
        return STG_E_INVALIDPARAMETER;
    Writer writer;
    return writer.Write(root, bytes);
}

}  // namespace ov::cfb
