#include "shell/diagnostics/user_hang_keys.h"

#include <dlfcn.h>

#include <cstdlib>

namespace ov::diagnostics {

namespace {

// The key symbols of X11's keysymdef.h.
constexpr unsigned long kShiftL = 0xffe1, kShiftR = 0xffe2, kControlL = 0xffe3, kControlR = 0xffe4,
                        kAltL = 0xffe9, kAltR = 0xffea, kF12 = 0xffc9;

}  // namespace

// libX11 is loaded at run time: the program does not link it, and a machine without X needs
// nothing.
struct UserHangKeys::X11 {
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    using QueryKeymap = int (*)(void*, char[32]);
    using KeysymToKeycode = unsigned char (*)(void*, unsigned long);

    void* library = nullptr;
    void* display = nullptr;
    CloseDisplay close = nullptr;
    QueryKeymap query = nullptr;
    KeysymToKeycode keycode = nullptr;

    ~X11() {
        if (display != nullptr && close != nullptr)
            close(display);
        if (library != nullptr)
            ::dlclose(library);
    }
    bool Down(const char keys[32], unsigned long symbol) const {
        const unsigned char code = keycode(display, symbol);
        return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
    }
};

UserHangKeys::UserHangKeys() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return;
    auto x = std::make_unique<X11>();
    x->library = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (x->library == nullptr)
        return;
    auto open = reinterpret_cast<X11::OpenDisplay>(::dlsym(x->library, "XOpenDisplay"));
    x->close = reinterpret_cast<X11::CloseDisplay>(::dlsym(x->library, "XCloseDisplay"));
    x->query = reinterpret_cast<X11::QueryKeymap>(::dlsym(x->library, "XQueryKeymap"));
    x->keycode = reinterpret_cast<X11::KeysymToKeycode>(::dlsym(x->library, "XKeysymToKeycode"));
    if (open == nullptr || x->close == nullptr || x->query == nullptr || x->keycode == nullptr)
        return;
    x->display = open(name);
    if (x->display != nullptr)
        x11_ = std::move(x);
}

UserHangKeys::~UserHangKeys() = default;

bool UserHangKeys::Held() {
    if (!x11_)
        return false;
    char keys[32] = {};
    x11_->query(x11_->display, keys);
    return (x11_->Down(keys, kControlL) || x11_->Down(keys, kControlR)) &&
           (x11_->Down(keys, kAltL) || x11_->Down(keys, kAltR)) &&
           (x11_->Down(keys, kShiftL) || x11_->Down(keys, kShiftR)) && x11_->Down(keys, kF12);
}

}  // namespace ov::diagnostics
