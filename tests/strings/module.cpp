// A module with string resources of its own.
#include <korutil/platform.h>

#include <dlfcn.h>

namespace {
// Named through a local object: the exported function may be interposed by another module
// that exports the same name.
const int g_anchor = 0;
} // namespace

extern "C" __attribute__((visibility("default"))) HINSTANCE stringsTestModule() {
    Dl_info info{};
    return dladdr(&g_anchor, &info) ? static_cast<HINSTANCE>(info.dli_fbase) : nullptr;
}
