#include "demo.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

namespace demo {
namespace {

struct Entry {
    int order;
    const char* title;
    Section run;
};

std::vector<Entry>& sections() {
    static std::vector<Entry> all;
    return all;
}

} // namespace

Registration::Registration(int order, const char* title, Section run) {
    sections().push_back({order, title, run});
}

void say(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fputs("  ", stdout);
    std::vfprintf(stdout, format, args);
    std::fputc('\n', stdout);
    va_end(args);
}

} // namespace demo

int main() {
    auto& all = demo::sections();
    std::sort(all.begin(), all.end(),
              [](const demo::Entry& a, const demo::Entry& b) { return a.order < b.order; });
    std::printf("korutil demo host\n");
    int failures = 0;
    for (const auto& section : all) {
        std::printf("\n== %s\n", section.title);
        if (section.run() != 0) {
            std::printf("  !! this section did not go as expected\n");
            ++failures;
        }
    }
    std::printf("\n%zu sections, %d with problems\n", all.size(), failures);
    return failures == 0 ? 0 : 1;
}
