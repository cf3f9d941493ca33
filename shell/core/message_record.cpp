#include "shell/core/message_record.h"

#include "shell/core/cp936_text.h"

namespace ov::shell {

namespace {

// Line breaks are "\n" in memory and "\r\n" in the files. Every "\n" gains its "\r" and
// every "\r\n" loses it, so any text, lone "\r" and "\r\n" included, reads back as written.
QString FileLineBreaks(const QString& text) {
    QString out = text;
    return out.replace(u'\n', QStringLiteral("\r\n"));
}

QString MemoryLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

void WriteMessageRecord(ArchiveWriter& out, const MessageRecord& record, const QByteArray& key) {
    out.ScrambledInt32(record.nKind, key);
    out.ScrambledInt32(record.nTime, key);
    out.ScrambledInt32(record.nPeerNumber, key);
    out.ScrambledInt32(record.nExtra, key);
    out.ScrambledString(ToCp936Bytes(FileLineBreaks(record.sText)), key);
    out.ScrambledString(ToCp936Bytes(record.sFontFace), key);
    out.ScrambledInt32(record.nFontSize, key);
    out.ScrambledUInt8(record.bBold, key);
    out.ScrambledUInt8(record.bItalic, key);
    out.ScrambledUInt8(record.bUnderline, key);
    out.ScrambledInt32(record.clrText, key);
    out.ScrambledInt32(record.clrBackground, key);
}

bool ReadMessageRecord(ArchiveReader& in, const QByteArray& key, MessageRecord* record) {
    MessageRecord r;
    r.nKind = in.ScrambledInt32(key);
    r.nTime = in.ScrambledInt32(key);
    r.nPeerNumber = in.ScrambledInt32(key);
    r.nExtra = in.ScrambledInt32(key);
    r.sText = MemoryLineBreaks(FromCp936Bytes(in.ScrambledString(key)));
    r.sFontFace = FromCp936Bytes(in.ScrambledString(key));
    r.nFontSize = in.ScrambledInt32(key);
    r.bBold = in.ScrambledUInt8(key);
    r.bItalic = in.ScrambledUInt8(key);
    r.bUnderline = in.ScrambledUInt8(key);
    r.clrText = in.ScrambledInt32(key);
    r.clrBackground = in.ScrambledInt32(key);
    if (!in.Ok())
        return false;
    *record = std::move(r);
    return true;
}

}  // namespace ov::shell
