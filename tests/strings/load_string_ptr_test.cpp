#include "ids.h"

#include <korutil/strings.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" HINSTANCE stringsTestModule();

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;
using korutil::detail::heapRequestCount;

// A handle no module has; each call gives a new one, so that each starts without a table.
HINSTANCE freshHandle() {
    static std::uintptr_t next = 0x40000000;
    next += 0x1000;
    return reinterpret_cast<HINSTANCE>(next);
}

std::vector<unsigned char> moduleImage() {
    std::ifstream in(STRINGS_MODULE_RES, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(LoadStringPtr, OnePointerPerModuleAndIdentifier) {
    const char* first = LoadStringPtr(nullptr, IDS_SAME_ID);
    EXPECT_STREQ("from the program", first);
    EXPECT_EQ(first, LoadStringPtr(nullptr, IDS_SAME_ID));

    const char* other = LoadStringPtr(stringsTestModule(), IDS_SAME_ID);
    EXPECT_STREQ("from the module", other);
    EXPECT_NE(first, other);
    EXPECT_EQ(other, LoadStringPtr(stringsTestModule(), IDS_SAME_ID));

    const long before = heapRequestCount();
    LoadStringPtr(nullptr, IDS_SAME_ID);
    EXPECT_EQ(before, heapRequestCount()); // a cached text costs no allocation

    EXPECT_EQ(255u, std::strlen(LoadStringPtr(nullptr, IDS_LONG)));
}

TEST(LoadStringPtr, MissingStringsAreEmptyAndTriedAgain) {
    for (int id : {IDS_MISSING, IDS_EMPTY, IDS_MISSING_BLOCK}) {
        const char* text = LoadStringPtr(nullptr, id);
        ASSERT_NE(nullptr, text);
        EXPECT_STREQ("", text);
    }
    // A module whose resources arrive after a first, failed request.
    const HINSTANCE late = freshHandle();
    EXPECT_STREQ("", LoadStringPtr(late, IDS_SAME_ID));
    const std::vector<unsigned char> image = moduleImage();
    ASSERT_TRUE(PlatRegisterResources(late, image.data(), static_cast<DWORD>(image.size())));
    EXPECT_STREQ("from the module", LoadStringPtr(late, IDS_SAME_ID));
    PlatUnregisterResources(late);
}

// After a refused request, the next one must start over (allocate again); after a complete
// one, a repeated request allocates nothing. So a half-made entry would show.
TEST(LoadStringPtr, HeapFailureAtTheTableStepsLeavesNoEntry) {
    for (int round = 0; round < 40; ++round) {
        for (long n : {1L, 2L}) {
            const HINSTANCE module = freshHandle();
            bool fired;
            {
                HeapFailureScope fail(n);
                EXPECT_STREQ("", LoadStringPtr(module, IDS_SAME_ID));
                fired = heapFailureFired();
            }
            const long before = heapRequestCount();
            LoadStringPtr(module, IDS_SAME_ID);
            if (fired) {
                EXPECT_GT(heapRequestCount(), before) << "round " << round << " step " << n;
            } else {
                EXPECT_EQ(heapRequestCount(), before) << "round " << round << " step " << n;
            }
        }
    }
}

TEST(LoadStringPtr, HeapFailureAtTheTextStepsLeavesNoEntry) {
    const HINSTANCE module = freshHandle();
    const std::vector<unsigned char> image = moduleImage();
    ASSERT_TRUE(PlatRegisterResources(module, image.data(), static_cast<DWORD>(image.size())));
    EXPECT_STREQ("", LoadStringPtr(module, IDS_MISSING)); // the table now exists, empty

    for (long n : {1L, 2L}) { // the text copy, then the table's first growth
        HeapFailureScope fail(n);
        EXPECT_STREQ("", LoadStringPtr(module, IDS_SAME_ID)) << "step " << n;
        EXPECT_TRUE(heapFailureFired());
    }
    long before = heapRequestCount();
    const char* text = LoadStringPtr(module, IDS_SAME_ID);
    EXPECT_STREQ("from the module", text);
    EXPECT_EQ(before + 2, heapRequestCount());
    before = heapRequestCount();
    EXPECT_EQ(text, LoadStringPtr(module, IDS_SAME_ID));
    EXPECT_EQ(before, heapRequestCount());
    PlatUnregisterResources(module);
    EXPECT_EQ(text, LoadStringPtr(module, IDS_SAME_ID)); // cached texts outlive the module
}

std::string listOf(const char* buffer) {
    std::string out;
    for (const char* p = buffer; *p; p += std::strlen(p) + 1) {
        out += std::string(p) + "|";
    }
    return out;
}

TEST(LoadStringList, ItemsPairsAndTheFinalZero) {
    char buffer[64];
    EXPECT_EQ(1, LoadStringList(nullptr, IDS_LIST_EVEN, buffer, sizeof buffer));
    EXPECT_EQ(0, std::memcmp("A\0B\0", buffer, 5));
    EXPECT_EQ("A|B|", listOf(buffer));

    EXPECT_EQ(1, LoadStringList(nullptr, IDS_LIST_FOUR, buffer, sizeof buffer));
    EXPECT_EQ(0, std::memcmp("A\0B\0C\0D\0", buffer, 9));
    EXPECT_EQ(1, LoadStringList(nullptr, IDS_LIST_TRAILING, buffer, sizeof buffer));
    EXPECT_EQ(0, std::memcmp("A\0B\0C\0D\0", buffer, 9));

    EXPECT_EQ(0, LoadStringList(nullptr, IDS_LIST_ODD, buffer, sizeof buffer));
    EXPECT_EQ("A|B|C|", listOf(buffer)); // still converted
    EXPECT_EQ(0, LoadStringList(nullptr, IDS_LIST_EMPTY_ITEM, buffer, sizeof buffer));
    EXPECT_EQ(0, std::memcmp("A\0\0B\0", buffer, 6));
}

TEST(LoadStringList, RoomForTheFinalZeroAndMissingStrings) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(0, LoadStringList(nullptr, IDS_LIST_EVEN, buffer, 4));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(1, LoadStringList(nullptr, IDS_LIST_EVEN, buffer, 5));
    EXPECT_EQ(0, std::memcmp("A\0B\0", buffer, 5));
    EXPECT_EQ('#', buffer[5]);
    EXPECT_EQ(0, LoadStringList(nullptr, IDS_MISSING, buffer, sizeof buffer));
    EXPECT_EQ(0, LoadStringList(nullptr, IDS_LIST_EVEN, buffer, 0));
}

} // namespace
