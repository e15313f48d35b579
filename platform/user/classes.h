// Window classes: those that modules register (each module's own, and CS_GLOBALCLASS ones that
// every module sees) and the system classes that the layer registers itself (the desktop,
// "BUTTON", "STATIC"; the menu and tooltip classes join them through registerSystemClass).
// Names compare without case. Callers hold the layer's lock (gdi/lock.h).
#pragma once

#include <korutil/platform/user.h>

#include <memory>
#include <string>

namespace korutil::detail {

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int classExtraBytes = 0;
    int windowExtraBytes = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HICON iconSmall = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menuName;    // the menu resource's name, or
    LPCSTR menuId = nullptr; // its MAKEINTRESOURCE identifier
    bool system = false;
    int windows = 0; // live windows of the class
};

inline constexpr const char kDesktopClassName[] = "#32769";
inline constexpr const char kMessageClassName[] = "Message";

// The class a window of `instance` gets for `name` (a name or MAKEINTATOM): the module's own
// class, else a global one, else a system class. Null when there is none.
std::shared_ptr<WindowClass> findClass(LPCSTR name, HINSTANCE instance);

// Whether any module (or the layer) has a class of that name or atom.
bool anyClassNamed(LPCSTR name);

// Registers a class for every module that nobody can unregister. A name "#n" gets the atom n,
// as the predefined classes of Windows have. 0 when the name is taken or memory is short.
ATOM registerSystemClass(const WNDCLASSEXA& wc);

// The layer's own classes (user/builtin_classes.cpp), registered at the first class lookup.
void registerBuiltinClasses();

} // namespace korutil::detail
