// Global memory: blocks addressed through handles. A fixed block's handle is its address; a
// moveable block has a handle of its own and an address only while locked, and the layer finds
// the handle back from that address (GlobalHandle).
#pragma once

#include <korutil/platform/types.h>

#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GMEM_MODIFY 0x0080u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

extern "C" {

KORPLATFORM_API HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);

// Resizes a block, zeroing the added bytes with GMEM_ZEROINIT. The block may move only with
// GMEM_MOVEABLE (a moveable block then keeps its handle, a fixed one gets a new handle, which
// is its new address); without it, a block that would have to move stays as it is and the
// call fails. On failure the old block is untouched.
KORPLATFORM_API HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);

// The block's address; a moveable block counts its locks.
KORPLATFORM_API LPVOID WINAPI GlobalLock(HGLOBAL hMem);
// TRUE while the block stays locked; FALSE with NO_ERROR when this was the last lock, FALSE
// with ERROR_NOT_LOCKED when it was not locked.
KORPLATFORM_API BOOL WINAPI GlobalUnlock(HGLOBAL hMem);

// The handle of the block that starts at pMem; null for null or an address the layer did not
// hand out.
KORPLATFORM_API HGLOBAL WINAPI GlobalHandle(LPCVOID pMem);
KORPLATFORM_API SIZE_T WINAPI GlobalSize(HGLOBAL hMem);
// Null on success; the handle itself when it names no block.
KORPLATFORM_API HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);

// Not in Windows: the most bytes one block may hold (for tests of allocation failure);
// 0 restores the default (no limit of the layer's own). Returns the previous limit.
KORPLATFORM_API SIZE_T WINAPI PlatSetGlobalBlockLimit(SIZE_T dwBytes);
}
