#include "kernel/no_throw.h"
#include "kernel/waitable.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <map>
#include <memory>
#include <string>

namespace korutil::detail {
namespace {

class EventObject : public Waitable {
public:
    EventObject(bool manualReset, bool signalled)
        : m_manualReset(manualReset), m_signalled(signalled) {}

    void set() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_signalled = true;
        notifyChanged();
    }

    void reset() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_signalled = false;
    }

private:
    bool signalled() override { return m_signalled; }

    bool acquire() override {
        if (!m_signalled) {
            return false;
        }
        if (!m_manualReset) {
            m_signalled = false;
        }
        return true;
    }

    const bool m_manualReset;
    bool m_signalled;
};

// Named events of the process; an entry lapses when the last handle to its event closes.
struct NamedEvents {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<EventObject>> byName;
};

NamedEvents& namedEvents() {
    static NamedEvents* instance = new NamedEvents; // outlives every static destructor
    return *instance;
}

std::shared_ptr<EventObject> eventFor(HANDLE handle) {
    return lookupHandleAs<EventObject>(handle);
}

} // namespace
} // namespace korutil::detail

using korutil::detail::EventObject;

extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                      LPCSTR lpName) {
    return korutil::detail::failOnBadAlloc(HANDLE(nullptr), [&]() -> HANDLE {
        if (!lpName) {
            return korutil::detail::insertHandle(
                std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
        }
        auto& named = korutil::detail::namedEvents();
        std::lock_guard<std::mutex> guard(named.lock);
        std::shared_ptr<EventObject> event = named.byName[lpName].lock();
        const bool existed = event != nullptr;
        if (!existed) {
            event = std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE);
            named.byName[lpName] = event;
        }
        HANDLE handle = korutil::detail::insertHandle(event);
        if (!handle) {
            return nullptr;
        }
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    });
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        auto event = korutil::detail::eventFor(hEvent);
        if (!event) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        event->set();
        return TRUE;
    });
}

extern "C" BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        auto event = korutil::detail::eventFor(hEvent);
        if (!event) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        event->reset();
        return TRUE;
    });
}
