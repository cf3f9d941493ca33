#include "shell/core/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

namespace ov::shell {

namespace {

constexpr mode_t kPrivateDirMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;

bool MakeOneDirectory(const QByteArray& path) {
    if (::mkdir(path.constData(), kPrivateDirMode) == 0)
        return ::chmod(path.constData(), kPrivateDirMode) == 0;  // the umask may have cut it
    return errno == EEXIST;
}

bool WriteAll(int fd, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

}  // namespace

bool MakePrivateDirectory(const QString& directory) {
    if (directory.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    // Create from the top down so that every directory made here gets 0700.
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += u'/' + part;
        const QByteArray native = QFile::encodeName(path);
        struct stat st {};
        if (::stat(native.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return false;
            continue;
        }
        if (!MakeOneDirectory(native))
            return false;
    }
    const QByteArray native = QFile::encodeName(clean);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & 07777) != kPrivateDirMode &&
        ::chmod(native.constData(), kPrivateDirMode) != 0)
        return false;
    return true;
}

bool WritePrivateFile(const QString& path, QByteArrayView bytes) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);  // created 0600
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, kPrivateFileMode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

std::optional<QByteArray> ReadWholeFile(const QString& path, qint64 maxSize) {
    // Without blocking, so that a pipe or device put in a file's place cannot stall the
    // reader; only regular files are read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxSize) {
        QByteArray bytes;
        bytes.resize(static_cast<qsizetype>(st.st_size));
        qsizetype done = 0;
        bool ok = true;
        while (ok && done < bytes.size()) {
            const ssize_t n =
                ::read(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n >= 0;
            if (n <= 0)
                break;  // a file that shrank meanwhile ends here
            done += n;
        }
        if (ok) {
            bytes.truncate(done);
            result = std::move(bytes);
        }
    }
    ::close(fd);
    return result;
}

}  // namespace ov::shell
