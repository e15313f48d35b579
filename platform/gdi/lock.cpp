#include "gdi/lock.h"

namespace korutil::detail {

std::recursive_mutex& uiMutex() {
    static auto* mutex = new std::recursive_mutex; // outlives every static destructor
    return *mutex;
}

} // namespace korutil::detail
