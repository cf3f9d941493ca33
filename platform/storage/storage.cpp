// The IStorage / IStream objects over a Document, and the functions that open and create files.
#include "platform/storage/storage.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "platform/com/object.h"
#include "platform/storage/document.h"

using ov::cfb::Document;
using ov::cfb::Element;
using ov::cfb::ElementPtr;

namespace {

bool WantsWrite(DWORD mode) {
    return (mode & 3) != STGM_READ;
}

std::u16string_view NameView(LPCOLESTR name) {
    return name ? std::u16string_view(name) : std::u16string_view();
}

class CStream final : public ComObject<CStream, IStream> {
public:
    CStream(std::shared_ptr<Document> doc, ElementPtr self, ElementPtr parent, DWORD mode)
        : doc_(std::move(doc)), self_(std::move(self)), parent_(std::move(parent)), mode_(mode) {}

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead)
            *pcbRead = 0;
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        if (pv == nullptr && cb != 0)
            return STG_E_INVALIDPOINTER;
        const std::vector<uint8_t>& data = self_->data;
        const uint64_t avail = pos_ < data.size() ? data.size() - pos_ : 0;
        const ULONG n = static_cast<ULONG>(std::min<uint64_t>(avail, cb));
        if (n > 0)
            std::memcpy(pv, data.data() + pos_, n);
        pos_ += n;
        if (pcbRead)
            *pcbRead = n;
        return S_OK;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten)
            *pcbWritten = 0;
        if (HRESULT hr = CheckWritable(); FAILED(hr))
            return hr;
        if (pv == nullptr && cb != 0)
            return STG_E_INVALIDPOINTER;
        if (cb == 0)
            return S_OK;
        const uint64_t end = pos_ + cb;
        if (end > ov::cfb::kMaxStreamSize)
            return STG_E_MEDIUMFULL;
        std::vector<uint8_t>& data = self_->data;
        try {
            if (end > data.size())
                data.resize(static_cast<size_t>(end));
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        std::memcpy(data.data() + pos_, pv, cb);
        pos_ = end;
        Changed();
        if (pcbWritten)
            *pcbWritten = cb;
        return S_OK;
    }

    HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) override {
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        int64_t base;
        switch (origin) {
            case STREAM_SEEK_SET:
                base = 0;
                break;
            case STREAM_SEEK_CUR:
                base = static_cast<int64_t>(pos_);
                break;
            case STREAM_SEEK_END:
                base = static_cast<int64_t>(self_->data.size());
                break;
            default:
                return STG_E_INVALIDFUNCTION;
        }
        if ((move < 0 && base < -move) || (move > 0 && move > INT64_MAX - base))
            return STG_E_INVALIDFUNCTION;
        pos_ = static_cast<uint64_t>(base + move);
        if (newPosition)
            *newPosition = pos_;
        return S_OK;
    }

    HRESULT SetSize(ULONGLONG size) override {
        if (HRESULT hr = CheckWritable(); FAILED(hr))
            return hr;
        if (size > ov::cfb::kMaxStreamSize)
            return STG_E_MEDIUMFULL;
        try {
            self_->data.resize(static_cast<size_t>(size));
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        Changed();
        return S_OK;
    }

    HRESULT Commit(DWORD) override { return Check(); }

    HRESULT Stat(STATSTG* stat, DWORD statFlag) override {
        if (stat == nullptr)
            return STG_E_INVALIDPOINTER;
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        *stat = STATSTG{};
        if (statFlag != STATFLAG_NONAME)
            stat->name = self_->name;
        stat->type = STGTY_STREAM;
        stat->cbSize = self_->data.size();
        stat->grfMode = mode_;
        return S_OK;
    }

private:
    HRESULT Check() const { return doc_->IsOpen() && !self_->detached ? S_OK : STG_E_REVERTED; }
    HRESULT CheckWritable() const {
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        return WantsWrite(mode_) && doc_->IsWritable() ? S_OK : STG_E_ACCESSDENIED;
    }
    // A stream's change is a change of the storage holding it.
    void Changed() {
        parent_->modified = ov::cfb::ElementTimeNow();
        doc_->MarkChanged();
    }

    std::shared_ptr<Document> doc_;
    ElementPtr self_;
    ElementPtr parent_;
    const DWORD mode_;
    uint64_t pos_ = 0;
};

class CStorage final : public ComObject<CStorage, IStorage> {
public:
    // A root storage (self null) follows the document's root, which Revert replaces.
    CStorage(std::shared_ptr<Document> doc, ElementPtr self, DWORD mode, int depth)
        : doc_(std::move(doc)), self_(std::move(self)), mode_(mode), depth_(depth) {}
    ~CStorage() override {
        if (IsRoot())
            doc_->Close();
    }

    HRESULT CreateStream(LPCOLESTR name, DWORD mode, IStream** stream) override {
        ElementPtr element;
        HRESULT hr = CreateElement(name, mode, false, stream, &element);
        if (SUCCEEDED(hr))
            *stream = MakeComObject<CStream>(doc_, element, Self(), mode).Detach();
        return hr;
    }

    HRESULT OpenStream(LPCOLESTR name, DWORD mode, IStream** stream) override {
        ElementPtr element;
        HRESULT hr = OpenElement(name, mode, false, stream, &element);
        if (SUCCEEDED(hr))
            *stream = MakeComObject<CStream>(doc_, element, Self(), mode).Detach();
        return hr;
    }

    HRESULT CreateStorage(LPCOLESTR name, DWORD mode, IStorage** storage) override {
        if (depth_ + 1 > ov::cfb::kMaxNestingDepth)
            return STG_E_INVALIDFUNCTION;
        ElementPtr element;
        HRESULT hr = CreateElement(name, mode, true, storage, &element);
        if (SUCCEEDED(hr))
            *storage = MakeComObject<CStorage>(doc_, element, mode, depth_ + 1).Detach();
        return hr;
    }

    HRESULT OpenStorage(LPCOLESTR name, DWORD mode, IStorage** storage) override {
        ElementPtr element;
        HRESULT hr = OpenElement(name, mode, true, storage, &element);
        if (SUCCEEDED(hr))
            *storage = MakeComObject<CStorage>(doc_, element, mode, depth_ + 1).Detach();
        return hr;
    }

    HRESULT DestroyElement(LPCOLESTR name) override {
        if (HRESULT hr = CheckWritable(); FAILED(hr))
            return hr;
        Element& self = *Self();
        auto it = self.children.find(NameView(name));
        if (it == self.children.end())
            return STG_E_FILENOTFOUND;
        ov::cfb::DetachTree(*it->second);
        self.children.erase(it);
        Changed();
        return S_OK;
    }

    HRESULT EnumElements(std::vector<STATSTG>* elements) override {
        if (elements == nullptr)
            return STG_E_INVALIDPOINTER;
        elements->clear();
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        try {
            const Element& self = *Self();
            elements->reserve(self.children.size());
            for (const auto& [name, child] : self.children)
                elements->push_back(Describe(*child, STATFLAG_DEFAULT, 0));
        } catch (const std::bad_alloc&) {
            elements->clear();
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

    HRESULT SetElementTimes(LPCOLESTR name, const FILETIME* ctime, const FILETIME*,
                            const FILETIME* mtime) override {
        if (HRESULT hr = CheckWritable(); FAILED(hr))
            return hr;
        Element& self = *Self();
        auto it = self.children.find(NameView(name));
        if (it == self.children.end())
            return STG_E_FILENOTFOUND;
        Element& element = *it->second;
        if (!element.isStorage)
            return STG_E_INVALIDFUNCTION;
        if (ctime)
            element.created = *ctime;
        if (mtime)
            element.modified = *mtime;
        doc_->MarkChanged();
        return S_OK;
    }

    HRESULT Commit(DWORD) override {
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        return IsRoot() ? doc_->Commit() : S_OK;
    }

    HRESULT Revert() override {
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        return IsRoot() ? doc_->Revert() : S_OK;
    }

    HRESULT Stat(STATSTG* stat, DWORD statFlag) override {
        if (stat == nullptr)
            return STG_E_INVALIDPOINTER;
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        *stat = Describe(*Self(), statFlag, mode_);
        return S_OK;
    }

private:
    bool IsRoot() const { return self_ == nullptr; }
    const ElementPtr& Self() const { return IsRoot() ? doc_->Root() : self_; }

    HRESULT Check() const { return doc_->IsOpen() && !Self()->detached ? S_OK : STG_E_REVERTED; }
    HRESULT CheckWritable() const {
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        return WantsWrite(mode_) && doc_->IsWritable() ? S_OK : STG_E_ACCESSDENIED;
    }
    void Changed() {
        Self()->modified = ov::cfb::ElementTimeNow();
        doc_->MarkChanged();
    }

    static STATSTG Describe(const Element& e, DWORD statFlag, DWORD mode) {
        STATSTG st;
        if (statFlag != STATFLAG_NONAME)
            st.name = e.name;
        st.type = e.isStorage ? STGTY_STORAGE : STGTY_STREAM;
        st.cbSize = e.isStorage ? 0 : e.data.size();
        if (e.isStorage) {
            st.ctime = e.created;
            st.mtime = e.modified;
            st.clsid = e.clsid;
        }
        st.grfMode = mode;
        st.grfStateBits = e.stateBits;
        return st;
    }

    template <class Out>
    HRESULT CreateElement(LPCOLESTR name, DWORD mode, bool isStorage, Out** out,
                          ElementPtr* created) {
        if (out == nullptr || name == nullptr)
            return STG_E_INVALIDPOINTER;
        *out = nullptr;
        if (HRESULT hr = CheckWritable(); FAILED(hr))
            return hr;
        if (!ov::cfb::IsValidElementName(name))
            return STG_E_INVALIDNAME;
        Element& self = *Self();
        auto it = self.children.find(NameView(name));
        if (it != self.children.end()) {
            if ((mode & STGM_CREATE) == 0)
                return STG_E_FILEALREADYEXISTS;
            ov::cfb::DetachTree(*it->second);
            self.children.erase(it);
        }
        try {
            auto element = std::make_shared<Element>();
            element->name = name;
            element->isStorage = isStorage;
            if (isStorage)
                element->created = element->modified = ov::cfb::ElementTimeNow();
            self.children.emplace(element->name, element);
            *created = std::move(element);
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        Changed();
        return S_OK;
    }

    template <class Out>
    HRESULT OpenElement(LPCOLESTR name, DWORD mode, bool isStorage, Out** out, ElementPtr* found) {
        if (out == nullptr || name == nullptr)
            return STG_E_INVALIDPOINTER;
        *out = nullptr;
        if (HRESULT hr = Check(); FAILED(hr))
            return hr;
        const Element& self = *Self();
        auto it = self.children.find(NameView(name));
        if (it == self.children.end() || it->second->isStorage != isStorage)
            return STG_E_FILENOTFOUND;
        if (WantsWrite(mode) && !(WantsWrite(mode_) && doc_->IsWritable()))
            return STG_E_ACCESSDENIED;
        *found = it->second;
        return S_OK;
    }

    std::shared_ptr<Document> doc_;
    ElementPtr self_;  // null for the root
    const DWORD mode_;
    const int depth_;
};

ov::cfb::FileLock LockFor(DWORD mode) {
    const DWORD share = mode & 0x70;
    if (WantsWrite(mode) || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ)
        return ov::cfb::FileLock::kExclusive;
    if (share == STGM_SHARE_DENY_WRITE)
        return ov::cfb::FileLock::kShared;
    return ov::cfb::FileLock::kNone;
}

HRESULT MakeRoot(ov::cfb::LockedFile file, ElementPtr root, DWORD mode, IStorage** out) {
    auto doc = std::make_shared<Document>(std::move(file), std::move(root), WantsWrite(mode),
                                          (mode & STGM_TRANSACTED) != 0);
    *out = MakeComObject<CStorage>(std::move(doc), nullptr, mode, 0).Detach();
    return S_OK;
}

}  // namespace

HRESULT StgCreateDocfile(std::string_view path, DWORD mode, IStorage** root) {
    if (root == nullptr)
        return STG_E_INVALIDPOINTER;
    *root = nullptr;
    if (!WantsWrite(mode))
        return STG_E_INVALIDFLAG;
    const std::string file(path);
    struct stat st {};
    if ((mode & STGM_CREATE) == 0 && ::stat(file.c_str(), &st) == 0)
        return STG_E_FILEALREADYEXISTS;
    try {
        auto tree = std::make_shared<Element>();
        tree->name = u"Root Entry";
        tree->isStorage = true;
        tree->modified = ov::cfb::ElementTimeNow();
        std::vector<uint8_t> bytes;
        HRESULT hr = ov::cfb::SerializeCompoundFile(*tree, &bytes);
        if (FAILED(hr))
            return hr;
        ov::cfb::LockedFile locked;
        hr = ov::cfb::LockedFile::Create(file, bytes, &locked);
        if (FAILED(hr))
            return hr;
        return MakeRoot(std::move(locked), std::move(tree), mode, root);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT StgOpenStorage(std::string_view path, DWORD mode, IStorage** root) {
    if (root == nullptr)
        return STG_E_INVALIDPOINTER;
    *root = nullptr;
    try {
        ov::cfb::LockedFile locked;
        HRESULT hr =
            ov::cfb::LockedFile::Open(std::string(path), WantsWrite(mode), LockFor(mode), &locked);
        if (FAILED(hr))
            return hr;
        std::vector<uint8_t> bytes;
        hr = locked.ReadAll(&bytes);
        if (FAILED(hr))
            return hr;
        ElementPtr tree;
        hr = ov::cfb::ParseCompoundFile(bytes, &tree);
        if (FAILED(hr))
            return hr;
        return MakeRoot(std::move(locked), std::move(tree), mode, root);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
}

HRESULT StgIsStorageFile(std::string_view path) {
    ov::cfb::LockedFile locked;
    HRESULT hr =
        ov::cfb::LockedFile::Open(std::string(path), false, ov::cfb::FileLock::kNone, &locked);
    if (FAILED(hr))
        return hr;
    std::vector<uint8_t> bytes;
    hr = locked.ReadAll(&bytes);
    if (FAILED(hr))
        return hr;
    return ov::cfb::HasCompoundFileSignature(bytes) ? S_OK : S_FALSE;
}
