// UserConfig: the user's "config.dat", a scrambled key file (mode 0600) where windows of other
// parts keep their state, such as the file-transfer receive window (section
// CPTPFileTransRecv). Windows on the GUI thread and the user data may both reach it, so one
// lock guards the document and its path.
//
//   UserConfig config;
//   config.Load(dirs.UserFile(name, kUserConfigFile));
//   FileTransRecvSettings recv = config.FileTransRecv(programDirectory);
//   config.Edit([](OVConfigFile& file) { file.SetInt("Section", "nKey", 1); });
//   config.Save();
#pragma once

#include <QString>
#include <mutex>
#include <utility>

#include "common/config/config_file.h"

namespace ov::shell {

inline constexpr char kFileTransRecvSection[] = "CPTPFileTransRecv";

// The receive window's settings (section CPTPFileTransRecv).
struct FileTransRecvSettings {
    int pos_X = 100;
    int pos_Y = 100;
    QString RecvFilePath;  // defaults to the program directory
    int bAutoClose = 0;
    friend bool operator==(const FileTransRecvSettings&, const FileTransRecvSettings&) = default;
};

class UserConfig {
public:
    // Replaces the document by the file's lines and remembers the path (also when the file
    // cannot be read, leaving the document empty). False when it was not read.
    bool Load(const QString& filePath);
    // Writes the document to the remembered path; false without one or on a write failure.
    bool Save() const;
    // Forgets the document and the path.
    void Clear();
    QString FilePath() const;

    // Runs f(OVConfigFile&) under the lock and returns its result; f must not call back into
    // this object.
    template <typename F>
    auto Edit(F&& f) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(f)(file_);
    }

    FileTransRecvSettings FileTransRecv(const QString& defaultRecvFilePath);
    void SetFileTransRecv(const FileTransRecvSettings& settings);

private:
    mutable std::mutex mutex_;  // guards file_ and filePath_
    OVConfigFile file_;
    QString filePath_;
};

// Key files in code page 936, loaded plain or scrambled and saved as private files (0600,
// temporary file renamed over the old one).
bool LoadKeyFile(OVConfigFile* file, const QString& path, bool scrambled);
bool SavePrivateKeyFile(const OVConfigFile& file, const QString& path, bool scrambled);

}  // namespace ov::shell
