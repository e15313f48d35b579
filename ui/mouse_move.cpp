#include <korutil/ui.h>

// The wait is measured as the time elapsed since the message, in unsigned tick arithmetic, so
// that it holds across the tick count's wrap and a message time long past ends it at once.
void GenerateMouseMoveWhileLButtonIsDown(HWND target, HWND windowToUpdate, int delay) {
    const DWORD messageTime = static_cast<DWORD>(GetMessageTime());
    const DWORD wait = delay > 0 ? static_cast<DWORD>(delay) : 0;
    if (windowToUpdate && IsWindow(windowToUpdate)) {
        UpdateWindow(windowToUpdate);
    }
    // Spins on purpose: the caller's drag must see the move as soon as the time is up, and
    // its window must not be repainted meanwhile.
    for (;;) {
        if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0) {
            return;
        }
        if (GetTickCount() - messageTime >= wait) {
            break;
        }
    }
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    ::ScreenToClient(target, &cursor);
    PostMessageA(target, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(cursor.x, cursor.y));
}
