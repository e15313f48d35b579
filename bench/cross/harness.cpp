#include "harness.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace crossbench {
namespace {

struct Case {
    const char* name;
    Body body;
};

std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

double nowNs() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double, std::nano>(clock::now().time_since_epoch()).count();
}

// Nanoseconds per iteration: iterations grow until one run takes 100 ms, then the best of
// five runs of that many.
double measure(Body body) {
    long iterations = 1;
    for (;;) {
        Loop loop(iterations);
        body(loop);
        if (loop.elapsedNs() >= 1e8 || iterations >= (1L << 30)) {
            break;
        }
        const double scale = loop.elapsedNs() > 0 ? 1.2e8 / loop.elapsedNs() : 10.0;
        iterations =
            std::max(iterations + 1, static_cast<long>(iterations * std::min(scale, 10.0)));
    }
    double best = 0;
    for (int run = 0; run < 5; ++run) {
        Loop loop(iterations);
        body(loop);
        const double perIteration = loop.elapsedNs() / static_cast<double>(iterations);
        best = run == 0 ? perIteration : std::min(best, perIteration);
    }
    return best;
}

} // namespace

bool Loop::next() {
    if (!m_started) {
        m_started = true;
        m_startNs = nowNs();
    }
    if (m_left-- > 0) {
        return true;
    }
    m_elapsedNs = nowNs() - m_startNs;
    return false;
}

Registration::Registration(const char* name, Body body) {
    cases().push_back(Case{name, body});
}

} // namespace crossbench

int main(int argc, char** argv) {
    const char* filter = argc > 1 ? argv[1] : nullptr;
    for (const auto& c : crossbench::cases()) {
        if (filter && !std::strstr(c.name, filter)) {
            continue;
        }
        std::printf("%s\t%.1f\n", c.name, crossbench::measure(c.body));
        std::fflush(stdout);
    }
    return 0;
}
