#include "shell/testing/recorders.h"

namespace ov::shell::testing {

void PromptRecorder::Message(const QString& text, const QString& caption, Icon) {
    boxes_.push_back(Box{text, caption, Box::Kind::Message});
}

PromptRecorder::Scripted PromptRecorder::Next() {
    if (answers_.empty())
        return Scripted{false, false};
    Scripted a = answers_.front();
    answers_.pop_front();
    return a;
}

bool PromptRecorder::YesNo(const QString& text, const QString& caption) {
    boxes_.push_back(Box{text, caption, Box::Kind::YesNo});
    return Next().yes;
}

bool PromptRecorder::YesNoDontAsk(const QString& text, const QString& caption, bool* dontAsk) {
    boxes_.push_back(Box{text, caption, Box::Kind::YesNoDontAsk});
    Scripted a = Next();
    if (dontAsk)
        *dontAsk = a.dontAsk;
    return a.yes;
}

QStringList PromptRecorder::Texts() const {
    QStringList texts;
    for (const Box& b : boxes_)
        texts << b.text;
    return texts;
}

}  // namespace ov::shell::testing
