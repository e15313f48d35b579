#include "demo.h"

#include <korutil/schedule.h>

namespace {

DWORD g_start = 0;

DWORD elapsed() {
    return GetTickCount() - g_start;
}

// Saves the document every 800 ms, as an editor's autosave would.
class Autosave final : public IScheduleClient {
public:
    int OnSchedule() override {
        if (saves++ == 0) {
            demo::say("%5u ms  autosave armed (called once by Schedule on the host thread)",
                      static_cast<unsigned>(elapsed()));
        } else {
            demo::say("%5u ms  autosave: document saved (save #%d)",
                      static_cast<unsigned>(elapsed()), saves - 1);
        }
        return 0;
    }
    int saves = 0;
};

// A status-bar clock that ticks every 500 ms.
class Clock final : public IScheduleClient {
public:
    int OnSchedule() override {
        if (ticks++ == 0) {
            demo::say("%5u ms  clock shown (called once by Schedule on the host thread)",
                      static_cast<unsigned>(elapsed()));
        } else {
            demo::say("%5u ms  clock tick %d on the worker", static_cast<unsigned>(elapsed()),
                      ticks - 1);
        }
        return 0;
    }
    int ticks = 0;
};

int run() {
    CScheduleThread* scheduler = CScheduleThread::GetThread();
    if (!scheduler->Create(THREAD_PRIORITY_ABOVE_NORMAL)) {
        demo::say("could not start the schedule worker");
        return 1;
    }
    demo::say("library-wide worker started at priority %d, suspended until the first entry",
              scheduler->GetPriority());
    Autosave autosave;
    Clock clock;
    int autosaveId = 0, clockId = 0;
    g_start = GetTickCount();
    scheduler->Schedule(&autosaveId, &autosave, 800);
    scheduler->Schedule(&clockId, &clock, 500);
    demo::say("scheduled autosave as entry %d and the clock as entry %d; running 2.5 s", autosaveId,
              clockId);
    Sleep(2500);
    // Killing takes the lock, so no callback is under way once both have returned.
    scheduler->KillSchedule(autosaveId);
    scheduler->KillSchedule(clockId);
    demo::say("both entries killed after %u ms: %d saves, %d clock ticks; worker %s",
              static_cast<unsigned>(elapsed()), autosave.saves - 1, clock.ticks - 1,
              scheduler->IsSuspended() ? "suspended" : "running");
    // 2500 ms give three saves and four or five ticks; a loaded machine may cut one short.
    return autosave.saves >= 3 && clock.ticks >= 4 ? 0 : 1;
}

demo::Registration registration(70, "Scheduling", run);

} // namespace
