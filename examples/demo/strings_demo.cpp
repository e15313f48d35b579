#include "demo.h"
#include "strings_ids.h"

#include <korutil/strings.h>

#include <cstring>

namespace {

int run() {
    int problems = 0;
    const HINSTANCE app = GetModuleHandleA(nullptr);

    // Resource texts used as plain constant strings: loaded once, then served from the cache.
    const char* title = LoadStringPtr(app, IDS_DEMO_APP_TITLE);
    demo::say("window title from the resources: \"%s\"", title);
    demo::say("asked again, the same pointer comes back: %s",
              LoadStringPtr(app, IDS_DEMO_APP_TITLE) == title ? "yes" : "no");
    problems += LoadStringPtr(app, IDS_DEMO_APP_TITLE) == title ? 0 : 1;
    demo::say("status line: \"%s\"", LoadStringPtr(app, IDS_DEMO_SAVED));
    demo::say("a UTF-16 resource comes out as UTF-8: \"%s\"",
              LoadStringPtr(app, IDS_DEMO_GREETING));
    const char* missing = LoadStringPtr(app, 4999);
    demo::say("a string the program lacks reads as empty, never null: \"%s\"", missing);
    problems += *missing == '\0' ? 0 : 1;

    // A '^'-separated list of command and shortcut pairs.
    char shortcuts[128];
    const int even = LoadStringList(app, IDS_DEMO_SHORTCUTS, shortcuts, sizeof shortcuts);
    demo::say("keyboard shortcuts from one resource (pairs complete: %s):", even ? "yes" : "no");
    for (const char* item = shortcuts; *item; item += std::strlen(item) + 1) {
        const char* key = item + std::strlen(item) + 1;
        demo::say("  %-6s %s", item, key);
        item = key;
    }
    problems += even ? 0 : 1;

    // CString: an owned text built from resource strings and formatted numbers.
    CString message(app, IDS_DEMO_SAVE_FAILED);
    CString line;
    line.printf("[%s] %s (%d of %d notes kept)", title, static_cast<const char*>(message), 41, 42);
    demo::say("%s", static_cast<const char*>(line));
    line.RemoveAt(0, line.GetLength() - 21);
    line.InsertAt(0, '.', 3);
    demo::say("its tail, cut and prefixed: \"%s\"", static_cast<const char*>(line));
    problems += std::strcmp(line, "...(41 of 42 notes kept)") == 0 ? 0 : 1;
    return problems;
}

demo::Registration registration(40, "Strings and resources", run);

} // namespace
