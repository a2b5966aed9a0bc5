// One tone call, shared by the service's thread and the worker that runs the
// drivers. A driver sees the request, the stop a signal asked for, sleeping,
// how the service quiets its sound, the program's own pauses, the give-up
// time a sound server's verdict publishes, and a few words for TONERIX_DEBUG.
// The service alone (friends below) starts the drivers, judges the worker and
// acts on the signals. State is grouped by the thread that writes it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <pthread.h>
#include <span>

#include "platform/linux/tone/clock.h"
#include "platform/linux/tone/reasons.h"
#include "platform/linux/tone/verdict.h"

namespace platform::linux_system {

class ToneCall;
class StopSignalGuard;

// The frequencies the Windows service accepts; any other is refused.
inline constexpr std::uint32_t kLowestFrequency = 37, kHighestFrequency = 32767;
inline bool InToneRange(std::uint32_t frequency) {
    return frequency >= kLowestFrequency && frequency <= kHighestFrequency;
}

struct ToneRequest {
    std::uint32_t frequency; // Hz
    std::uint32_t duration;  // ms
    Nanoseconds end;         // on the monotonic clock
};

// A driver says through its call when it begins to sound (Sounding); one that
// returns without having said so has declined, whatever it met, and the next
// is tried with the time that is left. Once it has sounded, the tone is its.
struct ToneDriver {
    const char* name; // for TONERIX_DRIVER
    // Runs on the worker thread, which takes no signals, and reaches nothing
    // but its call.
    void (*sound)(ToneCall& call);
    // A sound library that may block for ever (a stalled server): with no
    // worker to give up on, only the drivers that cannot hang run, on the
    // service's own thread.
    bool mayHang = false;
};

// The most drivers a table may hold: the call keeps its own copy, for a
// worker given up on runs on after the table's caller has returned.
inline constexpr std::size_t kMostDrivers = 8;

// How the service quiets a driver's sound from its own thread, however the
// driver is stuck, and sounds it again: `quiet(driver, true)` on a stop
// signal, Ctrl-Z and the call's end, `quiet(driver, false)` when the program
// goes on after Ctrl-Z. A device that holds a pitch switches it, and returns
// true; a server's driver wakes its loop to hold its stream there, returns
// false, and says when the server holds it (ToneCall::Held).
struct Hush {
    bool (*quiet)(void* driver, bool quiet);
    void* driver;
};

class ToneCall final {
  public:
    // Shared by the service and the worker, each of which releases its share
    // once done with it; null when there is no memory or no descriptor for
    // one. TONERIX_DEBUG's lines go to `debug`, -1 for nowhere.
    static ToneCall* Create(const ToneRequest& request, std::span<const ToneDriver> drivers,
                            int debug);
    void Release();
    ToneCall(const ToneCall&) = delete;
    ToneCall& operator=(const ToneCall&) = delete;

    const ToneRequest& Request() const { return request_; }
    bool StopRequested() const { return byService_.stopSignal != 0; }
    // Sleeps until `deadline`; false when a stop had been asked for. A stop
    // during the sleep ends the program from the service's own thread.
    bool SleepUntil(Nanoseconds deadline) const;

    // Hands the service `hush`, called at once with whether the tone is to
    // be quiet now; false, with nothing called, once the call has ended or a
    // stop came. Until Unhush the service may call it, one at a time with
    // HushBy and Unhush. Then the driver may close what it sounds on.
    bool HushBy(Hush hush);
    void Unhush();
    // The server holds the stream (Ctrl-Z), or plays it again.
    void Held(bool held) { byWorker_.held = held; }

    // How long the drivers' thread was not running since the tone began:
    // stopped with the program (Ctrl-Z, SIGSTOP), or ready with no processor,
    // as its last step counted. That time is held against no one: not a
    // sound server, not the worker. And when the program last went on again.
    Nanoseconds NotRunning() const { return byService_.notRunning + byWorker_.waited; }
    Nanoseconds ResumedAt() const { return byService_.resumedAt; }
    // True while the program has gone on after a stop that the service has
    // not counted yet: NotRunning is about to grow, so judge after it has.
    bool PauseUncounted() const;
    // The driver is done by `time` (a sound server's verdict gives up then
    // unless it hears more; a device's queue has played out): the service
    // waits for it until then.
    void GiveUpBy(Nanoseconds time) { byWorker_.giveUpBy = time; }

    // A step forward (a library loaded, a connection made, a server's answer,
    // a buffer written): the service does not give up on a worker that keeps
    // taking them, however slow the machine. Each step also counts how long
    // the drivers' thread has waited for a processor so far, into NotRunning.
    void TookStep();

    // For the user who asks (TONERIX_DEBUG), in a few fixed words: that the
    // driver has begun to sound, said at once, so that a tone cut short
    // still shows it; and why it declined, or what else came of its sound,
    // said when it returns (the last word counts).
    void Sounding(const char* what = reason::kSounding);
    void Say(const char* outcome) { byWorker_.outcome = outcome; }
    // The same, for words that name what the user set: `format` takes the
    // variable and its value.
    void SayNamed(const char* format, const char* variable, const char* value);

  private:
    friend bool SoundTone(std::span<const ToneDriver>, std::uint32_t, std::uint32_t);
    friend class StopSignalGuard;

    ToneCall(const ToneRequest& request, std::span<const ToneDriver> drivers, int debug, int done);
    ~ToneCall();

    // The worker's work: the drivers in order until one sounds, a line on the
    // debug output for each. Then `done_` is readable.
    static void RunDrivers(void* call);
    void TryDrivers();
    // Whether the service gives up on the worker now (saying so), or when to
    // ask again.
    WorkerVerdict JudgeWorker(Nanoseconds now);
    // No worker could be started: the drivers that cannot hang run on the
    // service's thread, sleeping within the signals' guard.
    void RunWithoutWorker(StopSignalGuard& guard);

    // On the service's own thread, as signals come: a stop quiets the
    // driver's sound for good; Ctrl-Z quiets it while the program is stopped,
    // and a continue sounds it again, and counts the time since the thread
    // last ran as time the program was not running.
    void StopBySignal(int signal);
    void SilenceForTerminalStop(Nanoseconds now);
    void CountPauseUntil(Nanoseconds resumed);
    // The call is over: a device still held is switched off, and a worker
    // given up on writes nothing more.
    void End();
    // With the lock held: quiets the driver's sound, or sounds it again;
    // false while a server is yet to say it holds the stream.
    bool Quiet(bool quiet);

    // One line on the debug output, unless the call has ended or given up on
    // its worker (`last` gives up on it, in the same step): the descriptor is
    // the caller's. Dropped if it cannot be written at once.
    void Report(const char* driver, const char* words, bool last = false);

    // Holds `switching_.lock` for a scope, as std::lock_guard would, without
    // the C++ library's exception paths.
    class Locked {
      public:
        explicit Locked(ToneCall& call) : lock_(call.switching_.lock) {
            pthread_mutex_lock(&lock_);
        }
        ~Locked() { pthread_mutex_unlock(&lock_); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

      private:
        pthread_mutex_t& lock_;
    };

    // Set at the start.
    const ToneRequest request_;
    const int debug_; // where TONERIX_DEBUG's lines go, -1 for nowhere
    const int done_;  // written once the worker is done
    ToneDriver drivers_[kMostDrivers];
    std::size_t driverCount_;
    std::atomic<int> shares_{2};
    // Where the drivers sleep while they run on the service's own thread,
    // which must go on taking the signals; null on a worker.
    StopSignalGuard* sleepingIn_ = nullptr;
    // Written by the service's thread as signals come; read by the worker.
    struct {
        std::atomic<int> stopSignal{0};
        std::atomic<Nanoseconds> notRunning{0}, resumedAt{0};
    } byService_;
    // The service's thread alone: when it last ran, and its looks at the worker.
    Nanoseconds lastRunning_;
    WorkerLooks looks_;
    // Written by the worker as it runs the drivers; read by the service's thread.
    struct {
        std::atomic<const char*> driver{nullptr}, outcome{nullptr};
        std::atomic<bool> sounding{false}; // the driver said so
        std::atomic<Nanoseconds> giveUpBy{0};
        std::atomic<int> thread{-1}; // its thread id, once it runs
        std::atomic<std::uint32_t> steps{0};
        std::atomic<Nanoseconds> waited{0};
        const ProcessorWait* ownWait = nullptr; // the driver thread's, while they run
        std::atomic<bool> held{false};
        char named[160] = ""; // SayNamed's words, read once the driver returns
    } byWorker_;
    // The driver's hush, called by whichever thread holds `lock`. The debug
    // lines go out under it too, so that none is written once the call has
    // ended.
    struct {
        pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
        Hush hush{nullptr, nullptr};
        bool quiet = false, ended = false, givenUp = false;
    } switching_;
};

// A full pipe nobody reads must not hold the tone: `line` goes out whole, at
// once, or not at all (a pipe that polls writable has room for PIPE_BUF bytes).
void WriteIfReady(int fd, const char* line, std::size_t length);

// The range rules, the drivers tried in order on a worker thread, the wait for
// the full duration (the worker is given up on when its verdict says), and
// the end by a stop signal. False for a frequency the service refuses.
bool SoundTone(std::span<const ToneDriver> drivers, std::uint32_t frequency,
               std::uint32_t duration);

} // namespace platform::linux_system
