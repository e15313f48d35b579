#include "demo.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
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

std::string picturePath(const char* name) {
    std::filesystem::path dir;
    if (const char* chosen = std::getenv("KORUTIL_DEMO_PICTURES"); chosen && *chosen) {
        dir = chosen;
    } else {
        std::error_code ignored;
        dir = std::filesystem::temp_directory_path(ignored) / "korutil-demo";
    }
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    return (dir / name).string();
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
