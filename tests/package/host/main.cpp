// A host that knows korutil only through its installed package.
#include <korutil/korutil.h>

#include <cstdio>

int main() {
    char text[] = "abcd";
    GMemMove(text + 1, text, 3);
    if (MulDiv32(6, 7, 2) != 21 || text[3] != 'c') {
        std::puts("package host: wrong results");
        return 1;
    }
    std::puts("package host: ok");
    return 0;
}
