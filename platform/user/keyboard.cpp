#include "user/keyboard.h"

#include <korutil/platform/user.h>

namespace korutil::detail {
namespace {

struct OemKey {
    int vk;
    char plain;
    char shifted;
    UINT scan;
};

constexpr OemKey kOemKeys[] = {
    {VK_OEM_1, ';', ':', 0x27},     {VK_OEM_PLUS, '=', '+', 0x0D},   {VK_OEM_COMMA, ',', '<', 0x33},
    {VK_OEM_MINUS, '-', '_', 0x0C}, {VK_OEM_PERIOD, '.', '>', 0x34}, {VK_OEM_2, '/', '?', 0x35},
    {VK_OEM_3, '`', '~', 0x29},     {VK_OEM_4, '[', '{', 0x1A},      {VK_OEM_5, '\\', '|', 0x2B},
    {VK_OEM_6, ']', '}', 0x1B},     {VK_OEM_7, '\'', '"', 0x28},
};

// Scan codes of the letter keys A to Z, in the order of the alphabet.
constexpr UINT kLetterScans[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                   0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                   0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

constexpr char kShiftedDigits[] = ")!@#$%^&*(";

} // namespace

UINT scanCodeOf(int vk) {
    if (vk >= 'A' && vk <= 'Z') {
        return kLetterScans[vk - 'A'];
    }
    if (vk >= '1' && vk <= '9') {
        return static_cast<UINT>(vk - '1' + 0x02);
    }
    if (vk >= VK_F1 && vk <= VK_F10) {
        return static_cast<UINT>(vk - VK_F1 + 0x3B);
    }
    for (const OemKey& key : kOemKeys) {
        if (key.vk == vk) {
            return key.scan;
        }
    }
    static constexpr UINT kNumpad[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B,
                                         0x4C, 0x4D, 0x47, 0x48, 0x49};
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
        return kNumpad[vk - VK_NUMPAD0];
    }
    switch (vk) {
    case '0':
        return 0x0B;
    case VK_F11:
        return 0x57;
    case VK_F12:
        return 0x58;
    case VK_ESCAPE:
        return 0x01;
    case VK_BACK:
        return 0x0E;
    case VK_TAB:
        return 0x0F;
    case VK_RETURN:
        return 0x1C;
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
        return 0x1D;
    case VK_SHIFT:
    case VK_LSHIFT:
        return 0x2A;
    case VK_RSHIFT:
        return 0x36;
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
        return 0x38;
    case VK_SPACE:
        return 0x39;
    case VK_CAPITAL:
        return 0x3A;
    case VK_NUMLOCK:
        return 0x45;
    case VK_SCROLL:
        return 0x46;
    case VK_MULTIPLY:
        return 0x37;
    case VK_SUBTRACT:
        return 0x4A;
    case VK_ADD:
        return 0x4E;
    case VK_DECIMAL:
        return 0x53;
    case VK_DIVIDE:
        return 0x35;
    case VK_HOME:
        return 0x47;
    case VK_UP:
        return 0x48;
    case VK_PRIOR:
        return 0x49;
    case VK_LEFT:
        return 0x4B;
    case VK_RIGHT:
        return 0x4D;
    case VK_END:
        return 0x4F;
    case VK_DOWN:
        return 0x50;
    case VK_NEXT:
        return 0x51;
    case VK_INSERT:
        return 0x52;
    case VK_DELETE:
        return 0x53;
    case VK_LWIN:
        return 0x5B;
    case VK_RWIN:
        return 0x5C;
    case VK_APPS:
        return 0x5D;
    default:
        return 0;
    }
}

bool isExtendedKey(int vk) {
    switch (vk) {
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_DIVIDE:
    case VK_NUMLOCK:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
        return true;
    default:
        return false;
    }
}

int characterOf(int vk, bool shift, bool capsLock, bool control) {
    if (vk >= 'A' && vk <= 'Z') {
        if (control) {
            return vk - 'A' + 1;
        }
        return (shift != capsLock) ? vk : vk - 'A' + 'a';
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
        return control ? -1 : '0' + (vk - VK_NUMPAD0);
    }
    switch (vk) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return control ? '\n' : '\r';
    case VK_BACK:
        return control ? 0x7F : 0x08;
    case VK_TAB:
        return control ? -1 : '\t';
    case VK_ESCAPE:
        return 0x1B;
    case VK_MULTIPLY:
        return control ? -1 : '*';
    case VK_ADD:
        return control ? -1 : '+';
    case VK_SUBTRACT:
        return control ? -1 : '-';
    case VK_DECIMAL:
        return control ? -1 : '.';
    case VK_DIVIDE:
        return control ? -1 : '/';
    default:
        break;
    }
    if (control) {
        // The control characters of the bracket keys; other keys give none with control.
        switch (vk) {
        case VK_OEM_4:
            return 0x1B;
        case VK_OEM_5:
            return 0x1C;
        case VK_OEM_6:
            return 0x1D;
        default:
            return -1;
        }
    }
    if (vk >= '0' && vk <= '9') {
        return shift ? kShiftedDigits[vk - '0'] : vk;
    }
    for (const OemKey& key : kOemKeys) {
        if (key.vk == vk) {
            return shift ? key.shifted : key.plain;
        }
    }
    return -1;
}

} // namespace korutil::detail
