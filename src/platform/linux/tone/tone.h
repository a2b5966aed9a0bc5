// The Linux tone service: an ordered table of drivers, each of which either
// sounds the tone or declines so that the next one is tried. The last driver,
// silence, always works; the service waits out the full duration whatever the
// driver did.
#pragma once

#include <cstdint>
#include <span>

#include "platform/linux/tone/clock.h"

namespace platform::linux_system {

struct ToneRequest {
    std::uint32_t frequency; // Hz
    std::uint32_t duration;  // ms
    Nanoseconds end;         // on the monotonic clock
};

struct ToneDriver {
    const char* name;
    // False when the driver cannot sound here; it has then made no sound.
    // Runs on the worker thread, which takes no signals: it watches
    // StopRequested instead.
    bool (*sound)(const ToneRequest& request);
};

// The whole tone service over a table of drivers: the range rules, the first
// driver that can sound, the wait for the full duration, and the end by a stop
// signal. The drivers run on a worker thread; the call returns no earlier than
// the duration, and gives up on the worker at the duration and kToneGrace, or
// kAnswerLimit after a sound server last answered, whichever is later.
// Returns false for a frequency the service refuses.
inline constexpr Nanoseconds kToneGrace = 90 * kMillisecond;
// How long a sound server may leave a round trip unanswered before it is taken
// for dead. Longer than a server's hiccup at start-up, short enough that a
// dead server costs the caller little.
inline constexpr Nanoseconds kAnswerLimit = 240 * kMillisecond;
// A sound-server driver's word that its server just answered: a slow sink on
// a live server is then waited for. Safe from any thread.
void NoteServerAnswer();
bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration);

bool SoundThroughPipeWire(const ToneRequest& request);
bool SoundThroughPulseAudio(const ToneRequest& request);
bool SoundThroughAlsa(const ToneRequest& request);
bool SoundThroughPcSpeaker(const ToneRequest& request);
// The PC speaker's input-event device at `path`; exposed so that tests can
// put a pipe in place of the device.
bool SoundThroughSpeakerEvents(const char* path, const ToneRequest& request);
// The console tone of the virtual console open as `fd`, which it then closes;
// false, with `fd` left open, when that is no console the process may sound.
bool SoundThroughConsoleTone(int fd, const ToneRequest& request);
bool SoundThroughTerminalBell(const ToneRequest& request);

} // namespace platform::linux_system
