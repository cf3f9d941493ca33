#include "platform/storage/locked_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "platform/storage/storage_types.h"

namespace ov::cfb {

namespace {

// Replaced files are looked up again this many times before an opener gives up; each retry
// means another process replaced the file between our open and our lock.
constexpr int kOpenAttempts = 16;

HRESULT FromErrno(int err) {
    switch (err) {
        case ENOENT:
            return STG_E_FILENOTFOUND;
        case ENOTDIR:
            return STG_E_PATHNOTFOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return STG_E_ACCESSDENIED;
        case ENOSPC:
        case EDQUOT:
            return STG_E_MEDIUMFULL;
        case ENOMEM:
            return STG_E_INSUFFICIENTMEMORY;
        default:
            return STG_E_WRITEFAULT;
    }
}

bool TryLock(int fd, FileLock lock) {
    if (lock == FileLock::kNone)
        return true;
    int rc;
    do {
        rc = ::flock(fd, (lock == FileLock::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// True when path still names the file open as fd.
bool StillNamed(int fd, const std::string& path) {
    struct stat a {};
    struct stat b {};
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool WriteAll(int fd, const std::vector<uint8_t>& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void SyncDirectoryOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    const int dir =
        ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

LockedFile::LockedFile(LockedFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      writable_(other.writable_),
      lock_(other.lock_) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        writable_ = other.writable_;
        lock_ = other.lock_;
    }
    return *this;
}

LockedFile::~LockedFile() {
    Close();
}

void LockedFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);  // releases the lock
    fd_ = -1;
}

HRESULT LockedFile::Open(const std::string& path, bool writable, FileLock lock, LockedFile* out) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (fd < 0)
            return FromErrno(errno);
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return STG_E_ACCESSDENIED;
        }
        if (!TryLock(fd, lock)) {
            ::close(fd);
            return STG_E_LOCKVIOLATION;
        }
        if (!StillNamed(fd, path)) {  // replaced between open and lock: look again
            ::close(fd);
            continue;
        }
        out->Close();
        out->path_ = path;
        out->fd_ = fd;
        out->writable_ = writable;
        out->lock_ = lock;
        return S_OK;
    }
    return STG_E_LOCKVIOLATION;
}

HRESULT LockedFile::Create(const std::string& path, const std::vector<uint8_t>& content,
                           LockedFile* out) {
    bool created = false;  // the empty file claiming the name is ours
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        LockedFile file;
        HRESULT hr = Open(path, true, FileLock::kExclusive, &file);
        if (hr == STG_E_FILENOTFOUND) {
            // Claim the name with an empty file, then treat it as an existing one: of two
            // creators racing here only one gets the lock.
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                return FromErrno(errno);
            if (fd >= 0)
                ::close(fd);
            created = fd >= 0;
            continue;
        }
        if (FAILED(hr))
            return hr;
        hr = file.Replace(content);
        if (FAILED(hr)) {
            if (created)
                ::unlink(path.c_str());  // still locked by us, so still the empty file we made
            return hr;
        }
        *out = std::move(file);
        return S_OK;
    }
    return STG_E_LOCKVIOLATION;
}

HRESULT LockedFile::ReadAll(std::vector<uint8_t>* content) const {
    if (fd_ < 0)
        return STG_E_REVERTED;
    content->clear();
    if (::lseek(fd_, 0, SEEK_SET) != 0)
        return STG_E_READFAULT;
    uint8_t buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            content->insert(content->end(), buf, buf + n);
        } else if (n == 0) {
            return S_OK;
        } else if (errno != EINTR) {
            return STG_E_READFAULT;
        }
    }
}

HRESULT LockedFile::Replace(const std::vector<uint8_t>& content) {
    if (fd_ < 0)
        return STG_E_REVERTED;
    if (!writable_)
        return STG_E_ACCESSDENIED;
    std::string temp = path_ + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return FromErrno(errno);
    // Keep the permissions of the file being replaced.
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);
    const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    const int err = errno;
    // Lock the new file before it becomes visible under the name.
    if (!written || !TryLock(fd, lock_) || ::rename(temp.c_str(), path_.c_str()) != 0) {
        const HRESULT hr = written ? FromErrno(errno) : FromErrno(err);
        ::close(fd);
        ::unlink(temp.c_str());
        return hr;
    }
    SyncDirectoryOf(path_);
    ::close(fd_);  // releases the old file's lock; the new one is already held
    fd_ = fd;
    return S_OK;
}

}  // namespace ov::cfb
