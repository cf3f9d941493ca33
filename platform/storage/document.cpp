#include "platform/storage/document.h"

#include <new>
#include <utility>
#include <vector>

#include "platform/storage/storage_types.h"

namespace ov::cfb {

Document::Document(LockedFile file, ElementPtr root, bool writable, bool transacted)
    : file_(std::move(file)),
      root_(std::move(root)),
      writable_(writable),
      transacted_(transacted) {}

Document::~Document() {
    Close();
}

HRESULT Document::Commit() {
    if (!open_)
        return STG_E_REVERTED;
    if (!writable_ || !changed_)
        return S_OK;
    try {
        std::vector<uint8_t> bytes;
        HRESULT hr = SerializeCompoundFile(*root_, &bytes);
        if (FAILED(hr))
            return hr;
        hr = file_.Replace(bytes);
        if (FAILED(hr))
            return hr;
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    changed_ = false;
    return S_OK;
}

HRESULT Document::Revert() {
    if (!open_)
        return STG_E_REVERTED;
    if (!transacted_ || !changed_)
        return S_OK;
    try {
        std::vector<uint8_t> bytes;
        HRESULT hr = file_.ReadAll(&bytes);
        if (FAILED(hr))
            return hr;
        ElementPtr fresh;
        hr = ParseCompoundFile(bytes, &fresh);
        if (FAILED(hr))
            return hr;
        DetachTree(*root_);
        root_ = std::move(fresh);
    } catch (const std::bad_alloc&) {
        return STG_E_INSUFFICIENTMEMORY;
    }
    changed_ = false;
    return S_OK;
}

void Document::Close() {
    if (!open_)
        return;
    if (!transacted_)
        Commit();  // nobody is left to hear of a failure
    open_ = false;
    DetachTree(*root_);
    file_.Close();
}

FILETIME ElementTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

}  // namespace ov::cfb
