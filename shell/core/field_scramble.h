// Field scrambling of the per-user binary files (list.dat, message archives, Remind.dat):
// byte i of a field is XORed with byte (i mod L) of the key, the L bytes of the user's name
// in code page 936, starting again at the key's first byte for every field. The operation is
// its own inverse.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

namespace ov::shell {

// The user's name in code page 936.
QByteArray ScrambleKey(const QString& userName);

// In place. An empty key leaves the bytes as they are.
void ScrambleField(char* data, size_t size, const QByteArray& key);
QByteArray ScrambledField(QByteArray field, const QByteArray& key);

}  // namespace ov::shell
