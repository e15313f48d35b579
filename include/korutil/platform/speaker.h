// The PC speaker as the layer models it: channel 2 of the interval timer (control port 0x43,
// data port 0x42) and the speaker control port 0x61, written and read byte by byte as the
// hardware is. While the timer gate and speaker data bits of port 0x61 are both set, the
// modelled speaker sounds at 1193180 / divisor hertz, and the layer plays that tone on the
// Linux PC speaker when the process may use it (silently not otherwise). Any thread may call;
// the model is process-wide.
#pragma once

#include <korutil/platform/types.h>

typedef struct tagPLATSPEAKERSTATE {
    BOOL sounding;   // gate and data bits set, with a divisor programmed
    WORD divisor;    // the channel's reload value; 0 stands for 65536
    DWORD frequency; // 1193180 / divisor, rounded down; 0 while silent
    BOOL played;     // the tone reached a speaker device of the system
} PLATSPEAKERSTATE;

extern "C" {
KORPLATFORM_API void WINAPI PlatWritePort(WORD port, BYTE value);
KORPLATFORM_API BYTE WINAPI PlatReadPort(WORD port);
KORPLATFORM_API BOOL WINAPI PlatGetSpeakerState(PLATSPEAKERSTATE* state);
}
