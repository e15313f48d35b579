#include "ids.h"

#include <korutil/strings.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>

extern "C" HINSTANCE stringsTestModule();

namespace {

using korutil::detail::HeapFailureScope;

std::string load(HINSTANCE module, UINT id, int size = 256) {
    char buffer[512];
    std::memset(buffer, '#', sizeof buffer);
    const int n = LoadStringA(module, id, buffer, size);
    EXPECT_EQ(static_cast<int>(std::strlen(buffer)), n);
    return buffer;
}

TEST(ResourceStrings, FromTheProgramCutToTheBufferOrMissing) {
    const std::string unicode = "Gr\xC3\xBC\xC3\x9F"
                                "e, \xE2\x82\xAC"
                                "5 \xF0\x9D\x84\x9E";
    std::string digits;
    while (digits.size() < 300) {
        digits += "0123456789";
    }
    struct Case {
        UINT id;
        int size;
        std::string text;
    } cases[] = {
        {IDS_SAME_ID, 256, "from the program"},
        {IDS_SECOND_BLOCK, 256, "second block"},
        {IDS_UNICODE, 256, unicode},
        {IDS_LONG, 256, digits.substr(0, 255)}, // a text of 300 characters
        {IDS_SAME_ID, 5, "from"},
        {IDS_SAME_ID, 1, ""},
        {IDS_UNICODE, 4, "Gr"}, // "ü" needs two more bytes
        {IDS_UNICODE, 5, "Gr\xC3\xBC"},
        {IDS_UNICODE, int(unicode.size()), unicode.substr(0, unicode.size() - 4)},
        {IDS_MISSING, 256, ""},
        {IDS_MISSING_BLOCK, 256, ""},
        {IDS_EMPTY, 256, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, load(nullptr, c.id, c.size)) << c.id << " " << c.size;
    }
    EXPECT_EQ("from the program", load(GetModuleHandleA(nullptr), IDS_SAME_ID));
    EXPECT_EQ("", load(reinterpret_cast<HINSTANCE>(0x1000), IDS_SAME_ID));
    char buffer[4] = "abc";
    EXPECT_EQ(0, LoadStringA(nullptr, IDS_SAME_ID, buffer, 0));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(0, LoadStringA(nullptr, IDS_SAME_ID, nullptr, 10));
}

TEST(ResourceStrings, EachModuleRegistersItsOwnAndIsForgottenWhenUnloaded) {
    void* plugin = dlopen(STRINGS_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, plugin) << dlerror();
    auto moduleOf = reinterpret_cast<HINSTANCE (*)()>(dlsym(plugin, "stringsTestModule"));
    ASSERT_NE(nullptr, moduleOf);
    const HINSTANCE module = moduleOf();
    EXPECT_EQ("from the plug-in", load(module, IDS_SAME_ID));
    EXPECT_EQ("from the module", load(stringsTestModule(), IDS_SAME_ID)); // linked in
    EXPECT_EQ("", load(stringsTestModule(), IDS_LONG));
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(module, path, sizeof path), 0u);
    EXPECT_EQ(module, GetModuleHandleA(path));
    dlclose(plugin);
    EXPECT_EQ(nullptr, FindResourceA(module, MAKEINTRESOURCE(1), RT_STRING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
}

TEST(Resources, FindByIdentifierOrNameWithoutCaseAndRefuseForeignHandles) {
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
    // The handle belongs to the program, not to the second module.
    EXPECT_EQ(nullptr, LoadResource(stringsTestModule(), blob));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, SizeofResource(stringsTestModule(), blob));
    int local = 0;
    EXPECT_EQ(nullptr, LoadResource(nullptr, reinterpret_cast<HRSRC>(&local)));
}

TEST(CStringResources, ConstructorAndLoadString) {
    EXPECT_STREQ("from the program", CString(nullptr, IDS_SAME_ID));
    EXPECT_STREQ("from the module", CString(stringsTestModule(), IDS_SAME_ID));
    const CString missing(nullptr, IDS_MISSING);
    EXPECT_EQ(0, missing.GetLength());
    EXPECT_NE(static_cast<const char*>(missing), static_cast<const char*>(CString()));

    CString s("kept");
    EXPECT_EQ(0, s.LoadString(nullptr, IDS_MISSING));
    EXPECT_STREQ("kept", s);
    EXPECT_EQ(1, s.LoadString(nullptr, IDS_LONG));
    EXPECT_EQ(255, s.GetLength());
    HeapFailureScope fail(1);
    EXPECT_EQ(0, s.LoadString(nullptr, IDS_SAME_ID)); // loaded, but the copy was refused
    EXPECT_STREQ("", s);
}

TEST(CStringResources, ExportedUnderTheWindowsName) {
    void* library = dlopen(KORUTIL_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    EXPECT_NE(nullptr, dlsym(library, "_ZN7CString11LoadStringAEP11HINSTANCE__i"));
    EXPECT_EQ(nullptr, dlsym(library, "_ZN7CString10LoadStringEP11HINSTANCE__i"));
    dlclose(library);
}

} // namespace
