// Every public header in one host built as strict C++17 with -Wpedantic -Werror: a header
// that leans on a compiler extension or another header's includes fails here.
#include <korutil/buffers.h>
#include <korutil/collections.h>
#include <korutil/files.h>
#include <korutil/frame.h>
#include <korutil/korutil.h>
#include <korutil/platform.h>
#include <korutil/schedule.h>
#include <korutil/settings.h>
#include <korutil/strings.h>
#include <korutil/ui.h>

#if !defined(_WIN32)
#include <korutil/platform/commctrl.h>
#include <korutil/platform/errors.h>
#include <korutil/platform/files.h>
#include <korutil/platform/format.h>
#include <korutil/platform/gdi.h>
#include <korutil/platform/handles.h>
#include <korutil/platform/memory.h>
#include <korutil/platform/menus.h>
#include <korutil/platform/modules.h>
#include <korutil/platform/profiles.h>
#include <korutil/platform/rects.h>
#include <korutil/platform/registry.h>
#include <korutil/platform/resources.h>
#include <korutil/platform/speaker.h>
#include <korutil/platform/threads.h>
#include <korutil/platform/types.h>
#include <korutil/platform/user.h>
#include <korutil/platform/version.h>
#endif

#include <cstdio>

int main() {
    CPtrArray array;
    CString text("pedantic");
    if (!array.InsertAt(-1, &text) || array.GetCount() != 1) {
        std::puts("pedantic host: wrong results");
        return 1;
    }
    std::puts("pedantic host: ok");
    return 0;
}
