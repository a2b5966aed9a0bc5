// One tone's session: everything a driver is handed and may touch. It carries
// the request, the stop a signal asked for, the device a driver holds
// sounding, and the sound server's answers. The service creates it for one
// tone; the worker that runs the drivers shares it, so a worker given up on
// touches nothing but its own session.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "platform/linux/tone/clock.h"

namespace platform::linux_system {

struct ToneRequest {
    std::uint32_t frequency; // Hz
    std::uint32_t duration;  // ms
    Nanoseconds end;         // on the monotonic clock
};

// A device that holds a pitch until told otherwise (the PC speaker): `set`
// switches `fd` to `frequency`, 0 for silence. It must be async-signal-safe.
struct HeldDevice {
    void (*set)(int fd, std::uint32_t frequency);
    int fd;
};

inline constexpr Nanoseconds kToneGrace = 90 * kMillisecond;

class ToneSession {
  public:
    explicit ToneSession(const ToneRequest& request);
    ~ToneSession();
    ToneSession(const ToneSession&) = delete;
    ToneSession& operator=(const ToneSession&) = delete;

    // A session for the service and its worker, each of which releases its
    // share once done with it; null when there is no memory for one.
    static ToneSession* Shared(const ToneRequest& request);
    void Release();

    const ToneRequest& Request() const { return request_; }

    // --- For drivers ---------------------------------------------------------
    bool StopRequested() const { return stopSignal_ != 0; }
    // Sleeps until `deadline`; false when a stop cut the sleep short.
    bool SleepUntil(Nanoseconds deadline) const;
    // Switches `device` on at the tone's pitch and lends it to the signal
    // handlers; false, with nothing sounded, once the session has ended.
    bool SwitchOn(HeldDevice device);
    // Switches the held device off and takes it back: nothing else touches it
    // afterwards, so the driver may close it.
    void SwitchOff();
    // A sound server is alive and should answer by `time`: a slow sink on a
    // live server is waited for until then. Safe from any thread.
    void ExpectAnswerBy(Nanoseconds time) { answerBy_ = time; }
    // Why the driver declined, or what came of its sound, in a few fixed
    // words, for the user who asks (TONERIX_DEBUG). The last word counts.
    void Say(const char* outcome) { outcome_ = outcome; }

    // --- For the service -----------------------------------------------------
    // Around each driver: one line on the caller's standard error, when the
    // user asked for it, saying what the driver did.
    void Begin(const char* driver);
    void Report(bool sounded);
    // When the service gives up on the worker that runs the drivers:
    // kToneGrace after the tone's end or after the time a live sound server
    // should have answered by, whichever is later, not counting time the
    // service itself was not running.
    Nanoseconds GiveUpAt() const;
    // The service itself was not running for `length` (stopped, the machine
    // asleep): that time is not held against the driver.
    void Paused(Nanoseconds length) { paused_ += length; }
    // Readable once the worker has run the drivers.
    int DoneFd() const { return done_; }
    void Finished() const;
    int StopSignal() const { return stopSignal_; }
    // The call is over: a device still held is switched off, and no signal
    // handler reaches it after this.
    void End();

    // --- For the signal handlers (async-signal-safe) -------------------------
    // Records the stop and silences the held device at once.
    void Stop(int signal);
    void Silence();
    // Sounds the held device again after Ctrl-Z, unless the tone is over.
    void Resume();

  private:
    template <typename Use> void WithHeldDevice(Use use);
    void LetGo(); // with `switching_` held

    const ToneRequest request_;
    int debug_ = -1; // the caller's standard error, when TONERIX_DEBUG asks
    std::atomic<const char*> driver_{nullptr}, outcome_{nullptr};
    std::atomic<int> stopSignal_{0};
    std::atomic<Nanoseconds> answerBy_{0};
    Nanoseconds paused_ = 0; // the service's own thread alone
    int done_;
    std::atomic<int> shares_{1};
    // The worker switches the device, the service ends the session: one at a
    // time. The signal handlers take no lock: they count themselves in
    // `handlers_`, and letting go waits until none is using the device.
    pthread_mutex_t switching_ = PTHREAD_MUTEX_INITIALIZER;
    HeldDevice device_{nullptr, -1};
    std::atomic<bool> held_{false};
    std::atomic<int> handlers_{0};
    bool ended_ = false;
};

} // namespace platform::linux_system
