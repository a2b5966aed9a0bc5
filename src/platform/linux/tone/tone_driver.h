// What a tone driver is handed, and the drivers there are. A driver says
// through its call when it begins to sound (ToneCall::Sounding); one that
// returns without having said so has declined, whatever it met, and the next
// is tried with the time that is left. Once it has sounded, the tone is its.
#pragma once

#include <cstddef>

#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {

struct ToneDriver {
    const char* name; // for TONERIX_DRIVER
    // Runs on the worker thread, which takes no signals, and reaches nothing
    // but its call.
    void (*sound)(ToneCall& call);
    // A sound library that may block for ever (a stalled server): with no
    // worker to give up on, the drivers that cannot run on the service's
    // own thread instead.
    bool mayHang = false;
};

// The most drivers a table may hold: the worker keeps its own copy.
inline constexpr std::size_t kMostDrivers = 8;

void SoundThroughPipeWire(ToneCall& call);
void SoundThroughPulseAudio(ToneCall& call);
void SoundThroughAlsa(ToneCall& call);
void SoundThroughPcSpeaker(ToneCall& call);
void SoundThroughTerminalBell(ToneCall& call);

} // namespace platform::linux_system
