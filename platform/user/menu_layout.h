// How a pop-up menu looks: the rows its items take in the menu font (text rows, separators,
// bitmaps), the check-mark column, the accelerator column after a tab and the sub-menu arrow;
// and the drawing of the whole menu in the system colours. Neither needs the layer's lock.
#pragma once

#include "user/menu.h"

#include <vector>

namespace korutil::detail {

struct MenuLayout {
    SIZE size{0, 0};
    std::vector<RECT> rows; // one per item, in window coordinates
};

MenuLayout layoutMenu(const std::vector<MenuItem>& items);

// The item under a point in window coordinates, or -1 (the frame, or outside).
int menuItemAt(const MenuLayout& layout, POINT pt);

// Draws the menu with item `highlight` (or none, -1) highlighted.
void paintMenu(HDC hdc, const std::vector<MenuItem>& items, const MenuLayout& layout,
               int highlight);

} // namespace korutil::detail
