// Opening things with the desktop's default applications.
#pragma once

#include <QString>

namespace ov::shell {

class Launcher {
public:
    virtual ~Launcher() = default;
    virtual void OpenUrl(const QString& url) = 0;
    virtual void OpenFile(const QString& path) = 0;
    virtual void OpenFolder(const QString& path) = 0;
};

}  // namespace ov::shell
