#include "strings/string_cache.h"

#include "frame/heap.h"
#include "frame/module.h"

namespace {

// Built before the schedule thread object and destroyed after it, which may still use it.
KORUTIL_STATIC_OBJECT(KORUTIL_RANK_STRING_CACHE) CStringCache g_cache;

} // namespace

// Unload releases the texts and tables too, so that leak checkers see a clean exit; the
// pointers handed out end with the library either way.
CStringTable::~CStringTable() {
    for (int i = 0; i < count(); ++i) {
        korutil::detail::heapRelease(valueAt(i));
    }
}

CStringCache::~CStringCache() {
    for (int i = 0; i < count(); ++i) {
        korutil::detail::heapDelete(valueAt(i));
    }
}

namespace korutil::detail {

CStringCache& stringCache() {
    return g_cache;
}

} // namespace korutil::detail
