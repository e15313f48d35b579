// The layer's calls never throw: one that runs out of memory inside the C++ library fails the
// way the system would report it, and any other exception of the C++ library fails the call.
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

} // namespace korutil::detail
