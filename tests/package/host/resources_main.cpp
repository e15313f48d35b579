// A host that embeds resources with the installed helper and reads them back.
#include <korutil/korutil.h>

#include <cstdio>
#include <cstring>

int main() {
    const char* text = LoadStringPtr(nullptr, 1);
    CString copy(GetModuleHandleA(nullptr), 1);
    if (std::strcmp(text, EXPECTED_TEXT) != 0 || std::strcmp(copy, EXPECTED_TEXT) != 0) {
        std::printf("resources host: got \"%s\", wanted \"%s\"\n", text, EXPECTED_TEXT);
        return 1;
    }
    std::puts("resources host: ok");
    return 0;
}
