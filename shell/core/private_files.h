// Files that hold a user's passwords, settings or messages: created with mode 0600 inside
// directories of mode 0700, always rewritten through a temporary file renamed over the old
// one, and read with a size limit so that a damaged or hostile file cannot exhaust memory.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace ov::shell {

// The largest file the shell core reads whole.
constexpr qint64 kMaxPrivateFileSize = 64 * 1024 * 1024;

// Creates the directory and any missing parents with mode 0700; the directory itself is set
// to 0700 when it already exists. Parents that exist are left as they are.
bool MakePrivateDirectory(const QString& directory);

// Writes bytes to a temporary file beside path (mode 0600) and renames it over path. The
// parent directory must exist. False, and the old file untouched, on any failure.
bool WritePrivateFile(const QString& path, QByteArrayView bytes);

// The whole file, or nothing when it cannot be read or is larger than maxSize.
std::optional<QByteArray> ReadWholeFile(const QString& path, qint64 maxSize = kMaxPrivateFileSize);

}  // namespace ov::shell
