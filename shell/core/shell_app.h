// OVShellApp: the application object. It holds what every window of the program reaches
// through it - directories, settings, the kernel, the pending items, the user's data, the
// desktop services - and runs start-up and shut-down. It is an ordinary object built from its
// data home, program directory and desktop, and every object and window receives it in its
// constructor, so one process can run several complete clients (tests do); only main uses
// the global accessor.
//
//   ShellDesktop desktop{&prompts, &sounds, &tray, &launcher, &timers, &windows};
//   OVShellApp app(programDirectory, dataHome, desktop);
//   if (!app.Start()) return 1;       // the first screen is on its way (posted)
//   ... event loop ...
//   app.Close();                      // the hidden frame's close, then the teardown
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

#include "common/interfaces/ovkernel.h"
#include "shell/core/clock.h"
#include "shell/core/desktop/launcher.h"
#include "shell/core/desktop/notifier.h"
#include "shell/core/desktop/pageroom_control.h"
#include "shell/core/desktop/prompts.h"
#include "shell/core/desktop/shell_windows.h"
#include "shell/core/desktop/sounds.h"
#include "shell/core/desktop/timers.h"
#include "shell/core/desktop/tray.h"
#include "shell/core/face_catalogue.h"
#include "shell/core/machine_settings.h"
#include "shell/core/pending_item_queue.h"
#include "shell/core/reference_lists.h"
#include "shell/core/user_data_store.h"
#include "shell/core/user_directories.h"
#include "shell/core/user_settings.h"

class OVSkin;

namespace ov::shell {

class CHiddenFrame;
class SingleInstance;

// The desktop as the logic sees it; the program fills it with Qt, tests with recorders.
struct ShellDesktop {
    Prompts* prompts = nullptr;
    Sounds* sounds = nullptr;
    Tray* tray = nullptr;
    Launcher* launcher = nullptr;
    Timers* timers = nullptr;
    ShellWindows* windows = nullptr;
    // Desktop notifications; none where null.
    Notifier* notifier = nullptr;
    SecondsClock clock = SystemSecondsClock();
    // The available area of the screen, for settings' default and fitted rectangles.
    std::function<QRect()> screen = [] { return QRect(0, 0, 1280, 800); };
    // Loads the system skin; null where nothing is drawn (tests).
    std::function<bool()> loadSkin;
    // Pageroom's browser monitor; null where there is none.
    PageroomControl* pageroom = nullptr;
    // The skin every window draws from; null where nothing is drawn (tests of the logic).
    OVSkin* skin = nullptr;
    // Ends the program (the frame's close comes first); null where nothing ends (tests).
    std::function<void()> quit;
    // Where a component error is written (the diagnostics log); stderr when null.
    std::function<void(const QString&)> log;
    // The start-with-the-session entry ($XDG_CONFIG_HOME/autostart/orvane.desktop); empty
    // leaves the session's autostart alone (tests of several clients).
    QString autostartFile;
    // The program the autostart entry runs.
    QString executable;
};

// Who logs in next, and how: copied from the login dialog or from the settings.
struct LoginCredentials {
    QString userName;
    QString password;
    int onlineStatus = OV_ONLINE_STATUS_ONLINE;
    int securityLevel = 2;
    bool pageroom = true;
    bool lastLoginFailed = false;
};

class OVShellApp {
public:
    // programDirectory ends with '/'; dataHome is the writable data home.
    OVShellApp(QString programDirectory, QString dataHome, ShellDesktop desktop);
    ~OVShellApp();
    OVShellApp(const OVShellApp&) = delete;
    OVShellApp& operator=(const OVShellApp&) = delete;

    // Start-up in its order: single instance, lists, user data, skin, components, Init, the
    // hidden frame, settings, the first screen (posted to the frame), start with the session.
    // False when the program must end (the reason has been shown).
    bool Start();
    // The hidden frame's close, then the teardown of the kernel: unadvise, log out, cancel,
    // Logout, Deinit. done runs 1600 ms later (the kernel's last datagrams), from the event
    // loop; immediately when nothing was started.
    void Close(std::function<void()> done = {});

    const QString& ProgramDirectory() const { return programDirectory_; }
    UserDirectories& Directories() { return directories_; }
    MachineSettings& Machine() { return machine_; }
    UserSettings& Settings() { return settings_; }
    PendingItemQueue& Pending() { return pending_; }
    ReferenceLists& References() { return references_; }
    const FaceCatalogue& Faces() const { return faces_; }
    UserDataStore& UserData() { return userData_; }
    LoginCredentials& Login() { return login_; }
    // What the search box hands the frame with ID_FUNCTION_SEARCH_USER_BY_STRING: the
    // command carries no text of its own.
    QString& UserSearchText() { return userSearchText_; }
    IOVService* Kernel() const { return kernel_.Get(); }
    CHiddenFrame* Frame() const { return frame_.get(); }
    const ShellDesktop& Desktop() const { return desktop_; }
    // Pageroom comes after the application object it serves (and goes before it).
    void SetPageroom(PageroomControl* pageroom) { desktop_.pageroom = pageroom; }
    QRect Screen() const { return desktop_.screen(); }

    // Loads the user's settings from the user's directory (not loaded when there are none).
    bool LoadUserSettings(const QString& userName);
    // Reads a user's settings into *settings, leaving those of the session alone.
    bool ReadUserSettings(const QString& userName, UserSettings* settings) const;

    // Writes a component error (a failed call into a component) to the diagnostics log.
    void ReportComponentError(HRESULT hr, const char* source, const char* file, int line);
    void Log(const QString& text) const;

    // Writes the start-with-the-session entry when orvane.dat (as saved) has fAutoRun, and
    // removes it otherwise; nothing without an entry file or a readable orvane.dat.
    void ApplyAutostart();

    // The global application object, set by main only.
    static OVShellApp* Instance();
    static void SetInstance(OVShellApp* app);

private:
    bool CreateKernel();
    // The first screen by the settings (the command is posted to the frame).
    void ChooseFirstScreen();

    QString programDirectory_;
    ShellDesktop desktop_;
    UserDirectories directories_;
    MachineSettings machine_;
    UserSettings settings_;
    PendingItemQueue pending_;
    ReferenceLists references_;
    FaceCatalogue faces_;
    UserDataStore userData_;
    LoginCredentials login_;
    QString userSearchText_;
    ComPtr<IOVService> kernel_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<CHiddenFrame> frame_;
    std::unique_ptr<ShellTimer> closeTimer_;  // the pause for the kernel's last datagrams
    std::function<void()> closeDone_;
    bool started_ = false;
};

}  // namespace ov::shell
