// Checks of the server addresses a user may give the sound libraries in the
// environment, made before a library sees them: a library that cannot take
// an address may abort the whole program (libpulse asserts on a host name
// too long to look up), and a driver must decline instead.
#pragma once

#include <string_view>

namespace platform::linux_system {

// Whether the PulseAudio library can take `servers`, PULSE_SERVER's list of
// addresses separated by spaces: each a socket path that fits a socket
// address, or a host name of at most 253 characters (the most DNS allows),
// optionally after "{machine id}" and "unix:", "tcp:", "tcp4:" or "tcp6:",
// with a port after it.
bool PulseServerUsable(std::string_view servers);

// Whether `path` fits a socket address, as a server's socket must.
bool FitsSocketAddress(std::string_view path);

} // namespace platform::linux_system
