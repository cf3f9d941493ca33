#include "shell/core/protocol_records.h"

#include "shell/core/cp936_text.h"

namespace ov::shell {

QString RecordText(const char* field, size_t size) {
    return FromCp936(std::string_view(field, strnlen(field, size)));
}

void SetRecordText(char* field, size_t size, const QString& text) {
    std::memset(field, 0, size);
    if (size == 0)
        return;
    // Cut by whole characters: a double-byte character never loses its second half.
    QString cut = text;
    std::string bytes = ToCp936(cut);
    while (bytes.size() > size - 1 && !cut.isEmpty()) {
        cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
        bytes = ToCp936(cut);
    }
    std::memcpy(field, bytes.data(), std::min(bytes.size(), size - 1));
}

}  // namespace ov::shell
