// File names crossing the transfer connection, in both directions.
//
// Receiving: the name comes from the peer and is joined to the save folder, so it must never
// lead outside it.
//   SaveName s = SafeSaveName(reply.name);
//   if (!s.ok()) { show a "skipped" line; request the next file; }
//   else create folder / s.name
//
// Sending: the name field holds 39 bytes of code page 936.
//   std::string field = WireName("长长的名字.txt");   // UTF-8 in, CP936 out
#pragma once

#include <string>
#include <string_view>

namespace ov::transfer {

enum class NameRefusal {
    kNone,
    kEmpty,             // nothing left after the last separator
    kDotName,           // "." or "..": the folder itself or its parent
    kControlCharacter,  // a C0/C1 control character or DEL anywhere in the name
};

struct SaveName {
    std::string name;  // UTF-8, one path component, when ok()
    NameRefusal refusal = NameRefusal::kNone;
    bool ok() const { return refusal == NameRefusal::kNone; }
};

// The peer's name (CP936 bytes) as a single component to create inside the save folder: what
// follows the last '/' or '\' (so absolute paths, drive letters and ".." steps all fall away),
// refused when empty, "." or "..", or when it holds a control character.
SaveName SafeSaveName(std::string_view network_name_cp936);

// A local file name (UTF-8) as the CP936 bytes of the name field: at most 39 bytes, cut only
// between whole characters, keeping the extension (from the last '.') when the extension and
// at least one character before it fit.
std::string WireName(std::string_view local_name_utf8);

}  // namespace ov::transfer
