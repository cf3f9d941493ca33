// The framework's archive stream, as the binary per-user files use it: 32-bit little-endian
// integers, raw bytes, scrambled fields (field_scramble.h) and the framework's own string
// format (one length byte; 255 announces a 16-bit length, and 0xFFFF after it a 32-bit one).
//
//   ArchiveWriter out;
//   out.Int32(256);
//   out.FrameworkString(bytes);
//   ArchiveReader in(out.Data());
//   qint32 format = in.Int32();
//   if (!in.Ok()) ...                 // every read past the end fails and latches
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace ov::shell {

class ArchiveWriter {
public:
    void Int32(qint32 value);
    void Bytes(QByteArrayView bytes);
    // The value's 4 bytes (or 1 byte) as one scrambled field.
    void ScrambledInt32(qint32 value, const QByteArray& key);
    void ScrambledUInt8(quint8 value, const QByteArray& key);
    // Byte count (32-bit, plain), then the bytes as one scrambled field, no terminator.
    void ScrambledString(QByteArrayView bytes, const QByteArray& key);
    void FrameworkString(QByteArrayView bytes);

    const QByteArray& Data() const { return data_; }

private:
    QByteArray data_;
};

class ArchiveReader {
public:
    // The reader keeps a view: the bytes must outlive it, so temporaries are refused.
    explicit ArchiveReader(QByteArrayView data) : data_(data) {}
    explicit ArchiveReader(QByteArray&&) = delete;

    // Each returns 0 / empty once the stream has failed.
    qint32 Int32();
    QByteArray Bytes(qsizetype size);
    qint32 ScrambledInt32(const QByteArray& key);
    quint8 ScrambledUInt8(const QByteArray& key);
    QByteArray ScrambledString(const QByteArray& key);
    QByteArray FrameworkString();

    bool Ok() const { return ok_; }
    bool AtEnd() const { return pos_ == data_.size(); }
    qsizetype Remaining() const { return data_.size() - pos_; }
    // Marks the stream as failed (a caller found a value it cannot accept).
    void Fail() { ok_ = false; }

private:
    bool Take(qsizetype size, QByteArrayView* out);

    QByteArrayView data_;
    qsizetype pos_ = 0;
    bool ok_ = true;
};

}  // namespace ov::shell
