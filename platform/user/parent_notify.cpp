#include "user/parent_notify.h"

#include "gdi/lock.h"
#include "user/messages.h"
#include "user/window.h"

#include <vector>

namespace korutil::detail {

void notifyParents(HWND child, UINT event, POINT point) {
    struct Note {
        HWND parent;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Note> notes;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(child);
        const bool button = event != WM_CREATE && event != WM_DESTROY;
        const WPARAM id = w ? w->id : 0;
        while (w && (w->style & WS_CHILD) && !(w->exStyle & WS_EX_NOPARENTNOTIFY) && w->parent &&
               w->parent->parent) {
            Window* parent = w->parent;
            LPARAM lParam = reinterpret_cast<LPARAM>(child);
            WPARAM wParam = MAKEWPARAM(event, id);
            if (button) {
                const POINT origin = clientOrigin(parent);
                wParam = MAKEWPARAM(event, 0);
                lParam = MAKELPARAM(point.x - origin.x, point.y - origin.y);
            }
            notes.push_back(Note{parent->handle, wParam, lParam});
            w = parent;
        }
    }
    for (const Note& note : notes) {
        sendMessage(note.parent, WM_PARENTNOTIFY, note.wParam, note.lParam);
    }
}

} // namespace korutil::detail
