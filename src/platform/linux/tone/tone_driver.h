// What a tone driver is handed and returns, and the drivers there are. A
// driver either sounds the tone or declines, having made no sound, so that the
// next one is tried.
#pragma once

#include "platform/linux/tone/tone_session.h"

namespace platform::linux_system {

struct ToneDriver {
    const char* name; // for TONERIX_DRIVER
    // False when the driver cannot sound here. Runs on the worker thread,
    // which takes no signals: it watches the session's StopRequested instead,
    // and reaches nothing but the session.
    bool (*sound)(ToneSession& session);
};

bool SoundThroughPipeWire(ToneSession& session);
bool SoundThroughPulseAudio(ToneSession& session);
bool SoundThroughAlsa(ToneSession& session);
bool SoundThroughPcSpeaker(ToneSession& session);
bool SoundThroughTerminalBell(ToneSession& session);

} // namespace platform::linux_system
