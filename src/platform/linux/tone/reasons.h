// Every word tonerix says under TONERIX_DEBUG after "tonerix: DRIVER: ", in one
// place: why a way could not sound the tone, or what came of its sound. The
// README's "No sound?" table and the manual page's DIAGNOSTICS hold each one
// with what to do, and a test holds them to this list: a new line here needs
// a row there. A %s is a name the user gave, a %u a number.
#pragma once

namespace platform::linux_system::reason {

// What came of the sound.
constexpr char kSounding[] = "sounding the tone";
constexpr char kConsoleAsked[] = "asked the console to sound it";
constexpr char kBellRang[] = "rang the terminal's bell";
constexpr char kSilentWait[] = "a silent wait";
constexpr char kSinkMissing[] = "%s names no sink (%s): the default sink played it";

// Nothing was asked of any driver.
constexpr char kOutOfRange[] = "%u Hz is outside 37 to 32767 Hz: nothing sounds";
constexpr char kNoLength[] = "a tone of 0 ms: nothing sounds";
constexpr char kUnknownDriver[] = "TONERIX_DRIVER names no driver; the names are";
constexpr char kNoDescriptorOrMemory[] = "no descriptor or memory free: a silent wait";

// The service and its worker.
constexpr char kDeclined[] = "declined";
constexpr char kGivenUp[] = "given up on: still busy at the deadline";
constexpr char kNoWorker[] = "no thread could be started: the speaker and the bell alone";

// The sound libraries.
constexpr char kLibraryNotFound[] = "library not found";
constexpr char kLibraryLacks[] = "the library lacks a function tonerix calls";
constexpr char kPipeWireTooOld[] = "library older than 0.3.49";
constexpr char kLeftOut[] = "left out of this build";

// Reaching a sound server.
constexpr char kNoServerSocket[] = "no server socket";
constexpr char kBadPulseServer[] = "PULSE_SERVER names no address the library can take";
constexpr char kConnectionRefused[] = "connection refused";
constexpr char kNoSuchServer[] = "no such server";
constexpr char kAccessDenied[] = "access denied";
constexpr char kCookieRefused[] = "access denied (the server refused tonerix's cookie)";
constexpr char kTooManyClients[] = "the server closed the connection (too many clients?)";
constexpr char kNoThread[] = "no thread could be started";
constexpr char kNoDescriptor[] = "no descriptor free";
constexpr char kCouldNotConnect[] = "could not connect";

// A sound server's verdict on its stream.
constexpr char kStreamRefused[] = "the server refused the stream";
constexpr char kStreamFailed[] = "the stream failed";
constexpr char kLost[] = "the connection or the stream was lost";
constexpr char kNothingLinks[] =
    "nothing links the stream to a sink (no session manager, or no sink)";
constexpr char kServerStopped[] = "the server is stopped";
constexpr char kNoAnswer[] = "the server took the connection but does not answer";
constexpr char kStoppedAnswering[] = "the server stopped answering";
constexpr char kSinkNeverPlayed[] = "the sink never played the tone";
constexpr char kStoppedBySignal[] = "stopped by a signal";

// ALSA's default device; besides these, ALSA's own words for an open that
// failed otherwise.
constexpr char kDeviceBusy[] = "device busy";
constexpr char kNotPermitted[] = "not permitted";
constexpr char kPluginServerStopped[] = "the device's sound server is stopped";
constexpr char kNoFormat[] = "the default device takes no 16-bit mono at 48 or 44.1 kHz";
constexpr char kFailedFirstWrite[] = "the device failed at its first write";
constexpr char kFailedDuring[] = "the device failed during the tone";

// The PC speaker and the terminal.
constexpr char kNoSpeaker[] = "no speaker device";
constexpr char kNoToneDevice[] = "the kernel has no tone device: the console was not asked";
constexpr char kNoTerminal[] = "no controlling terminal";

} // namespace platform::linux_system::reason
