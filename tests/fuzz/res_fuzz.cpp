// Fuzz entry point for the resource reader: an image goes through registration and, when it
// is accepted, through every call that reads it. Built for libFuzzer when clang is there, and
// run over a fixed corpus in the ordinary test suite.
#include <korutil/platform.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const HMODULE module = reinterpret_cast<HMODULE>(0x7000);
    if (size > 0xFFFFFFFFu || !PlatRegisterResources(module, data, static_cast<DWORD>(size))) {
        return 0;
    }
    char buffer[64];
    for (UINT id : {0u, 1u, 2u, 15u, 16u, 17u, 255u, 4095u, 0xFFFFu}) {
        LoadStringA(module, id, buffer, sizeof buffer);
        LoadStringA(module, id, buffer, 2);
    }
    // Every byte of every resource found is read, so that a wrong size shows as a bad read.
    volatile unsigned sum = 0;
    auto touch = [&](HRSRC found) {
        if (!found) {
            return;
        }
        const auto* bytes =
            static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
        const DWORD length = SizeofResource(module, found);
        for (DWORD i = 0; bytes && i < length; ++i) {
            sum = sum + bytes[i];
        }
    };
    for (WORD type = 1; type <= 24; ++type) {
        for (WORD name = 0; name <= 8; ++name) {
            touch(FindResourceA(module, MAKEINTRESOURCE(name), MAKEINTRESOURCE(type)));
        }
        touch(FindResourceA(module, "DATA", MAKEINTRESOURCE(type)));
    }
    touch(FindResourceA(module, "#7", "CUSTOM"));
    PlatUnregisterResources(module);
    return 0;
}
