// A file held under an advisory lock (flock) whose content is replaced as a whole: written to a
// temporary file beside it, flushed, locked, and renamed over the old one. The lock moves with
// the content, so another opener never finds the new file unlocked. Openers check, after
// locking, that the path still names the file they locked, and try again if it was replaced
// meanwhile. Where flock is emulated with process-wide POSIX locks (some NFS mounts), two
// openers inside one process would not exclude each other; local file systems are fine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/types.h"

namespace ov::cfb {

enum class FileLock { kNone, kShared, kExclusive };

class LockedFile {
public:
    LockedFile() = default;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    LockedFile(LockedFile&& other) noexcept;
    LockedFile& operator=(LockedFile&& other) noexcept;
    ~LockedFile();

    // Opens an existing file. STG_E_FILENOTFOUND, STG_E_ACCESSDENIED, STG_E_LOCKVIOLATION
    // when another opener holds a conflicting lock.
    static HRESULT Open(const std::string& path, bool writable, FileLock lock, LockedFile* out);
    // Creates the file with the given content, or replaces an existing one: the existing file
    // must be writable and not held by another opener. Takes an exclusive lock.
    static HRESULT Create(const std::string& path, const std::vector<uint8_t>& content,
                          LockedFile* out);

    HRESULT ReadAll(std::vector<uint8_t>* content) const;
    // Replaces the content (needs a writable file); on failure the old file stays as it was.
    HRESULT Replace(const std::vector<uint8_t>& content);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    std::string path_;
    int fd_ = -1;
    bool writable_ = false;
    FileLock lock_ = FileLock::kNone;
};

}  // namespace ov::cfb
