// FileExistsDialog ("提示"): a file being received exists in the save folder; the user
// chooses "续传", "覆盖", "重命名" or "跳过". Closing it any other way (Esc, the close box)
// skips the file. Window-modal over the receive window, so the transfer's events go on.
#pragma once

#include <QDialog>
#include <functional>

#include "transfer/file_receiver.h"

namespace ov::shell {

class FileExistsDialog final : public QDialog {
    Q_OBJECT
public:
    // answer runs once, with the choice.
    FileExistsDialog(const QString& name, std::function<void(transfer::ExistsChoice)> answer,
                     QWidget* parent);

protected:
    void done(int result) override;

private:
    std::function<void(transfer::ExistsChoice)> answer_;
    transfer::ExistsChoice choice_ = transfer::ExistsChoice::kSkip;
};

}  // namespace ov::shell
