#include "user/controls.h"

namespace korutil::detail {

void paintButton(HWND, HDC, UINT) {}

void paintStatic(HWND, HDC) {}

} // namespace korutil::detail
