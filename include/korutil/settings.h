// Settings: INI file transfer and registry keys.
#pragma once

#include <korutil/frame.h>
