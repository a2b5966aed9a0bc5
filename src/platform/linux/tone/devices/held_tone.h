// Devices that hold a pitch until told otherwise: the PC speaker's
// input-event device and a virtual console's tone ioctl. The PC speaker
// driver and the terminal bell both sound through them.
#pragma once

#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {

// Sounds the tone on the input-event speaker device at `path`; false when it
// cannot be opened. Takes a path so that tests can put a FIFO in its place.
bool HoldToneOnSpeakerEvents(const char* path, ToneCall& call);
// Whether the kernel has an input device that sounds tones (EV_SND with
// SND_TONE, as the PC speaker's driver registers), which a console's tone
// reaches: without one the console takes the request and nothing sounds.
// `listing` is the kernel's list of input devices; one that cannot be read
// says nothing against it.
inline constexpr const char* kInputDevices = "/proc/bus/input/devices";
bool KernelHasToneDevice(const char* listing = kInputDevices);
// Sounds the tone on the virtual console open as `fd`, which it then closes;
// false, with `fd` left open, when that is no console the process may sound.
bool HoldToneOnConsole(int fd, ToneCall& call);

} // namespace platform::linux_system
