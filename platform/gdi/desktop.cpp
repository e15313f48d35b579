#include "gdi/desktop.h"

#include <cstdlib>
#include <cstring>

namespace korutil::detail {
namespace {

bool readNumber(const char*& p, long& out) {
    if (*p < '0' || *p > '9') {
        return false;
    }
    char* end = nullptr;
    out = std::strtol(p, &end, 10);
    p = end;
    return true;
}

} // namespace

bool parseDesktop(const char* text, DesktopConfig& out) {
    if (!text) {
        return false;
    }
    const char* p = text;
    long width = 0, height = 0, bits = 32;
    if (!readNumber(p, width) || (*p != 'x' && *p != 'X')) {
        return false;
    }
    ++p;
    if (!readNumber(p, height)) {
        return false;
    }
    if (*p == 'x' || *p == 'X') {
        ++p;
        if (!readNumber(p, bits)) {
            return false;
        }
    }
    if (*p != '\0' || width < 1 || width > 16384 || height < 1 || height > 16384) {
        return false;
    }
    if (bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bitsPerPixel = static_cast<int>(bits);
    return true;
}

const DesktopConfig& desktopConfig() {
    static const DesktopConfig config = [] {
        DesktopConfig parsed;
        if (!parseDesktop(std::getenv("KORUTIL_DESKTOP"), parsed)) {
            parsed = DesktopConfig{};
        }
        return parsed;
    }();
    return config;
}

Surface* screenSurface() {
    // Kept for the life of the process, like the display itself, and past every static
    // destructor that might still compose.
    static auto* screen = new std::shared_ptr<Surface>(
        Surface::create(desktopConfig().width, desktopConfig().height, 32));
    return screen->get();
}

} // namespace korutil::detail
