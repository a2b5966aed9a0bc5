// Beep on Linux: the frequencies and durations the Windows service accepts,
// sounded by the first driver in the table that can, in a session of its own.
#include "platform/linux/tone/service/tone_service.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/linux/tone/service/interruption.h"
#include "platform/linux/tone/service/standard_error.h"
#include "platform/linux/tone/service/worker.h"
#include "platform/platform.h"

namespace platform {
namespace {

using namespace linux_system;

bool SoundNothing(ToneCall& call) {
    call.Say("a silent wait");
    return true;
}

// Tried in order; the first that sounds the tone ends the search. The sound
// servers come first, natively: they can tell a slow sink from a dead server.
constexpr ToneDriver kDrivers[] = {
    {"pipewire", SoundThroughPipeWire}, {"pulseaudio", SoundThroughPulseAudio},
    {"alsa", SoundThroughAlsa},         {"pc-speaker", SoundThroughPcSpeaker},
    {"bell", SoundThroughTerminalBell}, {"silence", SoundNothing},
};
static_assert(std::size(kDrivers) <= kMostDrivers, "the worker's job holds every driver");

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

// The range the Windows service accepts.
constexpr std::uint32_t kLowestFrequency = 37;
constexpr std::uint32_t kHighestFrequency = 32767;

// What the worker owns: its share of the session, which outlives the call
// when the worker is given up on, and its own copy of the drivers.
struct ToneJob {
    ToneSession* session;
    std::size_t count;
    ToneDriver drivers[kMostDrivers];
};

// The drivers in order, until one sounds. One that declines when the tone's
// time is over leaves none for the next: only the silence after it is left.
void SoundWithFirstDriverThatCan(void* argument) {
    auto* job = static_cast<ToneJob*>(argument);
    ToneSession& session = *job->session;
    for (std::size_t i = 0; i < job->count && !session.StopRequested(); ++i) {
        if (i > 0 && i + 1 < job->count && Now() >= session.Request().end + session.NotRunning())
            continue;
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
    job->count = std::min(drivers.size(), kMostDrivers);
    std::copy_n(drivers.begin(), job->count, job->drivers);
    return job;
}

// Runs the drivers on a worker and waits for them within the signals' guard;
// then waits out the tone, so the call never returns early.
void Sound(ToneSession& session, std::span<const ToneDriver> drivers) {
    StopSignalGuard guard(session);
    using Woken = StopSignalGuard::Woken;
    // A driver still busy when it is given up on is left behind with its
    // share of the session.
    ToneJob* job = NewJob(&session, drivers);
    if (job != nullptr && StartWorker(SoundWithFirstDriverThatCan, job)) {
        // Woken by the worker, a signal, or the give-up time, which a sound
        // server's verdict and a stop of the program move on.
        for (;;) {
            Woken woken = guard.Wait(session.DoneFd(), session.GiveUpAt());
            if (woken == Woken::kReady || woken == Woken::kStopped) break;
            if (woken == Woken::kDeadline && Now() >= session.GiveUpAt()) {
                session.Say("given up on: still busy at the deadline");
                session.Report(true);
                break;
            }
        }
    } else {
        std::free(job);
        session.Begin("worker");
        session.Say("no thread could be started: a silent wait");
        session.Report(false);
        session.Release(); // the worker's share
    }
    while (guard.Wait(-1, session.Request().end) == Woken::kContinued) {
    }
    session.End();
}

} // namespace

bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration) {
    if (frequency < kLowestFrequency || frequency > kHighestFrequency) return false;
    if (duration == 0) return true;
    ToneRequest request{frequency, duration, Now() + Nanoseconds{duration} * kMillisecond};
    StandardErrorSetAside standardError;
    ToneSession* session =
        standardError.Ready() ? ToneSession::Shared(request, standardError.Debug()) : nullptr;
    if (session == nullptr) {
        standardError.Say("tonerix: no descriptor or memory free: a silent wait\n");
        SleepUntil(request.end); // a silent wait, which the stop signals end as usual
        return true;
    }
    Sound(*session, drivers);
    int stop = session->StopSignal();
    session->Release();
    if (stop != 0) EndByStopSignal(stop);
    return true;
}

} // namespace platform::linux_system
