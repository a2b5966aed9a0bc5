// One tone's session: the stop, the held device and the server's answers.
#include "platform/linux/tone/tone_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {
// Sleeps are cut into slices so that a stop that lands just before a sleep
// begins still ends it promptly.
constexpr Nanoseconds kLongestSlice = 50 * kMillisecond;

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

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<Nanoseconds>::is_always_lock_free,
              "signal handlers need lock-free atomics");
} // namespace

ToneSession::ToneSession(const ToneRequest& request)
    : request_(request), done_(eventfd(0, EFD_CLOEXEC)) {
    // Set aside before the libraries' messages are kept off standard error.
    const char* debug = std::getenv("TONERIX_DEBUG");
    if (debug != nullptr && *debug != '\0' && std::strcmp(debug, "0") != 0)
        debug_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}

ToneSession::~ToneSession() {
    if (done_ >= 0) close(done_);
    if (debug_ >= 0) close(debug_);
}

void ToneSession::Begin(const char* driver) {
    outcome_ = nullptr;
    driver_ = driver;
}

void ToneSession::Report(bool sounded) {
    const char* driver = driver_;
    if (debug_ < 0 || driver == nullptr) return;
    const char* outcome = outcome_;
    if (outcome == nullptr) outcome = sounded ? "sounded the tone" : "declined";
    char line[160];
    int length = std::snprintf(line, sizeof line, "tonerix: %s: %s\n", driver, outcome);
    if (length <= 0) return;
    [[maybe_unused]] ssize_t ignored =
        write(debug_, line, std::min<std::size_t>(length, sizeof line - 1));
}

ToneSession* ToneSession::Shared(const ToneRequest& request) {
    void* memory = std::malloc(sizeof(ToneSession));
    if (memory == nullptr) return nullptr;
    auto* session = new (memory) ToneSession(request);
    session->shares_ = 2;
    return session;
}

void ToneSession::Release() {
    if (--shares_ != 0) return;
    this->~ToneSession();
    std::free(this);
}

bool ToneSession::SleepUntil(Nanoseconds deadline) const {
    for (;;) {
        if (StopRequested()) return false;
        Nanoseconds now = Now();
        if (now >= deadline) return true;
        Nanoseconds wake = std::min(deadline, now + kLongestSlice);
        timespec until{static_cast<time_t>(wake / kSecond), static_cast<long>(wake % kSecond)};
        int result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        if (result != 0 && result != EINTR) return true;
    }
}

bool ToneSession::SwitchOn(HeldDevice device) {
    Locked hold(switching_);
    if (ended_) return false;
    device_ = device;
    held_ = true;
    device.set(device.fd, request_.frequency);
    return true;
}

void ToneSession::SwitchOff() {
    Locked hold(switching_);
    LetGo();
}

void ToneSession::LetGo() {
    if (!held_) return;
    held_ = false;
    while (handlers_ != 0)
        sched_yield(); // a handler that saw it held is still at it
    device_.set(device_.fd, 0);
}

Nanoseconds ToneSession::GiveUpAt() const {
    return std::max(request_.end + paused_, answerBy_.load()) + kToneGrace;
}

void ToneSession::Finished() const {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(done_, &one, sizeof one);
}

void ToneSession::End() {
    Locked hold(switching_);
    ended_ = true;
    LetGo();
}

template <typename Use> void ToneSession::WithHeldDevice(Use use) {
    ++handlers_;
    if (held_) use(device_);
    --handlers_;
}

void ToneSession::Stop(int signal) {
    Silence();
    stopSignal_ = signal;
}

void ToneSession::Silence() {
    WithHeldDevice([](const HeldDevice& device) { device.set(device.fd, 0); });
}

void ToneSession::Resume() {
    if (StopRequested() || Now() >= request_.end) return;
    WithHeldDevice([this](const HeldDevice& device) { device.set(device.fd, request_.frequency); });
}

} // namespace platform::linux_system
