#pragma once

#include <korutil/platform/types.h>
