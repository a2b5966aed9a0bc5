// What a tone driver is handed: its part of one tone's session, and nothing
// more. It carries the request, the stop a signal asked for, sleeping, the
// device a driver holds sounding, the facts a sound server reported that the
// service's give-up time follows, and a few words for TONERIX_DEBUG. The
// service's own part (deadlines, the done notification, the debug output, the
// session's lifetime) is ToneSession's.
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
// switches `fd` to `frequency`, 0 for silence.
struct HeldDevice {
    void (*set)(int fd, std::uint32_t frequency);
    int fd;
};

class ToneCall {
  public:
    ToneCall(const ToneCall&) = delete;
    ToneCall& operator=(const ToneCall&) = delete;

    const ToneRequest& Request() const { return request_; }
    bool StopRequested() const { return stopSignal_ != 0; }
    // Sleeps until `deadline`; false when a stop had been asked for. A stop
    // during the sleep ends the program from the service's own thread.
    bool SleepUntil(Nanoseconds deadline) const;

    // Switches `device` on at the tone's pitch; false, with nothing sounded,
    // once the call has ended. Until SwitchOff the service may silence it and
    // sound it again (a stop signal, Ctrl-Z), one at a time with the driver.
    bool SwitchOn(HeldDevice device);
    // Switches the held device off and takes it back: the driver may close it.
    void SwitchOff();

    // How long tonerix itself was not running since the tone began (stopped
    // by Ctrl-Z or SIGSTOP), and when it last went on again: that time is
    // not held against a sound server.
    Nanoseconds NotRunning() const { return notRunning_; }
    Nanoseconds ResumedAt() const { return resumedAt_; }
    // True while the program has gone on after a stop that the service has
    // not counted yet: NotRunning is about to grow, so judge after it has.
    bool PauseUncounted() const;
    // A sound server's verdict gives up by `time` unless it hears more: the
    // service waits for the driver until then.
    void GiveUpBy(Nanoseconds time) { giveUpBy_ = time; }

    // Why the driver declined, or what came of its sound, in a few fixed
    // words, for the user who asks (TONERIX_DEBUG). The last word counts.
    void Say(const char* outcome) { outcome_ = outcome; }

  protected:
    explicit ToneCall(const ToneRequest& request) : request_(request) {}
    ~ToneCall() = default;

    const ToneRequest request_;
    std::atomic<int> stopSignal_{0};
    std::atomic<Nanoseconds> notRunning_{0}, resumedAt_{0}, giveUpBy_{0};
    std::atomic<const char*> outcome_{nullptr};
    // The driver switches the device, the service silences it: one at a time.
    pthread_mutex_t switching_ = PTHREAD_MUTEX_INITIALIZER;
    HeldDevice device_{nullptr, -1};
    bool held_ = false, silenced_ = false, ended_ = false;
};

} // namespace platform::linux_system
