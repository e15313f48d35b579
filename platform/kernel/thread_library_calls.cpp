#include <korutil/platform/errors.h>
#include <korutil/platform/modules.h>

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule) {
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
