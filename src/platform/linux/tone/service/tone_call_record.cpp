// The service's record of one tone call: its lifetime, the worker's run
// through the drivers, the debug lines, and the signals' effects on the
// driver's sound.
#include "platform/linux/tone/service/tone_call_record.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/linux/tone/service/interruption.h"
#include "platform/linux/tone/service/worker.h"

namespace platform::linux_system {

ToneCallRecord::ToneCallRecord(const ToneRequest& request, std::span<const ToneDriver> drivers,
                               int debug, int done)
    : ToneCall(request, debug), done_(done), driverCount_(std::min(drivers.size(), kMostDrivers)),
      lastRunning_(Now()) {
    std::copy_n(drivers.begin(), driverCount_, drivers_);
}

ToneCallRecord::~ToneCallRecord() { close(done_); }

ToneCallRecord* ToneCallRecord::Create(const ToneRequest& request,
                                       std::span<const ToneDriver> drivers, int debug) {
    int done = eventfd(0, EFD_CLOEXEC);
    // malloc and a placement new: the service stays clear of the C++
    // library's exception paths.
    void* memory = done >= 0 ? std::malloc(sizeof(ToneCallRecord)) : nullptr;
    if (memory == nullptr) {
        if (done >= 0) close(done);
        return nullptr;
    }
    return new (memory) ToneCallRecord(request, drivers, debug, done);
}

void ToneCallRecord::Release() {
    if (--shares_ != 0) return;
    this->~ToneCallRecord();
    std::free(this);
}

void ToneCallRecord::RunDrivers(void* record) {
    auto& call = *static_cast<ToneCallRecord*>(record);
    call.byWorker_.thread = static_cast<int>(gettid());
    call.TryDrivers();
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(call.done_, &one, sizeof one);
    call.Release();
}

void ToneCallRecord::TryDrivers() {
    // The drivers' time runs from here: a process that had no processor
    // before they began (the service's setup, on a busy machine) still gives
    // them the whole tone.
    const Nanoseconds began = Now();
    ProcessorWait ownWait;
    byWorker_.ownWait = &ownWait;
    for (std::size_t i = 0; i < driverCount_ && !StopRequested();) {
        byWorker_.outcome = nullptr;
        byWorker_.sounding = false;
        byWorker_.giveUpBy = 0; // a driver that declined leaves no verdict behind
        byWorker_.driver = drivers_[i].name;
        TookStep();
        drivers_[i].sound(*this);
        TookStep();
        bool sounded = byWorker_.sounding;
        // Its last word, unless it has nothing to add to "sounding".
        const char* said = byWorker_.outcome;
        if (said == nullptr && !sounded) said = reason::kDeclined;
        if (said != nullptr) Report(drivers_[i].name, said);
        switch (AfterDriver(sounded, StopRequested(), ToneTimeOver(began))) {
        case NextDriver::kNone:
            i = driverCount_;
            break;
        case NextDriver::kNext:
            ++i;
            break;
        case NextDriver::kLast: // the silent wait, for the time that is left
            i = std::max(i + 1, driverCount_ - 1);
            break;
        }
    }
    byWorker_.ownWait = nullptr;
}

bool ToneCallRecord::ToneTimeOver(Nanoseconds began) const {
    return linux_system::ToneTimeOver(Now(), began, request_.duration, NotRunning());
}

WorkerVerdict ToneCallRecord::JudgeWorker(Nanoseconds now) {
    WorkerFacts facts{request_.end, NotRunning(), byWorker_.giveUpBy, byWorker_.steps, {}};
    // A worker that has not run its first line yet had no processor at all.
    int thread = byWorker_.thread;
    if (now >= WorkerDue(facts))
        facts.use = thread >= 0 ? ProcessorUseOf(thread) : ProcessorUse{true, 0};
    WorkerVerdict verdict = linux_system::JudgeWorker(facts, looks_, now);
    if (verdict.giveUp) {
        const char* driver = byWorker_.driver;
        // The worker's own lines would come after this one: it says no more.
        Report(driver != nullptr ? driver : "worker", reason::kGivenUp, true);
    }
    return verdict;
}

void ToneCallRecord::RunWithoutWorker(StopSignalGuard& guard) {
    Report("worker", reason::kNoWorker);
    Release(); // the worker's share
    std::size_t kept = 0;
    for (std::size_t i = 0; i < driverCount_; ++i)
        if (!drivers_[i].mayHang) drivers_[kept++] = drivers_[i];
    driverCount_ = kept;
    sleepingIn_ = &guard;
    sleepOnService_ = [](const ToneCall& base, Nanoseconds deadline) {
        auto& call = static_cast<const ToneCallRecord&>(base);
        while (call.sleepingIn_->Wait(-1, deadline) == StopSignalGuard::Woken::kContinued) {
        }
        return !call.StopRequested();
    };
    TryDrivers();
    sleepOnService_ = nullptr;
}

bool ToneCallRecord::Quiet(bool quiet) {
    switching_.quiet = quiet;
    Hush hush = switching_.hush;
    return hush.quiet == nullptr || hush.quiet(hush.driver, quiet);
}

void ToneCallRecord::StopBySignal(int signal) {
    Locked hold(*this);
    byService_.stopSignal = signal;
    Quiet(true);
}

void ToneCallRecord::SilenceForTerminalStop(Nanoseconds now) {
    bool pending = false;
    {
        Locked hold(*this);
        lastRunning_ = now;
        pending = !Quiet(true);
    }
    // A server's queue would play on while we are stopped: wait a moment for
    // the driver to say the server holds it, never long, for a far server
    // holds it once the request arrives all the same.
    for (Nanoseconds until = Now() + kHoldAnswerLimit; pending && !byWorker_.held && Now() < until;)
        linux_system::SleepUntil(Now() + kMillisecond);
}

void ToneCallRecord::CountPauseUntil(Nanoseconds resumed) {
    // From the last time this thread ran: never short, so a server is given
    // more time after a stop, never less.
    if (resumed > lastRunning_) byService_.notRunning += resumed - lastRunning_;
    byService_.resumedAt = resumed;
    lastRunning_ = resumed;
    Locked hold(*this);
    if (!StopRequested() && !switching_.ended) Quiet(false);
}

void ToneCallRecord::End() {
    Locked hold(*this);
    switching_.ended = true;
    Quiet(true);
    switching_.hush = {nullptr, nullptr};
}

} // namespace platform::linux_system
