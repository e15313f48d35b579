// Strings: the string class and cached resource strings.
#pragma once

#include <korutil/frame.h>
