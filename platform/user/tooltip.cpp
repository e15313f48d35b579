// The tooltip control's window procedure and its TTM_ messages: tools added, changed, read
// back and removed in each TOOLINFOA version, delays, colours, activation; and
// InitCommonControlsEx, which registers the class.
#include "user/tooltip.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "kernel/text_encoding.h"
#include "user/classes.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace korutil::detail {
namespace {

constexpr std::size_t kTextLimit = 80; // what TTM_GETTOOLINFOA copies into the host's buffer

std::map<HWND, std::shared_ptr<TipControl>>& controls() {
    static auto* table = new std::map<HWND, std::shared_ptr<TipControl>>;
    return *table;
}

bool validSize(const TTTOOLINFOA* info) {
    return info && (info->cbSize == TTTOOLINFOA_V1_SIZE || info->cbSize == TTTOOLINFOA_V2_SIZE ||
                    info->cbSize == TTTOOLINFOA_V3_SIZE);
}

bool hasLParam(const TTTOOLINFOA& info) {
    return info.cbSize >= TTTOOLINFOA_V2_SIZE;
}

int findTool(const TipControl& tip, const TTTOOLINFOA* info) {
    if (!validSize(info)) {
        return -1;
    }
    for (std::size_t i = 0; i < tip.tools.size(); ++i) {
        if (tip.tools[i].hwnd == info->hwnd && tip.tools[i].id == info->uId) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void setText(TipTool& tool, const TTTOOLINFOA& info) {
    tool.instance = info.hinst;
    if (info.lpszText == LPSTR_TEXTCALLBACKA || isResourceText(info.hinst, info.lpszText)) {
        tool.given = info.lpszText;
        tool.text.clear();
    } else {
        tool.given = nullptr;
        tool.text = info.lpszText ? info.lpszText : "";
    }
}

void setTool(TipTool& tool, const TTTOOLINFOA& info) {
    tool.flags = info.uFlags;
    tool.hwnd = info.hwnd;
    tool.id = info.uId;
    tool.rect = info.rect;
    setText(tool, info);
    tool.lParam = hasLParam(info) ? info.lParam : 0;
}

bool usesWindow(const TipControl& tip, HWND window) {
    return std::any_of(tip.tools.begin(), tip.tools.end(), [&](const TipTool& t) {
        return (t.flags & TTF_SUBCLASS) && t.window() == window;
    });
}

void copyOut(const std::string& text, LPSTR out, std::size_t room) {
    if (!out || room == 0) {
        return;
    }
    const std::size_t n = utf8CutPoint(text.data(), text.size(), room - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

void readTool(const TipTool& tool, TTTOOLINFOA& info) {
    info.uFlags = tool.flags;
    info.hwnd = tool.hwnd;
    info.uId = tool.id;
    info.rect = tool.rect;
    info.hinst = tool.instance;
    if (tool.given) {
        info.lpszText = tool.given;
    } else {
        copyOut(tool.text, info.lpszText, kTextLimit);
    }
    if (hasLParam(info)) {
        info.lParam = tool.lParam;
    }
}

void setDelay(TipControl& tip, WPARAM which, LPARAM lParam) {
    const int given = static_cast<SHORT>(LOWORD(lParam));
    const UINT base = GetDoubleClickTime();
    switch (which) {
    case TTDT_AUTOMATIC: {
        // The documented proportions: the auto-pop time ten times the initial, the reshow a
        // fifth of it.
        const UINT t = given < 0 ? base : static_cast<UINT>(given);
        tip.initial = t;
        tip.autopop = 10 * t;
        tip.reshow = t / 5;
        break;
    }
    case TTDT_INITIAL:
        tip.initial = given < 0 ? base : static_cast<UINT>(given);
        break;
    case TTDT_AUTOPOP:
        tip.autopop = given < 0 ? 10 * base : static_cast<UINT>(given);
        break;
    case TTDT_RESHOW:
        tip.reshow = given < 0 ? base / 5 : static_cast<UINT>(given);
        break;
    default:
        break;
    }
}

LRESULT delayOf(const TipControl& tip, WPARAM which) {
    switch (which) {
    case TTDT_AUTOPOP:
        return tip.autopop;
    case TTDT_RESHOW:
        return tip.reshow;
    default:
        return tip.initial;
    }
}

void created(HWND hwnd) {
    auto tip = std::make_shared<TipControl>();
    tip->self = hwnd;
    setDelay(*tip, TTDT_AUTOMATIC, -1);
    tip->background = GetSysColor(COLOR_INFOBK);
    tip->foreground = GetSysColor(COLOR_INFOTEXT);
    UiLock lock(uiMutex());
    controls()[hwnd] = std::move(tip);
}

void destroyed(HWND hwnd) {
    std::shared_ptr<TipControl> tip;
    {
        UiLock lock(uiMutex());
        auto it = controls().find(hwnd);
        if (it == controls().end()) {
            return;
        }
        tip = std::move(it->second);
        controls().erase(it);
    }
    tip->alive = false;
    for (const TipTool& tool : tip->tools) {
        if (tool.flags & TTF_SUBCLASS) {
            unwatchToolWindow(hwnd, tool.window());
        }
    }
}

LRESULT addTool(TipControl& tip, const TTTOOLINFOA* info) {
    if (!validSize(info)) {
        return FALSE;
    }
    TipTool tool;
    setTool(tool, *info);
    tip.tools.push_back(tool);
    if (tool.flags & TTF_SUBCLASS) {
        watchToolWindow(tip.self, tool.window());
    }
    return TRUE;
}

void deleteTool(TipControl& tip, const TTTOOLINFOA* info) {
    const int index = findTool(tip, info);
    if (index < 0) {
        return;
    }
    if (tip.shown == index) {
        hideTip(tip);
    }
    const TipTool gone = tip.tools[static_cast<std::size_t>(index)];
    tip.tools.erase(tip.tools.begin() + index);
    // Indexes past the removed tool move down by one.
    for (int* i : {&tip.hovered, &tip.shown, &tip.clicked}) {
        *i = *i == index ? -1 : *i > index ? *i - 1 : *i;
    }
    if ((gone.flags & TTF_SUBCLASS) && !usesWindow(tip, gone.window())) {
        unwatchToolWindow(tip.self, gone.window());
    }
}

LRESULT hitTest(TipControl& tip, TTHITTESTINFOA* hit) {
    if (!hit) {
        return FALSE;
    }
    for (const TipTool& tool : tip.tools) {
        const bool over = (tool.flags & TTF_IDISHWND)
                              ? tool.window() == hit->hwnd
                              : tool.hwnd == hit->hwnd && PtInRect(&tool.rect, hit->pt);
        if (over) {
            if (validSize(&hit->ti)) {
                readTool(tool, hit->ti);
            }
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT handle(TipControl& tip, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* info = reinterpret_cast<TTTOOLINFOA*>(lParam);
    switch (message) {
    case TTM_ACTIVATE:
        tip.active = wParam != 0;
        if (!tip.active) {
            hideTip(tip);
        }
        return 0;
    case TTM_ADDTOOLA:
        return addTool(tip, info);
    case TTM_DELTOOLA:
        deleteTool(tip, info);
        return 0;
    case TTM_GETTOOLCOUNT:
        return static_cast<LRESULT>(tip.tools.size());
    case TTM_GETTOOLINFOA: {
        const int index = findTool(tip, info);
        if (index < 0) {
            return FALSE;
        }
        readTool(tip.tools[static_cast<std::size_t>(index)], *info);
        return TRUE;
    }
    case TTM_SETTOOLINFOA:
    case TTM_NEWTOOLRECTA:
    case TTM_UPDATETIPTEXTA: {
        const int index = findTool(tip, info);
        if (index < 0) {
            return 0;
        }
        TipTool& tool = tip.tools[static_cast<std::size_t>(index)];
        if (message == TTM_NEWTOOLRECTA) {
            tool.rect = info->rect;
        } else if (message == TTM_UPDATETIPTEXTA) {
            setText(tool, *info);
        } else {
            const HWND before = tool.window();
            const bool watched = (tool.flags & TTF_SUBCLASS) != 0;
            setTool(tool, *info);
            if (watched && !usesWindow(tip, before)) {
                unwatchToolWindow(tip.self, before);
            }
            if (tool.flags & TTF_SUBCLASS) {
                watchToolWindow(tip.self, tool.window());
            }
        }
        if (tip.shown == index) {
            hideTip(tip);
        }
        return 0;
    }
    case TTM_GETTEXTA: {
        const int index = findTool(tip, info);
        if (index >= 0) {
            copyOut(tipText(tip, tip.tools[static_cast<std::size_t>(index)]), info->lpszText,
                    wParam);
        } else if (info && info->lpszText && wParam) {
            info->lpszText[0] = '\0';
        }
        return 0;
    }
    case TTM_SETDELAYTIME:
        setDelay(tip, wParam, lParam);
        return 0;
    case TTM_GETDELAYTIME:
        return delayOf(tip, wParam);
    case TTM_POP:
        hideTip(tip);
        return 0;
    case TTM_SETTIPBKCOLOR:
        tip.background = static_cast<COLORREF>(wParam);
        InvalidateRect(tip.self, nullptr, FALSE);
        return 0;
    case TTM_SETTIPTEXTCOLOR:
        tip.foreground = static_cast<COLORREF>(wParam);
        InvalidateRect(tip.self, nullptr, FALSE);
        return 0;
    case TTM_GETTIPBKCOLOR:
        return static_cast<LRESULT>(tip.background);
    case TTM_GETTIPTEXTCOLOR:
        return static_cast<LRESULT>(tip.foreground);
    case TTM_RELAYEVENT:
        if (const MSG* msg = reinterpret_cast<const MSG*>(lParam)) {
            relayToTip(tip, *msg);
        }
        return 0;
    case TTM_HITTESTA:
        return hitTest(tip, reinterpret_cast<TTHITTESTINFOA*>(lParam));
    default:
        return 0;
    }
}

LRESULT CALLBACK tooltipProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE: {
        // A pop-up whatever the creator asked, of the tooltip styles it gave.
        const DWORD style = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
        SetWindowLongA(hwnd, GWL_STYLE,
                       static_cast<LONG>(WS_POPUP | WS_CLIPSIBLINGS | (style & 0xFFFF)));
        SetWindowLongA(hwnd, GWL_EXSTYLE,
                       GetWindowLongA(hwnd, GWL_EXSTYLE) | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
        created(hwnd);
        return TRUE;
    }
    case WM_NCDESTROY:
        destroyed(hwnd);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCHITTEST:
        return HTTRANSPARENT; // the mouse belongs to what lies beneath the tip
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC hdc = BeginPaint(hwnd, &ps)) {
            if (const std::shared_ptr<TipControl> tip = tipControl(hwnd)) {
                paintTip(*tip, hdc);
            }
            EndPaint(hwnd, &ps);
        }
        return 0;
    }
    default:
        if (message >= WM_USER && message < WM_USER + 0x100) {
            const std::shared_ptr<TipControl> tip = tipControl(hwnd);
            return tip ? handle(*tip, message, wParam, lParam) : 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

} // namespace

std::shared_ptr<TipControl> tipControl(HWND hwnd) {
    UiLock lock(uiMutex());
    auto it = controls().find(hwnd);
    return it == controls().end() ? nullptr : it->second;
}

void registerTooltipClass() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = tooltipProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = TOOLTIPS_CLASSA;
    UiLock lock(uiMutex());
    if (!anyClassNamed(TOOLTIPS_CLASSA)) {
        registerSystemClass(wc);
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The classes that come with a tooltip control of their own register it as well.
    constexpr DWORD kWithTips =
        ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES;
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        if (picce->dwICC & kWithTips) {
            registerTooltipClass();
        }
        return TRUE;
    });
}

extern "C" void WINAPI InitCommonControls(void) {
    failOnBadAlloc<BOOL>(FALSE, [] {
        registerTooltipClass();
        return TRUE;
    });
}
