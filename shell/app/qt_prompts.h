// Message boxes with Qt: the shell's prompts and the boxes the components ask for. Buttons
// carry the program's own texts, so a person and a screen reader meet "确定", "是" and "否".
#pragma once

#include "shell/core/desktop/prompts.h"

namespace ov::shell {

class QtPrompts final : public Prompts {
public:
    void Message(const QString& text, const QString& caption, Icon icon) override;
    bool YesNo(const QString& text, const QString& caption) override;
    bool YesNoDontAsk(const QString& text, const QString& caption, bool* dontAsk) override;
};

// Shows the components' message boxes (platform MessageBox) with Qt, on the GUI thread
// whichever thread asks.
void InstallQtComponentMessageBoxes();

}  // namespace ov::shell
