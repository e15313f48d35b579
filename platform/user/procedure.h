// Calling window procedures, and the layer's own subclassing. callWindow runs a window's
// procedure on the calling thread, which must be the window's thread; the layer's lock must
// not be held. A window may be subclassed by code of the layer (the tooltip control watching
// its tools with TTF_SUBCLASS, for instance) the way the common controls' SetWindowSubclass
// does it: the subclass procedures see each message first, the last added first, and pass it
// on with defSubclassProc; the end of the chain is the window's procedure of the moment
// (GWLP_WNDPROC), so that the two ways of subclassing combine.
#pragma once

#include "user/window.h"

namespace korutil::detail {

// 0 for a dead window.
LRESULT callWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Adds a subclass procedure, or replaces the data of the one with the same procedure and id;
// false for a dead window or when memory is short. Lock not held.
bool setWindowSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id, DWORD_PTR data);
bool removeWindowSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id);
// Passes a message on to the next procedure of the chain that is running for `hwnd`.
LRESULT defSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace korutil::detail
