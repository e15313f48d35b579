// Buffers and ranges: growable element buffers and the range set. Each owns one block from
// the library heap, grown and shrunk in fixed steps of elements.
#pragma once

#include <korutil/frame.h>

// -- CHugeGrowBuf

// -- CGrowBuf, Range, CRangeSet
