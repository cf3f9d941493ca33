// The diagnostics toolkit as the program runs it: the marker in the registry store, reports
// under the data home, the log in orvane.log (code page 936, as the program's other files),
// the offer to open the last report's folder after a run that ended badly, and the crash notice
// for an internal error the program caught.
//
//   ShellDiagnostics diagnostics(dataHome, &prompts, &launcher);
//   diagnostics.Init();                       // first thing; may ask about the last run
//   desktop.log = [&](const QString& t) { diagnostics.Log().Write(t.toStdString()); };
//   ... a timer: diagnostics.Heartbeat() ...
//   ShowInternalError(prompts, diagnostics, DesktopFolder(), saving);   // a caught error
//   diagnostics.MarkCleanExit();              // at a normal end
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "shell/core/desktop/launcher.h"
#include "shell/core/desktop/prompts.h"
#include "shell/diagnostics/diagnostics_log.h"
#include "shell/diagnostics/registry_marker_store.h"
#include "shell/diagnostics/toolkit.h"

namespace ov::shell {

inline constexpr const char* kSupportAddress = "support@orvane.invalid";

// What the toolkit is built on, made before it.
struct DiagnosticsParts {
    explicit DiagnosticsParts(const QString& dataHome);
    diagnostics::RegistryMarkerStore marker;
    diagnostics::DiagnosticsLog log;
};

class ShellDiagnostics : private DiagnosticsParts, public diagnostics::OVDizizIzuzuzo {
public:
    // Reports go to <dataHome>/reports. prompts and launcher may be null (nothing is offered).
    ShellDiagnostics(const QString& dataHome, Prompts* prompts, Launcher* launcher,
                     diagnostics::ToolkitOptions options = {});

    // Offers to open the folder of the last report the run before left, when there is one.
    void OnAbnormalExit() override;
    diagnostics::DiagnosticsLog& Log() { return log; }

private:
    Prompts* prompts_;
    Launcher* launcher_;
};

// The program's own lines at the head of the system report: program, version, build, time.
QString ProgramHeader();
// The user's desktop folder by the XDG user dirs ($XDG_CONFIG_HOME/user-dirs.dirs); ~/Desktop
// when that names none; the home folder when neither exists.
QString DesktopFolder();
// The crash notice: the first box, the system report as "OVCrash.TXT" in desktopFolder (saving
// shows and hides the progress window around it), the second box with the support address -
// or, when the file could not be written, a box that says so instead.
void ShowInternalError(Prompts& prompts, diagnostics::OVDizizIzuzuzo& toolkit,
                       const QString& desktopFolder,
                       const std::function<void(bool saving)>& saving = {});

}  // namespace ov::shell
