// One tone's session: the held device, the stop, the time the program was
// not running, and the debug lines.
#include "platform/linux/tone/service/tone_session.h"

#include "platform/linux/tone/service/standard_error.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

// Held for a scope, like std::lock_guard, which would bring in the C++
// library's exceptions for a failure that cannot happen here.
class Locked {
  public:
    explicit Locked(pthread_mutex_t& mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~Locked() { pthread_mutex_unlock(&mutex_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    pthread_mutex_t& mutex_;
};

} // namespace

bool ToneCall::SleepUntil(Nanoseconds deadline) const {
    if (!StopRequested()) linux_system::SleepUntil(deadline);
    return !StopRequested();
}

// The service's guard keeps SIGCONT blocked and pending until it has counted
// the pause, then takes it.
bool ToneCall::PauseUncounted() const {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1;
}

bool ToneCall::SwitchOn(HeldDevice device) {
    Locked hold(switching_);
    if (ended_ || StopRequested()) return false;
    device_ = device;
    held_ = true;
    if (!silenced_) device.set(device.fd, request_.frequency);
    return true;
}

void ToneCall::SwitchOff() {
    Locked hold(switching_);
    if (held_) device_.set(device_.fd, 0);
    held_ = false;
}

ToneSession::ToneSession(const ToneRequest& request, int debug, int done)
    : ToneCall(request), debug_(debug), done_(done), lastRunning_(Now()) {}

ToneSession::~ToneSession() { close(done_); }

ToneSession* ToneSession::Shared(const ToneRequest& request, int debug) {
    int done = eventfd(0, EFD_CLOEXEC);
    void* memory = done >= 0 ? std::malloc(sizeof(ToneSession)) : nullptr;
    if (memory == nullptr) {
        if (done >= 0) close(done);
        return nullptr;
    }
    return new (memory) ToneSession(request, debug, done);
}

void ToneSession::Release() {
    if (--shares_ != 0) return;
    this->~ToneSession();
    std::free(this);
}

void ToneSession::Begin(const char* driver) {
    outcome_ = nullptr;
    giveUpBy_ = 0; // a driver that declined leaves no verdict behind
    driver_ = driver;
}

void ToneSession::Report(bool sounded) {
    const char* driver = driver_;
    if (debug_ < 0 || driver == nullptr) return;
    const char* outcome = outcome_;
    if (outcome == nullptr) outcome = sounded ? "sounded the tone" : "declined";
    char line[160];
    int length = std::snprintf(line, sizeof line, "tonerix: %s: %s\n", driver, outcome);
    if (length > 0) WriteIfReady(debug_, line, std::min<std::size_t>(length, sizeof line - 1));
}

Nanoseconds ToneSession::GiveUpAt() const {
    Nanoseconds giveUpBy = giveUpBy_;
    return std::max(request_.end + notRunning_ + kToneGrace,
                    giveUpBy != 0 ? giveUpBy + kVerdictGrace : 0);
}

void ToneSession::Finished() const {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(done_, &one, sizeof one);
}

void ToneSession::Switch(std::uint32_t frequency) {
    if (held_) device_.set(device_.fd, frequency);
}

void ToneSession::Stop(int signal) {
    Locked hold(switching_);
    stopSignal_ = signal;
    silenced_ = true;
    Switch(0);
}

void ToneSession::Stopping(Nanoseconds now) {
    Locked hold(switching_);
    lastRunning_ = now;
    silenced_ = true;
    Switch(0);
}

void ToneSession::Continued(Nanoseconds at) {
    // Counted from the last time this thread ran: never short, so a server
    // is given more time after a stop, never less.
    if (at > lastRunning_) notRunning_ = notRunning_ + (at - lastRunning_);
    resumedAt_ = at;
    lastRunning_ = at;
    Locked hold(switching_);
    if (stopSignal_ != 0 || ended_) return;
    silenced_ = false;
    if (Now() < request_.end) Switch(request_.frequency);
}

void ToneSession::End() {
    Locked hold(switching_);
    ended_ = true;
    Switch(0);
    held_ = false;
}

} // namespace platform::linux_system
