// Flags of WINDOWPOS that Windows keeps for itself: WM_WINDOWPOSCHANGED carries them to say
// that the client area kept its size or its place, and DefWindowProc then sends no WM_SIZE or
// WM_MOVE.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

constexpr UINT kNoClientSize = 0x0800;
constexpr UINT kNoClientMove = 0x1000;
// What callers of SetWindowPos may ask for.
constexpr UINT kPublicSwpFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW |
                                 SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_SHOWWINDOW |
                                 SWP_HIDEWINDOW | SWP_NOCOPYBITS | SWP_NOOWNERZORDER |
                                 SWP_NOSENDCHANGING | SWP_DEFERERASE | SWP_ASYNCWINDOWPOS;

} // namespace korutil::detail
