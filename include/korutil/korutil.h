// The whole library: every subsystem header.
#pragma once

#include <korutil/frame.h>
#include <korutil/collections.h>
#include <korutil/buffers.h>
#include <korutil/strings.h>
#include <korutil/files.h>
#include <korutil/settings.h>
#include <korutil/schedule.h>
#include <korutil/ui.h>
