// Scheduling: a shared thread that calls hosts back at fixed intervals.
#pragma once

#include <korutil/frame.h>
