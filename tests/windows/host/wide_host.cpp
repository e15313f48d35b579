// A wide-character Windows host: calls whose names <windows.h> renames, the library's
// exported data and its inline header code, all across the DLL boundary.
#include <korutil/korutil.h>

#include <cstdio>
#include <cstring>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("wide host: %s failed\n", what);
        ++failures;
    }
}

} // namespace

int main() {
    CString text;
    check(text.LoadString(GetModuleHandleW(nullptr), 7) == 1, "CString::LoadString");
    check(std::strcmp(text, "wide host") == 0, "the loaded text");

    CPtrList list;
    int values[3] = {};
    for (int& v : values) {
        list.InsertAt(-1, &v);
    }
    list.RemoveAt(1);
    check(list.GetCount() == 2 && list.GetAt(1) == &values[2], "CPtrList");
    check(CPtrList::Node::m_pFreeList != nullptr, "CPtrList's node pool");

    CPtrArray array;
    for (int& v : values) {
        array.InsertAt(-1, &v);
    }
    check(array.GetCount() == 3 && array[2] == &values[2], "CPtrArray");

    CRangeSet ranges;
    ranges.Include(10, 20);
    ranges.Slide(0, 5);
    check(ranges.GetCount() == 1 && ranges[0]->from == 15 && ranges.Contains(24), "CRangeSet");

    if (failures == 0) {
        std::puts("wide host: ok");
    }
    return failures == 0 ? 0 : 1;
}
