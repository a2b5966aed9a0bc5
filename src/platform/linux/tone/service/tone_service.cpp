// The tone service: a tone in range sounded by the first driver in a table
// that can, on a worker thread, while the calling thread waits out the tone
// and takes the signals, with the caller's standard error set aside.
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "platform/linux/threads.h"
#include "platform/linux/tone/service/interruption.h"
#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {
namespace {

// The caller's standard error while a tone sounds. tonerix writes nothing
// there, but a sound library may (libpulse does, about folders and cookies it
// cannot use, in its own client and inside ALSA's pulse plugin alike). So
// standard error is /dev/null while the drivers run, and the caller's is set
// aside, for TONERIX_DEBUG's lines alone, and put back after. A user who asks
// a library for its messages (PIPEWIRE_DEBUG, PULSE_LOG) gets them.
class StandardErrorSetAside {
  public:
    StandardErrorSetAside() {
        bool hide = std::getenv("PIPEWIRE_DEBUG") == nullptr && std::getenv("PULSE_LOG") == nullptr;
        if (!hide && !debug_) return;
        // /dev/null first: with few descriptors left, the copy is what fails,
        // and then nothing has changed.
        int nowhere = hide ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
        callers_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        ready_ = callers_ >= 0 && (!hide || (nowhere >= 0 && dup2(nowhere, STDERR_FILENO) >= 0));
        hidden_ = hide && ready_;
        if (nowhere >= 0) close(nowhere);
        if (!ready_ && callers_ >= 0) close(std::exchange(callers_, -1));
    }
    ~StandardErrorSetAside() {
        if (hidden_) dup2(callers_, STDERR_FILENO);
        if (callers_ >= 0) close(callers_);
    }
    StandardErrorSetAside(const StandardErrorSetAside&) = delete;
    StandardErrorSetAside& operator=(const StandardErrorSetAside&) = delete;

    // False when no descriptor could be had for it: nothing was changed, and
    // no library may run, or its messages would reach the caller.
    bool Ready() const { return ready_; }
    // Where TONERIX_DEBUG's lines go, or -1 when the user did not ask.
    int Debug() const { return debug_ ? callers_ : -1; }
    // One line for TONERIX_DEBUG when there is no call to say it.
    void Say(const char* words) const {
        char line[160];
        int length = std::snprintf(line, sizeof line, "tonerix: %s\n", words);
        if (debug_ && length > 0 && length < int{sizeof line})
            WriteIfReady(callers_ >= 0 ? callers_ : STDERR_FILENO, line, length);
    }

  private:
    bool debug_ = DebugWanted(std::getenv("TONERIX_DEBUG")), hidden_ = false, ready_ = true;
    int callers_ = -1; // the caller's standard error, set aside
};

} // namespace

bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration) {
    if (!InToneRange(frequency)) return false;
    if (duration == 0) return true;
    ToneRequest request{frequency, duration, Now() + Nanoseconds{duration} * kMillisecond};
    StandardErrorSetAside standardError;
    ToneCall* call =
        standardError.Ready() ? ToneCall::Create(request, drivers, standardError.Debug()) : nullptr;
    if (call == nullptr) {
        standardError.Say(reason::kNoDescriptorOrMemory);
        SleepUntil(request.end); // a silent wait, which the stop signals end as usual
        return true;
    }
    {
        // The drivers run on a worker, waited for within the signals' guard
        // until it is done or given up on (it then runs on with its share of
        // the call); then the tone is waited out, so the call never returns
        // early.
        StopSignalGuard guard(*call);
        if (StartWorker(ToneCall::RunDrivers, call)) {
            for (;;) {
                WorkerVerdict verdict = call->JudgeWorker(Now());
                if (verdict.giveUp ||
                    guard.Wait(call->done_, verdict.until) != StopSignalGuard::Woken::kDeadline)
                    break;
            }
        } else {
            call->RunWithoutWorker(guard);
        }
        guard.Wait(-1, request.end);
        call->End();
    }
    int stop = call->byService_.stopSignal;
    call->Release();
    if (stop != 0) EndByStopSignal(stop);
    return true;
}

} // namespace platform::linux_system
