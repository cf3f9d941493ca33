// Opens addresses, files and folders with the desktop's default applications (xdg-open).
#pragma once

#include "shell/core/desktop/launcher.h"

namespace ov::shell {

class QtLauncher final : public Launcher {
public:
    void OpenUrl(const QString& url) override;
    void OpenFile(const QString& path) override;
    void OpenFolder(const QString& path) override;
};

}  // namespace ov::shell
