// Pointer collections: the abstract container base and the pointer containers. They store
// pointer values only and never dereference, free or own what the pointers point to.
#pragma once

#include <korutil/frame.h>
#include <korutil/buffers.h>

// The data-less root of every container: a common base with a virtual destructor, so that a
// host can own any container through a CCollection pointer.
class KORUTIL_API CCollection {
public:
    CCollection() = default;
    CCollection(const CCollection&) {}
    CCollection& operator=(const CCollection&) { return *this; }
    virtual ~CCollection() = 0;
};

// -- CPtrArray, CPtrSet, CPtrToPtrDict

// -- CPtrList

// -- CBits128
