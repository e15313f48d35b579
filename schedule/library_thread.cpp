#include <korutil/schedule.h>

#include "frame/module.h"

namespace {

// Built after the resource-string cache and destroyed before it, so that a running worker is
// stopped while everything its callbacks may use is still there.
KORUTIL_STATIC_OBJECT(KORUTIL_RANK_SCHEDULE_THREAD) CScheduleThread g_libraryThread;

} // namespace

CScheduleThread* CScheduleThread::GetThread() {
    return &g_libraryThread;
}
