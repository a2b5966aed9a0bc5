// Beep on Linux: the frequencies and durations the Windows service accepts,
// sounded by the first driver in the table that can, in a session of its own.
#include "platform/linux/tone/tone_service.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/linux/tone/interruption.h"
#include "platform/linux/tone/library_messages.h"
#include "platform/linux/tone/worker.h"
#include "platform/platform.h"

namespace platform {
namespace {

using namespace linux_system;

bool SoundNothing(ToneSession& session) {
    session.Say("a silent wait");
    return true;
}

// Tried in order; the first that sounds the tone ends the search. The sound
// servers come first, natively: they can tell a slow sink from a dead server.
constexpr ToneDriver kDrivers[] = {
    {"pipewire", SoundThroughPipeWire}, {"pulseaudio", SoundThroughPulseAudio},
    {"alsa", SoundThroughAlsa},         {"pc-speaker", SoundThroughPcSpeaker},
    {"bell", SoundThroughTerminalBell}, {"silence", SoundNothing},
};

} // namespace

bool Beep(std::uint32_t frequency, std::uint32_t duration) {
    // TONERIX_DRIVER names the one driver to try, silence still behind it; an
    // unknown name leaves the whole table.
    const char* name = std::getenv("TONERIX_DRIVER");
    for (const ToneDriver& driver : kDrivers) {
        if (name == nullptr || std::strcmp(name, driver.name) != 0) continue;
        const ToneDriver chosen[] = {driver, std::end(kDrivers)[-1]};
        return SoundTone(chosen, frequency, duration);
    }
    return SoundTone(kDrivers, frequency, duration);
}

} // namespace platform

namespace platform::linux_system {
namespace {

// How often the service looks up from its wait, and how much longer a turn
// must take to mean that the service itself was not running.
constexpr Nanoseconds kTurn = 50 * kMillisecond;
constexpr Nanoseconds kOwnPause = 100 * kMillisecond;

// The range the Windows service accepts.
constexpr std::uint32_t kLowestFrequency = 37;
constexpr std::uint32_t kHighestFrequency = 32767;

// What the worker owns: its share of the session, which outlives the call
// when the worker is given up on, and its own copy of the drivers.
struct ToneJob {
    static constexpr std::size_t kMostDrivers = 8;
    ToneSession* session;
    std::size_t count;
    ToneDriver drivers[kMostDrivers];
};

void SoundWithFirstDriverThatCan(void* argument) {
    auto* job = static_cast<ToneJob*>(argument);
    ToneSession& session = *job->session;
    for (std::size_t i = 0; i < job->count && !session.StopRequested(); ++i) {
        session.Begin(job->drivers[i].name);
        bool sounded = job->drivers[i].sound(session);
        session.Report(sounded);
        if (sounded) break;
    }
    session.Finished();
    session.Release();
    std::free(job);
}

// A job for the worker, or null when there is no memory for one.
ToneJob* NewJob(ToneSession* session, std::span<const ToneDriver> drivers) {
    auto* job = static_cast<ToneJob*>(std::malloc(sizeof(ToneJob)));
    if (job == nullptr) return nullptr;
    job->session = session;
    job->count = std::min(drivers.size(), ToneJob::kMostDrivers);
    std::copy_n(drivers.begin(), job->count, job->drivers);
    return job;
}

// Runs the drivers on a worker and waits for them, within the signals' guard
// and with the libraries' messages kept off standard error.
void Sound(ToneSession& session, std::span<const ToneDriver> drivers) {
    StopSignalGuard guard(session);
    LibraryMessagesHidden quiet;
    // Without a worker the tone is a silent wait. A driver still busy when it
    // is given up on is left behind with its share of the session.
    ToneJob* job = NewJob(&session, drivers);
    if (job != nullptr && session.DoneFd() >= 0 && StartWorker(SoundWithFirstDriverThatCan, job)) {
        // Woken often, to see whether the service itself was paused.
        for (Nanoseconds turn = Now();;) {
            if (guard.WaitFor(session.DoneFd(), std::min(session.GiveUpAt(), turn + kTurn)) ||
                session.StopRequested())
                break;
            Nanoseconds now = Now();
            if (now - turn > kTurn + kOwnPause) session.Paused(now - turn - kTurn);
            turn = now;
            if (now >= session.GiveUpAt()) {
                session.Say("given up on: still busy at the deadline");
                session.Report(true);
                break;
            }
        }
    } else {
        std::free(job);
        session.Release(); // the worker's share
    }
    // The call never returns early, whatever the driver managed.
    guard.WaitFor(-1, session.Request().end);
    session.End();
}

} // namespace

bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration) {
    if (frequency < kLowestFrequency || frequency > kHighestFrequency) return false;
    if (duration == 0) return true;
    ToneRequest request{frequency, duration, Now() + Nanoseconds{duration} * kMillisecond};
    ToneSession* session = ToneSession::Shared(request);
    if (session == nullptr) { // no memory: a silent wait, which signals end as usual
        timespec end{static_cast<time_t>(request.end / kSecond),
                     static_cast<long>(request.end % kSecond)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
        }
        return true;
    }
    Sound(*session, drivers);
    int stop = session->StopSignal();
    session->Release();
    if (stop != 0) EndByStopSignal(stop);
    return true;
}

} // namespace platform::linux_system
