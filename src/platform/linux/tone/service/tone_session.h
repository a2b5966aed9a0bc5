// One tone's session: the driver's part (ToneCall) and the service's. The
// service creates it for one tone and shares it with the worker that runs the
// drivers, so a worker given up on touches nothing but its own session. Only
// the service's own thread acts on signals: it silences the held device, and
// counts the time the program was stopped.
#pragma once

#include "platform/linux/tone/tone_call.h"

namespace platform::linux_system {

// How long after the tone's end a driver that reported nothing more may take
// to finish (an ALSA drain), and how long after a sound server's verdict
// should have given up the worker may take to return.
inline constexpr Nanoseconds kToneGrace = 90 * kMillisecond;
inline constexpr Nanoseconds kVerdictGrace = 20 * kMillisecond;

class ToneSession : public ToneCall {
  public:
    // A session for the service and its worker, each of which releases its
    // share once done with it; null when there is no memory or no descriptor
    // for one. `debug` is where TONERIX_DEBUG's lines go, -1 for nowhere.
    static ToneSession* Shared(const ToneRequest& request, int debug);
    void Release();

    // Around each driver: one line on `debug`, when there is one, saying what
    // the driver did. A line that cannot be written at once is dropped.
    void Begin(const char* driver);
    void Report(bool sounded);
    // When the service gives up on the worker: kToneGrace after the tone's
    // end, or later while a sound server's verdict still waits, not counting
    // time the program was not running.
    Nanoseconds GiveUpAt() const;
    // Readable once the worker has run the drivers.
    int DoneFd() const { return done_; }
    void Finished() const;
    int StopSignal() const { return stopSignal_; }

    // On the service's own thread, for the signals its guard recorded: a stop
    // silences the held device for good; Ctrl-Z silences it while the program
    // is stopped, and a continue sounds it again while the tone's time is not
    // over. `Stopping` marks the last moment the program was known to run.
    void Stop(int signal);
    void Ran(Nanoseconds now) { lastRunning_ = now; }
    void Stopping(Nanoseconds now);
    void Continued(Nanoseconds at);
    // The call is over: a device still held is switched off.
    void End();

  private:
    explicit ToneSession(const ToneRequest& request, int debug, int done);
    ~ToneSession();
    void Switch(std::uint32_t frequency); // with `switching_` held

    int debug_;
    int done_;
    std::atomic<const char*> driver_{nullptr};
    std::atomic<int> shares_{2};
    Nanoseconds lastRunning_; // the service's own thread alone
};

} // namespace platform::linux_system
