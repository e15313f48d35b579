// Measuring and test hooks of the schedule thread; not part of the public interface.
#pragma once

#include <korutil/frame.h>
#include <korutil/platform.h>

namespace korutil::detail {

// Returns of schedule workers from their waits (time-outs and signals), all objects together.
KORUTIL_API long scheduleWorkerWakeups();

// Sets the bounded wait of Destroy (3000 ms by default), so that tests can reach the case of
// a worker that outlasts it quickly. 0 restores the default.
KORUTIL_API void setScheduleStopWait(DWORD milliseconds);

} // namespace korutil::detail
