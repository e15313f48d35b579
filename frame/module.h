// The module entry and the order of the library-wide static objects.
//
// The library has a few objects with static storage duration whose order matters: the
// resource-string cache is built first, the schedule thread object after it, and they are
// destroyed in the reverse order (the worker must stop before the cache it may use goes
// away). Each definition carries its rank:
//
//     KORUTIL_STATIC_OBJECT(KORUTIL_RANK_STRING_CACHE) StringCache g_cache;
//
// The module entry's attach work runs after every ranked object is built.
#pragma once

#include <korutil/platform.h>

#define KORUTIL_RANK_STRING_CACHE 1000
#define KORUTIL_RANK_SCHEDULE_THREAD 1001
#define KORUTIL_RANK_MODULE_ENTRY 1100

#if defined(__GNUC__)
#define KORUTIL_STATIC_OBJECT(rank) __attribute__((init_priority(rank)))
#else
// MSVC has no per-object rank: there objects in different files are built in link order,
// and the build links the subsystems in rank order (strings before schedule).
#define KORUTIL_STATIC_OBJECT(rank)
#endif

namespace korutil::detail {

// The platform's module entry: DllMain on Windows, the load and unload hooks elsewhere.
BOOL moduleEntry(HINSTANCE module, DWORD reason, void* reserved);

// The HINSTANCE of the module this code is linked into.
HINSTANCE thisModule();

} // namespace korutil::detail
