// WM_PARENTNOTIFY: a child window's creation, destruction and button clicks reach its parent,
// and the parent's parent while the chain goes on through child windows, unless a window on
// the way has WS_EX_NOPARENTNOTIFY. Lock not held.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

// `event` is WM_CREATE, WM_DESTROY or a button-down message; for a button, `point` is in
// screen coordinates and each parent gets it in its own client coordinates; otherwise lParam
// is the child's handle.
void notifyParents(HWND child, UINT event, POINT point);

} // namespace korutil::detail
