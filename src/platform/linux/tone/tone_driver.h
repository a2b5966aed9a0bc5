// What a tone driver is handed and returns, and the drivers there are. A
// driver either sounds the tone or declines, having made no sound, so that the
// next one is tried; once it has sounded anything, the tone is its.
#pragma once

#include <cstddef>

#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {

struct ToneDriver {
    const char* name; // for TONERIX_DRIVER
    // False when the driver cannot sound here. Runs on the worker thread,
    // which takes no signals, and reaches nothing but its call.
    bool (*sound)(ToneCall& call);
};

// The most drivers a table may hold: the worker keeps its own copy.
inline constexpr std::size_t kMostDrivers = 8;

bool SoundThroughPipeWire(ToneCall& call);
bool SoundThroughPulseAudio(ToneCall& call);
bool SoundThroughAlsa(ToneCall& call);
bool SoundThroughPcSpeaker(ToneCall& call);
bool SoundThroughTerminalBell(ToneCall& call);

} // namespace platform::linux_system
