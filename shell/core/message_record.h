// MessageRecord: one archived text message with its format, and its layout in the binary
// per-user files (".msg" archives and "Remind.dat"): every field scrambled with the user's
// key (field_scramble.h), in this order:
//
//   kind, time, peer number, extra value   4 bytes each
//   text, font face                        byte count (plain), code page 936 bytes
//   font size                              4
//   bold, italic, underline                1 each
//   text colour, background colour         4 each
//
// The peer name is never written.
#pragma once

#include <QString>

#include "shell/core/archive_stream.h"

namespace ov::shell {

enum MessageRecordKind : qint32 {
    kMessageSent = 1,
    kMessageReceived = 2,
    kMessageReceivedOther = 3,
};

struct MessageRecord {
    QString sFontFace = QStringLiteral("宋体");
    qint32 nFontSize = 12;
    quint8 bBold = 1;
    quint8 bItalic = 0;
    quint8 bUnderline = 0;
    qint32 clrText = 0x800000;
    qint32 clrBackground = 0xFFFFFF;
    QString sText;
    qint32 nTime = 0;  // seconds since 1970
    qint32 nKind = 0;  // MessageRecordKind
    qint32 nPeerNumber = 0;
    QString sPeerName;  // shown only; not part of the file layout
    qint32 nExtra = 0;  // carried through the files unchanged

    friend bool operator==(const MessageRecord&, const MessageRecord&) = default;
};

// key: ScrambleKey(user name).
void WriteMessageRecord(ArchiveWriter& out, const MessageRecord& record, const QByteArray& key);
// False (the stream failed) when the data ends inside the record.
bool ReadMessageRecord(ArchiveReader& in, const QByteArray& key, MessageRecord* record);

}  // namespace ov::shell
