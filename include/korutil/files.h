// Files and paths: the file family behind one byte-stream interface, and path helpers.
#pragma once

#include <korutil/frame.h>
