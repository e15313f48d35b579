// A small benchmark harness that builds for Linux and, with MinGW-w64, for Windows, so that
// one benchmark source measures the Linux layer and Wine's implementation of the same calls
// in one run (scripts/bench-wine.sh). Google Benchmark is not packaged for MinGW.
//
//     CROSS_BENCH(BitBltCopy) {
//         ...set-up, not timed...
//         while (loop.next()) { BitBlt(...); }
//     }
//
// The program prints one line per case: its name and the nanoseconds of one iteration (the
// best of several timed runs), tab-separated. An argument selects the cases whose name
// contains it.
#pragma once

namespace crossbench {

class Loop {
public:
    explicit Loop(long iterations) : m_left(iterations) {}
    // True while iterations remain; the clock starts at the first call.
    bool next();
    double elapsedNs() const { return m_elapsedNs; }

private:
    long m_left;
    bool m_started = false;
    double m_startNs = 0;
    double m_elapsedNs = 0;
};

using Body = void (*)(Loop& loop);

struct Registration {
    Registration(const char* name, Body body);
};

} // namespace crossbench

#define CROSS_BENCH(name)                                                                          \
    static void name(crossbench::Loop& loop);                                                      \
    static crossbench::Registration name##_registration(#name, name);                              \
    static void name(crossbench::Loop& loop)
