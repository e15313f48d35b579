#include "gdi/text_run.h"

#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>

#include <cstring>

using namespace korutil::detail;

// The description is kept as given, except that the face name is cut to 31 bytes (never
// inside a UTF-8 sequence) and always terminated. The font is realised when first used.
extern "C" HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf) {
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HFONT>(nullptr, [&]() -> HFONT {
        auto font = std::make_shared<FontObject>();
        font->font = *lplf;
        const std::size_t length =
            utf8CutPoint(lplf->lfFaceName, strnlen(lplf->lfFaceName, LF_FACESIZE), LF_FACESIZE - 1);
        std::memset(font->font.lfFaceName + length, 0, LF_FACESIZE - length);
        UiLock lock(uiMutex());
        HGDIOBJ handle = addObject(font);
        if (!handle) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        return static_cast<HFONT>(handle);
    });
}

extern "C" HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation,
                                    int cWeight, DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut,
                                    DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                                    DWORD iQuality, DWORD iPitchAndFamily, LPCSTR pszFaceName) {
    LOGFONTA font{};
    font.lfHeight = cHeight;
    font.lfWidth = cWidth;
    font.lfEscapement = cEscapement;
    font.lfOrientation = cOrientation;
    font.lfWeight = cWeight;
    font.lfItalic = static_cast<BYTE>(bItalic);
    font.lfUnderline = static_cast<BYTE>(bUnderline);
    font.lfStrikeOut = static_cast<BYTE>(bStrikeOut);
    font.lfCharSet = static_cast<BYTE>(iCharSet);
    font.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
    font.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
    font.lfQuality = static_cast<BYTE>(iQuality);
    font.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
    if (pszFaceName) {
        const std::size_t length =
            utf8CutPoint(pszFaceName, strnlen(pszFaceName, LF_FACESIZE), LF_FACESIZE - 1);
        std::memcpy(font.lfFaceName, pszFaceName, length);
    }
    return CreateFontIndirectA(&font);
}

// The face actually drawn with. A null buffer asks for the size with the terminator; otherwise
// the name is cut to the buffer and the count copied, without the terminator, is returned.
extern "C" int WINAPI GetTextFaceA(HDC hdc, int c, LPSTR lpName) {
    if (lpName && c < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return withDc(hdc, 0, [&](DcObject& dc) -> int {
        FontFace* font = contextFont(dc);
        if (!font) {
            return 0;
        }
        const std::string& name = font->faceName();
        if (!lpName) {
            return static_cast<int>(name.size() + 1);
        }
        if (c == 0) {
            return 0;
        }
        const std::size_t length =
            utf8CutPoint(name.data(), name.size(), static_cast<std::size_t>(c) - 1);
        std::memcpy(lpName, name.data(), length);
        lpName[length] = '\0';
        return static_cast<int>(length);
    });
}

extern "C" BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm) {
    if (!lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        FontFace* font = contextFont(dc);
        if (!font) {
            return FALSE;
        }
        *lptm = font->metrics();
        return TRUE;
    });
}
