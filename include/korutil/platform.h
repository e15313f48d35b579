// The Windows API as the library and its hosts see it. On Windows this is the system's own
// <windows.h>; elsewhere it is the subset that libkorplatform implements, declared under the
// Windows names with the Windows widths.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <korutil/platform/types.h>
#include <korutil/platform/errors.h>
#include <korutil/platform/handles.h>
#include <korutil/platform/modules.h>
#include <korutil/platform/resources.h>
#include <korutil/platform/format.h>
#include <korutil/platform/files.h>
#include <korutil/platform/memory.h>
#include <korutil/platform/threads.h>
#include <korutil/platform/profiles.h>
#include <korutil/platform/registry.h>
#include <korutil/platform/version.h>
#include <korutil/platform/gdi.h>
#include <korutil/platform/rects.h>
#include <korutil/platform/user.h>
#include <korutil/platform/menus.h>
#include <korutil/platform/commctrl.h>
#include <korutil/platform/speaker.h>
#endif
