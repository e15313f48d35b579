#include "user/menu_layout.h"

#include "gdi/surface.h"

#include <algorithm>
#include <string>

namespace korutil::detail {
namespace {

constexpr int kFrame = 3;           // the raised edge and a pixel of the menu colour
constexpr int kCheckColumn = 19;    // SM_CXMENUCHECK and its margins
constexpr int kArrowColumn = 16;    // the sub-menu arrow and its margin
constexpr int kAcceleratorGap = 14; // between an item's text and its accelerator
constexpr int kSeparatorHeight = 9;

struct MenuFonts {
    HFONT normal = nullptr;
    HFONT bold = nullptr;
};

// The menu font and its bold form for the default item, made once for the process.
const MenuFonts& menuFonts() {
    static const MenuFonts fonts = [] {
        MenuFonts f;
        f.normal = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        LOGFONTA lf{};
        if (GetObjectA(f.normal, sizeof lf, &lf)) {
            lf.lfWeight = FW_BOLD;
            f.bold = CreateFontIndirectA(&lf);
        }
        if (!f.bold) {
            f.bold = f.normal;
        }
        return f;
    }();
    return fonts;
}

HFONT fontOf(const MenuItem& item) {
    return (item.state & MFS_DEFAULT) ? menuFonts().bold : menuFonts().normal;
}

// The text before the first tab, and the accelerator after it.
std::string labelOf(const MenuItem& item) {
    return item.text.substr(0, item.text.find('\t'));
}

std::string acceleratorOf(const MenuItem& item) {
    const std::size_t tab = item.text.find('\t');
    return tab == std::string::npos ? std::string() : item.text.substr(tab + 1);
}

int textWidth(HDC hdc, const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    RECT r{0, 0, 0, 0};
    DrawTextA(hdc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_CALCRECT);
    return r.right - r.left;
}

SIZE bitmapSize(const MenuItem& item) {
    BITMAP bm{};
    const HBITMAP bitmap =
        (item.type & MFT_BITMAP) ? reinterpret_cast<HBITMAP>(item.typeData) : item.bitmap;
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) {
        return SIZE{0, 0};
    }
    return SIZE{bm.bmWidth, bm.bmHeight};
}

void fill(HDC hdc, int l, int t, int r, int b, HBRUSH brush) {
    const RECT rc{l, t, r, b};
    FillRect(hdc, &rc, brush);
}

// The classic check mark, seven pixels wide and three thick, centred in the column.
void drawCheck(HDC hdc, const RECT& row, HBRUSH brush, bool radio) {
    const int cx = kFrame + kCheckColumn / 2;
    const int cy = (row.top + row.bottom) / 2;
    if (radio) {
        static const int half[] = {1, 2, 3, 3, 2, 1};
        for (int i = 0; i < 6; ++i) {
            fill(hdc, cx - half[i], cy - 3 + i, cx + half[i], cy - 2 + i, brush);
        }
        return;
    }
    for (int x = 0; x < 7; ++x) {
        const int y = x <= 2 ? x : 4 - x;
        fill(hdc, cx - 3 + x, cy - 1 + y, cx - 2 + x, cy + 2 + y, brush);
    }
}

void drawArrow(HDC hdc, const RECT& row, HBRUSH brush) {
    const int x = row.right - kArrowColumn + 5;
    const int cy = (row.top + row.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        fill(hdc, x + i, cy - 3 + i, x + i + 1, cy + 4 - i, brush);
    }
}

void drawBitmap(HDC hdc, const MenuItem& item, const RECT& row) {
    const HBITMAP bitmap =
        (item.type & MFT_BITMAP) ? reinterpret_cast<HBITMAP>(item.typeData) : item.bitmap;
    const SIZE size = bitmapSize(item);
    HDC source = CreateCompatibleDC(hdc);
    if (!source) {
        return;
    }
    const HGDIOBJ old = SelectObject(source, bitmap);
    const int x = (item.type & MFT_BITMAP) ? row.left : kFrame + (kCheckColumn - size.cx) / 2;
    BitBlt(hdc, x, (row.top + row.bottom - size.cy) / 2, size.cx, size.cy, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

void drawItem(HDC hdc, const MenuItem& item, const RECT& row, bool highlighted) {
    if (item.isSeparator()) {
        const int y = (row.top + row.bottom) / 2 - 1;
        fill(hdc, row.left + 1, y, row.right - 1, y + 1, GetSysColorBrush(COLOR_BTNSHADOW));
        fill(hdc, row.left + 1, y + 1, row.right - 1, y + 2, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        return;
    }
    if (highlighted) {
        FillRect(hdc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    const int colour = item.isDisabled() ? COLOR_GRAYTEXT
                       : highlighted     ? COLOR_HIGHLIGHTTEXT
                                         : COLOR_MENUTEXT;
    if ((item.type & MFT_BITMAP) || (item.bitmap && !(item.state & MFS_CHECKED))) {
        drawBitmap(hdc, item, row);
    }
    if (item.state & MFS_CHECKED) {
        drawCheck(hdc, row, GetSysColorBrush(colour), (item.type & MFT_RADIOCHECK) != 0);
    }
    if (item.subMenu) {
        drawArrow(hdc, row, GetSysColorBrush(colour));
    }
    if (!item.isString()) {
        return;
    }
    SelectObject(hdc, fontOf(item));
    SetTextColor(hdc, GetSysColor(colour));
    RECT text{kFrame + kCheckColumn, row.top, row.right - kArrowColumn, row.bottom};
    const std::string label = labelOf(item);
    DrawTextA(hdc, label.c_str(), static_cast<int>(label.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    const std::string accelerator = acceleratorOf(item);
    DrawTextA(hdc, accelerator.c_str(), static_cast<int>(accelerator.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
}

} // namespace

MenuLayout layoutMenu(const std::vector<MenuItem>& items) {
    MenuLayout layout;
    HDC hdc = CreateCompatibleDC(nullptr);
    TEXTMETRICA tm{};
    SelectObject(hdc, menuFonts().normal);
    GetTextMetricsA(hdc, &tm);
    const int textRow = std::max<int>(tm.tmHeight + 4, GetSystemMetrics(SM_CYMENUCHECK) + 4);
    int labels = 0;
    int accelerators = 0;
    int bitmaps = 0;
    int y = kFrame;
    for (const MenuItem& item : items) {
        int height = textRow;
        if (item.isSeparator()) {
            height = kSeparatorHeight;
        } else {
            const SIZE bitmap = bitmapSize(item);
            height = std::max<int>(height, bitmap.cy + 2);
            if (item.type & MFT_BITMAP) {
                bitmaps = std::max<int>(bitmaps, bitmap.cx);
            }
            if (item.isString()) {
                SelectObject(hdc, fontOf(item));
                labels = std::max(labels, textWidth(hdc, labelOf(item)));
                accelerators = std::max(accelerators, textWidth(hdc, acceleratorOf(item)));
            }
        }
        layout.rows.push_back(RECT{kFrame, y, 0, y + height});
        y += height;
    }
    DeleteDC(hdc);
    const int text = labels + (accelerators ? kAcceleratorGap + accelerators : 0);
    const int inner = std::max(kCheckColumn + text + kArrowColumn, bitmaps);
    layout.size = SIZE{2 * kFrame + inner, y + kFrame};
    for (RECT& row : layout.rows) {
        row.right = kFrame + inner;
    }
    return layout;
}

int menuItemAt(const MenuLayout& layout, POINT pt) {
    for (std::size_t i = 0; i < layout.rows.size(); ++i) {
        if (contains(layout.rows[i], pt.x, pt.y)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void paintMenu(HDC hdc, const std::vector<MenuItem>& items, const MenuLayout& layout,
               int highlight) {
    RECT all{0, 0, layout.size.cx, layout.size.cy};
    FillRect(hdc, &all, GetSysColorBrush(COLOR_MENU));
    DrawEdge(hdc, &all, EDGE_RAISED, BF_RECT);
    const int mode = SetBkMode(hdc, TRANSPARENT);
    const HGDIOBJ font = SelectObject(hdc, menuFonts().normal);
    for (std::size_t i = 0; i < items.size() && i < layout.rows.size(); ++i) {
        drawItem(hdc, items[i], layout.rows[i], static_cast<int>(i) == highlight);
    }
    SelectObject(hdc, font);
    SetBkMode(hdc, mode);
}

} // namespace korutil::detail
