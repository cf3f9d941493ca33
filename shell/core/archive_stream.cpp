#include "shell/core/archive_stream.h"

#include <QtEndian>
#include <algorithm>

#include "shell/core/field_scramble.h"

namespace ov::shell {

namespace {

// The framework's string length escapes: a 0xFF byte announces a 16-bit length, a 16-bit
// 0xFFFF after it a 32-bit one.
constexpr quint8 kWordLengthFollows = 0xFF;
constexpr quint16 kDwordLengthFollows = 0xFFFF;

}  // namespace

void ArchiveWriter::Int32(qint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    data_.append(bytes, 4);
}

void ArchiveWriter::Bytes(QByteArrayView bytes) {
    data_.append(bytes.data(), bytes.size());
}

void ArchiveWriter::ScrambledInt32(qint32 value, const QByteArray& key) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    ScrambleField(bytes, 4, key);
    data_.append(bytes, 4);
}

void ArchiveWriter::ScrambledUInt8(quint8 value, const QByteArray& key) {
    char byte = static_cast<char>(value);
    ScrambleField(&byte, 1, key);
    data_.append(byte);
}

void ArchiveWriter::ScrambledString(QByteArrayView bytes, const QByteArray& key) {
    Int32(static_cast<qint32>(bytes.size()));
    data_.append(ScrambledField(bytes.toByteArray(), key));
}

void ArchiveWriter::FrameworkString(QByteArrayView bytes) {
    const qsizetype size = bytes.size();
    if (size < kWordLengthFollows) {
        data_.append(static_cast<char>(size));
    } else {
        data_.append(static_cast<char>(kWordLengthFollows));
        char word[2];
        if (size < kDwordLengthFollows) {
            qToLittleEndian(static_cast<quint16>(size), word);
            data_.append(word, 2);
        } else {
            qToLittleEndian(kDwordLengthFollows, word);
            data_.append(word, 2);
            char dword[4];
            qToLittleEndian(static_cast<quint32>(size), dword);
            data_.append(dword, 4);
        }
    }
    Bytes(bytes);
}

bool ArchiveReader::Take(qsizetype size, QByteArrayView* out) {
    if (!ok_ || size < 0 || size > Remaining()) {
        ok_ = false;
        return false;
    }
    *out = data_.sliced(pos_, size);
    pos_ += size;
    return true;
}

qint32 ArchiveReader::Int32() {
    QByteArrayView bytes;
    return Take(4, &bytes) ? qFromLittleEndian<qint32>(bytes.data()) : 0;
}

QByteArray ArchiveReader::Bytes(qsizetype size) {
    QByteArrayView bytes;
    return Take(size, &bytes) ? bytes.toByteArray() : QByteArray();
}

qint32 ArchiveReader::ScrambledInt32(const QByteArray& key) {
    QByteArrayView view;
    if (!Take(4, &view))
        return 0;
    char bytes[4];
    std::copy(view.begin(), view.end(), bytes);
    ScrambleField(bytes, 4, key);
    return qFromLittleEndian<qint32>(bytes);
}

quint8 ArchiveReader::ScrambledUInt8(const QByteArray& key) {
    QByteArrayView view;
    if (!Take(1, &view))
        return 0;
    char byte = view[0];
    ScrambleField(&byte, 1, key);
    return static_cast<quint8>(byte);
}

QByteArray ArchiveReader::ScrambledString(const QByteArray& key) {
    const qint32 size = Int32();
    return ScrambledField(Bytes(size), key);
}

QByteArray ArchiveReader::FrameworkString() {
    QByteArrayView view;
    if (!Take(1, &view))
        return {};
    qint64 size = static_cast<quint8>(view[0]);
    if (size == kWordLengthFollows) {
        if (!Take(2, &view))
            return {};
        size = qFromLittleEndian<quint16>(view.data());
        if (size == kDwordLengthFollows) {
            if (!Take(4, &view))
                return {};
            size = qFromLittleEndian<quint32>(view.data());
        }
    }
    if (size > Remaining()) {
        ok_ = false;
        return {};
    }
    return Bytes(static_cast<qsizetype>(size));
}

}  // namespace ov::shell
