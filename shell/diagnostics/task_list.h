// The processes running on the machine, as the hang and system reports list them.
#pragma once

#include "shell/diagnostics/report_text.h"

namespace ov::diagnostics {

// One "%s : %lu" line (name and process ID) per process, then "No Tasks: %lu"; "Snapshot of
// tasks could not be taken." when /proc cannot be read.
void WriteTaskList(ReportText& out);

}  // namespace ov::diagnostics
