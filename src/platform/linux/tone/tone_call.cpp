// One tone call: its lifetime, the worker's run through the drivers, what a
// driver asks of it, the debug lines, and the signals' effects on the sound.
#include "platform/linux/tone/tone_call.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/linux/tone/service/interruption.h"

namespace platform::linux_system {

bool ToneCall::SleepUntil(Nanoseconds deadline) const {
    if (sleepingIn_ != nullptr)
        sleepingIn_->Wait(-1, deadline);
    else if (!StopRequested())
        linux_system::SleepUntil(deadline);
    return !StopRequested();
}

// The service's guard leaves a SIGCONT pending until it has counted the pause.
bool ToneCall::PauseUncounted() const {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1;
}

bool ToneCall::HushBy(Hush hush) {
    Locked hold(*this);
    if (switching_.ended || StopRequested()) return false;
    switching_.hush = hush;
    hush.quiet(hush.driver, switching_.quiet);
    return true;
}

void ToneCall::Unhush() {
    Locked hold(*this);
    switching_.hush = {nullptr, nullptr};
}

void ToneCall::TookStep() {
    ++byWorker_.steps;
    if (byWorker_.ownWait != nullptr) byWorker_.waited = byWorker_.ownWait->Read();
}

void ToneCall::Sounding(const char* what) {
    const char* driver = byWorker_.driver;
    if (!byWorker_.sounding.exchange(true) && driver != nullptr) Report(driver, what);
}

void ToneCall::SayNamed(const char* format, const char* variable, const char* value) {
    std::snprintf(byWorker_.named, sizeof byWorker_.named, format, variable, value);
    Say(byWorker_.named);
}

void ToneCall::Report(const char* driver, const char* words, bool last) {
    Locked hold(*this);
    bool quiet = switching_.ended || switching_.givenUp;
    switching_.givenUp = switching_.givenUp || last;
    if (debug_ < 0 || quiet) return;
    char line[256];
    int length = std::snprintf(line, sizeof line, "tonerix: %s: %s\n", driver, words);
    if (length > 0) WriteIfReady(debug_, line, std::min<std::size_t>(length, sizeof line - 1));
}

void WriteIfReady(int fd, const char* line, std::size_t length) {
    pollfd ready{fd, POLLOUT, 0};
    if (poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT) != 0) {
        [[maybe_unused]] ssize_t ignored = write(fd, line, length);
    }
}

ToneCall::ToneCall(const ToneRequest& request, std::span<const ToneDriver> drivers, int debug,
                   int done)
    : request_(request), debug_(debug), done_(done),
      driverCount_(std::min(drivers.size(), kMostDrivers)), lastRunning_(Now()) {
    std::copy_n(drivers.begin(), driverCount_, drivers_);
}

ToneCall::~ToneCall() { close(done_); }

ToneCall* ToneCall::Create(const ToneRequest& request, std::span<const ToneDriver> drivers,
                           int debug) {
    int done = eventfd(0, EFD_CLOEXEC);
    // malloc and a placement new: even a non-throwing new would link the C++
    // library's exception machinery, and with it the dynamic loader.
    void* memory = done >= 0 ? std::malloc(sizeof(ToneCall)) : nullptr;
    if (memory == nullptr && done >= 0) close(done);
    return memory != nullptr ? new (memory) ToneCall(request, drivers, debug, done) : nullptr;
}

void ToneCall::Release() {
    if (--shares_ != 0) return;
    this->~ToneCall();
    std::free(this);
}

void ToneCall::RunDrivers(void* shared) {
    auto& call = *static_cast<ToneCall*>(shared);
    call.byWorker_.thread = static_cast<int>(gettid());
    call.TryDrivers();
    eventfd_write(call.done_, 1);
    call.Release();
}

void ToneCall::TryDrivers() {
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
        bool timeOver = ToneTimeOver(Now(), began, request_.duration, NotRunning());
        NextDriver next = AfterDriver(sounded, StopRequested(), timeOver);
        // After the last, the silent wait, for the time that is left.
        i = next == NextDriver::kNone   ? driverCount_
            : next == NextDriver::kNext ? i + 1
                                        : std::max(i + 1, driverCount_ - 1);
    }
    byWorker_.ownWait = nullptr;
}

WorkerVerdict ToneCall::JudgeWorker(Nanoseconds now) {
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

void ToneCall::RunWithoutWorker(StopSignalGuard& guard) {
    Report("worker", reason::kNoWorker);
    Release(); // the worker's share
    std::size_t kept = 0;
    for (std::size_t i = 0; i < driverCount_; ++i)
        if (!drivers_[i].mayHang) drivers_[kept++] = drivers_[i];
    driverCount_ = kept;
    sleepingIn_ = &guard;
    TryDrivers();
    sleepingIn_ = nullptr;
}

bool ToneCall::Quiet(bool quiet) {
    switching_.quiet = quiet;
    Hush hush = switching_.hush;
    return hush.quiet == nullptr || hush.quiet(hush.driver, quiet);
}

void ToneCall::StopBySignal(int signal) {
    Locked hold(*this);
    byService_.stopSignal = signal;
    Quiet(true);
}

void ToneCall::SilenceForTerminalStop(Nanoseconds now) {
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

void ToneCall::CountPauseUntil(Nanoseconds resumed) {
    // From the last time this thread ran: never short, so a server is given
    // more time after a stop, never less.
    if (resumed > lastRunning_) byService_.notRunning += resumed - lastRunning_;
    byService_.resumedAt = resumed;
    lastRunning_ = resumed;
    Locked hold(*this);
    if (!StopRequested() && !switching_.ended) Quiet(false);
}

void ToneCall::End() {
    Locked hold(*this);
    switching_.ended = true;
    Quiet(true);
    switching_.hush = {nullptr, nullptr};
}

} // namespace platform::linux_system
