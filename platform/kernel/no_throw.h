// The layer's calls never throw their own exceptions: one that runs out of memory inside the
// C++ library fails the way the system would report it, and any other exception of the C++
// library fails the call. What host code throws passes through unchanged, as on Windows.
// Every `extern "C"` call whose work may allocate, lock a std::mutex, wait on a condition or
// start a std::thread runs that work inside failOnBadAlloc.
#pragma once

#include <korutil/platform/errors.h>

#include <cxxabi.h>

#include <exception>
#include <new>

namespace korutil::detail {

// What host code (a window or timer procedure) threw, on its way out through the layer's work.
// It derives from no std::exception, so that no failure path of the layer takes it for its own.
struct HostException {
    std::exception_ptr thrown;
};

// How many failOnBadAlloc calls of this thread are running since the layer was last entered
// from host code.
inline int& layerDepth() {
    thread_local int depth = 0;
    return depth;
}

// Runs host code from inside the layer's work. Windows catches nothing a host throws, and
// neither does the layer: the outermost failOnBadAlloc of the call that the host's caller made
// rethrows it as it was thrown.
template <class Call> auto callHost(Call call) -> decltype(call()) {
    struct Restore {
        int& depth;
        int saved;
        ~Restore() { depth = saved; }
    } restore{layerDepth(), layerDepth()};
    restore.depth = 0; // the host's own calls into the layer are outermost again
    try {
        return call();
    } catch (abi::__forced_unwind&) {
        throw; // a thread being cancelled
    } catch (...) {
        throw HostException{std::current_exception()};
    }
}

template <class Result, class Body> Result failOnBadAlloc(Result failure, Body body) {
    struct Enter {
        int& depth;
        ~Enter() { --depth; }
    } enter{layerDepth()};
    const bool outermost = enter.depth++ == 0;
    try {
        return body();
    } catch (const HostException& host) {
        if (!outermost) {
            throw;
        }
        std::rethrow_exception(host.thrown);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failure;
    } catch (const std::exception&) {
        // Whatever else the C++ library may throw (a lock the system refuses, say).
        SetLastError(ERROR_INVALID_FUNCTION);
        return failure;
    }
}

// For the calls that return nothing: the failure shows in the last-error code alone.
template <class Body> void failOnBadAlloc(Body body) {
    failOnBadAlloc(0, [&] {
        body();
        return 0;
    });
}

} // namespace korutil::detail
