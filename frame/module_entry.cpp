#include "frame/module.h"

namespace korutil::detail {

BOOL moduleEntry(HINSTANCE module, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
        return TRUE;
    }
    return FALSE;
}

#if defined(_WIN32)

// The linker's symbol for the start of this module's image, which is its HINSTANCE. Unlike the
// handle DllMain receives, it is there before the static constructors run.
extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE thisModule() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

} // namespace korutil::detail

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return korutil::detail::moduleEntry(module, reason, reserved);
}

#else

namespace {

// Any object of this module's image names the module.
const char g_anchor = 0;

} // namespace

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       &g_anchor, &module);
    return module;
}

namespace {

// The shared library's load and unload stand in for process attach and detach. The load
// hook's rank puts it after every ranked static object, as the attach notification comes
// after the static constructors on Windows.
__attribute__((constructor(KORUTIL_RANK_MODULE_ENTRY))) void onLoad() {
    moduleEntry(thisModule(), DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor(KORUTIL_RANK_MODULE_ENTRY))) void onUnload() {
    moduleEntry(thisModule(), DLL_PROCESS_DETACH, nullptr);
}

} // namespace

} // namespace korutil::detail

#endif
