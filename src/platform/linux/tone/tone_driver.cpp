// The drivers in the order they are tried, and Beep on Linux: which of them
// the user chose (TONERIX_DRIVER), and TONERIX_DEBUG's first lines.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/linux/tone/tone_driver.h"
#include "platform/platform.h"

namespace platform::linux_system {
namespace {

// Always there, and last: the service waits out the tone itself.
void SoundNothing(ToneCall& call) { call.Say(reason::kSilentWait); }

// Tried in order; the first that sounds the tone ends the search. The sound
// servers come first, natively: they can tell a slow sink from a dead server.
// The silence, which always sounds, stays last.
constexpr ToneDriver kDrivers[] = {
    {"pipewire", SoundThroughPipeWire, true}, {"pulseaudio", SoundThroughPulseAudio, true},
    {"alsa", SoundThroughAlsa, true},         {"pc-speaker", SoundThroughPcSpeaker},
    {"bell", SoundThroughTerminalBell},       {"silence", SoundNothing},
};
static_assert(std::size(kDrivers) <= kMostDrivers, "the call holds every driver");

// TONERIX_DEBUG's first lines, before any driver runs: the version; a
// TONERIX_DRIVER that names no driver, with the names there are; and a tone
// that nothing will sound, with why.
void SayFirst(const char* unknownDriver, std::uint32_t frequency, std::uint32_t duration) {
    if (!DebugWanted(std::getenv("TONERIX_DEBUG"))) return;
    char line[320];
    std::size_t length = 0;
    auto append = [&](const char* format, auto... values) {
        int added = std::snprintf(line + length, sizeof line - length, format, values...);
        if (added > 0) length = std::min(length + added, sizeof line - 1);
    };
    append("tonerix: version %s\n", TONERIX_VERSION);
    if (unknownDriver != nullptr) {
        append("tonerix: %s", reason::kUnknownDriver);
        for (const ToneDriver& driver : kDrivers)
            append(" %s", driver.name);
        append("%s", ": trying them all\n");
    }
    if (!InToneRange(frequency)) {
        append("%s", "tonerix: ");
        append(reason::kOutOfRange, frequency);
        append("%s", "\n");
    } else if (duration == 0) {
        append("tonerix: %s\n", reason::kNoLength);
    }
    WriteIfReady(STDERR_FILENO, line, length);
}

} // namespace
} // namespace platform::linux_system

bool platform::Beep(std::uint32_t frequency, std::uint32_t duration) {
    using namespace linux_system;
    // An empty PULSE_SINK is no name, but the PulseAudio library sends it as
    // one, natively and inside ALSA's plugin, and the server refuses the
    // stream: unset (before any thread runs), it leaves the server's default.
    if (const char* sink = std::getenv("PULSE_SINK"); sink != nullptr && *sink == '\0')
        unsetenv("PULSE_SINK");
    // TONERIX_DRIVER names the one driver to try, silence still behind it.
    const char* name = std::getenv("TONERIX_DRIVER");
    if (name != nullptr && *name == '\0') name = nullptr;
    for (const ToneDriver& driver : kDrivers) {
        if (name == nullptr || std::strcmp(name, driver.name) != 0) continue;
        SayFirst(nullptr, frequency, duration);
        // The silence chosen is the one wait, not a second behind itself.
        const ToneDriver chosen[] = {driver, std::end(kDrivers)[-1]};
        std::size_t count = &driver == &std::end(kDrivers)[-1] ? 1 : 2;
        return SoundTone(std::span(chosen, count), frequency, duration);
    }
    SayFirst(name, frequency, duration); // an unknown name leaves the whole table
    return SoundTone(kDrivers, frequency, duration);
}
