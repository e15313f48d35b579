// Sending, posting and retrieving messages inside the layer. None of these may be called with
// the layer's lock held unless it says so: sending runs window procedures and waits.
#pragma once

#include "user/queue.h"

namespace korutil::detail {

// As SendMessageA: a direct call on the window's own thread; for a window of another thread,
// a wait until that thread takes the message, during which messages sent to the caller are
// handled. 0 with ERROR_INVALID_WINDOW_HANDLE for a dead window.
LRESULT sendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// As PostMessageA for a window (not null, not HWND_BROADCAST); sets the error on failure.
// Takes the lock itself, and may be called with it held.
bool postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Appends a message to a queue; lock held. False with ERROR_NOT_ENOUGH_QUOTA when the queue
// is full, as Windows limits it to 10000 posted messages.
bool postToQueue(ThreadQueue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Handles what other threads sent to this one and the layer's tasks for it; true when there
// was something.
bool processIncoming(ThreadQueue& queue);

// Sends a message to every top-level window: directly to the caller's own, posted to those of
// other threads so that the caller never waits on them.
void broadcastToTopLevels(UINT message, WPARAM wParam, LPARAM lParam);

// The retrieval behind PeekMessageA and GetMessageA. With `wait`, waits (without polling)
// until a message passes the filters. 1 for a message (WM_QUIT included), 0 for none, -1 for
// a filter window that is not (or no longer) a window.
int retrieveMessage(MSG* out, HWND filter, UINT first, UINT last, UINT flags, bool wait);

// The time and position that the calling thread's retrieved messages carry: the tick count
// and the cursor position now.
DWORD messageTimeNow();
POINT cursorPosition();

} // namespace korutil::detail
