#include "demo.h"

#include <korutil/frame.h>

#include <cstring>

namespace {

int run() {
    // A row of pixels scrolled right by one in place, as an editor's ruler might.
    char ruler[] = "0123456789";
    GMemMove(ruler + 1, ruler, 9);
    demo::say("ruler scrolled right in place with GMemMove: \"%s\"", ruler);

    unsigned char fill[6];
    GMemSet(fill, 0x44434241u, sizeof fill);
    demo::say("GMemSet with pattern 0x44434241 over 6 bytes: %.6s", reinterpret_cast<char*>(fill));

    const int scaled = MulDiv32(1920, 96, 144);
    demo::say("a 1920-pixel width at 96 of 144 dpi: MulDiv32 gives %d", scaled);
    return std::strcmp(ruler, "0012345678") == 0 && scaled == 1280 ? 0 : 1;
}

demo::Registration registration(10, "Module primitives", run);

} // namespace
