// The shell's border to code page 936: QString in memory, CP936 bytes in files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <string>
#include <string_view>

namespace ov::shell {

std::string ToCp936(const QString& text);
QString FromCp936(std::string_view bytes);

inline QByteArray ToCp936Bytes(const QString& text) {
    return QByteArray::fromStdString(ToCp936(text));
}
inline QString FromCp936Bytes(QByteArrayView bytes) {
    return FromCp936(std::string_view(bytes.data(), static_cast<size_t>(bytes.size())));
}

}  // namespace ov::shell
