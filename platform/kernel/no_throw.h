// The layer's calls never throw: one that runs out of memory inside the C++ library fails the
// way the system would report it, and any other exception of the C++ library fails the call.
// Every `extern "C"` call whose work may allocate, lock a std::mutex, wait on a condition or
// start a std::thread runs that work inside failOnBadAlloc.
#pragma once

#include <korutil/platform/errors.h>

#include <exception>
#include <new>

namespace korutil::detail {

template <class Result, class Body> Result failOnBadAlloc(Result failure, Body body) {
    try {
        return body();
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
