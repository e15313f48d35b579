#include "user/classes.h"
#include "user/controls.h"
#include "user/menu_window.h"

namespace korutil::detail {
namespace {

void add(const char* name, UINT style, WNDPROC proc, HBRUSH background) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = style | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    registerSystemClass(wc);
}

} // namespace

void registerBuiltinClasses() {
    add(kDesktopClassName, 0, DefWindowProcA, reinterpret_cast<HBRUSH>(COLOR_BACKGROUND + 1));
    add(kMessageClassName, 0, DefWindowProcA, nullptr);
    add("BUTTON", CS_DBLCLKS | CS_PARENTDC | CS_HREDRAW | CS_VREDRAW, buttonProc, nullptr);
    add("STATIC", CS_DBLCLKS | CS_PARENTDC, staticProc, nullptr);
    add(kMenuClassName, CS_SAVEBITS, menuWindowProc, nullptr);
}

} // namespace korutil::detail
