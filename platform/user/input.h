// User input: the global input state (cursor, keys as they are now, capture, the foreground
// window, mouse tracking) and the one path by which input enters, deliverInput, that the Plat
// calls use and a display's events will use. Input is posted to the thread of the window it
// is for; that thread hit-tests it and turns it into its final message when it retrieves it,
// as Windows does.
#pragma once

#include "user/queue.h"

namespace korutil::detail {

struct Window;

struct UserInput {
    enum Kind { Move, Button, Wheel, Key };
    Kind kind = Move;
    POINT at{0, 0}; // Move: the new cursor position (clamped to the screen)
    int vk = 0;     // Button: VK_LBUTTON, VK_RBUTTON or VK_MBUTTON; Key: the key
    bool down = false;
    int delta = 0; // Wheel
};

// Updates the input state and posts what Windows would. Lock not held.
void deliverInput(const UserInput& input);

// The first input message of the calling thread's queue that passes the filters, in its final
// form. With `remove`, it leaves the queue and has its effects: activation by a click
// (WM_MOUSEACTIVATE), WM_PARENTNOTIFY, WM_SETCURSOR, double clicks, the thread's key state.
// Runs window procedures; lock not held.
bool takeInput(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out);

// Lock held: forget what the input state keeps of an ending thread or a dying window.
void forgetThreadInput(const ThreadQueue& queue);
void forgetWindowInput(const Window* window);

// The deepest visible window at a screen point, as WindowFromPoint finds it: hidden windows
// are passed over, a disabled child leaves the point to its parent (lock held).
Window* windowAtPoint(POINT pt);

// The cursor position in screen coordinates (takes the lock).
POINT cursorPosition();
// The foreground window, or null (lock held).
HWND foregroundWindow();
void setForegroundWindow(HWND hwnd);
// The capture window and the thread that holds it (lock held).
HWND captureWindow();

// MK_ flags of the buttons and the shift and control keys as they are now (lock held).
WPARAM mouseKeyFlags();

// Whether a message number lies in a retrieval range (0, 0: every message).
inline bool inRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

} // namespace korutil::detail
