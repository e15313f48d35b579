#include "demo.h"

#include <korutil/collections.h>

#include <cstdint>

namespace {

// A host's windows: records owned by the host, found by handle through the containers,
// which store the pointers and own nothing.
struct Window {
    const char* title;
    void* handle;
};

void* Handle(std::uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

const char* Title(void* record) {
    return static_cast<Window*>(record)->title;
}

int run() {
    Window windows[] = {{"Editor", Handle(0x3004)},
                        {"Console", Handle(0x1008)},
                        {"Outline", Handle(0x2010)},
                        {"Search", Handle(0x400C)}};

    // Registry keyed by handle, and a z-order list from back to front.
    CPtrToPtrDict registry;
    CPtrArray zOrder(4);
    for (Window& w : windows) {
        registry.Add(w.handle, &w);
        zOrder.InsertAt(-1, &w);
    }
    demo::say("registered %d windows; the registry keeps them by handle:", registry.GetCount());
    for (int i = 0; i < registry.GetCount(); ++i) {
        void* handle;
        void* record;
        registry.GetAt(i, &handle, &record);
        demo::say("  handle %#lx -> %s",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(handle)),
                  Title(record));
    }

    // A message for a handle finds its window; an unknown handle finds nothing.
    void* found = nullptr;
    const int known = registry.Lookup(Handle(0x2010), &found);
    const int stray = registry.Lookup(Handle(0x9999), nullptr);
    demo::say("a click on handle 0x2010 goes to %s; handle 0x9999 is %s",
              known ? Title(found) : "nobody", stray ? "known" : "unknown");

    // Bring the Outline window to the front: take it out of the z-order and append it.
    int at = 0;
    zOrder.Find(found, &at);
    zOrder.RemoveAt(at);
    zOrder.InsertAt(-1, found);
    demo::say("z-order after activating %s, back to front: %s, %s, %s, %s", Title(found),
              Title(zOrder[0]), Title(zOrder[1]), Title(zOrder[2]), Title(zOrder[3]));

    // The user selects three windows, clicks one of them again, then deselects Console.
    CPtrSet selection;
    selection.Add(&windows[3]);
    selection.Add(&windows[0]);
    selection.Add(&windows[1]);
    const int again = selection.Add(&windows[0]);
    const int kept = selection.Include(&windows[0]);
    selection.Remove(&windows[1]);
    demo::say("selection: Add of an already selected window answers %d, Include answers %d", again,
              kept);
    demo::say("%d selected; Editor %s, Console %s", selection.GetCount(),
              selection.Contains(&windows[0]) ? "selected" : "not selected",
              selection.Contains(&windows[1]) ? "selected" : "not selected");

    // Closing the Search window: its handle leaves the registry, its record the selection.
    registry.Remove(windows[3].handle);
    selection.Remove(&windows[3]);
    zOrder.Remove(&windows[3]);
    demo::say("Search closed: %d windows registered, %d in the z-order, %d selected",
              registry.GetCount(), zOrder.GetCount(), selection.GetCount());

    // Menu commands 0..127 enabled by flags: everything on, then two greyed out.
    CBits128 enabled;
    enabled.SetAll();
    enabled.Clear(9);  // Paste, with an empty clipboard
    enabled.Clear(64); // Close All, with one window left to close
    int count = 0;
    for (int n = 0; n < 128; ++n) {
        count += enabled.Get(static_cast<unsigned char>(n));
    }
    demo::say("%d of 128 commands enabled; Paste %s, Copy %s (byte 1 of the flags is %#04x)", count,
              enabled.Get(9) ? "on" : "off", enabled.Get(8) ? "on" : "off", enabled.GetBits()[1]);

    const bool ok = known && !stray && zOrder.GetAt(2) == &windows[2] &&
                    selection.GetCount() == 1 && again == 0 && kept == 1 &&
                    registry.GetCount() == 3 && count == 126 && enabled.GetBits()[1] == 0xFD;
    return ok ? 0 : 1;
}

demo::Registration registration(20, "Pointer containers", run);

} // namespace
