#include "support/windows.h"

#include <cstdio>
#include <map>

namespace korutil::test {
namespace {

LRESULT CALLBACK recordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder& r = Recorder::mine();
    if (!r.ignored.count(message)) {
        r.log.push_back(Seen{hwnd, message, wParam, lParam});
    }
    if (r.answer) {
        if (std::optional<LRESULT> result = r.answer(hwnd, message, wParam, lParam)) {
            return *result;
        }
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

} // namespace

Recorder& Recorder::mine() {
    thread_local Recorder recorder;
    return recorder;
}

std::vector<UINT> Recorder::of(HWND hwnd) const {
    std::vector<UINT> out;
    for (const Seen& s : log) {
        if (s.hwnd == hwnd) {
            out.push_back(s.message);
        }
    }
    return out;
}

std::vector<std::string>
Recorder::trace(const std::vector<std::pair<HWND, std::string>>& names) const {
    std::vector<std::string> out;
    for (const Seen& s : log) {
        std::string who = "?";
        for (const auto& n : names) {
            if (n.first == s.hwnd) {
                who = n.second;
            }
        }
        out.push_back(who + ":" + messageName(s.message));
    }
    return out;
}

const char* recorderClass() {
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = recordingProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.lpszClassName = "KorutilRecorder";
        RegisterClassA(&wc);
        return "KorutilRecorder";
    }();
    return name;
}

HWND makeWindow(DWORD style, int x, int y, int cx, int cy, HWND parent, DWORD exStyle, UINT_PTR id,
                const char* text) {
    return CreateWindowExA(exStyle, recorderClass(), text, style, x, y, cx, cy, parent,
                           reinterpret_cast<HMENU>(id), nullptr, nullptr);
}

void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string messageName(UINT message) {
    static const std::map<UINT, const char*> names = {
        {WM_CREATE, "CREATE"},
        {WM_DESTROY, "DESTROY"},
        {WM_MOVE, "MOVE"},
        {WM_SIZE, "SIZE"},
        {WM_ACTIVATE, "ACTIVATE"},
        {WM_SETFOCUS, "SETFOCUS"},
        {WM_KILLFOCUS, "KILLFOCUS"},
        {WM_ENABLE, "ENABLE"},
        {WM_SETTEXT, "SETTEXT"},
        {WM_PAINT, "PAINT"},
        {WM_CLOSE, "CLOSE"},
        {WM_ERASEBKGND, "ERASEBKGND"},
        {WM_SHOWWINDOW, "SHOWWINDOW"},
        {WM_ACTIVATEAPP, "ACTIVATEAPP"},
        {WM_MOUSEACTIVATE, "MOUSEACTIVATE"},
        {WM_GETMINMAXINFO, "GETMINMAXINFO"},
        {WM_WINDOWPOSCHANGING, "POSCHANGING"},
        {WM_WINDOWPOSCHANGED, "POSCHANGED"},
        {WM_NCCREATE, "NCCREATE"},
        {WM_NCDESTROY, "NCDESTROY"},
        {WM_NCCALCSIZE, "NCCALCSIZE"},
        {WM_NCPAINT, "NCPAINT"},
        {WM_NCACTIVATE, "NCACTIVATE"},
        {WM_PARENTNOTIFY, "PARENTNOTIFY"},
        {WM_DRAWITEM, "DRAWITEM"},
        {WM_COMMAND, "COMMAND"},
        {WM_CTLCOLORBTN, "CTLCOLORBTN"},
        {WM_CAPTURECHANGED, "CAPTURECHANGED"},
        {WM_MOUSEMOVE, "MOUSEMOVE"},
        {WM_LBUTTONDOWN, "LBUTTONDOWN"},
        {WM_LBUTTONUP, "LBUTTONUP"},
        {WM_LBUTTONDBLCLK, "LBUTTONDBLCLK"},
        {WM_TIMER, "TIMER"},
        {WM_KEYDOWN, "KEYDOWN"},
        {WM_KEYUP, "KEYUP"},
        {WM_CHAR, "CHAR"},
        {WM_SYSKEYDOWN, "SYSKEYDOWN"},
        {WM_SYSKEYUP, "SYSKEYUP"},
        {WM_SYSCHAR, "SYSCHAR"},
    };
    auto it = names.find(message);
    if (it != names.end()) {
        return it->second;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", message);
    return text;
}

} // namespace korutil::test
