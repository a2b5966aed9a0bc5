// The server drivers of a build made without the PipeWire and PulseAudio
// headers: they always decline, and the next driver is tried.
#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {
namespace {
void LeftOut(ToneCall& call) { call.Say(reason::kLeftOut); }
} // namespace

void SoundThroughPipeWire(ToneCall& call) { LeftOut(call); }
void SoundThroughPulseAudio(ToneCall& call) { LeftOut(call); }

} // namespace platform::linux_system
