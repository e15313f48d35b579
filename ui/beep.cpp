#include <korutil/ui.h>

namespace {

// The programmable interval timer's input clock; channel 2 divides it down for the speaker.
constexpr unsigned kTimerHz = 1193180;

} // namespace

#ifdef _WIN32

#include <atomic>

// Windows NT closes the ports to applications. The tone is played instead by a worker that
// calls the system's Beep in short pieces for as long as the frequency is set, so that it
// still sounds until Beep(0). The worker holds a reference to this module, so that the
// library cannot be unloaded under it, and gives it back as it ends.
namespace {

std::atomic<DWORD> g_frequency{0};
std::atomic<bool> g_running{false};

DWORD WINAPI playTone(LPVOID module) {
    for (;;) {
        const DWORD frequency = g_frequency.load();
        if (frequency != 0) {
            ::Beep(frequency, 50);
            continue;
        }
        g_running.store(false);
        // A Beep that came just now may have seen this worker still running.
        if (g_frequency.load() == 0 || g_running.exchange(true)) {
            break;
        }
    }
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

// The system's Beep plays 37 to 32767 Hz; the rest stays silent.
DWORD playableFrequency(unsigned short frequency) {
    unsigned divisor = (kTimerHz / frequency) & 0xFFFFu;
    if (divisor == 0) {
        divisor = 0x10000u;
    }
    const DWORD hz = kTimerHz / divisor;
    return hz >= 37 && hz <= 32767 ? hz : 0;
}

} // namespace

void Beep(unsigned short frequency) {
    const DWORD hz = frequency != 0 ? playableFrequency(frequency) : 0;
    g_frequency.store(hz);
    if (hz == 0 || g_running.exchange(true)) {
        return;
    }
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&playTone), &self)) {
        g_running.store(false);
        return;
    }
    HANDLE worker = CreateThread(nullptr, 0, playTone, self, 0, nullptr);
    if (!worker) {
        g_running.store(false);
        FreeLibrary(self);
        return;
    }
    CloseHandle(worker);
}

#else

namespace {

constexpr WORD kTimerControl = 0x43;
constexpr WORD kTimerChannel2 = 0x42;
constexpr WORD kSpeakerControl = 0x61;
constexpr BYTE kChannel2SquareWave = 0xB6; // channel 2, low then high byte, mode 3, binary
constexpr BYTE kGateAndData = 0x03;

} // namespace

void Beep(unsigned short frequency) {
    if (frequency != 0) {
        const unsigned divisor = kTimerHz / frequency;
        PlatWritePort(kTimerControl, kChannel2SquareWave);
        PlatWritePort(kTimerChannel2, static_cast<BYTE>(divisor & 0xFF));
        PlatWritePort(kTimerChannel2, static_cast<BYTE>((divisor >> 8) & 0xFF));
        PlatWritePort(kSpeakerControl,
                      static_cast<BYTE>(PlatReadPort(kSpeakerControl) | kGateAndData));
    } else {
        PlatWritePort(kSpeakerControl,
                      static_cast<BYTE>(PlatReadPort(kSpeakerControl) & ~kGateAndData));
    }
}

#endif
