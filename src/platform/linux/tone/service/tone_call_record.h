// The service's record of one tone call: the ToneCall its drivers see, and
// what only the service touches: the drivers to try, the done notification,
// the debug output, the shares that keep it alive, and what the service's
// thread has seen of signals and of the worker's use of the processor.
#pragma once

#include <cstddef>
#include <span>

#include "platform/linux/tone/tone_driver.h"
#include "platform/linux/tone/verdict.h"

namespace platform::linux_system {

class StopSignalGuard;

class ToneCallRecord final : public ToneCall {
  public:
    // A record shared by the service and the worker that runs its drivers,
    // each of which releases its share once done with it; null when there is
    // no memory or no descriptor for one. TONERIX_DEBUG's lines go to `debug`,
    // -1 for nowhere.
    static ToneCallRecord* Create(const ToneRequest& request, std::span<const ToneDriver> drivers,
                                  int debug);
    void Release();

    // The worker's work: the drivers in order until one sounds, a line on the
    // debug output for each. Then DoneFd is readable.
    static void RunDrivers(void* record);
    int DoneFd() const { return done_; }
    // Whether the service gives up on the worker now (saying so), or when to
    // ask again.
    WorkerVerdict JudgeWorker(Nanoseconds now);
    // No worker could be started: the drivers that cannot hang run on this
    // thread, sleeping within the signals' guard.
    void RunWithoutWorker(StopSignalGuard& guard);

    // On the service's own thread, as signals come: a stop quiets the
    // driver's sound for good; Ctrl-Z quiets it while the program is stopped,
    // and a continue sounds it again, and counts the time since the thread
    // last ran as time the program was not running.
    void StopBySignal(int signal);
    void NoteRunning(Nanoseconds now) { lastRunning_ = now; }
    void SilenceForTerminalStop(Nanoseconds now);
    void CountPauseUntil(Nanoseconds resumed);
    int StopSignal() const { return byService_.stopSignal; }
    // The call is over: a device still held is switched off, and a worker
    // given up on writes nothing more.
    void End();

  private:
    ToneCallRecord(const ToneRequest& request, std::span<const ToneDriver> drivers, int debug,
                   int done);
    ~ToneCallRecord();
    // The drivers in order until one sounds, a line on the debug output for each.
    void TryDrivers();
    // With the lock held: quiets the driver's sound, or sounds it again;
    // false while a server is yet to say it holds the stream.
    bool Quiet(bool quiet);
    // On the worker: the tone's time is over, as the worker lived it since
    // the drivers `began`.
    bool ToneTimeOver(Nanoseconds began) const;

    // Set at the start.
    const int done_;
    ToneDriver drivers_[kMostDrivers];
    std::size_t driverCount_;
    StopSignalGuard* sleepingIn_ = nullptr; // while the drivers run on the service's thread
    std::atomic<int> shares_{2};
    // The service's own thread alone.
    Nanoseconds lastRunning_;
    WorkerLooks looks_;
};

} // namespace platform::linux_system
