// The kernel's fixed records (OV_USER_INFO, OV_BUDDY_TREE_NODE) as the shell reads and fills
// them: text fields in code page 936 up to their first zero, records taken from event bytes
// without reading past them.
//
//   const OV_USER_INFO u = RecordOf<OV_USER_INFO>(varUserInfo);      // zeros when too short
//   QList<OV_BUDDY_TREE_NODE> nodes = RecordsOf<OV_BUDDY_TREE_NODE>(bytes, nCount);
//   SetText(u.sNickName, QStringLiteral("小明"));                    // cut to fit, zero-ended
#pragma once

#include <QList>
#include <QString>
#include <algorithm>
#include <cstring>
#include <string_view>

namespace ov::shell {

QString RecordText(const char* field, size_t size);
template <size_t N>
QString RecordText(const char (&field)[N]) {
    return RecordText(field, N);
}

// Writes text into a field, cut at a whole character so that its terminating zero fits.
void SetRecordText(char* field, size_t size, const QString& text);
template <size_t N>
void SetText(char (&field)[N], const QString& text) {
    SetRecordText(field, N, text);
}

// One record from the start of bytes; the missing tail is zero.
template <class Record>
Record RecordOf(std::string_view bytes) {
    Record r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(&r, bytes.data(), std::min(bytes.size(), sizeof r));
    return r;
}

// count records back to back; as many whole records as the bytes hold, never more.
template <class Record>
QList<Record> RecordsOf(std::string_view bytes, long count) {
    QList<Record> records;
    const size_t whole = bytes.size() / sizeof(Record);
    const size_t n = count < 0 ? 0 : std::min(whole, static_cast<size_t>(count));
    records.reserve(static_cast<qsizetype>(n));
    for (size_t i = 0; i < n; ++i)
        records.push_back(RecordOf<Record>(bytes.substr(i * sizeof(Record))));
    return records;
}

}  // namespace ov::shell
