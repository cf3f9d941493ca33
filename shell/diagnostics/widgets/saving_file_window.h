// The small window shown while the system report is written: "正在保存文件..." and a busy bar.
#pragma once

#include <QWidget>

namespace ov::shell {

class SavingFileWindow : public QWidget {
public:
    explicit SavingFileWindow(QWidget* parent = nullptr);
    // Shows it and lets it paint before the caller's work blocks the loop.
    void ShowNow();
};

}  // namespace ov::shell
