#include <korutil/ui.h>

#include <cstddef>

static_assert(sizeof(void*) != 4 || offsetof(MENUITEMINFOA, hbmpItem) == 44,
              "the first MENUITEMINFOA version is 44 bytes on 32-bit Windows");

CMenu::CMenu(int autoDestroy) : m_hMenu(nullptr), m_bPopup(0), m_bAutoDestroy(autoDestroy) {}

CMenu::~CMenu() {
    if (m_bAutoDestroy && m_hMenu) {
        Destroy();
    }
}

int CMenu::Create() {
    m_hMenu = CreateMenu();
    m_bPopup = 0;
    return m_hMenu ? 1 : 0;
}

int CMenu::CreatePopup() {
    m_hMenu = CreatePopupMenu();
    m_bPopup = 1;
    return m_hMenu ? 1 : 0;
}

void CMenu::Destroy() {
    DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
}

int CMenu::Add(unsigned int id, const char* text, int enabled, int checked, int isDefault,
               unsigned int position) {
    MENUITEMINFOA info{};
    // The structure's first version, without the item bitmap: 44 bytes on 32-bit Windows and
    // the same version's larger size on 64-bit systems.
    info.cbSize = static_cast<UINT>(offsetof(MENUITEMINFOA, hbmpItem));
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE;
    info.fType = MFT_STRING;
    info.dwTypeData = const_cast<char*>(text);
    if (!enabled) {
        info.fState |= MFS_GRAYED;
    }
    if (checked) {
        info.fState |= MFS_CHECKED;
    }
    if (isDefault) {
        info.fState |= MFS_DEFAULT;
    }
    info.wID = id;
    return InsertMenuItemA(m_hMenu, position, TRUE, &info) ? 1 : 0;
}

int CMenu::AddSeparator(unsigned int position) {
    return InsertMenuA(m_hMenu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr) ? 1 : 0;
}

int CMenu::PopUp(int x, int y, HWND owner, int leftButton) {
    const UINT flags = leftButton ? TPM_LEFTALIGN | TPM_LEFTBUTTON : TPM_RIGHTBUTTON;
    return TrackPopupMenuEx(m_hMenu, flags, x, y, owner, nullptr);
}
