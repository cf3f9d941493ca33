// The system report: what a person sends with a crash notice so that the machine it happened
// on can be told - the program, the printer, the system's directories, the operating system,
// the processor, the drives, the loaded modules, the running tasks and the free disk space.
// Each part is read from the system as it is (/etc/os-release, uname, /proc, CUPS when it is
// there); what cannot be read says so.
#pragma once

#include <string>

namespace ov::diagnostics {

// The whole report as UTF-8 text with "\r\n" line ends; header is the program's own lines.
std::string SystemReportText(const std::string& header);

// The parts on their own (tests and other reports use them).
std::string DefaultPrinterText();
std::string OperatingSystemText();
std::string ProcessorText();
std::string DrivesText();

}  // namespace ov::diagnostics
