#include "transfer/transfer_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace ov::transfer {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

class PosixSource final : public SourceFile {
public:
    explicit PosixSource(int fd) : fd_(fd) {}
    bool Seek(uint64_t offset) override {
        if (::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0)
            return false;
        position_ = offset;
        return true;
    }
    std::optional<std::size_t> Read(uint8_t* buffer, std::size_t n) override {
        std::size_t got = 0;
        while (got < n) {
            const ssize_t r = ::read(fd_.get(), buffer + got, n - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return std::nullopt;
            if (r == 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        position_ += got;
        return got;
    }
    uint64_t Position() const override { return position_; }

private:
    FileDescriptor fd_;
    uint64_t position_ = 0;
};

class PosixTarget final : public TargetFile {
public:
    PosixTarget(int fd, uint64_t length) : fd_(fd), length_(length) {}
    bool Append(const uint8_t* data, std::size_t n) override {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_.get(), data + done, n - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += static_cast<std::size_t>(w);
            length_ += static_cast<uint64_t>(w);
        }
        return true;
    }
    uint64_t Length() const override { return length_; }

private:
    FileDescriptor fd_;
    uint64_t length_;
};

// O_NOFOLLOW: a link planted under the received name must not send the data elsewhere.
constexpr int kTargetFlags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW;

// A regular file's length, or nothing (and the descriptor closed) for anything else.
std::optional<uint64_t> RegularLength(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

// Refuses a name that exists as something other than a regular file before opening it: a FIFO
// would block the open, a device would take the data.
bool NotRegular(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace

std::optional<uint64_t> PosixTransferFiles::SizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;  // before opening: a FIFO would block the open
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    return RegularLength(fd.get());
}

std::unique_ptr<SourceFile> PosixTransferFiles::OpenRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<PosixSource>(fd);
}

bool PosixTransferFiles::MakeFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

bool PosixTransferFiles::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::unique_ptr<TargetFile> PosixTransferFiles::Create(const std::string& path) {
    if (NotRegular(path))
        return nullptr;
    const int fd = ::open(path.c_str(), kTargetFlags | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return nullptr;
    if (!RegularLength(fd)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixTarget>(fd, 0);
}

std::unique_ptr<TargetFile> PosixTransferFiles::OpenForResume(const std::string& path) {
    if (NotRegular(path))
        return nullptr;
    const int fd = ::open(path.c_str(), kTargetFlags | O_APPEND);
    if (fd < 0)
        return nullptr;
    const std::optional<uint64_t> length = RegularLength(fd);
    if (!length) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixTarget>(fd, *length);
}

}  // namespace ov::transfer
