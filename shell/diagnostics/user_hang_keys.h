// Whether Ctrl+Alt+Shift+F12 are held down together, read from the X display's keyboard on a
// connection of the caller's own, so that it answers while the GUI thread hangs. Without an X
// display (or libX11) the keys are never held.
#pragma once

#include <memory>

namespace ov::diagnostics {

class UserHangKeys {
public:
    UserHangKeys();
    ~UserHangKeys();
    UserHangKeys(const UserHangKeys&) = delete;
    UserHangKeys& operator=(const UserHangKeys&) = delete;

    // Call from one thread only (the display connection is not shared).
    bool Held();

private:
    struct X11;
    std::unique_ptr<X11> x11_;
};

}  // namespace ov::diagnostics
