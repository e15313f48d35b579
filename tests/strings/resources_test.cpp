#include "ids.h"

#include <korutil/strings.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

extern "C" HINSTANCE stringsTestModule();

namespace {

std::string load(HINSTANCE module, UINT id, int size = 256) {
    char buffer[512];
    std::memset(buffer, '#', sizeof buffer);
    const int n = LoadStringA(module, id, buffer, size);
    EXPECT_EQ(static_cast<int>(std::strlen(buffer)), n);
    return buffer;
}

TEST(ResourceStrings, FromTheProgramItself) {
    EXPECT_EQ("from the program", load(nullptr, IDS_SAME_ID));
    EXPECT_EQ("from the program", load(GetModuleHandleA(nullptr), IDS_SAME_ID));
    EXPECT_EQ("second block", load(nullptr, IDS_SECOND_BLOCK));
    EXPECT_EQ("Gr\xC3\xBC\xC3\x9F"
              "e, \xE2\x82\xAC"
              "5 \xF0\x9D\x84\x9E",
              load(nullptr, IDS_UNICODE));
    EXPECT_EQ(std::string(255, '\0').size(), load(nullptr, IDS_LONG).size());
    EXPECT_EQ(std::string("0123456789").append(290, 'x').substr(0, 10),
              load(nullptr, IDS_LONG).substr(0, 10));
}

TEST(ResourceStrings, MissingAndEmptyStringsGiveZeroAndAnEmptyBuffer) {
    EXPECT_EQ("", load(nullptr, IDS_MISSING));
    EXPECT_EQ("", load(nullptr, IDS_MISSING_BLOCK));
    EXPECT_EQ("", load(nullptr, IDS_EMPTY));
    EXPECT_EQ("", load(reinterpret_cast<HINSTANCE>(0x1000), IDS_SAME_ID));
    char buffer[4] = "abc";
    EXPECT_EQ(0, LoadStringA(nullptr, IDS_SAME_ID, buffer, 0));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(0, LoadStringA(nullptr, IDS_SAME_ID, nullptr, 10));
}

TEST(ResourceStrings, CutToTheBufferWithoutSplittingACharacter) {
    EXPECT_EQ("from", load(nullptr, IDS_SAME_ID, 5));
    EXPECT_EQ("", load(nullptr, IDS_SAME_ID, 1));
    EXPECT_EQ("Gr", load(nullptr, IDS_UNICODE, 4));         // "ü" needs two more bytes
    EXPECT_EQ("Gr\xC3\xBC", load(nullptr, IDS_UNICODE, 5)); // now it fits
    const std::string whole = load(nullptr, IDS_UNICODE);
    EXPECT_EQ(whole.substr(0, whole.size() - 4), load(nullptr, IDS_UNICODE, int(whole.size())));
}

TEST(ResourceStrings, EachModuleHasItsOwn) {
    ASSERT_NE(nullptr, stringsTestModule());
    EXPECT_NE(GetModuleHandleA(nullptr), stringsTestModule());
    EXPECT_EQ("from the module", load(stringsTestModule(), IDS_SAME_ID));
    EXPECT_EQ("", load(stringsTestModule(), IDS_LONG));
}

TEST(ResourceStrings, AModuleRegistersWhenLoadedAndIsForgottenWhenUnloaded) {
    void* plugin = dlopen(STRINGS_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, plugin) << dlerror();
    auto moduleOf = reinterpret_cast<HINSTANCE (*)()>(dlsym(plugin, "stringsTestModule"));
    ASSERT_NE(nullptr, moduleOf);
    const HINSTANCE module = moduleOf();
    EXPECT_EQ("from the plug-in", load(module, IDS_SAME_ID));
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(module, path, sizeof path), 0u);
    EXPECT_EQ(module, GetModuleHandleA(path));
    dlclose(plugin);
    EXPECT_EQ(nullptr, FindResourceA(module, MAKEINTRESOURCE(1), RT_STRING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
}

TEST(Resources, FindByIdentifierOrNameWithoutCase) {
    HRSRC blob = FindResourceA(nullptr, "Blob", RT_RCDATA);
    ASSERT_NE(nullptr, blob);
    EXPECT_EQ(blob, FindResourceA(nullptr, "bLOB", MAKEINTRESOURCE(10)));
    EXPECT_EQ(blob, FindResourceA(nullptr, "blob", "#10"));
    HGLOBAL loaded = LoadResource(nullptr, blob);
    ASSERT_NE(nullptr, loaded);
    const auto* data = static_cast<const char*>(LockResource(loaded));
    ASSERT_EQ(9u, SizeofResource(nullptr, blob));
    EXPECT_EQ(0, std::memcmp("blob data", data, 9));
    EXPECT_EQ(FALSE, FreeResource(loaded));

    EXPECT_NE(nullptr, FindResourceA(nullptr, MAKEINTRESOURCE(IDS_SECOND_BLOCK / 16 + 1), "#6"));
    EXPECT_EQ(nullptr, FindResourceA(nullptr, "Blob", RT_BITMAP));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, FindResourceA(nullptr, "Blobs", RT_RCDATA));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
}

TEST(Resources, ForeignOrBogusHandlesAreRefused) {
    HRSRC blob = FindResourceA(nullptr, "Blob", RT_RCDATA);
    ASSERT_NE(nullptr, blob);
    // The handle belongs to the program, not to the second module.
    EXPECT_EQ(nullptr, LoadResource(stringsTestModule(), blob));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, SizeofResource(stringsTestModule(), blob));
    int local = 0;
    EXPECT_EQ(nullptr, LoadResource(nullptr, reinterpret_cast<HRSRC>(&local)));
}

TEST(CStringResources, ConstructorAndLoadString) {
    CString loaded(nullptr, IDS_SAME_ID);
    EXPECT_STREQ("from the program", loaded);
    CString fromModule(stringsTestModule(), IDS_SAME_ID);
    EXPECT_STREQ("from the module", fromModule);

    CString missing(nullptr, IDS_MISSING);
    EXPECT_EQ(0, missing.GetLength());
    EXPECT_NE(static_cast<const char*>(missing), static_cast<const char*>(CString()));

    CString s("kept");
    EXPECT_EQ(0, s.LoadString(nullptr, IDS_MISSING));
    EXPECT_STREQ("kept", s);
    EXPECT_EQ(1, s.LoadString(nullptr, IDS_LONG));
    EXPECT_EQ(255, s.GetLength());
}

TEST(CStringResources, ExportedUnderTheWindowsName) {
    void* library = dlopen(KORUTIL_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    EXPECT_NE(nullptr, dlsym(library, "_ZN7CString11LoadStringAEP11HINSTANCE__i"));
    EXPECT_EQ(nullptr, dlsym(library, "_ZN7CString10LoadStringEP11HINSTANCE__i"));
    dlclose(library);
}

} // namespace
