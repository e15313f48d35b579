// Windows for window-manager tests: a class whose procedure records every message it gets
// (per thread) and lets a test answer chosen messages itself, and a message pump.
#pragma once

#include <korutil/platform.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korutil::test {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class Recorder {
public:
    // The calling thread's recorder.
    static Recorder& mine();

    std::vector<Seen> log;
    // Messages left out of the log (cursor and icon queries and the like).
    std::set<UINT> ignored{WM_SETCURSOR, WM_NCHITTEST, WM_GETMINMAXINFO};
    // A test's own answer to a message; none passes it on to DefWindowProcA.
    std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> answer;

    void clear() { log.clear(); }
    // The messages a window got, in order.
    std::vector<UINT> of(HWND hwnd) const;
    // Every message as "name:message" with the names given to windows, e.g. "top:0x0001".
    std::vector<std::string> trace(const std::vector<std::pair<HWND, std::string>>& names) const;
};

// The recording class ("KorutilRecorder"), registered on first use with the given style and
// a white background.
const char* recorderClass();
// A recording window; `parent` null makes a top-level window.
HWND makeWindow(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, DWORD exStyle = 0,
                UINT_PTR id = 0, const char* text = "");

// Dispatches what the calling thread's queue holds, then returns.
void pump();

// A short, readable form of a message number for failure output ("WM_CREATE" or "0x1234").
std::string messageName(UINT message);

} // namespace korutil::test
