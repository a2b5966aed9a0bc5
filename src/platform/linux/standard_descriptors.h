// Standard input, output and error may be closed when tonerix starts. Nothing
// it opens later (a sound library's socket, an event descriptor) may then take
// their numbers: output meant for the caller would land in it, or the
// libraries' messages over it.
#pragma once

namespace platform::linux_system {

// Puts a placeholder in each closed standard descriptor's place: /dev/null
// for reading, which a write fails on as on a closed descriptor, and which
// the platform reports as closed.
void ReserveClosedStandardDescriptors();

} // namespace platform::linux_system
