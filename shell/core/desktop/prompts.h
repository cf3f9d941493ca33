// Message boxes as the shell's logic asks for them. The program shows them with Qt; tests
// answer them from a script (testing/recorders.h).
#pragma once

#include <QString>

namespace ov::shell {

class Prompts {
public:
    enum class Icon { None, Information, Warning, Stop, Question };

    virtual ~Prompts() = default;
    // A box with one OK button. An empty caption means the program's own ("Orvane提示" is
    // passed where a text gives it).
    virtual void Message(const QString& text, const QString& caption, Icon icon) = 0;
    // Yes and No; true for Yes.
    virtual bool YesNo(const QString& text, const QString& caption) = 0;
    // Yes and No with a "don't ask again" box; *dontAsk receives its state.
    virtual bool YesNoDontAsk(const QString& text, const QString& caption, bool* dontAsk) = 0;
};

}  // namespace ov::shell
