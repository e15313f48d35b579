// The window class of pop-up menus, "#32768": its windows show a menu while TrackPopupMenuEx
// tracks it, and draw what the tracking loop of their thread keeps for them.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

inline constexpr const char kMenuClassName[] = "#32768";

LRESULT CALLBACK menuWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the calling thread tracks a menu now.
bool trackingMenu();

} // namespace korutil::detail
