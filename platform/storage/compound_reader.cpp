// Reading a compound file. The file may come from anywhere, so every number in it is checked
// before it is used, and every walk is bounded by the sectors the file really has.
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/storage/compound_format.h"
#include "platform/storage/compound_image.h"
#include "platform/storage/storage_types.h"

namespace ov::cfb {

namespace {

constexpr uint64_t kUnknownLength = ~uint64_t{0};

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return a / b + (a % b != 0);
}

class Reader {
public:
    explicit Reader(std::span<const uint8_t> file) : file_(file) {}

    HRESULT Read(ElementPtr* root) {
        HRESULT hr = ReadHeader();
        if (FAILED(hr))
            return hr;
        if (FAILED(hr = LoadFat()) || FAILED(hr = LoadDirectory()) ||
            FAILED(hr = LoadMiniStream()) || FAILED(hr = LoadMiniFat()))
            return hr;
        return BuildTree(root);
    }

private:
    static HRESULT Corrupt() { return STG_E_DOCFILECORRUPT; }

    const uint8_t* Header() const { return file_.data(); }
    const uint8_t* Entry(uint32_t id) const { return dir_.data() + size_t{id} * kDirEntrySize; }

    HRESULT ReadHeader() {
        if (file_.size() < kHeaderSize || !HasCompoundFileSignature(file_))
            return STG_E_INVALIDHEADER;
        const uint8_t* h = Header();
        if (Get16(h + kOffByteOrder) != 0xFFFE)
            return Corrupt();
        const uint16_t major = Get16(h + kOffMajorVersion);
        const uint16_t shift = Get16(h + kOffSectorShift);
        if (major == 3 && shift == 9)
            sectorSize_ = 512;
        else if (major == 4 && shift == 12)
            sectorSize_ = 4096;
        else
            return Corrupt();
        major_ = major;
        if (Get16(h + kOffMiniSectorShift) != 6 || Get32(h + kOffMiniCutoff) != kMiniStreamCutoff)
            return Corrupt();
        // The header occupies the first sector; sector n starts at (n + 1) * sectorSize_. A
        // last sector cut short by the writer reads as padded with zeros.
        const uint64_t body = file_.size() > sectorSize_ ? file_.size() - sectorSize_ : 0;
        const uint64_t count = CeilDiv(body, sectorSize_);
        if (count > kMaxRegSect)
            return Corrupt();
        sectorCount_ = static_cast<uint32_t>(count);
        claimed_.assign(sectorCount_, false);
        return S_OK;
    }

    // Copies sector s (already checked against sectorCount_) to dst, zero-filling what lies
    // beyond the end of the file.
    void CopySector(uint32_t s, uint8_t* dst) const {
        const uint64_t offset = (uint64_t{s} + 1) * sectorSize_;
        const uint64_t avail = offset < file_.size() ? file_.size() - offset : 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(avail, sectorSize_));
        if (n > 0)
            std::memcpy(dst, file_.data() + offset, n);
        std::memset(dst + n, 0, sectorSize_ - n);
    }

    // Takes sector s for one use; a sector used twice means a loop or crossed chains.
    bool Claim(uint32_t s) {
        if (s >= sectorCount_ || claimed_[s])
            return false;
        claimed_[s] = true;
        return true;
    }

    HRESULT LoadFat() {
        const uint8_t* h = Header();
        const uint32_t fatCount = Get32(h + kOffFatSectorCount);
        if (fatCount > sectorCount_)
            return Corrupt();
        std::vector<uint32_t> fatSectors;
        fatSectors.reserve(fatCount);
        for (uint32_t i = 0; i < kHeaderDifatCount && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(Get32(h + kOffHeaderDifat + 4 * i));

        // The rest of the list lives in the DIFAT chain: each sector holds entries and, last,
        // the number of the next DIFAT sector.
        const uint32_t perDifat = sectorSize_ / 4 - 1;
        std::vector<uint8_t> sector(sectorSize_);
        uint32_t next = Get32(h + kOffFirstDifatSector);
        while (fatSectors.size() < fatCount) {
            if (!Claim(next))
                return Corrupt();
            CopySector(next, sector.data());
            for (uint32_t i = 0; i < perDifat && fatSectors.size() < fatCount; ++i)
                fatSectors.push_back(Get32(sector.data() + 4 * i));
            next = Get32(sector.data() + 4 * perDifat);
        }

        const uint32_t perFat = sectorSize_ / 4;
        fat_.resize(size_t{fatCount} * perFat);
        for (size_t i = 0; i < fatSectors.size(); ++i) {
            if (!Claim(fatSectors[i]))
                return Corrupt();
            CopySector(fatSectors[i], sector.data());
            for (uint32_t j = 0; j < perFat; ++j)
                fat_[i * perFat + j] = Get32(sector.data() + 4 * j);
        }
        return S_OK;
    }

    // Follows the FAT chain from start. With a known length, exactly that many sectors must
    // be there; otherwise the chain runs to its end. Every sector is claimed, so the walk ends
    // after at most sectorCount_ steps.
    HRESULT Walk(uint32_t start, uint64_t length, std::vector<uint32_t>* sectors) {
        sectors->clear();
        if (length != kUnknownLength) {
            if (length > sectorCount_)
                return Corrupt();
            sectors->reserve(static_cast<size_t>(length));
        }
        uint32_t s = start;
        while (length == kUnknownLength || sectors->size() < length) {
            if (s == kEndOfChain && length == kUnknownLength)
                break;
            if (s >= fat_.size() || !Claim(s))
                return Corrupt();
            sectors->push_back(s);
            s = fat_[s];
        }
        return S_OK;
    }

    // The bytes of a chain of whole sectors.
    std::vector<uint8_t> Gather(const std::vector<uint32_t>& sectors) const {
        std::vector<uint8_t> bytes(sectors.size() * size_t{sectorSize_});
        for (size_t i = 0; i < sectors.size(); ++i)
            CopySector(sectors[i], bytes.data() + i * sectorSize_);
        return bytes;
    }

    HRESULT LoadDirectory() {
        std::vector<uint32_t> sectors;
        HRESULT hr = Walk(Get32(Header() + kOffFirstDirSector), kUnknownLength, &sectors);
        if (FAILED(hr))
            return hr;
        if (sectors.empty())
            return Corrupt();
        dir_ = Gather(sectors);
        dirCount_ = static_cast<uint32_t>(dir_.size() / kDirEntrySize);
        if (Entry(0)[kDirType] != kTypeRoot)
            return Corrupt();
        return S_OK;
    }

    uint64_t EntrySize(uint32_t id) const {
        // Version 3 files keep 32-bit sizes; some writers leave garbage in the upper half.
        const uint64_t size = Get64(Entry(id) + kDirSize);
        return major_ == 3 ? (size & 0xFFFFFFFFu) : size;
    }

    HRESULT LoadMiniStream() {
        const uint64_t size = EntrySize(0);
        if (size == 0)
            return S_OK;
        std::vector<uint32_t> sectors;
        HRESULT hr = Walk(Get32(Entry(0) + kDirStartSector), CeilDiv(size, sectorSize_), &sectors);
        if (FAILED(hr))
            return hr;
        miniStream_ = Gather(sectors);
        miniSectorCount_ = static_cast<uint32_t>(CeilDiv(size, kMiniSectorSize));
        miniClaimed_.assign(miniSectorCount_, false);
        return S_OK;
    }

    HRESULT LoadMiniFat() {
        const uint32_t start = Get32(Header() + kOffFirstMiniFatSector);
        if (start >= kMaxRegSect)  // none
            return S_OK;
        std::vector<uint32_t> sectors;
        HRESULT hr = Walk(start, kUnknownLength, &sectors);
        if (FAILED(hr))
            return hr;
        const std::vector<uint8_t> bytes = Gather(sectors);
        miniFat_.resize(bytes.size() / 4);
        for (size_t i = 0; i < miniFat_.size(); ++i)
            miniFat_[i] = Get32(bytes.data() + 4 * i);
        return S_OK;
    }

    HRESULT ReadStream(uint32_t id, std::vector<uint8_t>* data) {
        const uint64_t size = EntrySize(id);
        const uint32_t start = Get32(Entry(id) + kDirStartSector);
        data->clear();
        if (size == 0)
            return S_OK;
        if (size >= kMiniStreamCutoff) {
            std::vector<uint32_t> sectors;
            HRESULT hr = Walk(start, CeilDiv(size, sectorSize_), &sectors);
            if (FAILED(hr))
                return hr;
            *data = Gather(sectors);
            data->resize(static_cast<size_t>(size));
            return S_OK;
        }
        const uint64_t count = CeilDiv(size, kMiniSectorSize);
        if (count > miniSectorCount_)
            return Corrupt();
        data->resize(static_cast<size_t>(count * kMiniSectorSize));
        uint32_t s = start;
        for (uint64_t i = 0; i < count; ++i) {
            if (s >= miniSectorCount_ || s >= miniFat_.size() || miniClaimed_[s])
                return Corrupt();
            miniClaimed_[s] = true;
            std::memcpy(data->data() + i * kMiniSectorSize,
                        miniStream_.data() + size_t{s} * kMiniSectorSize, kMiniSectorSize);
            s = miniFat_[s];
        }
        data->resize(static_cast<size_t>(size));
        return S_OK;
    }

    static bool ReadName(const uint8_t* entry, std::u16string* name) {
        const uint16_t bytes = Get16(entry + kDirNameLength);
        if (bytes < 4 || bytes > 64 || bytes % 2 != 0)
            return false;
        name->clear();
        for (uint16_t i = 0; i + 2 < bytes; i += 2) {
            const char16_t c = static_cast<char16_t>(Get16(entry + kDirName + i));
            if (c == 0)
                return false;
            name->push_back(c);
        }
        return true;
    }

    static FILETIME ReadTime(const uint8_t* p) { return FileTimeFromUInt64(Get64(p)); }

    // Walks the sibling trees from the root down. Every entry may be reached once; a second
    // visit means a loop or a shared subtree.
    HRESULT BuildTree(ElementPtr* out) {
        auto root = std::make_shared<Element>();
        root->name = u"Root Entry";
        root->isStorage = true;
        std::memcpy(&root->clsid, Entry(0) + kDirClsid, sizeof(CLSID));
        root->stateBits = Get32(Entry(0) + kDirStateBits);
        root->created = ReadTime(Entry(0) + kDirCreated);
        root->modified = ReadTime(Entry(0) + kDirModified);

        struct Pending {
            uint32_t id;
            Element* element;
            int depth;
        };
        std::vector<bool> visited(dirCount_, false);
        visited[0] = true;
        std::vector<Pending> storages{{0, root.get(), 0}};
        std::vector<uint32_t> siblings;
        while (!storages.empty()) {
            const Pending parent = storages.back();
            storages.pop_back();
            siblings.assign(1, Get32(Entry(parent.id) + kDirChild));
            while (!siblings.empty()) {
                const uint32_t id = siblings.back();
                siblings.pop_back();
                if (id == kNoStream)
                    continue;
                if (id >= dirCount_ || visited[id])
                    return Corrupt();
                visited[id] = true;
                const uint8_t* entry = Entry(id);
                const uint8_t type = entry[kDirType];
                if (type != kTypeStorage && type != kTypeStream)
                    return Corrupt();
                auto element = std::make_shared<Element>();
                if (!ReadName(entry, &element->name))
                    return Corrupt();
                element->isStorage = type == kTypeStorage;
                if (element->isStorage)
                    std::memcpy(&element->clsid, entry + kDirClsid, sizeof(CLSID));
                element->stateBits = Get32(entry + kDirStateBits);
                if (element->isStorage) {
                    if (parent.depth + 1 > kMaxNestingDepth)
                        return Corrupt();
                    element->created = ReadTime(entry + kDirCreated);
                    element->modified = ReadTime(entry + kDirModified);
                    storages.push_back({id, element.get(), parent.depth + 1});
                } else {
                    HRESULT hr = ReadStream(id, &element->data);
                    if (FAILED(hr))
                        return hr;
                }
                const std::u16string name = element->name;
                if (!parent.element->children.emplace(name, std::move(element)).second)
                    return Corrupt();  // two siblings of the same name
                siblings.push_back(Get32(entry + kDirLeft));
                siblings.push_back(Get32(entry + kDirRight));
            }
        }
        *out = std::move(root);
        return S_OK;
    }

    std::span<const uint8_t> file_;
    uint32_t sectorSize_ = kSectorSize;
    uint16_t major_ = 3;
    uint32_t sectorCount_ = 0;
    std::vector<bool> claimed_;  // per sector: already part of a chain
    std::vector<uint32_t> fat_;
    std::vector<uint8_t> dir_;
    uint32_t dirCount_ = 0;
    std::vector<uint8_t> miniStream_;  // whole sectors; miniSectorCount_ of them are in use
    uint32_t miniSectorCount_ = 0;
    std::vector<bool> miniClaimed_;
    std::vector<uint32_t> miniFat_;
};

}  // namespace

bool HasCompoundFileSignature(std::span<const uint8_t> bytes) {
    return bytes.size() >= sizeof kSignature &&
           std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

HRESULT ParseCompoundFile(std::span<const uint8_t> bytes, ElementPtr* root) {
    if (root == nullptr)
        return STG_E_INVALIDPOINTER;
    Reader reader(bytes);
    return reader.Read(root);
}

void DetachTree(Element& element) {
    element.detached = true;
    for (auto& [name, child] : element.children)
        DetachTree(*child);
}

}  // namespace ov::cfb
