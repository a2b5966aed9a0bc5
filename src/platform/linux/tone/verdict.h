// Whether a tone on a sound server has been heard, is still worth waiting for,
// or is to be given up, decided from what the server reported and the time;
// and whether the service gives up on the worker that runs the drivers.
//
// Pure functions decide, each rule with a row in one table test.
// A server is judged by its answers: before the tone's end nothing but a stop,
// a lost connection or a failed stream ends the wait, since the call cannot
// return before the end anyway. After it, a live server answers round trips
// even while its sink wakes (a power-saved codec, a Bluetooth headset), so the
// sink is waited for while the answers come, up to kLongestWake; a question
// unanswered for longer than the path to the server explains gives it up, the
// round trip measured as TCP measures its retransmission timeout, unless the
// local server's process is busy (ready to run, or it ran since the question):
// a machine short of processors makes its answer late, not lost. A stream
// that nothing will ever link to a sink is not waited for at all. Only time
// tonerix itself was running counts against the server.
#pragma once

#include <cstdint>

#include "platform/linux/tone/clock.h"
#include "platform/linux/tone/server_peer.h"

namespace platform::linux_system {

// How long a question sent now may go unanswered: a few smoothed round trips
// (RFC 6298's SRTT and RTTVAR), and never less than kAnswerLimit.
struct RoundTrip {
    Nanoseconds srtt = 0, rttvar = 0; // no sample yet while srtt is 0
    void Sample(Nanoseconds sample);
    Nanoseconds Limit() const;
};

// What the server says of the stream's way to a sink.
enum class Link {
    kNotKnown, // a server that cannot tell, or has not told yet
    kLinked,   // linked to a sink, which may still be starting
    kAwaited,  // not linked yet, but a session manager is there to link it
    kNothing,  // nothing links it: no session manager and no link, or the link gone
};

struct ServerFacts {
    Nanoseconds toneEnd = 0;    // when the tone's time is over, as asked
    Nanoseconds notRunning = 0; // how long tonerix itself was not running meanwhile
    Nanoseconds resumedAt = 0;  // when it last went on again; 0 if never stopped
    Nanoseconds askedAt = 0;    // the question still unanswered; 0 if none
    Nanoseconds answeredAt = 0; // the last answer; 0 if none yet
    RoundTrip path;
    Link link = Link::kNotKnown;
    bool lost = false;           // the connection or the stream is gone
    bool sounded = false;        // the server took some of the tone
    bool stopRequested = false;  // a stop signal came
    bool pauseUncounted = false; // tonerix went on after a stop not yet counted
    Nanoseconds heardBy = 0;     // once all of the tone is queued: when it is heard
    // A local server's process, and the processor time it had had when the
    // question pending went out (-1: not known then); and notRunning then.
    PeerState peer;
    Nanoseconds peerRanAtAsk = -1;
    Nanoseconds notRunningAtAsk = 0;
    Nanoseconds peerSeenAt = 0; // when `peer` was looked at
};

struct Verdict {
    enum Kind { kGoOn, kHeard, kGiveUp };
    Kind kind;
    const char* why;   // the words for TONERIX_DEBUG; none when heard
    Nanoseconds until; // kGoOn: nothing changes before this time without new facts
    bool ask;          // kGoOn: send a question now, then judge again
};

// Round trips are asked no more often than this. Before the tone's end only
// one is, to be answered by the end: no earlier answer could change the
// verdict.
inline constexpr Nanoseconds kAskEvery = 50 * kMillisecond;
inline constexpr Nanoseconds kAnswerLimit = 240 * kMillisecond;
// A sink may take a second or two to wake (Bluetooth, some USB and HDMI
// sinks); past this much running time after the end, a live server whose
// sink never plays is given up too.
inline constexpr Nanoseconds kLongestWake = 4 * kSecond;

Verdict Judge(const ServerFacts& facts, Nanoseconds now);
// When the verdict gives up on these facts if nothing new is reported: the
// time by which whoever waits for the driver may give up on it.
Nanoseconds GiveUpTime(const ServerFacts& facts);

// PulseAudio's stream buffer, in bytes of 16-bit mono: room for a few round
// trips (never less than half a second, nor more than two, nor more than
// the tone); and the request size that leaves the sink kSinkAheadTime ahead
// of what plays (kServerDefault: the server's choice, for a tone shorter
// than that).
inline constexpr Nanoseconds kLeastAheadTime = 500 * kMillisecond;
inline constexpr Nanoseconds kMostAheadTime = 2 * kSecond;
inline constexpr Nanoseconds kSinkAheadTime = 20 * kMillisecond;
inline constexpr std::uint32_t kServerDefault = static_cast<std::uint32_t>(-1);
struct StreamBuffer {
    std::uint32_t target, request;
};
StreamBuffer PulseStreamBuffer(const RoundTrip& path, std::uint64_t toneFrames, std::uint32_t rate);

// A buffer's `requested` frames came in PipeWire 0.3.49; an older library is
// passed by.
bool PipeWireRecentEnough(const char* version);

// When the tone's last sample is heard, once all of it is queued, from what
// each server says then. PulseAudio, as it answers the drain: after what the
// sink holds, less the silence it was handed since the stream ran out (while
// the stream is not playing; bytes of 16-bit mono at `rate`), less the
// answer's way back. PipeWire, as its last buffer is queued: after that
// buffer's frames and the device's delay, in ticks of `tick` seconds.
struct PulseTiming {
    Nanoseconds sinkLatency, transport;
    bool playing;
    std::int64_t sinceUnderrunBytes;
};
Nanoseconds PulseHeardBy(Nanoseconds now, const PulseTiming& timing, std::uint32_t rate);
struct Fraction {
    std::uint32_t num, denom;
};
Nanoseconds PipeWireHeardBy(Nanoseconds now, std::uint32_t lastFrames, std::uint32_t rate,
                            std::int64_t delay, Fraction tick);
// ALSA's drain, begun now with `queued` of the tone not yet played, is given
// that and the time any server gets to answer: behind the device may be a
// server whose session manager is busy linking the stream.
Nanoseconds AlsaGiveUpBy(Nanoseconds now, Nanoseconds queued);
// ALSA's queue plays out in a wait that Ctrl-Z can end; the library's drain,
// which nothing ends, takes only its last kDrainTail, or what is left once
// the queue stops shrinking from one look to the next (`before`, -1 at the
// first): the device's own latency, or a sink that waits.
inline constexpr Nanoseconds kDrainTail = 20 * kMillisecond;
bool AlsaDrainNow(Nanoseconds queued, Nanoseconds before);
// What of the tone went unplayed when ALSA's queue is dropped for Ctrl-Z, to
// be written again after the continue. The device's delay and what its ring
// still holds (each -1 when not known) both count frames not played yet, and
// through a sound server's plugin each may count some that were (the sink's
// latency, a pointer the plugin moves late): the smaller, and never more
// than was written.
std::uint64_t AlsaUnplayed(std::int64_t delay, std::int64_t inRing, std::uint64_t written);

// Whether TONERIX_DEBUG, set to `value` (null when unset), asks for lines:
// any value but none, empty or 0.
bool DebugWanted(const char* value);

// Whether the tone's time is over for the drivers at `now`: the tone's
// length from when they `began`, moved on by the time they were not running
// (a starved worker, or one that began late, still has the time to sound it).
bool ToneTimeOver(Nanoseconds now, Nanoseconds began, std::uint32_t duration,
                  Nanoseconds notRunning);

// After a driver returns: the call is done once it sounded or a stop came;
// a driver that declined leaves the next the time that is left, and once the
// tone's time is over only the last, the silent wait, is worth trying.
enum class NextDriver { kNone, kNext, kLast };
NextDriver AfterDriver(bool sounded, bool stopRequested, bool toneTimeOver);

// The worker that runs the drivers is judged by what it did with the
// processor and by the steps it reports, not by the clock alone: a worker
// that had no processor (the machine busy, tonerix in the idle class) is
// late, not stuck, and so is one that keeps taking steps on a slow machine
// or under an emulator, or one asleep while a sound library's own thread
// that it may wait for has no processor. Past due, it is given up on once,
// with no step taken since the service last looked, it either sleeps in a
// call that did not return (a stalled server) and has not had the processor
// since that look (one that ran meanwhile may be paging a library in from the
// disk), or has used its spin allowance of processor time and still not
// returned.
struct WorkerFacts {
    Nanoseconds toneEnd = 0; // when the tone's time is over, as asked
    // How long it was stopped, or ready with no processor, as it counted at
    // its last step: all of it, when it sleeps, for a wait grows only while
    // it is ready.
    Nanoseconds notRunning = 0;
    Nanoseconds giveUpBy = 0; // a server's verdict gives up by then; 0 for none
    std::uint32_t steps = 0;  // the steps it has taken
    ProcessorUse use;         // what the scheduler says of it now
};

// What the service keeps of the worker from one look to the next.
struct WorkerLooks {
    std::uint32_t steps = 0;    // its steps at the last look
    Nanoseconds ranAtStep = -1; // its processor time when first seen due, or at a later step
    Nanoseconds ranAtLook = -1; // its processor time at the last look past due; -1: none yet
};

struct WorkerVerdict {
    bool giveUp;
    Nanoseconds until; // !giveUp: judge again then, or when the worker is done
};

// How long after the tone's end a driver that reported nothing more may take
// to finish (an ALSA drain), how long after a sound server's verdict should
// have given up the worker may take to return, and how much processor time
// past due a ready worker may use without taking a step before it is taken
// to spin in a call. One step (a server library's context with its modules)
// takes up to 45 ms of processor time under an arm64 emulator.
inline constexpr Nanoseconds kToneGrace = 90 * kMillisecond;
// How long Ctrl-Z waits for a server to say it holds the stream before the
// program stops: a stop silences the tone within this.
inline constexpr Nanoseconds kHoldAnswerLimit = 40 * kMillisecond;
inline constexpr Nanoseconds kVerdictGrace = 20 * kMillisecond;
inline constexpr Nanoseconds kSpinAllowance = 120 * kMillisecond;

// When the worker is due: before then nothing the scheduler says of it
// counts, so the service need not ask.
Nanoseconds WorkerDue(const WorkerFacts& facts);
WorkerVerdict JudgeWorker(const WorkerFacts& facts, WorkerLooks& looks, Nanoseconds now);

} // namespace platform::linux_system
