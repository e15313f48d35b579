// One message queue per thread, made when the thread first uses the window manager: messages
// sent to its windows by other threads, posted messages, user input, timers, the quit flag,
// and the thread's own input state (active and focus windows, key states as of the messages
// it has retrieved). Its contents are guarded by the layer's lock; the wake signal is what the
// thread waits on, raised by everything that adds to the queue. When the thread ends, its
// windows are destroyed (without messages, as the thread is gone), waiting senders are
// released and the queue is freed.
#pragma once

#include "kernel/wake_signal.h"

#include <korutil/platform/user.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace korutil::detail {

struct Window;
struct ThreadQueue;

// A message that another thread sends and waits for.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

// User input on its way to a thread: the window it is for and the message in its client form
// (mouse) or as it was keyed. The receiving thread hit-tests a mouse message when it first
// looks at it, and turns it into its final form then.
struct InputMessage {
    std::uint64_t serial = 0; // tells the message apart while the lock is let go
    MSG msg{};
    bool captured = false; // for the capture window: client coordinates, no hit test
    bool cooked = false;
    int hit = HTCLIENT; // the hit-test code, once cooked
    UINT raw = 0;       // the client form of a mouse message (WM_MOUSEMOVE, WM_LBUTTONDOWN, ...)
    // Windows to skip while looking for the target under the point (those that answered
    // HTTRANSPARENT).
    std::vector<HWND> passedBy;
};

// A timer of SetTimer, or one of the layer's own (`fire` set): those run their function on the
// thread when due instead of giving WM_TIMER.
struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    TIMERPROC proc = nullptr;
    DWORD due = 0;
    void (*fire)(HWND, UINT_PTR) = nullptr;
};

inline bool timerDue(const Timer& timer, DWORD now) {
    return static_cast<std::int32_t>(now - timer.due) >= 0;
}

struct ThreadQueue {
    explicit ThreadQueue(DWORD id) : threadId(id) {}

    const DWORD threadId;
    bool ended = false;

    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<std::function<void()>> tasks; // the layer's work to run on this thread
    std::deque<MSG> posted;
    std::deque<InputMessage> input;
    std::vector<Timer> timers;
    bool quitPosted = false;
    int quitCode = 0;
    UINT newKinds = 0; // QS_ kinds added since the thread last looked at its queue

    std::vector<Window*> windows; // in creation order

    HWND active = nullptr;
    HWND focus = nullptr;
    BYTE keys[256] = {}; // as of the retrieved messages: 0x80 down, 0x01 toggled
    LONG messageTime = 0;
    DWORD messagePos = 0;
    // The message a window procedure of this thread is handling for another thread (for
    // InSendMessage), innermost last.
    std::vector<SentMessage*> receiving;

    WakeSignal wake;
};

// The calling thread's queue, made at first use (null only while the thread ends or when
// memory is short).
ThreadQueue* currentQueue();
// A live thread's queue, or null.
std::shared_ptr<ThreadQueue> queueOfThread(DWORD threadId);
// Marks kinds of messages as new and wakes the thread.
void wakeQueue(ThreadQueue& queue, UINT kinds);
// Runs `task` on the thread of `queue` the next time it looks at its messages; false when the
// thread has ended. (Work for the calling thread itself is done directly instead.)
bool runOnThread(ThreadQueue& queue, std::function<void()> task);

// The QS_ kinds of what is in the queue now.
UINT queueKinds(const ThreadQueue& queue);
// Whether one of the thread's windows (below `filter`, when given) waits for WM_PAINT.
Window* windowToPaint(const ThreadQueue& queue, const Window* filter);

} // namespace korutil::detail
