// Small helpers of the shell core tests: raw file access and modes, beside the TempHome
// fixture that keeps every test inside a temporary home.
#pragma once

#include <sys/stat.h>

#include <QFile>
#include <QString>
#include <string>

#include "shell/testing/temp_home.h"

namespace ov::shell::testing {

inline std::string ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(missing)";
    return file.readAll().toStdString();
}

inline void WriteBytes(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// The permission bits, or -1 when the path does not exist.
inline int ModeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int>(st.st_mode & 07777);
}

// A test inside a fresh temporary home, with the data home as a QString.
class CoreTest : public ov::testing::TempHomeTest {
protected:
    QString DataHome() { return QString::fromStdString(Home().DataHome()); }
};

}  // namespace ov::shell::testing
