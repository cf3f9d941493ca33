#include "shell/filetransfer/widgets/file_exists_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ov::shell {

FileExistsDialog::FileExistsDialog(const QString& name,
                                   std::function<void(transfer::ExistsChoice)> answer,
                                   QWidget* parent)
    : QDialog(parent), answer_(std::move(answer)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("提示"));
    setAccessibleName(QStringLiteral("提示"));

    auto* file = new QLabel(QStringLiteral("文件"));
    auto* fileName = new QLabel(name);
    fileName->setAccessibleDescription(QStringLiteral("file name"));
    QFont bold = fileName->font();
    bold.setBold(true);
    fileName->setFont(bold);
    fileName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* question = new QLabel(QStringLiteral("已经存在,请选择接收方式"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(6);
    layout->addWidget(file);
    layout->addWidget(fileName);
    layout->addWidget(question);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const std::pair<const char16_t*, transfer::ExistsChoice> choices[] = {
        {u"续传", transfer::ExistsChoice::kResume},
        {u"覆盖", transfer::ExistsChoice::kOverwrite},
        {u"重命名", transfer::ExistsChoice::kRename},
        {u"跳过", transfer::ExistsChoice::kSkip},
    };
    for (const auto& [text, choice] : choices) {
        auto* button = new QPushButton(QString::fromUtf16(text));
        button->setAccessibleName(QString::fromUtf16(text));
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, choice = choice] {
            choice_ = choice;
            accept();
        });
    }
    layout->addLayout(buttons);
}

void FileExistsDialog::done(int result) {
    // Rejected (Esc, the close box): the file is skipped.
    const transfer::ExistsChoice choice =
        result == QDialog::Accepted ? choice_ : transfer::ExistsChoice::kSkip;
    QDialog::done(result);
    if (auto answer = std::exchange(answer_, nullptr))
        answer(choice);
}

}  // namespace ov::shell
