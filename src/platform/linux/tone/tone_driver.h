// The drivers there are, each tried in turn with a ToneCall (tone_call.h says
// what a driver is owed and owes); tone_driver.cpp holds their order.
#pragma once

#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {

void SoundThroughPipeWire(ToneCall& call);
void SoundThroughPulseAudio(ToneCall& call);
void SoundThroughAlsa(ToneCall& call);
void SoundThroughPcSpeaker(ToneCall& call);
void SoundThroughTerminalBell(ToneCall& call);

} // namespace platform::linux_system
