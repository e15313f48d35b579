#include "frame/module.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

std::string selfPath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

TEST(Modules, MainProgramByNullHandleAndByName) {
    char path[PATH_MAX];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_EQ(selfPath(), path);
    EXPECT_EQ(std::strlen(path), n);

    HMODULE self = GetModuleHandleA(nullptr);
    ASSERT_NE(nullptr, self);
    char again[PATH_MAX];
    GetModuleFileNameA(self, again, sizeof again);
    EXPECT_STREQ(path, again);

    const char* name = std::strrchr(path, '/') + 1;
    EXPECT_EQ(self, GetModuleHandleA(name));
    EXPECT_EQ(self, GetModuleHandleA(path));
}

TEST(Modules, SharedLibraryNamesItselfFromItsOwnCode) {
    // The platform layer is a shared library of its own; its handle is its base address.
    Dl_info info{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&GetModuleFileNameA), &info));
    char path[PATH_MAX];
    ASSERT_GT(GetModuleFileNameA(static_cast<HMODULE>(info.dli_fbase), path, sizeof path), 0u);
    EXPECT_NE(nullptr, std::strstr(path, "libkorplatform.so"));
    EXPECT_EQ('/', path[0]);
}

TEST(Modules, ShortBufferCutsAndTerminatesAsWindowsDoes) {
    char full[PATH_MAX];
    GetModuleFileNameA(nullptr, full, sizeof full);
    char small[6];
    SetLastError(0);
    EXPECT_EQ(6u, GetModuleFileNameA(nullptr, small, sizeof small));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(std::string(full, 5), small);
}

// A module in a folder with a non-ASCII name: a cut that would fall inside the two-byte "ü"
// stops before it instead.
TEST(Modules, ShortBufferNeverSplitsAUtf8Sequence) {
    Dl_info info{};
    ASSERT_NE(0,
              dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&std::cos)), &info));
    korutil::test::TempDir dir;
    const std::string folder = dir.file("gr\xc3\xbc\xc3\x9f");
    std::filesystem::create_directory(folder);
    const std::string copy = folder + "/libmodules-test-copy.so";
    std::filesystem::copy_file(info.dli_fname, copy);
    void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    HMODULE module = GetModuleHandleA("libmodules-test-copy.so");
    ASSERT_NE(nullptr, module);

    const std::size_t umlaut = folder.size() - 4; // the first byte of the "ü"
    std::string buffer(umlaut + 2, 'x');
    EXPECT_EQ(buffer.size(),
              GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size())));
    EXPECT_EQ(folder.substr(0, umlaut), buffer.c_str());
    dlclose(library);
}

// Two copies of one library whose names differ only in case: each exact name finds its own,
// other case the name first in byte order; a path's directories are found without case.
TEST(Modules, NamesWithoutCase) {
    Dl_info info{};
    ASSERT_NE(0,
              dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&std::sin)), &info));
    korutil::test::TempDir dir;
    std::filesystem::create_directory(dir.file("Case"));
    void* libraries[2] = {};
    HMODULE modules[2] = {};
    const char* names[2] = {"libCase.so", "libcase.so"};
    for (int i = 0; i < 2; ++i) {
        const std::string copy = dir.file("Case/") + names[i];
        std::filesystem::copy_file(info.dli_fname, copy);
        libraries[i] = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, libraries[i]) << dlerror();
        modules[i] = GetModuleHandleA(names[i]);
    }
    EXPECT_NE(modules[0], modules[1]);
    EXPECT_EQ(modules[0], GetModuleHandleA("LIBCASE.SO"));
    EXPECT_EQ(modules[1], GetModuleHandleA((dir.path() + "\\CASE\\libcase.so").c_str()));
    std::string self = std::strrchr(selfPath().c_str(), '/') + 1;
    for (char& c : self) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleA(self.c_str()));
    for (void* library : libraries) {
        dlclose(library);
    }
}

TEST(Modules, UnknownModulesFail) {
    char path[16];
    EXPECT_EQ(0u, GetModuleFileNameA(reinterpret_cast<HMODULE>(0x10), path, sizeof path));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
    EXPECT_EQ(nullptr, GetModuleHandleA("no-such-module.so"));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

int g_mainProgramData;

// Flags checked before anything else, as Windows does; the address form finds the image that
// holds code or data, null names the main program.
TEST(Modules, HandleFromAddressAndFlags) {
    constexpr DWORD fromAddress = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    constexpr DWORD unchanged = GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    Dl_info info{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&GetModuleFileNameA), &info));
    const auto layer = static_cast<HMODULE>(info.dli_fbase);
    const int onStack = 0;
    const struct {
        DWORD flags;
        const void* name;
        HMODULE expected;
        DWORD error;
    } cases[] = {
        {fromAddress | unchanged, reinterpret_cast<const void*>(&GetModuleHandleExA), layer, 0},
        {fromAddress | unchanged, &g_mainProgramData, GetModuleHandleA(nullptr), 0},
        {fromAddress, nullptr, GetModuleHandleA(nullptr), 0},
        {fromAddress | unchanged, &onStack, nullptr, ERROR_MOD_NOT_FOUND},
        {unchanged, "no-such-module.so", nullptr, ERROR_MOD_NOT_FOUND},
        {GET_MODULE_HANDLE_EX_FLAG_PIN | unchanged, nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {0x100, nullptr, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        HMODULE module = reinterpret_cast<HMODULE>(1);
        SetLastError(0);
        const BOOL ok = GetModuleHandleExA(c.flags, static_cast<LPCSTR>(c.name), &module);
        EXPECT_EQ(c.error == 0, ok == TRUE) << c.flags;
        EXPECT_EQ(c.expected, module) << c.flags;
        EXPECT_EQ(c.error, GetLastError()) << c.flags;
    }
    SetLastError(0);
    EXPECT_EQ(FALSE, GetModuleHandleExA(unchanged, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

// A handle taken with a reference keeps its library loaded after the loader's own reference
// is gone; one taken without it does not.
TEST(Modules, HandleReferenceKeepsTheLibraryLoaded) {
    Dl_info info{};
    ASSERT_NE(0,
              dladdr(reinterpret_cast<void*>(static_cast<double (*)(double)>(&std::tan)), &info));
    korutil::test::TempDir dir;
    for (const DWORD flags : {DWORD{0}, DWORD{GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT}}) {
        const std::string copy = dir.file("libheld" + std::to_string(flags) + ".so");
        std::filesystem::copy_file(info.dli_fname, copy);
        void* library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library) << dlerror();
        HMODULE module = nullptr;
        ASSERT_EQ(TRUE, GetModuleHandleExA(flags, copy.c_str(), &module));
        dlclose(library);
        void* again = dlopen(copy.c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(flags == 0, again != nullptr) << flags;
        if (again) {
            dlclose(again);
        }
    }
}

TEST(Modules, LibraryEntryKnowsItsModule) {
    EXPECT_EQ(GetModuleHandleA(nullptr), korutil::detail::thisModule());
    EXPECT_EQ(TRUE, korutil::detail::moduleEntry(korutil::detail::thisModule(), DLL_PROCESS_ATTACH,
                                                 nullptr));
    EXPECT_EQ(FALSE, korutil::detail::moduleEntry(korutil::detail::thisModule(), DLL_PROCESS_DETACH,
                                                  nullptr));
}

} // namespace
