// The text a component error leaves in the diagnostics log: a call into a component returned
// a failing status.
#pragma once

#include <QString>

#include "platform/com/types.h"

namespace ov::shell {

// The meaning of a status: this platform keeps no table of system texts, so it is
// "IDispatch error #n" for the interface-defined range 0x80040200..0x8004FFFF (n the low 16
// bits of status - 0x200, when not 0) and "Unknown error 0x..." otherwise.
QString StatusMeaning(HRESULT hr);

QString FormatComponentError(HRESULT hr, const QString& source, const QString& description,
                             const QString& file, int line);

}  // namespace ov::shell
