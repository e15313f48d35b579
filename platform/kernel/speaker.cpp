#include "kernel/no_throw.h"

#include <korutil/platform/speaker.h>

#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr unsigned kTimerHz = 1193180;

// The ports as the tone code sees them. Writing the control port with channel 2 selected
// resets the low/high flip-flop of the channel's data port; bit 0 of port 0x61 gates the
// channel and bit 1 connects it to the speaker.
struct Speaker {
    std::mutex lock;
    BYTE control61 = 0;
    WORD divisor = 0;
    bool divisorSet = false;
    bool highByteNext = false;
    BYTE lowByte = 0;
    // The system's speaker, opened on first use: an input device that takes tones in hertz,
    // or a console that takes the timer divisor.
    bool probed = false;
    int evdev = -1;
    int console = -1;
    DWORD playing = 0; // the frequency the system's speaker was last told
    bool played = false;
};

Speaker& speaker() {
    static auto* instance = new Speaker; // outlives every static destructor
    return *instance;
}

bool sounding(const Speaker& s) {
    return (s.control61 & 0x03) == 0x03 && s.divisorSet;
}

DWORD frequencyOf(const Speaker& s) {
    return sounding(s) ? kTimerHz / (s.divisor ? s.divisor : 0x10000u) : 0;
}

// KORUTIL_SPEAKER=silent keeps the model but never touches a device (the tests set it).
void probe(Speaker& s) {
    s.probed = true;
    const char* mode = std::getenv("KORUTIL_SPEAKER");
    if (mode && std::strcmp(mode, "silent") == 0) {
        return;
    }
    s.evdev = open("/dev/input/by-path/platform-pcspkr-event-spkr", O_WRONLY | O_CLOEXEC);
    if (s.evdev >= 0) {
        return;
    }
    for (const char* path : {"/dev/console", "/dev/tty0"}) {
        const int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0 && ioctl(fd, KIOCSOUND, 0) == 0) {
            s.console = fd;
            return;
        }
        if (fd >= 0) {
            close(fd);
        }
    }
}

// Tells the system's speaker what the model now sounds, when the process may use one.
void play(Speaker& s) {
    const DWORD frequency = frequencyOf(s);
    if (frequency == s.playing) {
        return;
    }
    if (!s.probed) {
        probe(s);
    }
    bool ok = false;
    if (s.evdev >= 0) {
        input_event event{};
        event.type = EV_SND;
        event.code = SND_TONE;
        event.value = static_cast<int>(frequency);
        ok = write(s.evdev, &event, sizeof(event)) == static_cast<ssize_t>(sizeof(event));
    } else if (s.console >= 0) {
        const unsigned long divisor = frequency ? (s.divisor ? s.divisor : 0x10000u) : 0;
        ok = ioctl(s.console, KIOCSOUND, divisor) == 0;
    }
    s.playing = frequency;
    s.played = ok && frequency != 0;
}

} // namespace

extern "C" void WINAPI PlatWritePort(WORD port, BYTE value) {
    korutil::detail::failOnBadAlloc([&] {
        Speaker& s = speaker();
        std::lock_guard<std::mutex> guard(s.lock);
        switch (port) {
        case 0x43:
            if ((value >> 6) == 2) {
                s.highByteNext = false;
            }
            return;
        case 0x42:
            if (!s.highByteNext) {
                s.lowByte = value;
                s.highByteNext = true;
                return;
            }
            s.divisor = static_cast<WORD>(s.lowByte | (value << 8));
            s.divisorSet = true;
            s.highByteNext = false;
            break;
        case 0x61:
            s.control61 = value;
            break;
        default:
            return;
        }
        play(s);
    });
}

// Unknown ports read as a floating bus does, all ones.
extern "C" BYTE WINAPI PlatReadPort(WORD port) {
    return korutil::detail::failOnBadAlloc(BYTE(0xFF), [&]() -> BYTE {
        Speaker& s = speaker();
        std::lock_guard<std::mutex> guard(s.lock);
        return port == 0x61 ? s.control61 : 0xFF;
    });
}

extern "C" BOOL WINAPI PlatGetSpeakerState(PLATSPEAKERSTATE* state) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (!state) {
            return FALSE;
        }
        Speaker& s = speaker();
        std::lock_guard<std::mutex> guard(s.lock);
        state->sounding = sounding(s) ? TRUE : FALSE;
        state->divisor = s.divisor;
        state->frequency = frequencyOf(s);
        state->played = s.played ? TRUE : FALSE;
        return TRUE;
    });
}
