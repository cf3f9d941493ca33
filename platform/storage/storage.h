// Structured storage: a compound file (version 3, 512-byte sectors) read and written through
// IStorage / IStream style objects.
//
//   ComPtr<IStorage> root;
//   StgCreateDocfile(path, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED,
//                    root.ReleaseAndGetAddressOf());
//   ComPtr<IStorage> table;
//   root->CreateStorage(u"Table", STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
//                       table.ReleaseAndGetAddressOf());
//   ComPtr<IStream> s;
//   table->CreateStream(u"DATA", STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
//   s.ReleaseAndGetAddressOf()); s->Write(bytes, n, nullptr); root->Commit(STGC_DEFAULT);   // the
//   file on disk changes here
//
// What this subset offers, and how it differs from the platform it stands in for:
//  - The root owns the file. STGM_TRANSACTED: the file changes only at the root's Commit, which
//    writes a temporary file and renames it over the old one; releasing the root without a
//    Commit drops the changes. Direct mode: the root writes the file at Commit and when it is
//    released. StgCreateDocfile writes the new, empty file at once.
//  - Storages and streams below the root work directly on the root's image: their Commit
//    publishes nothing further and always succeeds, and Revert exists only on the root.
//  - Sharing: a root opened for writing, or with STGM_SHARE_EXCLUSIVE, holds an exclusive lock
//    on the file, so a second opener (in this process or another) fails with
//    STG_E_LOCKVIOLATION until it is released. A read-only root with STGM_SHARE_DENY_WRITE holds
//    a shared lock; with STGM_SHARE_DENY_NONE none. Child elements may be opened many times.
//  - Element names are UTF-16, 1 to 31 characters, without '/', '\\', ':' or '!', and compare
//    without regard to letter case (the format's rule).
//  - Times: only storages carry times. A storage's modification time is set when an element is
//    created in it or destroyed, and when one of its streams is written or resized;
//    SetElementTimes sets it explicitly. Streams report zero times. There are no access times.
//  - A handle to an element that has been destroyed or replaced, or whose root has been released
//    or reverted, answers STG_E_REVERTED.
//  - Objects of one file are used from one thread at a time; they take no locks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/unknown.h"
#include "platform/storage/storage_types.h"
#include "platform/win32/time.h"

struct STATSTG {
    std::u16string name;  // empty with STATFLAG_NONAME
    DWORD type = 0;       // STGTY_STORAGE or STGTY_STREAM
    ULONGLONG cbSize = 0;
    FILETIME mtime{};
    FILETIME ctime{};
    FILETIME atime{};  // always zero: the format keeps no access time
    DWORD grfMode = 0;
    CLSID clsid{};
    DWORD grfStateBits = 0;
};

struct IStream : IUnknown {
    static constexpr IID kIID = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    using Base = IUnknown;
    // Reads up to cb bytes from the seek position; fewer at the end (S_OK either way).
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    // Writes at the seek position, growing the stream (with zeros) as needed.
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
    virtual HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) = 0;
    virtual HRESULT SetSize(ULONGLONG size) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;

protected:
    ~IStream() = default;
};

struct IStorage : IUnknown {
    static constexpr IID kIID = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    using Base = IUnknown;
    // STGM_CREATE replaces an element of that name; without it an existing name gives
    // STG_E_FILEALREADYEXISTS.
    virtual HRESULT CreateStream(LPCOLESTR name, DWORD mode, IStream** stream) = 0;
    virtual HRESULT OpenStream(LPCOLESTR name, DWORD mode, IStream** stream) = 0;
    virtual HRESULT CreateStorage(LPCOLESTR name, DWORD mode, IStorage** storage) = 0;
    virtual HRESULT OpenStorage(LPCOLESTR name, DWORD mode, IStorage** storage) = 0;
    virtual HRESULT DestroyElement(LPCOLESTR name) = 0;
    // The elements directly below this storage, in the format's name order.
    virtual HRESULT EnumElements(std::vector<STATSTG>* elements) = 0;
    // Null leaves a time as it is; access times are not kept. Only storages carry times
    // (STG_E_INVALIDFUNCTION for a stream).
    virtual HRESULT SetElementTimes(LPCOLESTR name, const FILETIME* ctime, const FILETIME* atime,
                                    const FILETIME* mtime) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    // Root only: returns to the file's content at the last Commit.
    virtual HRESULT Revert() = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD statFlag) = 0;

protected:
    ~IStorage() = default;
};

// Creates a compound file (path in UTF-8). Needs write access. Without STGM_CREATE an existing
// file gives STG_E_FILEALREADYEXISTS; with it the file is replaced, unless another opener
// holds it (STG_E_LOCKVIOLATION) or it cannot be written (STG_E_ACCESSDENIED).
HRESULT StgCreateDocfile(std::string_view path, DWORD mode, IStorage** root);
// Opens a compound file. STG_E_FILENOTFOUND, STG_E_INVALIDHEADER for a file that is not a
// compound file, STG_E_DOCFILECORRUPT for one whose structure does not hold together,
// STG_E_LOCKVIOLATION while another opener holds it.
HRESULT StgOpenStorage(std::string_view path, DWORD mode, IStorage** root);
// S_OK when the file starts with the compound file signature, S_FALSE when it does not.
HRESULT StgIsStorageFile(std::string_view path);
