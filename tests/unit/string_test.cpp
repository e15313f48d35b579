#include <korutil/strings.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;
using korutil::detail::heapRequestCount;

// The text of a string without storage is the one shared empty text; a one-byte block is not.
const char* sharedEmpty() {
    static const CString none;
    return none;
}

bool hasStorage(const CString& s) {
    return static_cast<const char*>(s) != sharedEmpty();
}

TEST(CString, TwoEmptyRepresentationsBehaveAlike) {
    CString none;
    CString fromNull(static_cast<const char*>(nullptr));
    CString blank("");
    EXPECT_FALSE(hasStorage(none));
    EXPECT_FALSE(hasStorage(fromNull));
    EXPECT_TRUE(hasStorage(blank));
    for (const CString* s : {&none, &blank}) {
        EXPECT_EQ(0, s->GetLength());
        EXPECT_EQ(1, s->IsEmpty());
        EXPECT_STREQ("", *s);
    }
    CString copyOfNone(none);
    EXPECT_FALSE(hasStorage(copyOfNone));
    CString copyOfBlank(blank);
    EXPECT_TRUE(hasStorage(copyOfBlank));

    CString s("abc");
    s = static_cast<const char*>(nullptr);
    EXPECT_FALSE(hasStorage(s));
    s = '\0';
    EXPECT_TRUE(hasStorage(s));
    EXPECT_EQ(0, s.GetLength());
    s = 'q';
    EXPECT_STREQ("q", s);
}

TEST(CString, AssignmentCopiesAndSurvivesAliasing) {
    CString a("hello");
    CString b;
    b = a;
    EXPECT_STREQ("hello", b);
    EXPECT_NE(static_cast<const char*>(a), static_cast<const char*>(b));
    CString& self = a;
    a = self;
    EXPECT_STREQ("hello", a);
    a = static_cast<const char*>(a) + 2; // a text inside its own block
    EXPECT_STREQ("llo", a);
}

TEST(CString, Appending) {
    CString s("ab");
    s += s;
    EXPECT_STREQ("abab", s);
    s += static_cast<const char*>(s) + 3;
    EXPECT_STREQ("ababb", s);

    CString abc("abc");
    abc += CString();
    abc += static_cast<const char*>(nullptr);
    abc += '\0';
    EXPECT_STREQ("abc", abc);
    abc += 'd';
    EXPECT_STREQ("abcd", abc);

    CString empty;
    empty += "xy";
    EXPECT_STREQ("xy", empty);
    CString stillNone;
    stillNone += CString();
    EXPECT_FALSE(hasStorage(stillNone));
}

TEST(CString, InsertAt) {
    struct Case {
        const char* before;
        int position;
        char c;
        int count;
        const char* after;
    } cases[] = {
        {"abc", 1, 'x', 2, "axxbc"}, {"abc", 2, 'x', 1, "abxc"}, {"abc", 3, '-', 2, "abc--"},
        {"", 0, 'z', 1, "z"},        {"abc", 1, 'x', 0, "abc"},  {"abc", 1, '\0', 3, "abc"},
    };
    for (const Case& c : cases) {
        CString s(c.before);
        EXPECT_EQ(1, s.InsertAt(c.position, c.c, c.count)) << c.before;
        EXPECT_STREQ(c.after, s);
    }
    CString none;
    EXPECT_EQ(1, none.InsertAt(0, 'z', 1));
    EXPECT_STREQ("z", none);

    CString s("abc");
    const char* block = s;
    EXPECT_EQ(0, s.InsertAt(4, 'x', 1));
    EXPECT_EQ(0, s.InsertAt(-1, 'x', 1));
    EXPECT_EQ(0, s.InsertAt(1, 'x', -1));
    EXPECT_EQ(block, static_cast<const char*>(s));
}

TEST(CString, RemoveAt) {
    struct Case {
        int position;
        int count;
        const char* after;
    } cases[] = {{1, 2, "adef"}, {4, 2, "abcd"}, {0, 6, ""}, {6, 0, "abcdef"}};
    for (const Case& c : cases) {
        CString s("abcdef");
        EXPECT_EQ(1, s.RemoveAt(c.position, c.count));
        EXPECT_STREQ(c.after, s);
        EXPECT_TRUE(hasStorage(s));
    }
    CString s("abcdef");
    EXPECT_EQ(0, s.RemoveAt(5, 2));
    EXPECT_EQ(0, s.RemoveAt(-1, 1));
    EXPECT_EQ(0, s.RemoveAt(0, -1));
    EXPECT_EQ(0, s.RemoveAt(0x7fffffff, 0x7fffffff));
    EXPECT_STREQ("abcdef", s);
}

TEST(CString, Printf) {
    CString s;
    EXPECT_EQ(3, s.printf("%d-%s", 7, "x"));
    EXPECT_STREQ("7-x", s);
    EXPECT_EQ(0, s.printf(""));
    EXPECT_TRUE(hasStorage(s));
    EXPECT_EQ(0, s.GetLength());

    s = "ab";
    EXPECT_EQ(3, s.printf("%s!", static_cast<const char*>(s)));
    EXPECT_STREQ("ab!", s);

    const std::string longText(700, 'w');
    EXPECT_EQ(511, s.printf("%s", longText.c_str()));
    EXPECT_EQ(511, s.GetLength());
    // 510 bytes and a two-byte character that would straddle the cut.
    const std::string straddling = std::string(510, 'a') + "\xC3\xA9";
    EXPECT_EQ(510, s.printf("%s", straddling.c_str()));
}

TEST(CString, Indexing) {
    CString s("abc");
    EXPECT_EQ('b', s[1]);
    s[1] = 'B';
    EXPECT_STREQ("aBc", s);
    const CString& c = s;
    EXPECT_EQ('\0', c[3]);
    EXPECT_EQ('\0', c[-1]);
    EXPECT_EQ('\0', c[100]);
    s[3] = 'x'; // outside the text: lands in a scratch character
    s[-5] = 'x';
    EXPECT_STREQ("aBc", s);
    CString none;
    none[0] = 'x';
    EXPECT_STREQ("", none);
    EXPECT_STREQ("", sharedEmpty());
}

TEST(CString, HeapFailureLeavesEachOperationAsDocumented) {
    {
        HeapFailureScope fail(1);
        CString s("abc");
        EXPECT_TRUE(heapFailureFired());
        EXPECT_FALSE(hasStorage(s));
    }
    CString s("abc");
    {
        HeapFailureScope fail(1);
        s += "def";
        s += 'g';
        EXPECT_STREQ("abcg", s); // only the first append failed
    }
    {
        HeapFailureScope fail(1, true);
        s += "x";
        EXPECT_EQ(0, s.InsertAt(1, 'x', 1));
        EXPECT_EQ(0, s.RemoveAt(0, 1));
        EXPECT_STREQ("abcg", s);
        s = "other";
        EXPECT_FALSE(hasStorage(s));
    }
    s = "abc";
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(0, s.printf("%d", 12));
        EXPECT_FALSE(hasStorage(s));
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

    HeapFailureScope fail(1);
    EXPECT_EQ(nullptr, new CString("x"));
}

} // namespace
