#include "shell/core/field_scramble.h"

#include "shell/core/cp936_text.h"

namespace ov::shell {

QByteArray ScrambleKey(const QString& userName) {
    return ToCp936Bytes(userName);
}

void ScrambleField(char* data, size_t size, const QByteArray& key) {
    const size_t length = static_cast<size_t>(key.size());
    if (length == 0)
        return;
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>(data[i] ^ key[static_cast<qsizetype>(i % length)]);
}

QByteArray ScrambledField(QByteArray field, const QByteArray& key) {
    ScrambleField(field.data(), static_cast<size_t>(field.size()), key);
    return field;
}

}  // namespace ov::shell
