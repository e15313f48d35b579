#include <korutil/strings.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;
using korutil::detail::heapRequestCount;

// The text of a string without storage is the one shared empty text; a one-byte block is not.
bool hasStorage(const CString& s) {
    static const CString none;
    return static_cast<const char*>(s) != static_cast<const char*>(none);
}

TEST(CString, TwoEmptyRepresentationsAndAssignment) {
    const CString none, blank(""), copyOfNone(none), copyOfBlank(blank);
    EXPECT_FALSE(hasStorage(none) || hasStorage(copyOfNone));
    EXPECT_TRUE(hasStorage(blank) && hasStorage(copyOfBlank));
    for (const CString* s : {&none, &blank}) {
        EXPECT_EQ(0, s->GetLength());
        EXPECT_EQ(1, s->IsEmpty());
        EXPECT_STREQ("", *s);
    }
    CString s("hello"), copy;
    CString& self = s;
    s = self;
    copy = s;
    EXPECT_STREQ("hello", s);
    EXPECT_NE(static_cast<const char*>(s), static_cast<const char*>(copy)); // a copy of its own
    s = static_cast<const char*>(s) + 2; // a text inside its own block
    EXPECT_STREQ("llo", s);
    s = static_cast<const char*>(nullptr);
    EXPECT_FALSE(hasStorage(s));
    s = '\0';
    EXPECT_TRUE(hasStorage(s) && s.IsEmpty());
    s = 'q';
    s += static_cast<const char*>(nullptr);
    EXPECT_STREQ("q", s);
    CString stillNone(none);
    stillNone += none;
    EXPECT_FALSE(hasStorage(stillNone));
}

// Four strings side by side, so that a growing block often has to move, edited at random
// against std::string; appended texts are often tails of the string's own block, and every
// few steps the heap refuses, which must leave the string as it was.
TEST(CString, EditsAgreeWithAModelAndARefusalChangesNothing) {
    std::mt19937 rng(2024);
    CString strings[4];
    std::string model[4];
    for (int step = 0; step < 6000; ++step) {
        const unsigned i = rng() % 4, j = rng() % 4;
        CString& s = strings[i];
        std::string expect = model[i];
        const std::size_t at = rng() % (expect.size() + 1), from = rng() % (model[j].size() + 1);
        const char c = static_cast<char>(rng() % 4 == 0 ? 0 : 'a' + rng() % 26);
        const int count = static_cast<int>(rng() % 12);
        HeapFailureScope fail(rng() % 8 == 0 ? 1 : 0);
        int result = -1; // appends have none
        switch (expect.size() > 6000 ? 3 : rng() % 4) {
        case 0:
            if (from == 0) {
                s += strings[j];
            } else {
                s += static_cast<const char*>(strings[j]) + from;
            }
            expect += model[j].substr(from);
            break;
        case 1:
            s += c;
            expect += c ? std::string(1, c) : "";
            break;
        case 2:
            result = s.InsertAt(static_cast<int>(at), c, count);
            expect.insert(at, c ? count : 0, c);
            break;
        default:
            result = s.RemoveAt(static_cast<int>(at), static_cast<int>((expect.size() - at) / 2));
            expect.erase(at, (expect.size() - at) / 2);
        }
        if (heapFailureFired()) {
            expect = model[i];
        }
        EXPECT_TRUE(result < 0 || result == (heapFailureFired() ? 0 : 1)) << step;
        ASSERT_EQ(expect, static_cast<const char*>(s)) << step;
        model[i] = expect;
    }
}

// Once a text outgrows the allocator's small blocks, the heap keeps room ahead of a growing
// block: most appends then leave the text where it is instead of copying it all.
TEST(CString, AppendingMostlyGrowsInPlace) {
    CString s(std::string(4096, 'a').c_str());
    int moves = 0;
    for (int k = 0; k < 512; ++k) {
        const char* before = s;
        s += "piece-8 ";
        moves += before != static_cast<const char*>(s);
    }
    EXPECT_EQ(4096 + 512 * 8, s.GetLength());
    EXPECT_LE(moves, 8);
}

TEST(CString, InsertAndRemoveInAndOutOfRange) {
    struct Case {
        const char* before;
        int position;
        char c;
        int count;
        bool remove;
        int result;
        const char* after;
    } cases[] = {
        {"abc", 1, 'x', 2, false, 1, "axxbc"},
        {"abc", 2, 'x', 1, false, 1, "abxc"},
        {"abc", 3, '-', 2, false, 1, "abc--"},
        {"", 0, 'z', 1, false, 1, "z"},
        {"abc", 1, 'x', 0, false, 1, "abc"},
        {"abc", 1, '\0', 3, false, 1, "abc"},
        {"abc", 4, 'x', 1, false, 0, "abc"},
        {"abc", -1, 'x', 1, false, 0, "abc"},
        {"abc", 1, 'x', -1, false, 0, "abc"},
        {"abcdef", 1, 0, 2, true, 1, "adef"},
        {"abcdef", 4, 0, 2, true, 1, "abcd"},
        {"abcdef", 0, 0, 6, true, 1, ""},
        {"abcdef", 6, 0, 0, true, 1, "abcdef"},
        {"abcdef", 5, 0, 2, true, 0, "abcdef"},
        {"abcdef", -1, 0, 1, true, 0, "abcdef"},
        {"abcdef", 0, 0, -1, true, 0, "abcdef"},
        {"abcdef", 0x7fffffff, 0, 0x7fffffff, true, 0, "abcdef"},
    };
    for (const Case& c : cases) {
        CString s(c.before);
        const char* block = s;
        EXPECT_EQ(c.result,
                  c.remove ? s.RemoveAt(c.position, c.count) : s.InsertAt(c.position, c.c, c.count))
            << c.before << " " << c.position << " " << c.count;
        EXPECT_STREQ(c.after, s);
        EXPECT_TRUE(c.result ? hasStorage(s) : block == static_cast<const char*>(s));
    }
    CString none;
    EXPECT_EQ(1, none.InsertAt(0, 'z', 1));
    EXPECT_STREQ("z", none);
}

TEST(CString, Printf) {
    CString s;
    EXPECT_EQ(3, s.printf("%d-%s", 7, "x"));
    EXPECT_STREQ("7-x", s);
    EXPECT_EQ(0, s.printf(""));
    EXPECT_TRUE(hasStorage(s));
    s = "ab";
    EXPECT_EQ(3, s.printf("%s!", static_cast<const char*>(s)));
    EXPECT_STREQ("ab!", s);
    EXPECT_EQ(511, s.printf("%s", std::string(700, 'w').c_str()));
    EXPECT_EQ(511, s.GetLength());
    // 510 bytes and a two-byte character that would straddle the cut. The Linux layer's 8-bit
    // code page is UTF-8 and keeps the character whole; Windows' is usually a single-byte
    // one, where these are two characters and the cut falls between them.
#if defined(_WIN32)
    const int kept = GetACP() == CP_UTF8 ? 510 : 511;
#else
    const int kept = 510;
#endif
    EXPECT_EQ(kept, s.printf("%s", (std::string(510, 'a') + "\xC3\xA9").c_str()));
    EXPECT_EQ(kept, s.GetLength());
}

TEST(CString, IndexingNeverLeavesTheText) {
    CString s("abc");
    const CString& c = s;
    s[1] = 'B';
    EXPECT_EQ('B', c[1]);
    EXPECT_EQ('\0', c[3]);
    EXPECT_EQ('\0', c[-1]);
    EXPECT_EQ('\0', c[100]);
    s[3] = 'x'; // outside the text: lands in a scratch character
    s[-5] = 'x';
    EXPECT_STREQ("aBc", s);
    CString none;
    none[0] = 'x';
    EXPECT_STREQ("", none);
}

TEST(CString, HeapFailureLeavesEachOperationAsDocumented) {
    {
        HeapFailureScope fail(1);
        CString s("abc");
        EXPECT_TRUE(heapFailureFired());
        EXPECT_FALSE(hasStorage(s));
    }
    // Appends, insertions and removals are refused in the model test above.
    CString s("abc");
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, s.printf("%d", 12));
        EXPECT_FALSE(hasStorage(s));
        EXPECT_EQ(nullptr, new CString("x"));
    }
}

TEST(CString, ObjectsAndArraysLiveOnTheLibraryHeap) {
    const long before = heapRequestCount();
    CString* one = new CString("x");
    EXPECT_EQ(before + 2, heapRequestCount()); // the object, then its text
    delete one;
    CString* many = new CString[3];
    EXPECT_EQ(before + 3, heapRequestCount());
    many[2] = "z";
    delete[] many;
}

} // namespace
